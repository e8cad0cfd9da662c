#include "dsu/common/ConfigError.h"

namespace solvane::dsusim {

SimulatorConfigError::SimulatorConfigError(ConfigKey key, ConfigFault fault,
                                           const std::string& message)
    : std::runtime_error(message), key_(key), fault_(fault) {}

int32_t SimulatorConfigError::status() const noexcept {
    return -(100 * static_cast<int32_t>(key_) + static_cast<int32_t>(fault_));
}

} // namespace solvane::dsusim
