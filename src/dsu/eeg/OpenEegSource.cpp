#include "dsu/eeg/OpenEegSource.h"

#include "dsu/common/ConfigError.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace solvane::dsusim {

OpenEegSource::OpenEegSource(const std::string& device, const std::vector<std::string>& channels,
                             const std::vector<std::string>& positions, Log log, Clock clock,
                             int answerMilliseconds)
    : SerialBoardSource(device, 57600, false, 1.0, std::move(log), std::move(clock)) {
    begin({"OpenEEG P2", PacketSize, 3, SampleRate, Channels, MaxLost}, channels, positions);
    awaitPacket(answerMilliseconds);
}

OpenEegSource::~OpenEegSource() {
    stop();
}

// The bytes read here stay in the buffer, the first packet among them, for next() to decode.
void OpenEegSource::awaitPacket(int milliseconds) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(milliseconds);
    uint64_t received = 0;
    int version = -1; // of packets of another version
    for (;;) {
        for (std::size_t at = 0; at + PacketSize <= have_; ++at) {
            if (OpenEegSource::framed(buffer_ + at))
                return;
            if (buffer_[at] == Sync0 && buffer_[at + 1] == Sync1)
                version = buffer_[at + 2];
        }
        if (have_ >= PacketSize) { // keep what may be the start of a packet
            std::memmove(buffer_, buffer_ + have_ - (PacketSize - 1), PacketSize - 1);
            have_ = PacketSize - 1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0)
            break;
        port_.wait(static_cast<int>(std::min<long long>(left, 100)));
        const long got = port_.read(buffer_ + have_, sizeof buffer_ - have_);
        if (got < 0)
            throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                       port_.goneReason() + " while waiting for the board");
        have_ += static_cast<std::size_t>(got);
        received += static_cast<uint64_t>(got);
    }
    const std::string within =
        " within " + std::to_string(milliseconds / 1000.0).substr(0, 3) + " s";
    if (received == 0)
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoBanner,
                                   "no answer from the board on " + port_.device() + within +
                                       ": is it switched on, and its cable plugged in?");
    throw SimulatorConfigError(
        ConfigKey::SerialDevice, ConfigFault::NoBanner,
        "the board on " + port_.device() + " sent " + std::to_string(received) + " bytes" + within +
            " but no OpenEEG P2 packet (0xA5 0x5A, version 2)" +
            (version >= 0
                 ? ": its packets are of version " + std::to_string(version) + ", another firmware"
                 : ": does its firmware send P2, at 57600 baud?"));
}

bool OpenEegSource::framed(const uint8_t* bytes) const {
    return bytes[0] == Sync0 && bytes[1] == Sync1 && bytes[2] == Version;
}

void OpenEegSource::take(int /*number*/, const uint8_t* packet) {
    if (packet != nullptr)
        for (int c = 0; c < Channels; ++c)
            values_[c] = (int32_t{packet[4 + 2 * c]} << 8) | packet[5 + 2 * c];
    float counts[MaxChannels] = {};
    for (int c = 0; c < Channels; ++c)
        counts[c] = static_cast<float>(values_[c] - Centre);
    emit(counts);
}

std::string OpenEegSource::description() const {
    return "OpenEEG P2 board on " + port_.device() + ", 6 channels at 256 Hz (" + channelList() +
           ")";
}

} // namespace solvane::dsusim
