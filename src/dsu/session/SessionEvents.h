#pragma once
// The events of a run as a BIDS events file, <stamp>_events.tsv beside its recording: a header
// line `onset duration trial_type value`, then one tab-separated line per event, appended and
// handed to the system as it happens, so that a run killed at any moment keeps every command it
// received. Onsets are seconds on the packet axis (packet / 256, four decimals). The AVE commands
// are `ave_command` events whose value is the six-character command; the DSU marks what happens
// to the recording itself with other trial types (`recording_stopped` with its reason, `gap`).
// A reader skips trial types it does not know and a last line without its newline.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

class SessionEvents {
public:
    static constexpr int PacketsPerSecond = 256;
    static constexpr const char* Suffix = "_events.tsv";
    static constexpr const char* CommandType = "ave_command";
    static constexpr const char* StoppedType = "recording_stopped";

    /// Creates `file` (replacing one of that name) with its header line. Throws
    /// SessionFileError, whose code() is the system's error.
    explicit SessionEvents(std::filesystem::path file);
    ~SessionEvents();
    SessionEvents(const SessionEvents&) = delete;
    SessionEvents& operator=(const SessionEvents&) = delete;

    /// Appends an event at the time of `packet`; `duration` in seconds, negative for none
    /// ("n/a"). Tabs and line breaks in the text become spaces. False when the line could not
    /// be written (the file then takes no more).
    bool mark(uint64_t packet, double duration, std::string_view trialType,
              std::string_view value) noexcept;
    /// An AVE command received before packet `packet`.
    bool command(uint64_t packet, std::string_view text) noexcept {
        return mark(packet, -1.0, CommandType, text);
    }

    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }

    struct Event {
        uint64_t packet = 0; ///< the onset on the packet axis
        std::string trialType;
        std::string value;
    };
    /// The whole lines of an events file (nothing when it cannot be read).
    static std::vector<Event> read(const std::filesystem::path& file);

private:
    std::filesystem::path file_;
    int fd_ = -1;
};

} // namespace solvane::dsusim
