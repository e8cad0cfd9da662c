#include "viewer/SessionAnalysis.h"

#include "analysis/PacketAnalysis.h"
#include "analysis/SpectralAnalysis.h"
#include "config/Settings.h"
#include "device/kardemo.h"
#include "state/ChannelSelection.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace solvane::viewer {

namespace {

constexpr double PacketsPerSecond = KARDEMO_PACKET_RATE;

/// The positions the contact rule judges the slots by: those the facts name (0 for a slot
/// without one); a slot whose position is not known stands for the lowest position no other
/// slot takes, so that its samples are counted apart, as a position of its own would be.
std::array<int16_t, SessionAnalysis::Channels> contactPositions(const SessionReader& reader) {
    std::array<int16_t, SessionAnalysis::Channels> positions{};
    std::array<bool, SessionAnalysis::Channels> known{};
    if (const auto& facts = reader.facts())
        for (int slot = 0; slot < SessionAnalysis::Channels; ++slot)
            if (const auto& p = facts->slot[slot].position; p && *p >= 0 && *p <= 21) {
                positions[slot] = static_cast<int16_t>(*p);
                known[slot] = true;
            }
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        if (known[slot])
            continue;
        int16_t free = 1;
        while (std::find(positions.begin(), positions.end(), free) != positions.end())
            ++free;
        positions[slot] = free;
    }
    return positions;
}

double microvoltsPerCount(const SessionReader& reader, int element) {
    const auto& signals = reader.header().signal;
    if (element >= static_cast<int>(signals.size()))
        return 1.0;
    const session::SignalHeader& s = signals[static_cast<std::size_t>(element)];
    const double digital = s.digitalMaximum - s.digitalMinimum;
    const double physical = s.physicalMaximum - s.physicalMinimum;
    return digital > 0.0 && physical > 0.0 ? physical / digital : 1.0;
}

} // namespace

/// The program's spectral analysis with only slot 0 active, so that the spectrum it leaves
/// behind is that slot's.
struct SessionAnalysis::Engine {
    Settings settings;
    ChannelSelection selection;
    AnalysisState state;
    SpectralAnalysis spectra{settings, selection, state};
    Engine() {
        settings.DSUSampleRate = SessionReader::RecordSamples;
        selection.ChannelMap[0] = 1;
        selection.ChannelCount = 1;
    }
};

SessionAnalysis::SessionAnalysis() : engine_(std::make_unique<Engine>()) {}
SessionAnalysis::~SessionAnalysis() = default;
SessionAnalysis::SessionAnalysis(SessionAnalysis&&) noexcept = default;
SessionAnalysis& SessionAnalysis::operator=(SessionAnalysis&&) noexcept = default;

void SessionAnalysis::update(const SessionReader& reader) {
    steps_.clear();
    OutputState state;
    for (const SessionEvent& event : reader.events())
        if (event.setsOutput() && state.apply(event.value))
            steps_.push_back({event.onset, state});

    for (int slot = 0; slot < Channels; ++slot) {
        ChannelSeconds& channel = channels_[slot];
        channel.element = PacketAnalysis::SlotElement[slot];
        channel.label = reader.label(channel.element);
        channel.microvoltsPerCount = microvoltsPerCount(reader, channel.element);
    }
    // Facts that come after the first seconds (or change) are judged from the start again.
    if (const auto positions = contactPositions(reader); positions != positions_) {
        positions_ = positions;
        contactState_ = AnalysisState{};
        contact_.clear();
        for (int second = 0; second < seconds_; ++second)
            judgeContact(reader, second);
    }
    // The seconds the run filled: a finished recording's last record is padded after its end.
    int whole = reader.records();
    if (const std::optional<double> end = reader.endsAt())
        whole = std::min(whole, static_cast<int>(std::floor(*end + 1e-6)));
    for (int second = seconds_; second < whole; ++second) {
        analyseSecond(reader, second);
        judgeContact(reader, second);
    }
    seconds_ = std::max(seconds_, whole);

    // The volumes in effect at the end of each second.
    perSecond_.assign(static_cast<std::size_t>(seconds_), OutputState{});
    share00_.assign(static_cast<std::size_t>(seconds_), -1.0F);
    std::size_t next = 0;
    OutputState now;
    for (int second = 0; second < seconds_; ++second) {
        while (next < steps_.size() && steps_[next].time < second + 1.0)
            now = steps_[next++].state;
        perSecond_[second] = now;
        const int sum = now.volume00 + now.volume01;
        if (sum > 0)
            share00_[second] = static_cast<float>(now.volume00) / static_cast<float>(sum);
    }
}

void SessionAnalysis::analyseSecond(const SessionReader& reader, int second) {
    Engine* const analysis = engine_.get();
    constexpr int N = SessionReader::RecordSamples;
    for (int slot = 0; slot < Channels; ++slot) {
        ChannelSeconds& channel = channels_[slot];
        const int16_t* samples =
            reader.samples(channel.element).data() + static_cast<std::ptrdiff_t>(second) * N;
        AnalysisState& state = analysis->state;
        state.SampleCount = 0;
        SpectralAnalysis::Packet packet = {};
        int outside = 0;
        for (int i = 0; i < N; ++i) {
            packet[0] = samples[i];
            analysis->spectra.storePacket(packet);
            if (samples[i] < PacketAnalysis::LowestGoodSample ||
                samples[i] > PacketAnalysis::HighestGoodSample)
                ++outside;
        }
        analysis->spectra.analyseBlock();
        channel.total.push_back(state.SlotTotal[0]);
        std::array<float, Bands> bands{};
        for (int b = 0; b < Bands; ++b)
            bands[b] = SpectralAnalysis::SumSpectrum(static_cast<int16_t>(BandBins[b].first),
                                                     static_cast<int16_t>(BandBins[b].last),
                                                     state.Spectrum);
        channel.bands.push_back(bands);
        std::array<float, 50> spectrum{};
        for (int k = 0; k < 50; ++k)
            spectrum[k] = static_cast<float>(state.Spectrum[k]);
        channel.spectrum.push_back(spectrum);
        channel.outOfRangeShare.push_back(static_cast<float>(outside) / N);
    }
}

// The packets of one second through the contact monitor's rule, as the program sees them.
void SessionAnalysis::judgeContact(const SessionReader& reader, int second) {
    constexpr int N = SessionReader::RecordSamples;
    int16_t positions[Channels];
    std::copy(positions_.begin(), positions_.end(), positions);
    std::array<const int16_t*, SessionReader::Signals> signals{};
    for (int e = 0; e < SessionReader::Signals; ++e)
        signals[e] = reader.samples(e).data() + static_cast<std::ptrdiff_t>(second) * N;
    for (int i = 0; i < N; ++i) {
        PacketAnalysis::Packet packet;
        for (int e = 0; e < SessionReader::Signals; ++e)
            packet[e] = signals[e][i];
        bool poor[Channels] = {};
        if (PacketAnalysis::JudgeContact(positions, packet, contactState_, poor)) {
            std::array<uint8_t, Channels> verdict{};
            for (int slot = 0; slot < Channels; ++slot)
                verdict[slot] = poor[slot] ? 1 : 0;
            contact_.push_back(verdict);
        }
    }
}

double SessionAnalysis::poorSeconds(int slot) const {
    const auto count = std::count_if(contact_.begin(), contact_.end(),
                                     [slot](const auto& verdict) { return verdict[slot] != 0; });
    return static_cast<double>(count) * ContactWindow / PacketsPerSecond;
}

namespace {

bool anyPoor(const std::array<uint8_t, SessionAnalysis::Channels>& verdict) {
    return std::any_of(verdict.begin(), verdict.end(), [](uint8_t p) { return p != 0; });
}

} // namespace

double SessionAnalysis::poorSeconds() const {
    const auto count = std::count_if(contact_.begin(), contact_.end(), anyPoor);
    return static_cast<double>(count) * ContactWindow / PacketsPerSecond;
}

std::vector<std::pair<double, double>> SessionAnalysis::poorSpans() const {
    std::vector<std::pair<double, double>> spans;
    const double window = ContactWindow / PacketsPerSecond;
    for (std::size_t k = 0; k < contact_.size(); ++k)
        if (anyPoor(contact_[k]))
            spans.emplace_back(static_cast<double>(k) * window,
                               static_cast<double>(k + 1) * window);
    return spans;
}

std::optional<double> SessionAnalysis::goodContactShare() const {
    if (contact_.empty())
        return std::nullopt;
    const auto poor = std::count_if(contact_.begin(), contact_.end(), anyPoor);
    return 1.0 - static_cast<double>(poor) / static_cast<double>(contact_.size());
}

Feedback SessionAnalysis::feedback() const {
    Feedback out;
    double shareTime = 0.0;
    const double end = seconds_;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const double from = std::clamp(steps_[i].time, 0.0, end);
        const double to = i + 1 < steps_.size() ? std::clamp(steps_[i + 1].time, 0.0, end) : end;
        const OutputState& s = steps_[i].state;
        const double span = to - from;
        if (span <= 0.0 || s.volume00 + s.volume01 <= 0)
            continue;
        out.soundSeconds += span;
        if (s.volume00 > s.volume01)
            out.ledSeconds[0] += span;
        else if (s.volume01 > s.volume00)
            out.ledSeconds[1] += span;
        else
            out.equalSeconds += span;
        shareTime += span * s.volume00 / (s.volume00 + s.volume01);
    }
    if (out.soundSeconds > 0.0) {
        out.meanShare[0] = shareTime / out.soundSeconds;
        out.meanShare[1] = 1.0 - out.meanShare[0];
    }
    return out;
}

double SessionAnalysis::shareLed00() const {
    const Feedback f = feedback();
    return f.soundSeconds > 0.0 ? f.ledSeconds[0] / f.soundSeconds : 0.0;
}

double SessionAnalysis::meanBand(Band band) const {
    double sum = 0.0;
    int count = 0;
    for (int slot = 0; slot < Channels; ++slot) {
        if (!inUse(slot))
            continue;
        const ChannelSeconds& channel = channels_[slot];
        for (const auto& bands : channel.bands) {
            sum += bands[band] * channel.microvoltsPerCount;
            ++count;
        }
    }
    return count > 0 ? sum / count : 0.0;
}

} // namespace solvane::viewer
