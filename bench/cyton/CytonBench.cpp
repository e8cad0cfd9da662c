// Real-time runs of a few seconds polled every millisecond, as the program polls, for each live
// source: the delay from a sample's arrival to the packet that stands for it leaving GetP3Data
// (p10, p50, p90, p99, the resampler's filter included), and the polling thread's share of one
// processor. The boards are emulated on a pseudo-terminal, paced at their rate (the Cyton's
// 250 Hz, an OpenEEG board's 256 Hz); an LSL stream at 250, 500 and 1000 Hz comes from the
// stand-in liblsl, paced too; the synthetic source is the reference for the processor share.

#include "boards/BoardEmulator.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
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

/// The stand-in liblsl, loaded as the DSU then loads it, streaming at `rate` in real time.
struct PacedStream {
    void* handle = dlopen(SOLVANE_LSL_STANDIN, RTLD_NOW);
    int stream = -1;
    template <typename F> F* get(const char* name) {
        return reinterpret_cast<F*>(dlsym(handle, name));
    }
    explicit PacedStream(double rate) {
        get<void(int)>("standin_reset")(116);
        stream = get<int(const char*, const char*, const char*, double, int, int, const char*,
                         const char*)>("standin_add_stream")("Amp", "EEG", "amp-1", rate, 1, 8,
                                                             nullptr, nullptr);
        get<void(int, double, double, double, double)>("standin_timeline")(stream, 0, 60, 0, 0);
        get<void(int)>("standin_paced")(stream);
    }
    /// Steady-clock time at which the k-th sample the DSU reads was due (the samples it took
    /// as the backlog, before its first wait, do not count).
    Clock::time_point due(long k) {
        const long first = get<long()>("standin_first_live")();
        const double seconds = get<double(int, long)>("standin_due")(stream, first + k);
        return Clock::time_point(
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
    }
    ~PacedStream() { dlclose(handle); }
};

/// `ini` for the source; `arrived(j)` the time input sample j arrived, at `rate`.
void run(benchmark::State& state, const std::string& ini, double rate,
         const std::function<Clock::time_point(std::size_t)>& arrived,
         const std::function<std::size_t()>& arrivals) {
    constexpr double Seconds = 5.0;
    for (auto _ : state) {
        testing::TempFolder folder;
        folder.write("dsu-simulator.ini", "[Simulator]\nSound = off\nSoundFile = off\n" + ini);
        dsusim::SimulatedDsu dsu(folder.path());
        if (dsu.initialise() != 0) {
            state.SkipWithError("InitialiseDSU failed");
            return;
        }
        std::vector<Clock::time_point> out;
        out.reserve(8192);
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
        if (!arrived)
            continue;
        std::vector<double> delays;
        for (std::size_t k = 0; k < out.size(); ++k) {
            const auto j = static_cast<std::size_t>(static_cast<double>(k) * rate / 256.0);
            if (j < arrivals())
                delays.push_back(
                    std::chrono::duration<double, std::milli>(out[k] - arrived(j)).count());
        }
        std::sort(delays.begin(), delays.end());
        if (delays.empty())
            continue;
        state.counters["delay_p10_ms"] = delays[delays.size() / 10];
        state.counters["delay_p50_ms"] = delays[delays.size() / 2];
        state.counters["delay_p90_ms"] = delays[delays.size() * 9 / 10];
        state.counters["delay_p99_ms"] = delays[delays.size() * 99 / 100];
    }
}

void board(benchmark::State& state, testing::BoardEmulator::Options options, const char* source) {
    options.paced = true;
    testing::BoardEmulator emulator(options);
    std::vector<Clock::time_point> writes;
    run(
        state, std::string("Source = ") + source + "\nSerialDevice = " + emulator.device() + "\n",
        emulator.rate(),
        [&](std::size_t j) {
            if (writes.empty())
                writes = emulator.writeTimes();
            return writes[j];
        },
        [&] {
            if (writes.empty())
                writes = emulator.writeTimes();
            return writes.size();
        });
}

void BM_CytonRealTime(benchmark::State& state) {
    board(state, {}, "cyton");
}
void BM_OpenEegRealTime(benchmark::State& state) {
    board(state, {.protocol = testing::BoardEmulator::Protocol::OpenEeg}, "openeeg");
}
void BM_LslRealTime(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    PacedStream stream(rate);
    run(
        state, std::string("Source = lsl\nLslLibrary = ") + SOLVANE_LSL_STANDIN + "\n", rate,
        [&](std::size_t j) { return stream.due(static_cast<long>(j)); },
        [] { return std::size_t{1} << 30; });
}
void BM_SyntheticRealTime(benchmark::State& state) {
    run(state, "", 256.0, {}, {});
}
BENCHMARK(BM_CytonRealTime)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_OpenEegRealTime)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_LslRealTime)->Arg(250)->Arg(500)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SyntheticRealTime)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
