// Speed of draw on the contact path: one whole contact window per iteration (128 packets
// examined, the verdict on the 129th, with a map that does nothing), for no, one and four
// selected slots, with samples in range and with every sample out of range. The sample count
// of the block is set back after each window so that no analysis pass runs; what is measured
// is the contact check plus storing the slot samples. Allocations per window are reported and
// must be 0.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "support/CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace solvane {
namespace {

class NoMap : public ScalpMapView {
public:
    void setFillColour(int /*element*/, uint32_t colour) override {
        benchmark::DoNotOptimize(colour);
    }
    void setFillTransparent(int /*element*/) override {}
    void setTextColour(int /*element*/, uint32_t colour) override {
        benchmark::DoNotOptimize(colour);
    }
    void repaintNow() override {}
};

class NoCommands : public AveCommandSink {
public:
    void sendCommand(const char* /*command*/) override {}
};

constexpr int WindowCalls = 129;

// Arguments: selected slots (0, 1 or 4); 1 for out-of-range samples, 0 for in range.
void ContactWindowThroughDraw(benchmark::State& state) {
    const auto slots = state.range(0);
    const int32_t sample = state.range(1) != 0 ? 1021 : 512;
    Settings settings;
    settings.DSUSampleRate = 256;
    settings.AVEChannel1 = slots >= 1 ? 1 : 0;
    settings.AVEChannel2 = slots >= 4 ? 9 : 0;
    settings.AVEChannel3 = slots >= 4 ? 10 : 0;
    settings.AVEChannel4 = slots >= 4 ? 21 : 0;
    NoMap map;
    NoCommands commands;
    PacketAnalysis analysis(settings, map, commands);
    analysis.ApplyChannelSelection();
    const PacketAnalysis::Packet packet = {sample, sample, 512, 512, sample, sample, 512, 512};
    analysis.draw(packet); // the first draw greys; it is not part of the steady state
    analysis.state().ContactPacketCount = 0;
    analysis.state().SampleCount = 0;

    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = testing::allocations;
        for (int i = 0; i < WindowCalls; ++i)
            analysis.draw(packet);
        allocations += testing::allocations - before;
        benchmark::DoNotOptimize(analysis.state().OutOfRangeCount);
        analysis.state().SampleCount = 0;
    }
    if (analysis.state().ContactPacketCount != 0)
        state.SkipWithError("the window did not end with a verdict");
    state.counters["per packet"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * WindowCalls,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs/window"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(ContactWindowThroughDraw)
    ->ArgNames({"slots", "outOfRange"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1});

} // namespace
} // namespace solvane
