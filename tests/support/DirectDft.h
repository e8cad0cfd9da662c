#pragma once
// The discrete Fourier transform by its definition, summed in long double: the oracle that
// the FFT component and every spectrum in the tests are held against.

#include <complex>
#include <vector>

namespace solvane::testing {

/// X_k = sum over t < n of x_t e^(-2 pi i k t / n) for k < `bins` (all n when negative), where
/// x_t = interleaved[2t] + i interleaved[2t + 1], the FFT component's layout.
[[nodiscard]] std::vector<std::complex<long double>>
directDft(const std::vector<double>& interleaved, int n, int bins = -1);

} // namespace solvane::testing
