// The one resampler of the live sources (boards, streams), over the input rates they bring:
// sines keep their amplitude, frequency and time at 256 Hz, each output frame comes within
// the delay allowed, finish() delivers the last frames, and frames nobody pulls are dropped
// and counted.

#include "dsu/eeg/LiveResampler.h"
#include "support/SineFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace solvane::dsusim {
namespace {

struct RateCase {
    double rate;           // Hz, of the input
    double longestDelayMs; // from an input sample to the output frame of its time
};

void PrintTo(const RateCase& c, std::ostream* out) {
    *out << c.rate << " Hz";
}

class LiveResampling : public ::testing::TestWithParam<RateCase> {};

/// Amplitude and phase of `frequency` Hz in `values` [from, to) at 256 Hz, against a sine.
void fit(const std::vector<float>& values, std::size_t from, std::size_t to, double frequency,
         double& amplitude, double& phase) {
    const auto found =
        solvane::testing::fitSine(from, to, frequency, [&](std::size_t k) { return values[k]; });
    amplitude = found.amplitude;
    phase = found.phase;
}

// Catches a filter that droops or rings in the band the feedback uses (more than 1 % off
// anywhere in 1-35 Hz), a ratio that is not exact (the frequency drifts), output frames that
// stand for the wrong time (a phase offset), and a filter so long that the feedback lags.
TEST_P(LiveResampling, KeepsAmplitudeFrequencyAndTimeWithinTheDelay) {
    const RateCase& c = GetParam();
    for (const double frequency : {1.0, 10.0, 20.0, 35.0}) {
        SCOPED_TRACE(frequency);
        LiveResampler resampler(c.rate);
        std::vector<float> out;
        double longest = 0.0; // seconds an output frame came after its own time
        const int inputs = static_cast<int>(20 * c.rate);
        for (int i = 0; i < inputs; ++i) {
            const double t = i / c.rate;
            const auto value =
                static_cast<float>(100.0 * std::sin(2.0 * std::numbers::pi * frequency * t));
            const float frame[4] = {value, -value, 0.0F, 1000.0F};
            resampler.push(frame);
            LiveResampler::Frame made{};
            while (resampler.pull(made)) {
                longest = std::max(longest, t - static_cast<double>(out.size()) / 256.0);
                out.push_back(made.values[0]);
                EXPECT_EQ(made.values[3], 1000.0F); // a constant stays constant
            }
        }
        EXPECT_LE(longest * 1000.0, c.longestDelayMs);
        // Then every frame whose time the input covered, 0 to (inputs - 1) / rate seconds.
        resampler.finish();
        for (LiveResampler::Frame made{}; resampler.pull(made);)
            out.push_back(made.values[0]);
        EXPECT_EQ(out.size(), static_cast<std::size_t>((inputs - 1) * 256.0 / c.rate) + 1);
        const std::size_t from = 512;
        const std::size_t half = (out.size() - from) / 2;
        double first = 0.0;
        double second = 0.0;
        double phase1 = 0.0;
        double phase2 = 0.0;
        fit(out, from, from + half, frequency, first, phase1);
        fit(out, from + half, from + 2 * half, frequency, second, phase2);
        EXPECT_NEAR(first, 100.0, 1.0);
        EXPECT_NEAR(second, 100.0, 1.0);
        EXPECT_NEAR(phase1, 0.0, 0.01);     // output frame k is the input at k / 256 s
        EXPECT_NEAR(phase2, phase1, 0.005); // no drift: 10 s later, 0.0001 Hz off at most
    }
}

// Catches frames that find the ring full lost without a count, or the oldest ones overwritten
// while they wait to be read.
TEST_P(LiveResampling, DropsWhatFindsNoRoomAndCountsIt) {
    const RateCase& c = GetParam();
    LiveResampler resampler(c.rate);
    const auto inputs = static_cast<int>(40 * c.rate);
    for (int i = 0; i < inputs; ++i) {
        const float frame[4] = {static_cast<float>(i / c.rate), 0.0F, 0.0F, 0.0F}; // its time
        resampler.push(frame);
    }
    resampler.finish();
    const auto made = static_cast<uint64_t>((inputs - 1) * 256.0 / c.rate) + 1;
    int pulled = 0;
    LiveResampler::Frame out{};
    while (resampler.pull(out)) {
        EXPECT_NEAR(out.values[0], pulled / 256.0, 1e-3) << pulled;
        ++pulled;
    }
    EXPECT_EQ(static_cast<std::size_t>(pulled), LiveResampler::Capacity);
    EXPECT_EQ(resampler.dropped(), made - LiveResampler::Capacity);
}

INSTANTIATE_TEST_SUITE_P(Rates, LiveResampling,
                         ::testing::Values(RateCase{125.0, 33.0}, RateCase{250.0, 17.0},
                                           RateCase{500.0, 17.0}, RateCase{1000.0, 17.0}));

} // namespace
} // namespace solvane::dsusim
