#pragma once
// The amplitude and phase of one frequency in a stretch of samples at the packet rate: how
// the tests and benchmarks measure what a source or resampler passes through.

#include <cmath>
#include <cstddef>
#include <numbers>

namespace solvane::testing {

struct SineFit {
    double amplitude = 0.0;
    double phase = 0.0; ///< radians, 0 for a sine starting at sample 0
};

/// The fit of `frequency` Hz to value(k) for k in [from, to), sampled at 256 Hz.
template <typename Value>
SineFit fitSine(std::size_t from, std::size_t to, double frequency, Value value) {
    double re = 0.0;
    double im = 0.0;
    for (std::size_t k = from; k < to; ++k) {
        const double p = 2.0 * std::numbers::pi * frequency * static_cast<double>(k) / 256.0;
        re += value(k) * std::sin(p);
        im += value(k) * std::cos(p);
    }
    return {2.0 * std::hypot(re, im) / static_cast<double>(to - from), std::atan2(im, re)};
}

} // namespace solvane::testing
