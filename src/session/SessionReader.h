#pragma once
// One recorded session, read from its files only: the recording (kept <stamp>.edf, or the
// growing <stamp>.working.edf), the events file, the facts and the lock that the recording
// process holds while the run goes. update() reads what grew since the last call, so that a
// running session is followed at little cost; a working recording renamed to its kept name is
// followed there. What is damaged is read as far as it can be, and notes() says what is
// missing: a lost tail (the whole records that remain are read), an events file that is
// garbage or cut short (the commands then come from the recording's annotations), facts that
// cannot be read, and what befell the recording while the run went on (a full disk that
// stopped it). A file that is no session (a folder, a FIFO, no EDF+ recording of a session)
// is refused with the reason.

#include "session/EventsFile.h"
#include "session/RecordingReader.h"
#include "session/SessionFacts.h"
#include "session/SessionPaths.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace solvane::session {

class SessionReader {
public:
    static constexpr int Signals = RecordingReader::Signals;
    static constexpr int RecordSamples = RecordingReader::RecordSamples;

    /// Opens the recording and reads what it holds. Throws SessionError when it is no
    /// session's recording.
    explicit SessionReader(const std::filesystem::path& recording);

    /// Reads the records and events added since the last call and whether the run still
    /// goes. True when anything changed. Throws SessionError when the recording became
    /// unreadable.
    bool update();

    [[nodiscard]] const SessionPaths& paths() const noexcept { return paths_; }
    /// The recording as it is named now.
    [[nodiscard]] const std::filesystem::path& recording() const noexcept { return recording_; }
    /// Still the working file: the run goes on, or ended without closing it.
    [[nodiscard]] bool working() const noexcept { return working_; }
    [[nodiscard]] int records() const noexcept { return edf_.records(); }
    /// Digital samples of `signal` (0..7), records() * RecordSamples of them.
    [[nodiscard]] const std::vector<int16_t>& samples(int signal) const {
        return edf_.samples(signal);
    }
    [[nodiscard]] std::string label(int signal) const;
    [[nodiscard]] const RecordingHeader& header() const noexcept { return edf_.header(); }
    [[nodiscard]] const std::vector<Annotation>& annotations() const noexcept {
        return edf_.annotations();
    }
    /// The events in the order of the file: from the events file, or from the recording's
    /// annotations where the events file cannot be trusted.
    [[nodiscard]] const std::vector<SessionEvent>& events() const noexcept {
        return useFile_ ? eventsFile_.events() : fromAnnotations_;
    }
    /// What is damaged or missing, one sentence each; empty when nothing is.
    [[nodiscard]] const std::vector<std::string>& notes() const noexcept { return notes_; }
    [[nodiscard]] const std::optional<SessionFacts>& facts() const noexcept { return facts_; }
    /// What befell the recording while the run went on, in the order it happened: from the
    /// events file's marks, else from the facts. A fault of the sound file alone reads
    /// "sound: " and the reason.
    [[nodiscard]] std::vector<SessionFacts::Fault> faults() const;
    /// What produced the samples: the facts' description, else the header's.
    [[nodiscard]] std::string source() const;
    /// The header's start as "YYYY-MM-DD HH:MM:SS".
    [[nodiscard]] std::string start() const;
    /// The moment after the recording's last packet, in seconds, when it was finished: its
    /// last record is completed with the centre value beyond it. Nothing while it goes on.
    [[nodiscard]] std::optional<double> endsAt() const;
    /// True while the run goes: a working file whose lock is held.
    [[nodiscard]] bool live() const noexcept { return live_; }
    /// True for a working file without a held lock: the run ended without closing it.
    [[nodiscard]] bool crashed() const noexcept { return working_ && !live_; }

private:
    void readEvents();
    void readFacts();
    void judge();

    SessionPaths paths_;
    std::filesystem::path recording_;
    bool working_ = false;
    bool live_ = false;
    RecordingReader edf_;
    EventsReader eventsFile_;
    std::vector<SessionEvent> fromAnnotations_;
    std::size_t annotationsTaken_ = 0;
    bool useFile_ = false;
    bool eventsPresent_ = false;
    std::string eventsFault_; ///< why the events file cannot be opened at all
    std::optional<SessionFacts> facts_;
    std::string factsFault_;
    std::vector<std::string> notes_;
};

} // namespace solvane::session
