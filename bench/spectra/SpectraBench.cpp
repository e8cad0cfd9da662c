// Speed of the sample buffering and spectra: the store path per packet (alone and behind the
// contact check), the analysis pass with four active slots (transforms, spectra, totals and
// the output update), and whole blocks of DSUSampleRate + 1 packets through draw. Each
// reports the allocations it made per iteration; the steady state must make none.

#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"
#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "analysis/SpectralAnalysis.h"
#include "ave/AveCommandSink.h"
#include "support/CountingAllocator.h"
#include "support/NullOutputs.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace solvane {
namespace {

using testing::NoCommands;
using testing::NoMap;

struct PacketData {
    int32_t values[8];
};

// EEG-like 10-bit samples for the four slot elements.
std::vector<PacketData> makePackets(int count) {
    std::vector<PacketData> packets(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = i / 256.0;
        const auto at = [&](double f, double a) {
            return static_cast<int32_t>(
                std::lround(512 + a * std::sin(2 * std::numbers::pi * f * t)));
        };
        packets[static_cast<std::size_t>(i)] = {
            {at(10, 80), at(6, 60), 512, 512, at(12, 70), at(20, 40), 512, 512}};
    }
    return packets;
}

Settings fourSlotSettings() {
    Settings settings;
    settings.DSUSampleRate = 256;
    settings.AVEVolume = 12;
    settings.AVEFrequency = 210;
    settings.AVEDesiredFrequency = 15;
    settings.AVEChannel1 = 1;
    settings.AVEChannel2 = 2;
    settings.AVEChannel3 = 3;
    settings.AVEChannel4 = 4;
    return settings;
}

// Counts only what the measured body allocates, not the benchmark loop's own bookkeeping.
class AllocationTally {
public:
    void start() { before_ = testing::allocations; }
    void stop() { total_ += testing::allocations - before_; }
    void report(benchmark::State& state) const {
        state.counters["allocs/iter"] =
            benchmark::Counter(static_cast<double>(total_), benchmark::Counter::kAvgIterations);
    }

private:
    std::size_t before_ = 0;
    std::size_t total_ = 0;
};

// The analysis as the window holds it, with slots 1 to 4 selected.
struct FourSlotAnalysis {
    FourSlotAnalysis() { analysis.ApplyChannelSelection(); }
    Settings settings = fourSlotSettings();
    NoMap map;
    NoCommands device;
    PacketAnalysis analysis{settings, map, device};
};

// Time per packet, for a body that handles `packets` packets per iteration.
void reportPerPacket(benchmark::State& state, int packets) {
    state.counters["per packet"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * packets,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Per iteration: 256 packets stored, then SampleCount set back for the next iteration.
void StorePath(benchmark::State& state) {
    const Settings settings = fourSlotSettings();
    ChannelSelection selection;
    AnalysisState analysisState;
    SpectralAnalysis spectra(settings, selection, analysisState);
    const auto packets = makePackets(256);
    AllocationTally tally;
    for (auto _ : state) {
        tally.start();
        for (const auto& p : packets)
            spectra.storePacket(p.values);
        benchmark::DoNotOptimize(analysisState.SampleBuffer);
        analysisState.SampleCount = 0;
        tally.stop();
    }
    reportPerPacket(state, 256);
    tally.report(state);
}
BENCHMARK(StorePath);

// Per iteration: 256 packets through draw without an analysis pass, so each packet costs the
// contact check (a verdict every 129th) plus the store path.
void ContactAndStoreThroughDraw(benchmark::State& state) {
    FourSlotAnalysis fourSlots;
    PacketAnalysis& analysis = fourSlots.analysis;
    const auto packets = makePackets(256);
    AllocationTally tally;
    for (auto _ : state) {
        tally.start();
        for (const auto& p : packets)
            analysis.draw(p.values);
        analysis.state().SampleCount = 0;
        tally.stop();
    }
    reportPerPacket(state, 256);
    tally.report(state);
}
BENCHMARK(ContactAndStoreThroughDraw);

// One packet that finds the block full: four transforms, spectra and totals, the update.
void AnalysisPassFourSlots(benchmark::State& state) {
    FourSlotAnalysis fourSlots;
    PacketAnalysis& analysis = fourSlots.analysis;
    const auto packets = makePackets(257);
    for (const auto& p : packets)
        analysis.drawThePieChartsAndGenerateTones(p.values);
    AllocationTally tally;
    for (auto _ : state) {
        tally.start();
        analysis.state().SampleCount = fourSlots.settings.DSUSampleRate;
        analysis.drawThePieChartsAndGenerateTones(packets[256].values);
        benchmark::DoNotOptimize(analysis.state().SlotTotal);
        tally.stop();
    }
    tally.report(state);
}
BENCHMARK(AnalysisPassFourSlots);

// 257 packets through draw: contact check every packet, spectra once per block.
void BlockThroughDraw(benchmark::State& state) {
    FourSlotAnalysis fourSlots;
    PacketAnalysis& analysis = fourSlots.analysis;
    const auto packets = makePackets(257);
    for (const auto& p : packets)
        analysis.draw(p.values);
    AllocationTally tally;
    for (auto _ : state) {
        tally.start();
        for (const auto& p : packets)
            analysis.draw(p.values);
        benchmark::DoNotOptimize(analysis.state().SlotTotal);
        tally.stop();
    }
    reportPerPacket(state, 257);
    tally.report(state);
}
BENCHMARK(BlockThroughDraw);

} // namespace
} // namespace solvane
