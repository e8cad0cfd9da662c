#pragma once
// EEG from an OpenBCI Cyton board on a serial port, as it arrives: the board is reset ('v'),
// its banner tells whether a Daisy module is present, then it streams ('b') 33-byte packets
// (0xA0, sample number, 8 x 24-bit signed big-endian channel values, 6 aux bytes, 0xCn), 8
// channels at 250 Hz, or with a Daisy 16 channels at 125 Hz from pairs of packets (odd sample
// numbers carry channels 1..8, the even one after it 9..16). Four of the channels, converted to
// microvolts at the board's default gain of 24, are resampled to 256 Hz and scaled into counts;
// the port, the packets' numbers and the rate are looked after as for every serial board (see
// SerialBoardSource). Up to 8 packets may be lost in a row on the radio link: interference
// (another 2.4 GHz transmitter, a body between dongle and board) costs a few packets of 4 ms;
// a longer hole is the link breaking off, where a held value would only flatten the EEG, or
// more likely a damaged number. The board stops streaming ('s') in stop() and in the
// destructor.

#include "dsu/eeg/SerialBoardSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace solvane::dsusim {

class CytonSource final : public SerialBoardSource {
public:
    static constexpr std::size_t PacketSize = 33;
    static constexpr uint8_t Start = 0xA0;
    static constexpr int MaxLost = 8;
    /// Microvolts per count: 4.5 V reference, gain 24, 24-bit signed converter.
    static constexpr double MicrovoltsPerCount = 4.5 / 24.0 / 8388607.0 * 1e6;

    /// Opens `device`, resets the board and starts its stream; `channels` and `positions` as
    /// SerialBoardSource::begin takes them. Throws SimulatorConfigError: key SerialDevice for
    /// the port or a board that does not answer within `answerMilliseconds`, key Channels for
    /// a channel the board does not have.
    CytonSource(const std::string& device, const std::vector<std::string>& channels,
                const std::vector<std::string>& positions, double gain, Log log, Clock clock = {},
                int answerMilliseconds = AnswerMilliseconds);
    ~CytonSource() override;

    [[nodiscard]] std::string description() const override;
    [[nodiscard]] bool daisy() const { return daisy_; }

private:
    void waitForBanner(int milliseconds);
    [[nodiscard]] bool framed(const uint8_t* bytes) const override;
    void take(int number, const uint8_t* packet) override;
    void halt() override;

    bool daisy_ = false;
    bool boardPending_ = false;        ///< channels 1..8 of a Daisy pair wait for 9..16
    int32_t values_[MaxChannels] = {}; ///< latest counts of each board channel
    std::string firmware_;
};

} // namespace solvane::dsusim
