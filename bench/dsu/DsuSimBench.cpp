// Speed of the simulated DSU through its polling entry: packets per second replayed from a
// recording in data/eeg and made synthetically as fast as polled (session file and its sound
// included), the cost of a poll in a real-time run at 256 packets per second, and the work of
// the live sound's audio callback for one second of sound.

#include "dsu/sound/LiveSoundOutput.h"
#include "dsu/sound/ToneSynthesiser.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using solvane::dsusim::SimulatedDsu;
using solvane::testing::TempFolder;

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

// Polls in real time (256 packets a second) without pause: nearly every poll finds nothing due
// and must answer at once, cheaply, since the program polls again after each packet.
void RealTimePoll(benchmark::State& state) {
    TempFolder folder;
    SimulatedDsu dsu(folder.path());
    dsu.initialise();
    int32_t packet[8] = {};
    int32_t count = 0;
    for (auto _ : state) {
        dsu.poll(packet, 8, &count);
        benchmark::DoNotOptimize(packet);
    }
    state.counters["packets"] = static_cast<double>(dsu.delivered());
    dsu.terminate("bench.SES");
}
BENCHMARK(RealTimePoll)->MinTime(2.0);

// Both tones sounding, in the buffers the live output asks for: 200 buffers make a second.
void LiveSoundSecond(benchmark::State& state) {
    using solvane::dsusim::LiveSoundOutput;
    using solvane::dsusim::ToneSynthesiser;
    ToneSynthesiser synthesiser;
    synthesiser.set({{50, 50}, {210, 225}, false});
    std::vector<float> buffer(ToneSynthesiser::Channels * LiveSoundOutput::BufferFrames);
    const int buffers = ToneSynthesiser::Rate / static_cast<int>(LiveSoundOutput::BufferFrames);
    for (auto _ : state) {
        for (int b = 0; b < buffers; ++b)
            synthesiser.render(buffer.data(), static_cast<int>(LiveSoundOutput::BufferFrames));
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(LiveSoundSecond)->Unit(benchmark::kMillisecond);

} // namespace
