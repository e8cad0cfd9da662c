// The live sources' resampler at the input rates boards and streams bring: over 1-35 Hz (every
// half hertz) the largest amplitude error and frequency error of a sine brought to 256 Hz, the
// largest delay from an input sample to the output frame of its time, and the time a frame of
// input costs.

#include "dsu/eeg/LiveResampler.h"
#include "support/SineFit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using solvane::dsusim::LiveResampler;

/// Amplitude and phase of `frequency` Hz in `values` [from, to) at 256 Hz.
void fit(const std::vector<float>& values, std::size_t from, std::size_t to, double frequency,
         double& amplitude, double& phase) {
    const auto found =
        solvane::testing::fitSine(from, to, frequency, [&](std::size_t k) { return values[k]; });
    amplitude = found.amplitude;
    phase = found.phase;
}

void BM_LiveResampler(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    double amplitudeError = 0.0;
    double frequencyError = 0.0;
    double delay = 0.0;
    for (double frequency = 1.0; frequency <= 35.0; frequency += 0.5) {
        LiveResampler resampler(rate);
        std::vector<float> out;
        const auto inputs = static_cast<int>(30 * rate);
        for (int i = 0; i < inputs; ++i) {
            const double t = i / rate;
            const auto value = static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency * t));
            const float frame[4] = {value, value, value, value};
            resampler.push(frame);
            for (LiveResampler::Frame made{}; resampler.pull(made);) {
                delay = std::max(delay, t - static_cast<double>(out.size()) / 256.0);
                out.push_back(made.values[0]);
            }
        }
        // Whole seconds, so that the fit sees whole periods of every half hertz.
        const std::size_t from = 256;
        const std::size_t span = 256 * 14;
        double a1 = 0.0;
        double p1 = 0.0;
        double a2 = 0.0;
        double p2 = 0.0;
        fit(out, from, from + span, frequency, a1, p1);
        fit(out, from + span, from + 2 * span, frequency, a2, p2);
        amplitudeError = std::max({amplitudeError, std::abs(a1 - 1.0), std::abs(a2 - 1.0)});
        const double drift = std::remainder(p2 - p1, 2.0 * std::numbers::pi);
        frequencyError = std::max(frequencyError, std::abs(drift) / (2.0 * std::numbers::pi * 14));
    }
    LiveResampler resampler(rate);
    const float frame[4] = {1.0F, 2.0F, 3.0F, 4.0F};
    LiveResampler::Frame made{};
    for (auto _ : state) {
        resampler.push(frame);
        while (resampler.pull(made))
            benchmark::DoNotOptimize(made);
    }
    state.counters["amplitude_error_pct"] = 100.0 * amplitudeError;
    state.counters["frequency_error_hz"] = frequencyError;
    state.counters["delay_ms"] = 1000.0 * delay;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LiveResampler)->Arg(125)->Arg(250)->Arg(500)->Arg(1000);

} // namespace
