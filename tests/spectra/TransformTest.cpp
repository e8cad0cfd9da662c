// The FFT component against the transform's definition, and the spectrum of a block of
// 16-bit samples.

#include "analysis/FFTX1.h"
#include "analysis/SpectralAnalysis.h"
#include "checked/RunTimeError.h"
#include "config/Settings.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"
#include "support/DirectDft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace solvane {
namespace {

constexpr double Pi = std::numbers::pi;

using testing::directDft;

// A repeatable sequence in -1000..1000, whatever the standard library.
double pseudoRandom(uint32_t& seed) {
    seed = seed * 1664525U + 1013904223U;
    return static_cast<double>(seed >> 8U) / (1U << 24U) * 2000.0 - 1000.0;
}

double amplitude(const std::vector<double>& data, int k, int n) {
    return 2.0 * std::hypot(data[2 * k], data[2 * k + 1]) / n;
}

struct SineRow {
    int cycles;
    double amplitude;
    double phase; ///< radians
};

class TransformOfSine : public ::testing::TestWithParam<SineRow> {};

TEST_P(TransformOfSine, GivesItsAmplitudeAtItsBinAndNothingElsewhere) {
    const SineRow row = GetParam();
    constexpr int N = 256;
    std::vector<double> data(2 * N);
    for (int t = 0; t < N; ++t)
        data[2 * t] = row.amplitude * std::sin(2.0 * Pi * row.cycles * t / N + row.phase);
    FFTX1 fft;
    EXPECT_EQ(fft.FFT(data[0], N), 0);
    for (int k = 0; k < N / 2; ++k) {
        if (k == row.cycles)
            EXPECT_NEAR(amplitude(data, k, N), row.amplitude, 1e-9) << "bin " << k;
        else
            EXPECT_NEAR(amplitude(data, k, N), 0.0, 1e-9) << "bin " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, TransformOfSine,
                         ::testing::Values(SineRow{1, 1.0, 0.0}, SineRow{10, 100.0, 0.3},
                                           SineRow{35, 511.5, 1.0}, SineRow{49, 0.25, 2.0},
                                           SineRow{127, 300.0, 0.7}),
                         [](const ::testing::TestParamInfo<SineRow>& row) {
                             return "cycles" + std::to_string(row.param.cycles);
                         });

TEST(Transform, OfAConstantIsNTimesItAtBinZeroOnly) {
    constexpr int N = 256;
    std::vector<double> data(2 * N);
    for (int t = 0; t < N; ++t)
        data[2 * t] = 37.5;
    FFTX1 fft;
    fft.FFT(data[0], N);
    EXPECT_NEAR(data[0], 37.5 * N, 1e-9);
    EXPECT_NEAR(data[1], 0.0, 1e-9);
    for (int k = 1; k < N; ++k)
        EXPECT_NEAR(std::hypot(data[2 * k], data[2 * k + 1]), 0.0, 1e-9) << "bin " << k;
}

class TransformOfLength : public ::testing::TestWithParam<int> {};

// The first use of each length also proves that making its plan leaves the data intact.
TEST_P(TransformOfLength, MatchesTheDirectTransformAndLeavesTheRestAlone) {
    const int n = GetParam();
    uint32_t seed = 12345U + static_cast<uint32_t>(n);
    std::vector<double> data(2 * 256 + 1);
    for (double& value : data)
        value = pseudoRandom(seed);
    const std::vector<double> before = data;
    const auto expected = directDft(before, n);

    FFTX1 fft;
    fft.FFT(data[0], n);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(data[2 * k], static_cast<double>(expected[k].real()), 1e-12 * n * 1000)
            << "bin " << k;
        EXPECT_NEAR(data[2 * k + 1], static_cast<double>(expected[k].imag()), 1e-12 * n * 1000)
            << "bin " << k;
    }
    for (std::size_t i = 2 * static_cast<std::size_t>(n); i < data.size(); ++i)
        EXPECT_EQ(data[i], before[i]) << "element " << i << " lies beyond the " << n << " points";
}

INSTANTIATE_TEST_SUITE_P(Lengths, TransformOfLength,
                         ::testing::Values(1, 2, 3, 7, 64, 100, 128, 200, 251, 255, 256),
                         [](const ::testing::TestParamInfo<int>& row) {
                             return "N" + std::to_string(row.param);
                         });

TEST(Transform, RepeatedUseOfALengthGivesTheSameResult) {
    FFTX1 fft;
    for (int n : {200, 256, 200}) {
        uint32_t seed = 99U;
        std::vector<double> data(2 * n);
        for (double& value : data)
            value = pseudoRandom(seed);
        const auto expected = directDft(data, n);
        fft.FFT(data[0], n);
        for (int k = 0; k < n; ++k)
            ASSERT_NEAR(data[2 * k], static_cast<double>(expected[k].real()), 1e-6) << n;
    }
}

TEST(Transform, RefusesPointCountsOutside1To256) {
    FFTX1 fft;
    double data[2 * 258] = {};
    for (int32_t n : {0, -1, 257, 1024}) {
        try {
            fft.FFT(data[0], n);
            ADD_FAILURE() << n << " points were accepted";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.kind(), RunTimeErrorKind::InvalidOperation) << n;
        }
    }
}

// A block of 16-bit samples through the store path and the analysis pass: the amplitude of
// each bin is that of the sine, give or take what rounding the samples to integers moved.
struct BlockRow {
    int16_t sampleRate;
    int cycles;
    double amplitude;
};

class SpectrumOfABlock : public ::testing::TestWithParam<BlockRow> {};

TEST_P(SpectrumOfABlock, IsTheSinesAmplitudeWithinTheRoundingOfTheSamples) {
    const BlockRow row = GetParam();
    const int n = row.sampleRate;
    Settings settings;
    settings.DSUSampleRate = row.sampleRate;
    ChannelSelection selection;
    selection.ChannelMap[2] = 5; // slot 2 reads packet element 1
    AnalysisState state;
    // Rows beyond the block hold older samples; an N-point transform must not see them.
    for (int r = n; r < 257; ++r)
        state.SampleBuffer[2][r] = static_cast<int16_t>(r % 2 == 0 ? 30000 : -30000);
    SpectralAnalysis spectra(settings, selection, state);

    const double offset = 512.0;
    double roundingSum = 0.0; // sum of |rounded - exact| over the block
    int32_t packet[8] = {};
    for (int t = 0; t < n; ++t) {
        const double exact = offset + row.amplitude * std::sin(2.0 * Pi * row.cycles * t / n);
        packet[1] = static_cast<int32_t>(std::lround(exact));
        roundingSum += std::fabs(packet[1] - exact);
        ASSERT_FALSE(spectra.takePacket(packet));
    }
    ASSERT_TRUE(spectra.takePacket(packet));

    // |X_k| moves by at most the sum of the rounding errors, the amplitude by 2/N of that.
    const double tolerance = 2.0 * roundingSum / n + 1e-9;
    EXPECT_NEAR(state.Spectrum[0], 2.0 * offset, tolerance);
    for (int k = 1; k < 50; ++k) {
        const double expected = k == row.cycles ? row.amplitude : 0.0;
        EXPECT_NEAR(state.Spectrum[k], expected, tolerance) << "bin " << k;
    }
    EXPECT_EQ(state.Spectrum[50], 0.0);
    EXPECT_NEAR(state.SlotTotal[2], row.amplitude, 35 * tolerance + 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Rows, SpectrumOfABlock,
                         ::testing::Values(BlockRow{256, 10, 100.0}, BlockRow{256, 1, 400.0},
                                           BlockRow{128, 12, 50.0}, BlockRow{200, 35, 20.0}),
                         [](const ::testing::TestParamInfo<BlockRow>& row) {
                             return "rate" + std::to_string(row.param.sampleRate) + "_cycles" +
                                    std::to_string(row.param.cycles);
                         });

} // namespace
} // namespace solvane
