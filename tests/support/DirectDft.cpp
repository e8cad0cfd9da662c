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
    for (int k = 0; k < static_cast<int>(out.size()); ++k) {
        std::complex<long double> sum = 0;
        for (int t = 0; t < n; ++t)
            sum += std::complex<long double>(interleaved[2 * t], interleaved[2 * t + 1]) *
                   turn[static_cast<std::size_t>(k) * t % n];
        out[k] = sum;
    }
    return out;
}

} // namespace solvane::testing
