#pragma once
// The simulated DSU's configuration: section [Simulator] of the optional profile file
// dsu-simulator.ini beside the library. A missing file or key takes its default; a value
// that cannot be used is refused with a SimulatorConfigError that names the key and why.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

struct SimulatorConfig {
    static constexpr const char* FileName = "dsu-simulator.ini";
    static constexpr const char* Section = "Simulator";
    static constexpr double DefaultGain = 2.0; ///< counts per microvolt: +-256 uV before railing

    std::string source = "synthetic";  ///< "synthetic" or the path of a recording
    std::vector<std::string> channels; ///< four labels for slots 0..3, or empty for the default
    double speed = 1.0;                ///< multiple of real time; 0 as fast as polled
    bool loop = true;                  ///< restart a recording at its end
    double gain = DefaultGain;         ///< counts per microvolt around the centre 512
    uint64_t seed = 1;                 ///< of the synthetic EEG
    bool sound = true;                 ///< play the AVE output live
    std::string soundDevice;           ///< (part of) the output device's name; empty: default
    bool soundFile = true;             ///< keep the AVE output as a sound file of each session

    [[nodiscard]] bool synthetic() const;

    /// The configuration held by a profile text (nothing: the defaults). Throws
    /// SimulatorConfigError for a value that cannot be used.
    static SimulatorConfig fromText(const std::optional<std::string>& text);
    /// Keys of the [Simulator] section of a profile text that mean nothing here (typing
    /// mistakes, most likely), in the order they appear.
    static std::vector<std::string> unknownKeys(std::string_view text);
};

} // namespace solvane::dsusim
