#pragma once
// Reading one recorded session from its files only: the EDF+ recording (kept `<stamp>.edf` or
// the growing `<stamp>.working.edf`), the events file `<stamp>_events.tsv` and the lock
// `<stamp>.lock` that the recording process holds while the run goes. A reader takes exactly
// the header's record count of whole records; bytes after them are a record still being
// written. update() reads only what grew since the last call, so a running session can be
// followed at little cost. Sessions without an events file give their commands from the EDF+
// annotations. No widgets.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace solvane::viewer {

/// A session that cannot be read: what is wrong, in words for the user.
class SessionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One line of the events file (or one command from the EDF+ annotations).
struct SessionEvent {
    double onset = 0.0;   ///< seconds from the run's start on the packet axis
    double duration = -1; ///< seconds; negative for n/a
    std::string type;     ///< trial_type: ave_command, recording_stopped, gap, ...
    std::string value;    ///< the command text, the reason, ...
};

/// The names of a session's files, from the name of its recording.
struct SessionPaths {
    std::filesystem::path edf;
    std::string stamp; ///< the file name without .edf / .working.edf
    bool working = false;

    explicit SessionPaths(const std::filesystem::path& recording);
    [[nodiscard]] std::filesystem::path events() const;
    [[nodiscard]] std::filesystem::path lock() const;
    [[nodiscard]] std::filesystem::path kept() const;
};

/// True while a recording process holds the session's lock.
bool lockHeld(const std::filesystem::path& lockFile);

class SessionReader {
public:
    static constexpr int Signals = 8;         ///< the packet elements
    static constexpr int RecordSamples = 256; ///< samples of each signal per record (1 s)

    /// Reads the header; throws SessionError when the file is not a session recording.
    explicit SessionReader(const std::filesystem::path& recording);

    /// Reads the records, events and annotations added since the last call and whether the
    /// run still goes. True when anything new arrived. Throws SessionError when the file
    /// became unreadable. A working file renamed to its kept name is followed there.
    bool update();

    [[nodiscard]] const SessionPaths& paths() const noexcept { return paths_; }
    [[nodiscard]] int records() const noexcept { return records_; }
    /// Digital samples of `signal`, records() * RecordSamples of them.
    [[nodiscard]] const std::vector<int16_t>& samples(int signal) const {
        return samples_.at(signal);
    }
    [[nodiscard]] const std::string& label(int signal) const { return labels_.at(signal); }
    [[nodiscard]] const std::vector<SessionEvent>& events() const noexcept { return events_; }
    /// The header's recording field as written (80 characters, trailing spaces removed).
    [[nodiscard]] const std::string& recordingField() const noexcept { return recording_; }
    /// What produced the samples, from the recording field ("synthetic EEG, seed 1", ...).
    [[nodiscard]] const std::string& source() const noexcept { return source_; }
    /// The header's start as "YYYY-MM-DD HH:MM:SS".
    [[nodiscard]] const std::string& start() const noexcept { return start_; }
    /// True while the run goes: a working file whose lock is held.
    [[nodiscard]] bool live() const noexcept { return live_; }
    /// True for a working file without a held lock: the run ended without closing it.
    [[nodiscard]] bool crashed() const noexcept { return paths_.working && !live_; }

private:
    struct Layout {
        int headerBytes = 0;
        int records = 0;
        int64_t recordBytes = 0;
        int annotationSignal = -1;
        int annotationOffset = 0; ///< bytes into a record
        int annotationBytes = 0;
        std::vector<int> signalOffset; ///< bytes into a record, per data signal
    };

    Layout readHeader();
    void readRecords(const Layout& layout);
    void readEventsFile();
    void readAnnotations(const char* record, int bytes);

    SessionPaths paths_;
    std::vector<std::vector<int16_t>> samples_;
    std::vector<std::string> labels_;
    std::vector<SessionEvent> events_;
    std::vector<SessionEvent> annotations_; ///< commands from the EDF+ annotations
    std::string recording_;
    std::string source_;
    std::string start_;
    int records_ = 0;
    bool live_ = false;
    bool headerRead_ = false;
    bool hasEventsFile_ = false;
    int64_t eventsRead_ = 0; ///< bytes of the events file consumed (whole lines)
};

} // namespace solvane::viewer
