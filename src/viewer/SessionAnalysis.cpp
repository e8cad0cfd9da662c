#include "viewer/SessionAnalysis.h"

#include "analysis/PacketAnalysis.h"
#include "analysis/SpectralAnalysis.h"
#include "config/Settings.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"

#include <memory>

namespace solvane::viewer {

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
        channels_[slot].element = PacketAnalysis::SlotElement[slot];
        channels_[slot].label = reader.label(channels_[slot].element);
    }
    for (int second = seconds_; second < reader.records(); ++second)
        analyseSecond(reader, second);
    seconds_ = reader.records();

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
    bool anyPoor = false;
    for (int slot = 0; slot < Channels; ++slot) {
        ChannelSeconds& channel = channels_[slot];
        const int16_t* samples =
            reader.samples(channel.element).data() + static_cast<std::ptrdiff_t>(second) * N;
        AnalysisState& state = analysis->state;
        state.SampleCount = 0;
        SpectralAnalysis::Packet packet = {};
        int outside = 0;
        int windowOutside[2] = {};
        for (int i = 0; i < N; ++i) {
            packet[0] = samples[i];
            analysis->spectra.storePacket(packet);
            if (samples[i] < PacketAnalysis::LowestGoodSample ||
                samples[i] > PacketAnalysis::HighestGoodSample) {
                ++outside;
                ++windowOutside[i / PacketAnalysis::ContactWindowPackets % 2];
            }
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
        channel.contactShare.push_back(static_cast<float>(outside) / N);
        const bool poor = windowOutside[0] >= PacketAnalysis::PoorContactSamples ||
                          windowOutside[1] >= PacketAnalysis::PoorContactSamples;
        channel.poor.push_back(poor ? 1 : 0);
        channel.poorSeconds += poor ? 1 : 0;
        anyPoor = anyPoor || poor;
    }
    anyPoor_.push_back(anyPoor ? 1 : 0);
    poorSeconds_ += anyPoor ? 1 : 0;
}

double SessionAnalysis::meanShare00() const {
    double sum = 0.0;
    int count = 0;
    for (const float share : share00_)
        if (share >= 0.0F) {
            sum += share;
            ++count;
        }
    return count > 0 ? sum / count : 0.0;
}

double SessionAnalysis::shareLed00() const {
    int led = 0;
    int count = 0;
    for (const OutputState& state : perSecond_)
        if (state.volume00 + state.volume01 > 0) {
            ++count;
            led += state.volume00 > state.volume01 ? 1 : 0;
        }
    return count > 0 ? static_cast<double>(led) / count : 0.0;
}

double SessionAnalysis::meanBand(Band band) const {
    double sum = 0.0;
    int count = 0;
    for (const ChannelSeconds& channel : channels_)
        for (const auto& bands : channel.bands) {
            sum += bands[band];
            ++count;
        }
    return count > 0 ? sum / count : 0.0;
}

} // namespace solvane::viewer
