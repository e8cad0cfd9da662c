#include "FftwPlan.h"

namespace solvane {

FftwPlan::~FftwPlan() {
    if (plan_ != nullptr)
        fftw_destroy_plan(plan_);
}

FftwPlan& FftwPlan::operator=(FftwPlan&& other) noexcept {
    if (this != &other) {
        if (plan_ != nullptr)
            fftw_destroy_plan(plan_);
        plan_ = other.plan_;
        other.plan_ = nullptr;
    }
    return *this;
}

} // namespace solvane
