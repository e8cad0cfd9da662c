#pragma once
// The FFT component: an in-place, unnormalised forward discrete Fourier transform of N
// interleaved complex doubles (real, imaginary), in natural order, for every N from 1 to 256.

#include <cstdint>

namespace solvane {

class FFTX1 {
public:
    static constexpr int32_t MaxPoints = 256;

    FFTX1();
    ~FFTX1();
    FFTX1(const FFTX1&) = delete;
    FFTX1& operator=(const FFTX1&) = delete;

    /// Replaces the N points starting at `first` (2N doubles) by their transform. The result
    /// is always 0; callers ignore it. N outside 1..256 throws RunTimeError.
    int32_t FFT(double& first, int32_t n);
};

} // namespace solvane
