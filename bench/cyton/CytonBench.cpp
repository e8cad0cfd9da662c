// A real-time run of a few seconds polled every millisecond, as the program polls: for the
// Cyton source (board emulated on a pseudo-terminal, paced at 250 samples/s) the delay from the
// write of the board sample a packet stands for to that packet leaving GetP3Data (p50, p99,
// including the resampler's filter delay), and for both sources the polling thread's share of
// one processor.

#include "cyton/CytonEmulator.h"
#include "dsu/unit/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace solvane;
using Clock = std::chrono::steady_clock;

double threadSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void run(benchmark::State& state, bool cyton) {
    constexpr double Seconds = 5.0;
    for (auto _ : state) {
        testing::TempFolder folder;
        std::unique_ptr<testing::CytonEmulator> board;
        std::string ini = "[Simulator]\nSound = off\nSoundFile = off\n";
        if (cyton) {
            board = std::make_unique<testing::CytonEmulator>(
                testing::CytonEmulator::Options{.paced = true});
            ini += "Source = cyton\nSerialDevice = " + board->device() + "\n";
        }
        folder.write("dsu-simulator.ini", ini);
        dsusim::SimulatedDsu dsu(folder.path());
        if (dsu.initialise() != 0) {
            state.SkipWithError("InitialiseDSU failed");
            return;
        }
        std::vector<Clock::time_point> out;
        out.reserve(4096);
        const double cpuStart = threadSeconds();
        const auto start = Clock::now();
        int32_t packet[8];
        int32_t count = 0;
        while (Clock::now() - start < std::chrono::duration<double>(Seconds)) {
            while (dsu.poll(packet, 8, &count) == 0)
                out.push_back(Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double cpu = threadSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        dsu.terminate(nullptr);
        state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        state.counters["packets"] = static_cast<double>(out.size());
        if (!board)
            continue;
        const auto writes = board->writeTimes();
        std::vector<double> delays;
        for (std::size_t k = 0; k < out.size(); ++k) {
            const auto j = static_cast<std::size_t>(static_cast<double>(k) * 250.0 / 256.0);
            if (j < writes.size())
                delays.push_back(
                    std::chrono::duration<double, std::milli>(out[k] - writes[j]).count());
        }
        std::sort(delays.begin(), delays.end());
        if (delays.empty())
            continue;
        state.counters["delay_p50_ms"] = delays[delays.size() / 2];
        state.counters["delay_p99_ms"] = delays[delays.size() * 99 / 100];
        state.counters["delay_p10_ms"] = delays[delays.size() / 10];
        state.counters["delay_p90_ms"] = delays[delays.size() * 9 / 10];
    }
}

void BM_CytonRealTime(benchmark::State& state) {
    run(state, true);
}
void BM_SyntheticRealTime(benchmark::State& state) {
    run(state, false);
}
BENCHMARK(BM_CytonRealTime)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SyntheticRealTime)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
