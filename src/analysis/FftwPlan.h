#pragma once
// Owns one FFTW plan and destroys it with its owner. Move-only; an empty plan executes
// nothing and must not be asked to.

#include <fftw3.h>

namespace solvane {

class FftwPlan {
public:
    FftwPlan() noexcept = default;
    /// Takes ownership of `plan` (may be null).
    explicit FftwPlan(fftw_plan plan) noexcept : plan_(plan) {}
    ~FftwPlan();
    FftwPlan(FftwPlan&& other) noexcept : plan_(other.plan_) { other.plan_ = nullptr; }
    FftwPlan& operator=(FftwPlan&& other) noexcept;
    FftwPlan(const FftwPlan&) = delete;
    FftwPlan& operator=(const FftwPlan&) = delete;

    [[nodiscard]] explicit operator bool() const noexcept { return plan_ != nullptr; }
    [[nodiscard]] fftw_plan get() const noexcept { return plan_; }

private:
    fftw_plan plan_ = nullptr;
};

/// Memory from fftw_malloc, released with fftw_free.
struct FftwDeleter {
    void operator()(void* memory) const noexcept { fftw_free(memory); }
};

} // namespace solvane
