#pragma once
// The facts of a run, <stamp>_facts.json beside its recording, written when the run begins and
// again whenever a fact is added (a recording fault, when it happens), through a temporary
// file that replaces the old one whole (on a disk too full for it, over the old one). What
// the recording's header has no room for is here in full: the source (the recording's path,
// the board and its port, the stream and its host, the seed), the scalp position each slot
// was set to, the settings of the program's settings file at the run's start and the
// versions. A value that was not known is null. Readers take what they know and pass over the
// rest, so that facts can be added.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {

struct SessionFacts {
    static constexpr int Format = 1;

    std::string start;          ///< the run's start, local time: "2026-12-08T09:30:00.1234"
    std::string programVersion; ///< empty when not known
    std::string libraryVersion; ///< the device library's; empty when not known
    double gain = 0.0;          ///< counts per microvolt

    struct Source {
        std::string kind;        ///< "synthetic", "recording", "cyton", "lsl"
        std::string description; ///< in words, in full
        std::string recording;   ///< the replayed recording's full path
        std::string port;        ///< the board's serial port
        std::string stream;      ///< the LSL stream's name
        std::string host;        ///< the LSL stream's host
        std::optional<long long> seed;
    } source;

    /// One of the four channel slots.
    struct Slot {
        int element = 0;             ///< the packet element it reads
        std::optional<int> position; ///< the scalp position set (1..21), 0 for none
        std::string positionName;    ///< "O1"; empty when none or not known
        std::string sourceLabel;     ///< the signal's label at its source
        std::string label;           ///< the label in the recording
    };
    std::array<Slot, 4> slot; ///< by slot number

    /// The program's settings file as it stood at the run's start.
    struct Settings {
        std::string file;
        std::string problem; ///< why it could not be read; empty when it was
        std::optional<int> volume;
        std::optional<int> baseFrequency;    ///< Hz
        std::optional<int> desiredFrequency; ///< Hz
        std::optional<int> sampleRate;       ///< DSUSampleRate
    } settings;

    /// Something that befell the recording while the run went on.
    struct Fault {
        /// Begins `what` for a fault of the sound file alone ("sound: write failed").
        static constexpr std::string_view SoundOnly = "sound: ";
        double onset = 0.0; ///< seconds on the packet axis
        std::string what;   ///< "disk full", ...
    };
    std::vector<Fault> faults;
};

/// The facts as JSON text.
std::string toJson(const SessionFacts& facts);
/// Facts from JSON text; throws SessionError when it is no JSON object.
SessionFacts factsFromJson(std::string_view text);
/// Writes `facts` to `file` through a temporary file in its folder, or over the file that is
/// there when the disk has no room for another. Throws SessionError.
void writeFacts(const std::filesystem::path& file, const SessionFacts& facts);
/// The facts in `file`, nothing when there is none. Throws SessionError when it cannot be
/// read or is damaged.
std::optional<SessionFacts> readFacts(const std::filesystem::path& file);

} // namespace solvane::session
