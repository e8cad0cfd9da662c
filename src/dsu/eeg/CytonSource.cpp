#include "dsu/eeg/CytonSource.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"

#include <chrono>
#include <cstring>

namespace solvane::dsusim {

namespace {

int32_t signed24(const uint8_t* bytes) {
    uint32_t value = (uint32_t{bytes[0]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[2];
    if ((value & 0x800000u) != 0)
        value |= 0xFF000000u;
    return static_cast<int32_t>(value);
}

} // namespace

CytonSource::CytonSource(const std::string& device, const std::vector<std::string>& channels,
                         const std::vector<std::string>& positions, double gain, Log log,
                         Clock clock, int answerMilliseconds)
    : SerialBoardSource(device, 115200, true, gain, std::move(log), std::move(clock)) {
    waitForBanner(answerMilliseconds);
    begin({"OpenBCI Cyton", PacketSize, 1, daisy_ ? 125.0 : 250.0, daisy_ ? 16 : 8, MaxLost},
          channels, positions);
    if (!port_.write('b'))
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   device + ": the port went away as the stream was started");
}

CytonSource::~CytonSource() {
    stop();
}

void CytonSource::waitForBanner(int milliseconds) {
    using Steady = std::chrono::steady_clock;
    // A board still streaming from an earlier run stops first; then the reset.
    if (!port_.write('s') || !port_.write('v'))
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   port_.device() + ": the port went away as the board was reset");
    const auto deadline = Steady::now() + std::chrono::milliseconds(milliseconds);
    std::string banner;
    while (banner.find("$$$") == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0)
            throw SimulatorConfigError(
                ConfigKey::SerialDevice, ConfigFault::NoBanner,
                "no answer from the board on " + port_.device() + " within " +
                    std::to_string(milliseconds / 1000.0).substr(0, 3) +
                    " s: is it switched on, and are the dongle and the board on the same "
                    "radio channel (the dongle's switch on GPIO6)?");
        port_.wait(static_cast<int>(left));
        uint8_t data[256];
        const long got = port_.read(data, sizeof data);
        if (got < 0)
            throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                       port_.goneReason() + " while waiting for the board");
        // Only the end matters once the banner is long; packets of an earlier stream may
        // come before it.
        banner.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(got));
        if (banner.size() > 8192)
            banner.erase(0, banner.size() - 4096);
    }
    const std::string text = lower(banner);
    daisy_ = text.find("daisy") != std::string::npos && text.find("no daisy") == std::string::npos;
    if (const std::size_t at = text.find("firmware:"); at != std::string::npos) {
        const std::size_t end = banner.find_first_of("\r\n$", at);
        firmware_ = std::string(trim(banner.substr(at + 9, end - at - 9)));
    }
    log("the board on " + port_.device() + " answered" +
        (firmware_.empty() ? "" : " (firmware " + firmware_ + ")") +
        (daisy_ ? ", with a Daisy module: 16 channels at 125 Hz"
                : ", without a Daisy module: 8 channels at 250 Hz"));
}

void CytonSource::halt() {
    port_.write('s');
}

bool CytonSource::framed(const uint8_t* bytes) const {
    return bytes[0] == Start && (bytes[PacketSize - 1] & 0xF0) == 0xC0;
}

void CytonSource::take(int number, const uint8_t* packet) {
    // Channels 1..8, or with a Daisy 9..16 for the even numbers; a lost packet holds them.
    const bool board = !daisy_ || (number & 1) != 0;
    if (packet != nullptr)
        for (int c = 0; c < 8; ++c)
            values_[c + (board ? 0 : 8)] = signed24(packet + 2 + 3 * static_cast<std::size_t>(c));
    if (daisy_ && board) {
        boardPending_ = true;
        return;
    }
    if (daisy_ && !boardPending_)
        return;
    boardPending_ = false;
    float microvolts[MaxChannels];
    for (int c = 0; c < MaxChannels; ++c)
        microvolts[c] = static_cast<float>(values_[c] * MicrovoltsPerCount);
    emit(microvolts);
}

std::string CytonSource::description() const {
    return std::string("OpenBCI Cyton") + (daisy_ ? " with Daisy" : "") + " on " + port_.device() +
           ", " + std::to_string(boardChannels()) + " channels at " + (daisy_ ? "125" : "250") +
           " Hz (" + channelList() + ")";
}

} // namespace solvane::dsusim
