#pragma once
// EEG from an OpenBCI Cyton board on a serial port, as it arrives: the board is reset ('v'),
// its banner tells whether a Daisy module is present, then it streams ('b') 33-byte packets
// (0xA0, sample number, 8 x 24-bit signed big-endian channel values, 6 aux bytes, 0xCn), 8
// channels at 250 Hz, or with a Daisy 16 channels at 125 Hz from pairs of packets (odd sample
// numbers carry channels 1..8, the even one after it 9..16). Four of the channels, converted to
// microvolts at the board's default gain of 24, are resampled to 256 Hz and scaled into counts.
// Bytes out of frame are skipped to the next packet and counted; samples lost, seen from the
// sample numbers, are counted and bridged by holding the last values. A port that goes away
// (dongle unplugged) just gives no more samples. The board stops streaming ('s') in stop() and
// in the destructor.

#include "dsu/eeg/LiveResampler.h"
#include "dsu/eeg/SampleSource.h"
#include "dsu/eeg/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace solvane::dsusim {

class CytonSource : public SampleSource {
public:
    static constexpr std::size_t PacketSize = 33;
    static constexpr uint8_t Start = 0xA0;
    static constexpr int MaxChannels = 16;
    /// Microvolts per count: 4.5 V reference, gain 24, 24-bit signed converter.
    static constexpr double MicrovoltsPerCount = 4.5 / 24.0 / 8388607.0 * 1e6;
    static constexpr int BannerMilliseconds = 3000; ///< longest wait for the banner

    using Log = std::function<void(const std::string&)>;

    /// Opens `device`, resets the board and starts its stream. `channels` picks four of the
    /// board's channels by number ("1".."16") or by the position `positions` gives them, or is
    /// empty for channels 1..4. Throws SimulatorConfigError: key SerialDevice for the port or
    /// a board that does not answer within `bannerMilliseconds`, key Channels for a channel
    /// the board does not have.
    CytonSource(const std::string& device, const std::vector<std::string>& channels,
                const std::vector<std::string>& positions, double gain, Log log,
                int bannerMilliseconds = BannerMilliseconds);
    ~CytonSource() override;

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] bool live() const override { return true; }
    void stop() override;
    [[nodiscard]] std::string label(int slot) const override;
    [[nodiscard]] std::string description() const override;

    [[nodiscard]] bool daisy() const { return daisy_; }
    [[nodiscard]] int boardChannels() const { return daisy_ ? 16 : 8; }
    [[nodiscard]] double boardRate() const { return daisy_ ? 125.0 : 250.0; }
    /// The board channel (0-based) behind each slot.
    [[nodiscard]] int channel(int slot) const { return channel_[slot]; }

    struct Counters {
        uint64_t packets = 0;      ///< whole packets decoded
        uint64_t samplesLost = 0;  ///< packets missing from the sample numbers
        uint64_t bytesDropped = 0; ///< bytes skipped to find the next packet
        uint64_t resyncs = 0;      ///< times the stream lost its framing
    };
    [[nodiscard]] const Counters& counters() const { return counters_; }
    /// Whether the port has gone (hung up, unplugged).
    [[nodiscard]] bool gone() const { return gone_; }

private:
    void waitForBanner(int milliseconds);
    void readArrived();
    void decode(const uint8_t* packet);
    /// One packet's eight values (held ones for a lost packet) at sample number `number`.
    void half(int number, const int32_t* values);
    void emit();

    SerialPort port_;
    Log log_;
    double gain_;
    bool daisy_ = false;
    bool stopped_ = false;
    bool gone_ = false;
    bool synced_ = false;
    int channel_[Slots] = {0, 1, 2, 3};
    std::string labels_[MaxChannels];
    std::string firmware_;
    int expected_ = -1;                ///< next sample number, -1 before the first packet
    bool boardPending_ = false;        ///< channels 1..8 of a Daisy pair wait for 9..16
    int32_t values_[MaxChannels] = {}; ///< latest counts of each board channel
    uint8_t buffer_[4096] = {};
    std::size_t have_ = 0;
    Counters counters_;
    std::unique_ptr<LiveResampler> resampler_;
};

} // namespace solvane::dsusim
