#include "dsu/session/SessionSteps.h"

#include <atomic>

namespace solvane::dsusim {

namespace {
std::atomic<StepHook> installed{nullptr};
} // namespace

StepHook setStepHook(StepHook hook) noexcept {
    return installed.exchange(hook);
}

void step(std::string_view name) noexcept {
    if (const StepHook hook = installed.load(std::memory_order_relaxed); hook != nullptr)
        hook(name);
}

} // namespace solvane::dsusim
