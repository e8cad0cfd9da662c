#include "DirectDft.h"

#include <numbers>

namespace solvane::testing {

std::vector<std::complex<long double>> directDft(const std::vector<double>& interleaved, int n,
                                                 int bins) {
    std::vector<std::complex<long double>> out(bins < 0 ? n : bins);
    for (int k = 0; k < static_cast<int>(out.size()); ++k) {
        std::complex<long double> sum = 0;
        for (int t = 0; t < n; ++t) {
            const long double angle = -2.0L * std::numbers::pi_v<long double> * k * t / n;
            sum += std::complex<long double>(interleaved[2 * t], interleaved[2 * t + 1]) *
                   std::polar(1.0L, angle);
        }
        out[k] = sum;
    }
    return out;
}

} // namespace solvane::testing
