#pragma once
// The events of a run as a BIDS events file, <stamp>_events.tsv beside its recording: the
// header line `onset duration trial_type value`, then one tab-separated line per event,
// appended and handed to the system as it happens, so that a run killed at any moment keeps
// every command it received. Onsets are seconds on the packet axis (packet / 256, four
// decimals), durations seconds or n/a; numbers have a point whatever the locale. Trial types:
//   ave_command        a command the DSU received; its value is the six characters
//   ave_state          the output in force when the run began (kept from the run before),
//                      as the command that sets it, at onset 0
//   gap                a pause of a live source, with its duration
//   recording_stopped  the recording (its EEG and its sound) stopped while the run went on,
//                      with the reason ("disk full"), at the end of its last whole second
//   sound_stopped      the sound file alone stopped, with the reason ("write failed")
// Onsets never go back, so what falls after a moment is the file's tail. A reader skips trial
// types it does not know and a last line without its newline.

#include "device/kardemo.h"
#include "session/ReadableFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {

namespace EventType {
inline constexpr std::string_view Command = "ave_command";
inline constexpr std::string_view State = "ave_state";
inline constexpr std::string_view Gap = "gap";
inline constexpr std::string_view Stopped = "recording_stopped";
inline constexpr std::string_view SoundStopped = "sound_stopped";
} // namespace EventType

/// One event of a session, from its events file or its recording's annotations.
struct SessionEvent {
    double onset = 0.0;     ///< seconds from the run's start on the packet axis
    double duration = -1.0; ///< seconds; negative for n/a
    std::string type;       ///< trial_type
    std::string value;      ///< the command's text, the reason, ...

    /// The packet the onset falls on (256 a second).
    [[nodiscard]] uint64_t packet() const noexcept;
    /// An AVE command: one received, or the state in force at the start.
    [[nodiscard]] bool setsOutput() const noexcept {
        return type == EventType::Command || type == EventType::State;
    }
};

class EventsWriter {
public:
    static constexpr int PacketsPerSecond = KARDEMO_PACKET_RATE;
    static constexpr const char* Header = "onset\tduration\ttrial_type\tvalue\n";

    /// Creates `file` (replacing one of that name) with its header line. Throws SessionError,
    /// whose code() is the system's error.
    explicit EventsWriter(std::filesystem::path file);
    ~EventsWriter();
    EventsWriter(const EventsWriter&) = delete;
    EventsWriter& operator=(const EventsWriter&) = delete;

    /// Appends an event at the time of `packet`; `duration` in seconds, negative for none.
    /// Tabs and line breaks in the texts become spaces. One write per line, nothing
    /// allocated. False when the line could not be written (the file then takes no more).
    bool mark(uint64_t packet, double duration, std::string_view type,
              std::string_view value) noexcept;
    /// An AVE command received before packet `packet`.
    bool command(uint64_t packet, std::string_view text) noexcept {
        return mark(packet, -1.0, EventType::Command, text);
    }

    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }

private:
    std::filesystem::path file_;
    int fd_ = -1;
};

/// What cutEventsAfter() found and did.
struct EventsCut {
    std::size_t commands = 0; ///< AVE commands kept (received, and in force at the start)
    std::size_t dropped = 0;  ///< lines cut off, a last one without its newline included
};

/// Cuts the events file `file` back to the events at or before `packet`: the lines after
/// them, and a last line without its newline, are cut off where they begin. Reads it as a
/// stream; opens it without waiting and only when it is a plain file. Throws SessionError
/// (code() ENOENT when there is no such file).
EventsCut cutEventsAfter(const std::filesystem::path& file, uint64_t packet);

/// Reads an events file as a stream, in pieces of any size: whole lines only, so that a file
/// still being written can be followed; of the text, never more than a line is held. A line longer
/// than LongestLine, or one that is not an event, is counted as damaged and left out. What it
/// keeps is bounded whatever the file's size: at most MostEvents events, each value cut to
/// LongestValue characters; the lines beyond are counted, not read.
class EventsReader {
public:
    static constexpr std::size_t ChunkBytes = std::size_t{64} * 1024;
    static constexpr std::size_t LongestLine = 1024;
    /// Events kept: a day of a run that sends a command every quarter of a second.
    static constexpr std::size_t MostEvents = std::size_t{1} << 18;
    static constexpr std::size_t LongestValue = 64;

    /// Takes the next bytes of the file.
    void take(std::span<const char> bytes);
    /// Takes what `source` holds beyond the bytes taken so far, ChunkBytes at a time.
    void follow(ByteSource& source);

    [[nodiscard]] const std::vector<SessionEvent>& events() const noexcept { return events_; }
    /// The first line has been read and is the header line.
    [[nodiscard]] bool hasHeader() const noexcept { return header_ == Header::Found; }
    [[nodiscard]] std::size_t damagedLines() const noexcept { return damaged_; }
    /// Whole lines after the MostEvents events kept, not read.
    [[nodiscard]] uint64_t linesBeyond() const noexcept { return beyond_; }
    /// What is wrong with the file as read so far, in words that follow "the events file";
    /// empty when nothing is.
    [[nodiscard]] std::string problem() const;

private:
    enum class Header { Awaited, Found, Missing };
    void line(std::string_view text);

    std::vector<SessionEvent> events_;
    std::string partial_;   ///< the start of a line whose newline has not come yet
    bool overlong_ = false; ///< the line being taken is too long; skipped to its end
    Header header_ = Header::Awaited;
    std::size_t damaged_ = 0;
    uint64_t beyond_ = 0;
    uint64_t taken_ = 0;
};

} // namespace solvane::session
