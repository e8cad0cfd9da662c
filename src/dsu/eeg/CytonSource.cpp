#include "dsu/eeg/CytonSource.h"

#include "dsu/common/Text.h"
#include "dsu/eeg/SignalLabel.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

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
                         int bannerMilliseconds)
    : port_(device), log_(std::move(log)), gain_(gain) {
    waitForBanner(bannerMilliseconds);

    const int count = boardChannels();
    for (int c = 0; c < count; ++c) {
        const auto at = static_cast<std::size_t>(c);
        labels_[c] = at < positions.size() ? positions[at] : std::to_string(c + 1);
    }
    if (positions.size() > static_cast<std::size_t>(count) && log_)
        log_("InitialiseDSU: the board has " + std::to_string(count) + " channels; " +
             std::to_string(positions.size() - static_cast<std::size_t>(count)) +
             " of the Positions are not used");
    if (!channels.empty()) {
        for (int slot = 0; slot < Slots; ++slot) {
            const std::string& wanted = channels.at(static_cast<std::size_t>(slot));
            int found = -1;
            for (int c = 0; c < count && found < 0; ++c)
                if (SignalLabel::matches(wanted, std::to_string(c + 1)) ||
                    SignalLabel::matches(wanted, labels_[c]))
                    found = c;
            if (found < 0)
                throw SimulatorConfigError(
                    ConfigKey::Channels, ConfigFault::UnknownLabel,
                    "Channels: the board on " + device + " has no channel \"" + wanted +
                        "\" (it has channels 1 to " + std::to_string(count) + ")");
            channel_[slot] = found;
        }
    }
    try {
        resampler_ = std::make_unique<LiveResampler>(boardRate());
    } catch (const std::runtime_error& e) {
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::Malformed, e.what());
    }
    if (!port_.write('b'))
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   device + ": the port went away as the stream was started");
}

CytonSource::~CytonSource() {
    stop();
}

void CytonSource::waitForBanner(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    // A board still streaming from an earlier run stops first; then the reset.
    if (!port_.write('s') || !port_.write('v'))
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   port_.device() + ": the port went away as the board was reset");
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::string banner;
    while (banner.find("$$$") == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            throw SimulatorConfigError(
                ConfigKey::SerialDevice, ConfigFault::NoBanner,
                port_.device() + ": the board did not answer its reset within " +
                    std::to_string(milliseconds / 1000.0).substr(0, 3) +
                    " s: is it switched on, and are the dongle and the board on the same "
                    "radio channel (the dongle's switch on GPIO6)?");
        port_.wait(static_cast<int>(left));
        uint8_t data[256];
        const long got = port_.read(data, sizeof data);
        if (got < 0)
            throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                       port_.device() +
                                           ": the port went away while waiting for the board");
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
    if (log_)
        log_("InitialiseDSU: the board on " + port_.device() + " answered" +
             (firmware_.empty() ? "" : " (firmware " + firmware_ + ")") +
             (daisy_ ? ", with a Daisy module: 16 channels at 125 Hz"
                     : ", without a Daisy module: 8 channels at 250 Hz"));
}

void CytonSource::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    if (!gone_)
        port_.write('s');
    if (log_)
        log_("TerminateDSU: the board on " + port_.device() + " " +
             (gone_ ? "had gone" : "stopped streaming") + " after " +
             std::to_string(counters_.packets) + " packets; " +
             std::to_string(counters_.samplesLost) + " samples lost (held), " +
             std::to_string(counters_.bytesDropped) + " bytes out of frame in " +
             std::to_string(counters_.resyncs) + " resynchronisations" +
             (resampler_ && resampler_->dropped() > 0
                  ? "; " + std::to_string(resampler_->dropped()) +
                        " packets dropped because the program did not poll for seconds"
                  : std::string()));
}

bool CytonSource::next(int32_t (&counts)[Slots]) {
    if (!gone_ && !stopped_)
        readArrived();
    LiveResampler::Frame frame{};
    if (!resampler_->pull(frame))
        return false;
    for (int slot = 0; slot < Slots; ++slot)
        counts[slot] = toCounts(frame.values[slot], gain_);
    return true;
}

void CytonSource::readArrived() {
    while (true) {
        const long got = port_.read(buffer_ + have_, sizeof buffer_ - have_);
        if (got < 0) {
            gone_ = true;
            // The samples that arrived are all delivered, those in the filter too.
            resampler_->finish();
            if (log_)
                log_("GetP3Data: the board's port " + port_.device() +
                     " has gone (dongle unplugged?) after " + std::to_string(counters_.packets) +
                     " packets; no more samples");
            return;
        }
        if (got == 0)
            return;
        have_ += static_cast<std::size_t>(got);

        std::size_t at = 0;
        while (have_ - at >= PacketSize) {
            const uint8_t* packet = buffer_ + at;
            if (packet[0] == Start && (packet[PacketSize - 1] & 0xF0) == 0xC0) {
                decode(packet);
                at += PacketSize;
                continue;
            }
            if (synced_) {
                synced_ = false;
                ++counters_.resyncs;
            }
            // Before the first packet, bytes of the banner or an earlier stream are no loss.
            if (expected_ >= 0)
                ++counters_.bytesDropped;
            ++at;
        }
        std::memmove(buffer_, buffer_ + at, have_ - at);
        have_ -= at;
    }
}

void CytonSource::decode(const uint8_t* packet) {
    synced_ = true;
    ++counters_.packets;
    const int number = packet[1];
    int32_t values[8];
    for (int c = 0; c < 8; ++c)
        values[c] = signed24(packet + 2 + 3 * c);
    if (expected_ >= 0) {
        const int lost = (number - expected_) & 0xFF;
        counters_.samplesLost += static_cast<uint64_t>(lost);
        for (int m = 0; m < lost; ++m)
            half((expected_ + m) & 0xFF, nullptr);
    }
    half(number, values);
    expected_ = (number + 1) & 0xFF;
}

void CytonSource::half(int number, const int32_t* values) {
    if (!daisy_) {
        if (values != nullptr)
            std::memcpy(values_, values, sizeof(int32_t) * 8);
        emit();
        return;
    }
    const bool board = (number & 1) != 0;
    if (values != nullptr)
        std::memcpy(values_ + (board ? 0 : 8), values, sizeof(int32_t) * 8);
    if (board) {
        boardPending_ = true;
    } else if (boardPending_) {
        boardPending_ = false;
        emit();
    }
}

void CytonSource::emit() {
    float frame[Slots];
    for (int slot = 0; slot < Slots; ++slot)
        frame[slot] = static_cast<float>(values_[channel_[slot]] * MicrovoltsPerCount);
    resampler_->push(frame);
}

std::string CytonSource::label(int slot) const {
    return labels_[channel_[slot]];
}

std::string CytonSource::description() const {
    std::string text = "OpenBCI Cyton" + std::string(daisy_ ? " with Daisy" : "") + " on " +
                       port_.device() + ", " + std::to_string(boardChannels()) + " channels at " +
                       (daisy_ ? "125" : "250") + " Hz (";
    for (int slot = 0; slot < Slots; ++slot) {
        const int c = channel_[slot];
        text += (slot == 0 ? "" : ", ") + std::to_string(c + 1);
        if (labels_[c] != std::to_string(c + 1))
            text += " " + labels_[c];
    }
    return text + ")";
}

} // namespace solvane::dsusim
