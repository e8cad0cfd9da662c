#include "dsu/eeg/SyntheticSource.h"

#include <cmath>
#include <numbers>

namespace solvane::dsusim {

namespace {

constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double Rate = SampleSource::SampleRate;

// Sizes in microvolts rms.
constexpr double AlphaRms = 15.0;
constexpr double ThetaRms = 4.5;
constexpr double BetaRms = 2.5;
constexpr double BackgroundRms = 7.0;
// Share of each slot's alpha that all slots have in common (neighbouring electrodes see
// mostly the same rhythm).
constexpr double CommonAlpha = 0.8;
// Kellet's pink filter fed with unit white noise and high-passed at 0.5 Hz has an rms of
// about 2.9 at 256 Hz; this brings the background to BackgroundRms.
constexpr double PinkScale = BackgroundRms / 2.9;
// One-pole high-pass at 0.5 Hz.
constexpr double HighPassPole = 1.0 - TwoPi * 0.5 / Rate;

uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
}

} // namespace

void SyntheticSource::Rhythm::tune(double centre, double bandwidth, double rms) {
    const double r = 1.0 - std::numbers::pi * bandwidth / Rate;
    a1 = 2.0 * r * std::cos(TwoPi * centre / Rate);
    a2 = -r * r;
    // Output variance of y = a1 y1 + a2 y2 + x for unit white x.
    const double variance = (1.0 - a2) / ((1.0 + a2) * ((1.0 - a2) * (1.0 - a2) - a1 * a1));
    scale = rms / std::sqrt(variance);
}

double SyntheticSource::Rhythm::next(double white) {
    const double y = a1 * y1 + a2 * y2 + white;
    y2 = y1;
    y1 = y;
    return scale * y;
}

SyntheticSource::SyntheticSource(uint64_t seed, double gain)
    : seed_(seed), gain_(gain), random_(seed) {
    const double alphaFrequency = 9.3 + 1.4 * uniform();
    const double thetaFrequency = 5.0 + 1.5 * uniform();
    const double betaFrequency = 17.0 + 5.0 * uniform();
    waxPeriod_ = 6.0 + 5.0 * uniform();
    for (double& phase : wanderPhase_)
        phase = TwoPi * uniform();
    commonAlpha_.tune(alphaFrequency, 1.2, AlphaRms);
    for (Channel& channel : channels_) {
        channel.alphaScale = 0.8 + 0.4 * uniform();
        channel.alpha.tune(alphaFrequency, 1.2, AlphaRms);
        channel.theta.tune(thetaFrequency, 2.0, ThetaRms);
        channel.beta.tune(betaFrequency, 4.0, BetaRms);
    }
    planNextFault(static_cast<uint64_t>((20.0 + 30.0 * uniform()) * Rate));
}

double SyntheticSource::uniform() {
    return static_cast<double>(splitmix(random_) >> 11U) * 0x1.0p-53;
}

double SyntheticSource::gaussian() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spareGaussian_;
    }
    const double u = 1.0 - uniform(); // in (0, 1]
    const double v = uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    spareGaussian_ = r * std::sin(TwoPi * v);
    hasSpare_ = true;
    return r * std::cos(TwoPi * v);
}

void SyntheticSource::planNextFault(uint64_t earliest) {
    faultStart_ = earliest;
    faultEnd_ = faultStart_ + static_cast<uint64_t>((2.0 + 3.0 * uniform()) * Rate);
    faultSlot_ = static_cast<int>(uniform() * Slots) % Slots;
    faultLevel_ = uniform() < 0.5 ? 0 : Highest;
}

bool SyntheticSource::next(int32_t (&counts)[Slots]) {
    const double t = static_cast<double>(sample_) / Rate;

    // Besides its bursts, the alpha waxes and wanes over several seconds.
    const double envelope = 0.75 + 0.25 * std::sin(TwoPi * t / waxPeriod_ + wanderPhase_[0]) +
                            0.1 * std::sin(TwoPi * t / 23.0 + wanderPhase_[1]);
    // Left (slots 0, 2) against right (slots 1, 3), drifting over a minute or two.
    const double asymmetry = 0.25 * std::sin(TwoPi * t / 83.0 + wanderPhase_[2]) +
                             0.1 * std::sin(TwoPi * t / 31.0 + wanderPhase_[1]);
    const double common = commonAlpha_.next(gaussian());

    if (sample_ >= faultEnd_)
        planNextFault(faultEnd_ + static_cast<uint64_t>((40.0 + 50.0 * uniform()) * Rate));

    for (int slot = 0; slot < Slots; ++slot) {
        Channel& c = channels_[slot];
        const double white = gaussian();
        double* b = c.pink;
        b[0] = 0.99886 * b[0] + white * 0.0555179;
        b[1] = 0.99332 * b[1] + white * 0.0750759;
        b[2] = 0.96900 * b[2] + white * 0.1538520;
        b[3] = 0.86650 * b[3] + white * 0.3104856;
        b[4] = 0.55000 * b[4] + white * 0.5329522;
        b[5] = -0.7616 * b[5] - white * 0.0168980;
        const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
        b[6] = white * 0.115926;
        const double background = pink - c.highPassIn + HighPassPole * c.highPassOut;
        c.highPassIn = pink;
        c.highPassOut = background;

        const double alpha = CommonAlpha * common +
                             std::sqrt(1.0 - CommonAlpha * CommonAlpha) * c.alpha.next(gaussian());
        const double side = (slot % 2 == 0) ? 1.0 + asymmetry : 1.0 - asymmetry;
        const double rhythms =
            envelope * c.alphaScale * alpha + c.theta.next(gaussian()) + c.beta.next(gaussian());
        const double microvolts = PinkScale * background + side * rhythms;

        counts[slot] = (slot == faultSlot_ && sample_ >= faultStart_ && sample_ < faultEnd_)
                           ? faultLevel_
                           : toCounts(microvolts, gain_);
    }
    ++sample_;
    return true;
}

std::string SyntheticSource::label(int slot) const {
    return "EEG Synthetic " + std::to_string(slot);
}

std::string SyntheticSource::description() const {
    return "synthetic EEG, seed " + std::to_string(seed_);
}

} // namespace solvane::dsusim
