#pragma once
// EEG from a board that speaks the OpenEEG "P2" protocol (the ModularEEG and the two-channel
// USB boards built on it) on a serial port at 57600 baud, 8N1. The board streams by itself
// from power-on, 256 packets a second of 17 bytes: 0xA5 0x5A, version 2, a packet counter, six
// channels of two bytes each (high byte first, 10 bits, 512 for 0 V) and a byte of switches.
// Its samples are the DSU's own, 10-bit at 256 Hz: four of its channels go into the packets as
// they are, neither resampled nor scaled; MicrovoltsPerCount gives the recording their scale.
// The port, the packets' numbers and the rate are looked after as for every serial board (see
// SerialBoardSource); what waits in the port when it is opened is the board's newest data,
// and is read. The link is a wire, so a lost packet is a byte lost to an overrun or
// noise on the line, one or two packets at a time: up to 4 in a row are taken for lost, any
// larger jump for a damaged number.

#include "dsu/eeg/SerialBoardSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace solvane::dsusim {

class OpenEegSource final : public SerialBoardSource {
public:
    static constexpr std::size_t PacketSize = 17;
    static constexpr uint8_t Sync0 = 0xA5;
    static constexpr uint8_t Sync1 = 0x5A;
    static constexpr uint8_t Version = 2;
    static constexpr int Channels = 6;
    static constexpr int MaxLost = 4;

    /// Opens `device` and waits at most `answerMilliseconds` for the board's first packet;
    /// `channels` and `positions` as SerialBoardSource::begin takes them. Throws
    /// SimulatorConfigError: key SerialDevice for the port or a board that sends no P2 packet
    /// (nothing at all, or another format), key Channels for a channel it does not have.
    OpenEegSource(const std::string& device, const std::vector<std::string>& channels,
                  const std::vector<std::string>& positions, Log log, Clock clock = {},
                  int answerMilliseconds = AnswerMilliseconds);
    ~OpenEegSource() override;

    [[nodiscard]] std::string description() const override;

private:
    void awaitPacket(int milliseconds);
    [[nodiscard]] bool framed(const uint8_t* bytes) const override;
    void take(int number, const uint8_t* packet) override;

    int32_t values_[Channels] = {Centre, Centre, Centre, Centre, Centre, Centre};
};

} // namespace solvane::dsusim
