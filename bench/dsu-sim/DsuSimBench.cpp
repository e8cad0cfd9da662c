// Speed of the simulated DSU through its polling entry: packets per second replayed from a
// recording in data/eeg and made synthetically as fast as polled (session file included), and
// the processor share of a real-time run at 256 packets per second.

#include "dsu-sim/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

using solvane::dsusim::SimulatedDsu;
using solvane::testing::TempFolder;

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void pollAsFastAsPossible(benchmark::State& state, const std::string& ini) {
    TempFolder folder;
    folder.write("dsu-simulator.ini", ini);
    SimulatedDsu dsu(folder.path());
    if (dsu.initialise() != 0) {
        state.SkipWithError("InitialiseDSU failed");
        return;
    }
    int32_t packet[8] = {};
    int32_t count = 0;
    for (auto _ : state) {
        dsu.poll(packet, 8, &count);
        benchmark::DoNotOptimize(packet);
    }
    state.SetItemsProcessed(static_cast<int64_t>(dsu.delivered()));
    dsu.terminate("bench.SES");
}

void ReplayAsFastAsPolled(benchmark::State& state) {
    const std::filesystem::path recording =
        std::filesystem::path(SOLVANE_EEG_RECORDINGS) / "eegmat_Subject00_1.edf";
    if (!std::filesystem::exists(recording)) {
        state.SkipWithError(("the recording " + recording.string() + " is missing").c_str());
        return;
    }
    pollAsFastAsPossible(state, "[Simulator]\nSource = " + recording.string() +
                                    "\nChannels = O1, O2, P3, P4\nSpeed = 0\nLoop = 1\n");
}
BENCHMARK(ReplayAsFastAsPolled);

void SyntheticAsFastAsPolled(benchmark::State& state) {
    pollAsFastAsPossible(state, "[Simulator]\nSpeed = 0\n");
}
BENCHMARK(SyntheticAsFastAsPolled);

// A caller that polls without pause, as the program's loop does, for ten seconds of real time.
void RealTimeProcessorShare(benchmark::State& state) {
    TempFolder folder;
    SimulatedDsu dsu(folder.path());
    int32_t packet[8] = {};
    int32_t count = 0;
    for (auto _ : state) {
        dsu.initialise();
        const double before = processorSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + std::chrono::seconds(10);
        uint64_t polls = 0;
        while (std::chrono::steady_clock::now() < end) {
            dsu.poll(packet, 8, &count);
            ++polls;
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["processor_percent"] = 100.0 * (processorSeconds() - before) / wall;
        state.counters["packets_per_s"] = static_cast<double>(dsu.delivered()) / wall;
        state.counters["polls_per_s"] = static_cast<double>(polls) / wall;
        dsu.terminate("bench.SES");
    }
}
BENCHMARK(RealTimeProcessorShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
