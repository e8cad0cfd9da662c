#pragma once
// Where the entrainment controller's six-character AVE commands go: the device library's
// SendCommandToDSU in the program, a recorder in tests.

namespace solvane {

class AveCommandSink {
public:
    virtual ~AveCommandSink() = default;
    /// `command` is exactly six characters, NUL-terminated.
    virtual void sendCommand(const char* command) = 0;
};

} // namespace solvane
