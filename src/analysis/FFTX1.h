#pragma once
// The FFT component: an in-place, unnormalised forward discrete Fourier transform of N
// interleaved complex doubles (real, imaginary), in natural order, for every N from 1 to 256.
// One plan per point count is made on first use of that count (256 at once) and kept for the
// component's life; a transform then only copies and executes, so it allocates nothing.

#include "FftwPlan.h"

#include <cstdint>
#include <memory>

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

    /// True once the plan for `n` points exists (for tests of the plan cache).
    [[nodiscard]] bool hasPlan(int32_t n) const noexcept;

private:
    const FftwPlan& planFor(int32_t n);

    // The caller's array is copied through this aligned buffer, so plans may use SIMD
    // whatever the caller's alignment, and planning never touches the caller's data.
    std::unique_ptr<fftw_complex[], FftwDeleter> work_;
    FftwPlan plans_[MaxPoints + 1]; ///< index: point count; 0 unused
};

} // namespace solvane
