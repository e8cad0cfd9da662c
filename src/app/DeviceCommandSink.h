#pragma once
// The entrainment output's commands as the program sends them: to the device library's
// SendCommandToDSU.

#include "ave/AveCommandSink.h"
#include "device/KardemoDLL.h"

namespace solvane {

class DeviceCommandSink final : public AveCommandSink {
public:
    explicit DeviceCommandSink(KardemoDLL& device) : device_(device) {}
    void sendCommand(const char* command) override { device_.sendCommand(command); }

private:
    KardemoDLL& device_;
};

} // namespace solvane
