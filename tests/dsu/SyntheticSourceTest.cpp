// Synthetic EEG: repeatable for a seed, centred and in range, an alpha peak in the spectrum
// of a block, a drifting left/right asymmetry, and contact faults that rail.

#include "dsu/eeg/SyntheticSource.h"
#include "DsuSimSupport.h"
#include "dsu/device/SimulatorConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::blockSpectrum;
using testing::peakBin;

constexpr double Gain = SimulatorConfig::DefaultGain;

// `seconds` of samples, [slot][sample].
std::vector<std::vector<int32_t>> generate(uint64_t seed, int seconds, double gain = Gain) {
    SyntheticSource source(seed, gain);
    std::vector<std::vector<int32_t>> samples(4);
    int32_t counts[4];
    for (int i = 0; i < seconds * 256; ++i) {
        EXPECT_TRUE(source.next(counts));
        for (int slot = 0; slot < 4; ++slot)
            samples[slot].push_back(counts[slot]);
    }
    return samples;
}

bool railed(int32_t sample) {
    return sample == 0 || sample == 1023;
}

TEST(SyntheticEeg, IsTheSameForTheSameSeed) {
    const auto first = generate(7, 30);
    EXPECT_EQ(first, generate(7, 30));
    EXPECT_NE(first, generate(8, 30));
}

TEST(SyntheticEeg, IsCentredAndSizedLikeEeg) {
    // The first contact fault comes after 20 s at the earliest.
    const auto samples = generate(3, 20);
    for (int slot = 0; slot < 4; ++slot) {
        double sum = 0.0;
        double squares = 0.0;
        for (const int32_t s : samples[slot]) {
            sum += s;
            squares += (s - 512.0) * (s - 512.0);
        }
        const double n = static_cast<double>(samples[slot].size());
        const double rmsMicrovolts = std::sqrt(squares / n) / Gain;
        EXPECT_NEAR(sum / n, 512.0, 3.0) << "slot " << slot;
        EXPECT_GT(rmsMicrovolts, 8.0) << "slot " << slot;
        EXPECT_LT(rmsMicrovolts, 40.0) << "slot " << slot;
        EXPECT_EQ(std::count_if(samples[slot].begin(), samples[slot].end(), railed), 0);
    }
}

TEST(SyntheticEeg, HasItsSpectralPeakInTheAlphaBand) {
    for (const uint64_t seed : {1ULL, 2ULL, 99ULL}) {
        const auto samples = generate(seed, 40);
        for (int slot = 0; slot < 4; ++slot) {
            std::array<double, 50> total{};
            int alphaBlocks = 0;
            for (int block = 0; block < 40; ++block) {
                const auto first = samples[slot].begin() + block * 256;
                const std::vector<int32_t> samplesOfBlock(first, first + 256);
                if (std::count_if(samplesOfBlock.begin(), samplesOfBlock.end(), railed) > 0)
                    continue;
                const auto spectrum = blockSpectrum(samplesOfBlock);
                const int peak = peakBin(spectrum);
                alphaBlocks += (peak >= 8 && peak <= 12) ? 1 : 0;
                for (std::size_t k = 0; k < total.size(); ++k)
                    total[k] += spectrum[k];
            }
            const int peak = peakBin(total);
            EXPECT_GE(peak, 8) << "seed " << seed << " slot " << slot;
            EXPECT_LE(peak, 12) << "seed " << seed << " slot " << slot;
            EXPECT_GE(alphaBlocks, 24) << "seed " << seed << " slot " << slot;
        }
    }
}

TEST(SyntheticEeg, LeftRightBalanceDrifts) {
    const auto samples = generate(5, 180);
    auto power = [&samples](int slot, int from, int to) {
        double sum = 0.0;
        for (int i = from; i < to; ++i) {
            const double d = samples[slot][static_cast<std::size_t>(i)] - 512.0;
            sum += d * d;
        }
        return sum;
    };
    double lowest = 1e9;
    double highest = 0.0;
    for (int window = 0; window < 18; ++window) {
        const int from = window * 2560;
        const int to = from + 2560;
        const std::vector<int32_t> all[] = {{samples[0].begin() + from, samples[0].begin() + to},
                                            {samples[1].begin() + from, samples[1].begin() + to},
                                            {samples[2].begin() + from, samples[2].begin() + to},
                                            {samples[3].begin() + from, samples[3].begin() + to}};
        bool fault = false;
        for (const auto& slot : all)
            fault = fault || std::count_if(slot.begin(), slot.end(), railed) > 0;
        if (fault)
            continue;
        const double ratio =
            (power(0, from, to) + power(2, from, to)) / (power(1, from, to) + power(3, from, to));
        lowest = std::min(lowest, ratio);
        highest = std::max(highest, ratio);
    }
    EXPECT_LT(lowest, 0.8);
    EXPECT_GT(highest, 1.25);
}

// Runs of one railed value on one slot at a time, 2 to 5 s long; nothing else rails.
TEST(SyntheticEeg, ContactFaultsRailOneSlotForAFewSeconds) {
    const int seconds = 400;
    const auto samples = generate(11, seconds);
    int faults = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const auto& s = samples[slot];
        for (std::size_t i = 0; i < s.size();) {
            if (!railed(s[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < s.size() && s[end] == s[i])
                ++end;
            const std::size_t length = end - i;
            if (end < s.size()) {
                EXPECT_GE(length, 2U * 256U) << "slot " << slot << " at " << i;
                EXPECT_LE(length, 5U * 256U + 1U) << "slot " << slot << " at " << i;
            }
            for (int other = 0; other < 4; ++other) {
                if (other != slot) {
                    EXPECT_FALSE(railed(samples[other][i])) << "two faults at " << i;
                }
            }
            ++faults;
            i = end;
        }
    }
    EXPECT_GE(faults, 3);
    EXPECT_LE(faults, 10);
}

TEST(SyntheticEeg, GainScalesTheSwingAroundTheCentre) {
    const auto two = generate(4, 10, 2.0);
    const auto four = generate(4, 10, 4.0);
    for (std::size_t i = 0; i < two[0].size(); ++i)
        ASSERT_NEAR(four[0][i] - 512, 2 * (two[0][i] - 512), 1) << "sample " << i;
}

} // namespace
} // namespace solvane::dsusim
