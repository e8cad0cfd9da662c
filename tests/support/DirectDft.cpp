#include "DirectDft.h"

#include <numbers>

namespace solvane::testing {

std::vector<std::complex<long double>> directDft(const std::vector<double>& interleaved, int n,
                                                 int bins) {
    // e^(-2 pi i m / n) for m < n: k t is taken modulo n, so that the angle stays exact
    // however large k t grows and the sines are computed n times, not n times per bin.
    std::vector<std::complex<long double>> turn(n);
    for (int m = 0; m < n; ++m)
        turn[m] = std::polar(1.0L, -2.0L * std::numbers::pi_v<long double> * m / n);
    std::vector<std::complex<long double>> out(bins < 0 ? n : bins);
    const auto points = static_cast<std::size_t>(n);
    for (std::size_t k = 0; k < out.size(); ++k)
        for (std::size_t t = 0; t < points; ++t)
            out[k] += std::complex<long double>(interleaved[2 * t], interleaved[2 * t + 1]) *
                      turn[k * t % points];
    return out;
}

} // namespace solvane::testing
