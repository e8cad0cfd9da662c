// Opening a one-hour session in the viewer: reading its recording and events file and
// analysing every second of it (target: under a second). Also the cost of one follow step
// of a run that has grown by a second.

#include "support/TempFolder.h"
#include "viewer/SessionAnalysis.h"
#include "viewer/SessionWriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

using solvane::testing::appendEvents;
using solvane::testing::commandLine;
using solvane::testing::SessionWriter;

int sample(int signal, long i) {
    const double t = static_cast<double>(i) / 256.0;
    return 512 + static_cast<int>(40.0 * std::sin(2.0 * 3.14159265 * (8.0 + signal) * t) +
                                  static_cast<double>((i * 7919 + signal * 104729) % 41) - 20.0);
}

/// A session of `seconds` with the two volume commands of every second in its events file.
std::filesystem::path writeSession(const std::filesystem::path& folder, int seconds) {
    SessionWriter writer(folder / "2026-12-08_10-00-00.edf", "synthetic EEG, seed 1", sample);
    writer.addRecords(seconds);
    std::string lines = commandLine(0.0, "WE80C8") + commandLine(0.0, "WF80D2");
    for (int s = 1; s < seconds; ++s) {
        const double onset = s * 257.0 / 256.0;
        lines += commandLine(onset, "WB00" + std::string(s % 2 ? "1C" : "21"));
        lines += commandLine(onset, "WB01" + std::string(s % 2 ? "1F" : "1A"));
    }
    appendEvents(folder / "2026-12-08_10-00-00_events.tsv", lines);
    return writer.path();
}

void OpenOneHourSession(benchmark::State& state) {
    const solvane::testing::TempFolder folder;
    const auto path = writeSession(folder.path(), 3600);
    for (auto _ : state) {
        solvane::viewer::SessionReader reader(path);
        reader.update();
        solvane::viewer::SessionAnalysis analysis;
        analysis.update(reader);
        benchmark::DoNotOptimize(analysis.meanShare00());
    }
}
BENCHMARK(OpenOneHourSession)->Unit(benchmark::kMillisecond);

// What the window does once a second while it follows an hour-long run, without the painting.
void FollowOneSecondOfAnHourLongRun(benchmark::State& state) {
    const solvane::testing::TempFolder folder;
    SessionWriter writer(folder.path() / "2026-12-08_10-00-00.working.edf", "x", sample);
    writer.addRecords(3600);
    solvane::viewer::SessionReader reader(writer.path());
    reader.update();
    solvane::viewer::SessionAnalysis analysis;
    analysis.update(reader);
    for (auto _ : state) {
        state.PauseTiming();
        writer.addRecords(1);
        state.ResumeTiming();
        reader.update();
        analysis.update(reader);
    }
}
BENCHMARK(FollowOneSecondOfAnHourLongRun)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace
