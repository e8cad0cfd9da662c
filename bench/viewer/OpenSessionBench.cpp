// Opening a one-hour session in the viewer: reading its recording and events file and
// analysing every second of it (target: under a second). Also the cost of one follow step
// of a run that has grown by a second, and opening a session whose events file has grown to
// 600 MB (what the reader then holds, in MB, is the counter held_MB).

#include "support/SessionFiles.h"
#include "support/TempFolder.h"
#include "viewer/SessionAnalysis.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using solvane::testing::SessionFiles;

int sample(int signal, long i) {
    const double t = static_cast<double>(i) / 256.0;
    return 512 + static_cast<int>(40.0 * std::sin(2.0 * 3.14159265 * (8.0 + signal) * t) +
                                  static_cast<double>((i * 7919 + signal * 104729) % 41) - 20.0);
}

/// A session of `seconds` with the two volume commands of every second, as a run sends them.
std::filesystem::path writeSession(const std::filesystem::path& folder, int seconds) {
    SessionFiles writer(folder, "2026-12-08_10-00-00", sample);
    writer.command("WE80C8");
    writer.command("WF80D2");
    for (int s = 0; s < seconds; ++s) {
        if (s > 0) {
            writer.command("WB00" + std::string(s % 2 ? "1C" : "21"));
            writer.command("WB01" + std::string(s % 2 ? "1F" : "1A"));
        }
        writer.add(1);
    }
    return writer.finish();
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
    SessionFiles writer(folder.path(), "2026-12-08_10-00-00", sample);
    writer.add(3600);
    solvane::viewer::SessionReader reader(writer.paths().working());
    reader.update();
    solvane::viewer::SessionAnalysis analysis;
    analysis.update(reader);
    for (auto _ : state) {
        state.PauseTiming();
        writer.add(1);
        state.ResumeTiming();
        reader.update();
        analysis.update(reader);
    }
}
BENCHMARK(FollowOneSecondOfAnHourLongRun)->Unit(benchmark::kMicrosecond)->Iterations(200);

// An hour of EEG whose events file holds 600 MB of commands: a program gone wild, or a file
// that is no events file of ours. The reader must hold a bounded part of it whatever its size.
void OpenSessionWith600MegabytesOfEvents(benchmark::State& state) {
    const solvane::testing::TempFolder folder;
    const auto path = writeSession(folder.path(), 60);
    {
        std::FILE* events =
            std::fopen(solvane::session::SessionPaths::ofRecording(path).events().c_str(), "ae");
        std::string chunk;
        char line[64];
        for (long n = 0, bytes = 0; bytes < 600L * 1000 * 1000; ++n) {
            const int length =
                std::snprintf(line, sizeof line, "%ld.%04ld\tn/a\tave_command\tWB00%02lX\n",
                              n / 10000, n % 10000, n % 100);
            chunk.append(line, static_cast<std::size_t>(length));
            bytes += length;
            if (chunk.size() > 1 << 20) {
                std::fwrite(chunk.data(), 1, chunk.size(), events);
                chunk.clear();
            }
        }
        std::fwrite(chunk.data(), 1, chunk.size(), events);
        std::fclose(events);
    }
    double held = 0.0;
    for (auto _ : state) {
        const auto inUse = [] {
            const struct mallinfo2 heap = mallinfo2();
            return static_cast<double>(heap.uordblks + heap.hblkhd);
        };
        const double before = inUse();
        solvane::viewer::SessionReader reader(path);
        reader.update();
        held = (inUse() - before) / 1e6;
        benchmark::DoNotOptimize(reader.events().size());
    }
    state.counters["held_MB"] = held;
}
BENCHMARK(OpenSessionWith600MegabytesOfEvents)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
