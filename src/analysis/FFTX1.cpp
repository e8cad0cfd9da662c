#include "FFTX1.h"

#include "checked/RunTimeError.h"

#include <cstring>
#include <new>
#include <string>

namespace solvane {

FFTX1::FFTX1() : work_(fftw_alloc_complex(MaxPoints)) {
    if (!work_)
        throw std::bad_alloc();
    planFor(MaxPoints);
}

FFTX1::~FFTX1() = default;

int32_t FFTX1::FFT(double& first, int32_t n) {
    if (n < 1 || n > MaxPoints)
        throw RunTimeError(RunTimeErrorKind::InvalidOperation, "FFTX1.FFT",
                           "the point count " + std::to_string(n) + " is outside 1..256");
    const FftwPlan& plan = planFor(n);
    const std::size_t bytes = sizeof(fftw_complex) * static_cast<std::size_t>(n);
    std::memcpy(work_.get(), &first, bytes);
    fftw_execute(plan.get());
    std::memcpy(&first, work_.get(), bytes);
    return 0;
}

bool FFTX1::hasPlan(int32_t n) const noexcept {
    return n >= 1 && n <= MaxPoints && static_cast<bool>(plans_[n]);
}

const FftwPlan& FFTX1::planFor(int32_t n) {
    FftwPlan& plan = plans_[n];
    if (!plan) {
        // FFTW_ESTIMATE picks the plan without timing trial runs, so the same input always
        // gives the same bits, and nothing is written to the buffer while planning.
        plan = FftwPlan(fftw_plan_dft_1d(n, work_.get(), work_.get(), FFTW_FORWARD, FFTW_ESTIMATE));
        if (!plan)
            throw RunTimeError(RunTimeErrorKind::InvalidOperation, "FFTX1.FFT",
                               "no transform plan for " + std::to_string(n) + " points");
    }
    return plan;
}

} // namespace solvane
