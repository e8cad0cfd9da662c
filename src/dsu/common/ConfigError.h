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
    Record = 10, ///< also the key of the faults that keep a run from being recorded
    SerialDevice = 11, ///< the board's serial port, named or chosen in Options
    Positions = 12,    ///< the scalp position of each of the board's channels
    Stream = 13,     ///< the LSL stream to read
    LslLibrary = 14, ///< the liblsl to load
    ConfigFile = 15, ///< the file dsu-simulator.ini itself
    /// the scale of an OpenEEG board's counts
    MicrovoltsPerCount = 16,
};

/// What is wrong with the value; the other part of the InitialiseDSU status.
enum class ConfigFault {
    Malformed = 1,                ///< not a number, or not one of the allowed words
    OutOfRange = 2,               ///< a number outside the allowed range
    FileMissing = 3,              ///< the recording does not exist
    FileUnreadable = 4,           ///< the recording is not a readable EDF, EDF+, BDF or BDF+ file
    UnknownLabel = 5,             ///< no signal of the recording matches a label
    WrongCount = 6,               ///< not four labels, or fewer than four EEG signals to default to
    NoSuchDevice = 7,             ///< no sound output device has that name
    NoPermission = 8,             ///< the serial port may not be opened (not in the group dialout)
    PortBusy = 9,                 ///< another program holds the serial port
    NoBanner = 10,                ///< the board did not answer (its reset, or at all) in 3 s
    NoSuchPort = 11,              ///< no serial port behind that name or port number
    NotSerial = 12,               ///< not a serial port, or it refuses the board's speed
    LibraryMissing = 13,          ///< liblsl cannot be loaded
    LibraryTooOld = 14,           ///< liblsl older than 1.14
    SymbolMissing = 15,           ///< liblsl lacks a function that is needed
    NoStream = 16,                ///< no LSL stream of that name (or of type EEG) was found
    NotEegStream = 17,            ///< the stream cannot be EEG (rate, format, channels)
    UnknownUnit = 18,             ///< a chosen channel's unit is not a voltage
    StreamUnavailable = 19,       ///< the stream was found but cannot be opened
    SessionsFolderUnusable = 20,  ///< the sessions folder cannot be made or is no folder
    SessionFilesUncreatable = 21, ///< the run's files cannot be created in it
    DiskFull = 22,                ///< no room for the recording on its disk
    ConfigUnreadable = 23,        ///< the system refuses to open or read dsu-simulator.ini
    ConfigNotAFile = 24,          ///< dsu-simulator.ini is a folder, FIFO, device or socket
    ConfigNotText = 25,           ///< dsu-simulator.ini is not 8-bit text with LF or CRLF ends
    /// dsu-simulator.ini has a line that opens a section header but is none.
    ConfigMalformed = 26,
    HeaderInvalid = 28,           ///< a recording's header value (size, count, digital range) is wrong
    RangeUnusable = 29,           ///< a recording's physical range is not finite, empty or absurd
    TooFewRecords = 30,           ///< a recording holds fewer data records than its header gives
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
