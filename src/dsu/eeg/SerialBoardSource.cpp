#include "dsu/eeg/SerialBoardSource.h"

#include "dsu/common/ConfigError.h"
#include "dsu/eeg/SignalLabel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <stdexcept>

namespace solvane::dsusim {

namespace {

std::string count(uint64_t value, const char* what) {
    return std::to_string(value) + " " + what;
}

/// Seconds on the steady clock: the clock of a real run.
double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

SerialBoardSource::SerialBoardSource(const std::string& device, int baud, bool discard, double gain,
                                     Log log, Clock clock)
    : port_(device, baud, discard), gain_(gain), log_(std::move(log)),
      clock_(clock ? std::move(clock) : Clock(&steadySeconds)) {}

void SerialBoardSource::log(const std::string& line) const {
    if (log_)
        log_(line);
}

void SerialBoardSource::begin(const Format& format, const std::vector<std::string>& channels,
                              const std::vector<std::string>& positions) {
    format_ = format;
    const int count = format.channels;
    for (int c = 0; c < count; ++c) {
        const auto at = static_cast<std::size_t>(c);
        labels_[c] = at < positions.size() ? positions[at] : std::to_string(c + 1);
    }
    if (positions.size() > static_cast<std::size_t>(count))
        log("the board has " + std::to_string(count) + " channels; " +
            std::to_string(positions.size() - static_cast<std::size_t>(count)) +
            " of the Positions are not used");
    if (!channels.empty()) {
        const std::array<int, Slots> picked =
            SignalLabel::pick(channels, std::span<const std::string>(labels_, count),
                              "the board on " + port_.device(), true);
        std::copy(picked.begin(), picked.end(), channel_);
    }
    try {
        resampler_ = std::make_unique<LiveResampler>(format.rate);
    } catch (const std::runtime_error& e) {
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::Malformed, e.what());
    }
    // From here on the samples wait in the port however late the first poll comes (the start
    // of a run takes its time): they are not early.
    startedAt_ = clock_();
}

std::string SerialBoardSource::channelList() const {
    std::string text;
    for (int slot = 0; slot < Slots; ++slot) {
        const int c = channel_[slot];
        text += (slot == 0 ? "" : ", ") + std::to_string(c + 1);
        if (labels_[c] != std::to_string(c + 1))
            text += " " + labels_[c];
    }
    return text;
}

void SerialBoardSource::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    if (!gone_)
        halt();
    const Counters& c = counters_;
    std::string text = "the board on " + port_.device() + " " +
                       (gone_ ? "had gone" : "stopped streaming") + " after " +
                       count(c.packets, "packets") + "; " + count(c.samplesLost, "samples lost") +
                       " (held, at most " + std::to_string(format_.maxLost) + " a gap), " +
                       count(c.bytesDropped, "bytes out of frame in") + " " +
                       count(c.resyncs, "resynchronisations");
    if (c.misnumbered > 0)
        text += "; " + count(c.misnumbered, "packets whose sample number cannot follow") +
                " skipped, not filled";
    if (c.renumbered > 0)
        text += "; the numbering taken over " + count(c.renumbered, "times") +
                " after a silence, not filled";
    if (c.throttled > 0)
        text += "; " + count(c.throttled, "samples beyond the board's rate") + " dropped";
    if (resampler_ && resampler_->dropped() > 0)
        text += "; " + count(resampler_->dropped(), "packets") +
                " dropped because the program did not poll for seconds";
    log(text);
}

bool SerialBoardSource::next(int32_t (&counts)[Slots]) {
    if (!gone_ && !stopped_)
        readArrived();
    LiveResampler::Frame frame{};
    if (!resampler_ || !resampler_->pull(frame))
        return false;
    for (int slot = 0; slot < Slots; ++slot)
        counts[slot] = toCounts(frame.values[slot], gain_);
    return true;
}

void SerialBoardSource::readArrived() {
    now_ = clock_();
    for (;;) {
        decodeBuffered();
        const long got = port_.read(buffer_ + have_, sizeof buffer_ - have_);
        if (got == 0)
            return;
        if (got < 0) {
            gone_ = true;
            resampler_->finish();
            log(port_.goneReason() + " (after " + count(counters_.packets, "packets") +
                "); no more samples");
            return;
        }
        have_ += static_cast<std::size_t>(got);
    }
}

void SerialBoardSource::decodeBuffered() {
    const std::size_t size = format_.packetSize;
    std::size_t at = 0;
    while (have_ - at >= size) {
        const uint8_t* packet = buffer_ + at;
        if (framed(packet) && accept(packet, consumed_ + at)) {
            at += size;
            continue;
        }
        if (synced_) {
            synced_ = false;
            ++counters_.resyncs;
        }
        // Before the first packet, bytes of a banner or an earlier stream are no loss.
        if (expected_ >= 0)
            ++counters_.bytesDropped;
        ++at;
    }
    std::memmove(buffer_, buffer_ + at, have_ - at);
    have_ -= at;
    consumed_ += at;
}

bool SerialBoardSource::accept(const uint8_t* packet, uint64_t position) {
    const int number = packet[format_.numberAt];
    const int ahead = expected_ < 0 ? 0 : (number - expected_) & 0xFF;
    bool follows = ahead <= format_.maxLost;
    if (!follows) {
        const bool chained =
            chain_ > 0 && position == chainEnd_ && number == ((chainNumber_ + 1) & 0xFF);
        chain_ = chained ? chain_ + 1 : 1;
        chainNumber_ = number;
        chainEnd_ = position + format_.packetSize;
        if (chain_ < RenumberAfter) {
            ++counters_.misnumbered;
            return false;
        }
        ++counters_.renumbered;
    } else {
        counters_.samplesLost += static_cast<uint64_t>(ahead);
        for (int m = 0; m < ahead; ++m)
            take((expected_ + m) & 0xFF, nullptr);
    }
    chain_ = 0;
    synced_ = true;
    ++counters_.packets;
    take(number, packet);
    expected_ = (number + 1) & 0xFF;
    return true;
}

bool SerialBoardSource::withinRate() {
    const double elapsed = now_ - startedAt_;
    const double rate = format_.rate;
    const double allowed = tooFast_ ? static_cast<double>(heldFrom_) + rate * (elapsed - heldAt_)
                                    : rate * (LeadSeconds + elapsed * (1.0 + RateMargin));
    if (static_cast<double>(samples_ + 1) <= allowed) {
        ++samples_;
        return true;
    }
    if (!tooFast_) {
        tooFast_ = true;
        heldAt_ = elapsed;
        heldFrom_ = samples_;
        char text[160];
        std::snprintf(text, sizeof text,
                      "the board on %s sends faster than its %g Hz (%llu samples in %.2f s): "
                      "what comes beyond its rate is dropped",
                      port_.device().c_str(), rate, static_cast<unsigned long long>(samples_) + 1,
                      elapsed);
        log(text);
    }
    ++counters_.throttled;
    return false;
}

void SerialBoardSource::emit(const float* values) {
    if (!withinRate())
        return;
    float frame[Slots];
    for (int slot = 0; slot < Slots; ++slot)
        frame[slot] = values[channel_[slot]];
    resampler_->push(frame);
}

} // namespace solvane::dsusim
