#pragma once
// A value of the bundled DSU's configuration that cannot be used: the key it belongs to and
// what is wrong with it, which together make the InitialiseDSU status. Every room of the
// library refuses a value with it, so it sits below them all.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace solvane::dsusim {

/// The key a configuration fault belongs to; part of the InitialiseDSU status.
enum class ConfigKey {
    Source = 1,
    Channels = 2,
    Speed = 3,
    Loop = 4,
    Gain = 5,
    Seed = 6,
    Sound = 7,
    SoundDevice = 8,
    SoundFile = 9,
    ConfigFile = 15, ///< the file dsu-simulator.ini itself
};

/// What is wrong with the value; the other part of the InitialiseDSU status.
enum class ConfigFault {
    Malformed = 1,      ///< not a number, or not one of the allowed words
    OutOfRange = 2,     ///< a number outside the allowed range
    FileMissing = 3,    ///< the recording does not exist
    FileUnreadable = 4, ///< the recording is not a readable EDF, EDF+, BDF or BDF+ file
    UnknownLabel = 5,   ///< no signal of the recording matches a label
    WrongCount = 6,     ///< not four labels, or fewer than four EEG signals to default to
    NoSuchDevice = 7,   ///< no sound output device has that name
    /// The system refuses to open or read dsu-simulator.ini.
    ConfigUnreadable = 23,
    /// dsu-simulator.ini is a folder, FIFO, device or socket.
    ConfigNotAFile = 24,
    /// dsu-simulator.ini is not 8-bit text with LF or CRLF line ends.
    ConfigNotText = 25,
};

/// A configuration value that cannot be used. The message names the key, the value and why.
class SimulatorConfigError : public std::runtime_error {
public:
    SimulatorConfigError(ConfigKey key, ConfigFault fault, const std::string& message);

    [[nodiscard]] ConfigKey key() const noexcept { return key_; }
    [[nodiscard]] ConfigFault fault() const noexcept { return fault_; }
    /// The InitialiseDSU status: -(100 x key + fault), e.g. -502 for a Gain out of range.
    [[nodiscard]] int32_t status() const noexcept;

private:
    ConfigKey key_;
    ConfigFault fault_;
};

} // namespace solvane::dsusim
