#include "dsu/eeg/LslSource.h"

#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"
#include "dsu/eeg/RateConversion.h"
#include "dsu/eeg/SignalLabel.h"

#include <array>
#include <chrono>
#include <stdexcept>

namespace solvane::dsusim {

namespace {

constexpr int MaxStreams = 16;            ///< resolve results looked at
constexpr std::size_t ChunkSamples = 512; ///< samples pulled at a time at most
constexpr double PullSeconds = 0.1;       ///< the reading thread's longest wait

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

std::string rateText(double rate) {
    return shortNumber(rate) + " Hz";
}

/// Microvolts per unit of a channel's `unit`; 0 for a unit that is not a voltage.
double microvoltsPer(const std::string& unit) {
    const std::string u = lower(trim(unit));
    if (u.empty() || u == "microvolts" || u == "microvolt" || u == "uv" || u == "\xc2\xb5v" ||
        u == "\xce\xbcv")
        return 1.0;
    if (u == "millivolts" || u == "millivolt" || u == "mv")
        return 1e3;
    if (u == "volts" || u == "volt" || u == "v")
        return 1e6;
    return 0.0;
}

} // namespace

LslSource::InletHandle::~InletHandle() {
    if (inlet != nullptr)
        lsl->destroy_inlet(inlet);
}

LslSource::InfoHandle::~InfoHandle() {
    if (info != nullptr)
        lsl->destroy_streaminfo(info);
}

LslSource::LslSource(const std::string& library, const std::string& stream,
                     const std::vector<std::string>& channels, double gain, Log log)
    : lsl_(library), gain_(gain), log_(std::move(log)) {
    open(stream, channels);
    pulled_.resize(ChunkSamples * static_cast<std::size_t>(channelCount_));
    stamps_.resize(ChunkSamples);
    reader_ = std::thread(&LslSource::read, this);
}

LslSource::~LslSource() {
    stop();
}

void LslSource::stop() {
    stopping_.store(true);
    if (reader_.joinable())
        reader_.join();
    if (stopLogged_ || !log_)
        return;
    stopLogged_ = true;
    const uint64_t dropped = resampler_->dropped();
    log_("the LSL stream " + inQuotes(name_) + " delivered " + std::to_string(delivered_) +
         " packets" +
         (dropped > 0 ? "; " + std::to_string(dropped) +
                            " packets dropped because the program did not poll for seconds"
                      : std::string()));
}

void LslSource::open(const std::string& stream, const std::vector<std::string>& channels) {
    const bool byName = !stream.empty();
    const std::string wanted = byName ? "the LSL stream named " + inQuotes(stream)
                                      : std::string("an LSL stream of type EEG");
    LslLibrary::StreamInfo found[MaxStreams] = {};
    const int count = lsl_.resolve_byprop(found, MaxStreams, byName ? "name" : "type",
                                          byName ? stream.c_str() : "EEG", 1, ResolveSeconds);
    InfoHandle infos[MaxStreams];
    for (int i = 0; i < count && i < MaxStreams; ++i) {
        infos[i].lsl = &lsl_;
        infos[i].info = found[i];
    }
    if (count <= 0)
        throw SimulatorConfigError(
            ConfigKey::Stream, ConfigFault::NoStream,
            "Stream: " + wanted + " was not found within " + shortNumber(ResolveSeconds) +
                " s through " + lsl_.description() +
                "; is the amplifier's LSL program streaming, on this machine or its network?");

    Refusals refused;
    // InitialiseDSU must not keep the window waiting for one stream after another.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count && i < MaxStreams; ++i) {
        if (std::chrono::steady_clock::now() - start >
            std::chrono::duration<double>(ExamineSeconds)) {
            refused.text += "; " + std::to_string(count - i) + " more not examined in time";
            break;
        }
        if (tryStream(infos[i].info, channels, refused)) {
            if (!refused.text.empty())
                passedOver_ = refused.text.substr(2);
            return;
        }
    }
    throw SimulatorConfigError(ConfigKey::Stream,
                               refused.notEeg ? ConfigFault::NotEegStream
                                              : ConfigFault::StreamUnavailable,
                               "Stream: " + wanted + " was found, but refused" + refused.text);
}

std::string LslSource::unsuitable(LslLibrary::StreamInfo info) const {
    const int32_t channelCount = lsl_.get_channel_count(info);
    const double rate = lsl_.get_nominal_srate(info);
    const int32_t format = lsl_.get_channel_format(info);
    if (format == LslLibrary::FormatString || format == LslLibrary::FormatUndefined)
        return "its samples are text";
    if (!(rate > LslLibrary::IrregularRate))
        return "its rate is irregular";
    if (!rates::convertible(rate))
        return "its rate of " + rateText(rate) + " cannot be resampled to 256 Hz";
    if (channelCount < Slots)
        return "it has " + std::to_string(channelCount) + " channels, fewer than four";
    return {};
}

bool LslSource::tryStream(LslLibrary::StreamInfo info, const std::vector<std::string>& channels,
                          Refusals& refused) {
    Candidate candidate{text(lsl_.get_name(info)), lsl_.get_nominal_srate(info), {}, {}};
    auto refuse = [&](const std::string& why, bool notEeg) {
        refused.text += "; " + inQuotes(candidate.name) + ": " + why;
        refused.notEeg = refused.notEeg || notEeg;
        return false;
    };
    if (const std::string why = unsuitable(info); !why.empty())
        return refuse(why, true);
    InletHandle inlet{&lsl_, lsl_.create_inlet(info, BufferSeconds, 0, 1)};
    InfoHandle full{&lsl_, nullptr};
    int32_t ec = LslLibrary::NoError;
    if (inlet.inlet != nullptr)
        full.info = lsl_.get_fullinfo(inlet.inlet, OpenSeconds, &ec);
    if (full.info == nullptr)
        return refuse("it cannot be opened (liblsl error " + std::to_string(ec) + ")", false);
    const int32_t channelCount = lsl_.get_channel_count(info);
    // A GUI's FFT or band-power stream has many unlabelled "channels" at the board's rate.
    if (!readChannels(full.info, channelCount, candidate) && channelCount > MaxChannelsUnlabelled)
        return refuse("it has " + std::to_string(channelCount) +
                          " channels without labels, which is no EEG",
                      true);
    adopt(candidate, inlet, full.info, channels);
    return true;
}

bool LslSource::readChannels(LslLibrary::StreamInfo full, int32_t count,
                             Candidate& candidate) const {
    candidate.names.assign(static_cast<std::size_t>(count), {});
    candidate.units.assign(candidate.names.size(), {});
    bool labelled = false;
    LslLibrary::Xml channel = lsl_.child(lsl_.child(lsl_.get_desc(full), "channels"), "channel");
    for (std::size_t c = 0; c < candidate.names.size() && channel != nullptr; ++c) {
        candidate.names[c] = std::string(trim(text(lsl_.child_value_n(channel, "label"))));
        candidate.units[c] = text(lsl_.child_value_n(channel, "unit"));
        labelled = labelled || !candidate.names[c].empty();
        channel = lsl_.next_sibling_n(channel, "channel");
    }
    for (std::size_t c = 0; c < candidate.names.size(); ++c)
        if (candidate.names[c].empty())
            candidate.names[c] = std::to_string(c + 1);
    return labelled;
}

void LslSource::adopt(const Candidate& candidate, InletHandle& inlet, LslLibrary::StreamInfo full,
                      const std::vector<std::string>& channels) {
    const std::string& name = candidate.name;
    channelCount_ = static_cast<int>(candidate.names.size());
    rate_ = candidate.rate;
    std::array<int, Slots> picked = {0, 1, 2, 3};
    if (!channels.empty())
        picked = SignalLabel::pick(channels, candidate.names, "the LSL stream " + inQuotes(name));
    for (int slot = 0; slot < Slots; ++slot) {
        const auto c = static_cast<std::size_t>(picked[static_cast<std::size_t>(slot)]);
        channels_[slot] = static_cast<int>(c);
        labels_[slot] = candidate.names[c];
        microvoltsPerUnit_[slot] = microvoltsPer(candidate.units[c]);
        if (microvoltsPerUnit_[slot] == 0.0)
            throw SimulatorConfigError(
                ConfigKey::Stream, ConfigFault::UnknownUnit,
                "Stream: the channel " + candidate.names[c] + " of " + inQuotes(name) + " is in " +
                    inQuotes(candidate.units[c]) + ", not in microvolts, millivolts or volts");
    }
    int32_t ec = LslLibrary::NoError;
    lsl_.open_stream(inlet.inlet, OpenSeconds, &ec);
    if (ec != LslLibrary::NoError)
        throw SimulatorConfigError(ConfigKey::Stream, ConfigFault::StreamUnavailable,
                                   "Stream: " + inQuotes(name) +
                                       " was found but does not send (liblsl error " +
                                       std::to_string(ec) + ")");
    try {
        resampler_ = std::make_unique<LiveResampler>(rate_);
    } catch (const std::runtime_error& e) {
        throw SimulatorConfigError(ConfigKey::Stream, ConfigFault::NotEegStream,
                                   "Stream: " + inQuotes(name) + ": " + e.what());
    }
    std::swap(inlet_.lsl, inlet.lsl);
    std::swap(inlet_.inlet, inlet.inlet);
    name_ = name;
    host_ = text(lsl_.get_hostname(full));
    std::string available;
    for (const std::string& label : candidate.names)
        available += (available.empty() ? "" : ", ") + label;
    // Name and source id first: the recording's header keeps only the beginning.
    description_ = name + " " + text(lsl_.get_source_id(full)) + " (LSL stream; type " +
                   text(lsl_.get_type(full)) + ", host " + host_ + ", " + rateText(rate_) + ", " +
                   std::to_string(channelCount_) + " channels: " + available +
                   "; slots 0-3: " + labels_[0] + ", " + labels_[1] + ", " + labels_[2] + ", " +
                   labels_[3] + "; through " + lsl_.description() + ")";
}

void LslSource::read() {
    const LslLibrary::Inlet inlet = inlet_.inlet;
    const unsigned long capacity = pulled_.size();
    const unsigned long samples = stamps_.size();
    const auto channels = static_cast<unsigned long>(channelCount_);
    int32_t ec = LslLibrary::NoError;
    // What the inlet holds already came before the run.
    while (!stopping_.load(std::memory_order_relaxed) &&
           lsl_.pull_chunk_f(inlet, pulled_.data(), stamps_.data(), capacity, samples, 0.0, &ec) >
               0) {
    }
    while (!stopping_.load(std::memory_order_relaxed)) {
        ec = LslLibrary::NoError;
        // Waits for one sample, then takes whatever else has come with it.
        const double stamp =
            lsl_.pull_sample_f(inlet, pulled_.data(), channelCount_, PullSeconds, &ec);
        if (ec != LslLibrary::NoError && ec != LslLibrary::TimeoutError)
            return; // lost (only without recovery) or broken: the run stalls and is stopped
        if (stamp == 0.0)
            continue;
        take(pulled_.data(), 1, &stamp);
        ec = LslLibrary::NoError;
        const unsigned long got =
            lsl_.pull_chunk_f(inlet, pulled_.data(), stamps_.data(), capacity, samples, 0.0, &ec);
        if (got > 0)
            take(pulled_.data(), got / channels, stamps_.data());
    }
}

void LslSource::take(const float* samples, std::size_t count, const double* stamps) {
    const auto channels = static_cast<std::size_t>(channelCount_);
    for (std::size_t s = 0; s < count; ++s) {
        const double stamp = stamps[s];
        float gap = 0.0F;
        if (lastStamp_ != 0.0 && stamp - lastStamp_ > PauseSeconds)
            gap = static_cast<float>(stamp - lastStamp_ - 1.0 / rate_);
        lastStamp_ = stamp;
        float frame[Slots];
        for (int slot = 0; slot < Slots; ++slot)
            frame[slot] = static_cast<float>(
                samples[s * channels + static_cast<std::size_t>(channels_[slot])] *
                microvoltsPerUnit_[slot]);
        resampler_->push(frame, gap);
    }
}

bool LslSource::next(int32_t (&counts)[Slots]) {
    LiveResampler::Frame frame{};
    if (!resampler_->pull(frame))
        return false;
    for (int slot = 0; slot < Slots; ++slot)
        counts[slot] = toCounts(frame.values[slot], gain_);
    gap_ = frame.gap;
    ++delivered_;
    return true;
}

} // namespace solvane::dsusim
