#pragma once
// Where the bundled DSU keeps its runs: the sessions folder and the run being recorded in it.
// begin() makes the folder, finishes the runs in it that did not end (recoverSessions), checks
// that its disk has room, names the run after the time it began (the lock is its claim to the
// name) and creates its files through the session library: the EDF+ recording, the events
// file, the facts and, where asked, the sound file. The output in force when the run begins
// goes into the run's own files at onset 0, so that each session stands alone. While the run
// goes the store follows the packets, which are its time axis, and takes the commands, marks
// and sound settings. A recording that cannot be written any more, or whose disk is nearly
// full, stops at its whole records with its sound, both kept as far as they went, and the run
// goes on without it; the events file and the facts mark the fault. finish() completes the
// run as its own kept files, the sound before the recording (or removes them when it recorded
// nothing), and copies the recording and its sound to the session file the program names.

#include "config/FileLocations.h"
#include "dsu/sound/ToneSynthesiser.h"
#include "session/RecordingWriter.h"
#include "session/SessionFacts.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {
class EventsWriter;
class SessionError;
class SessionLock;
} // namespace solvane::session

namespace solvane::dsusim {

class SessionSoundFile;

/// What the DSU knows of a run as it begins.
struct RunStart {
    session::RecordingSetup recording;
    session::SessionFacts facts;
    bool sound = true; ///< keep the sound file beside the recording
    /// The output in force (kept from the run before), as the commands that set it.
    std::vector<std::string> state;
};

class SessionStore {
public:
    using Log = std::function<void(const std::string&)>;

    /// Keeps the runs in the sessions folder `places` gives; `log` takes the lines for the
    /// debug log.
    SessionStore(FileLocations places, Log log);
    ~SessionStore();
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    /// Starts recording a run. Throws SimulatorConfigError (key Record) when it cannot be.
    void begin(const RunStart& run);
    /// A run is being recorded (its recording may have stopped).
    [[nodiscard]] bool recording() const noexcept { return recorder_ != nullptr; }
    /// One packet, the next on the time axis. Allocates nothing.
    void packet(const int32_t* packet);
    /// A command received before the next packet.
    void command(std::string_view text);
    /// The output as it plays from the next packet on.
    void sound(const ToneSettings& settings);
    /// An event of the DSU's own before the next packet; false when none could be written.
    bool mark(std::string_view type, std::string_view value, double duration);
    /// A pause of a live source of `seconds` before the next packet.
    void gap(double seconds);
    /// Completes the run as its own files and copies them to `target` (when not empty);
    /// false when any could not be written whole. Nothing is recorded afterwards.
    bool finish(const std::filesystem::path& target);

    /// The working recording of the run, or empty.
    [[nodiscard]] std::filesystem::path workingFile() const;
    /// The name the run is kept under once it ends, or empty.
    [[nodiscard]] const std::filesystem::path& sessionFile() const noexcept { return session_; }

private:
    void startSound();
    void stopRecording(const char* why, const std::string& line);
    void soundFailed(const char* call, const session::SessionError& e);
    void addFault(uint64_t packet, const std::string& what);
    [[nodiscard]] bool diskNearlyFull() const noexcept;
    /// Removes the files of a run that recorded no packet.
    void discardEmptyRun();
    /// Completes the sound file and gives it its kept name; false when it is not whole.
    bool keepSound();
    /// Gives the recording its kept name, with what it holds in `contents` for the log;
    /// false when it cannot be kept.
    bool keepRecording(std::string& contents);
    bool copyTo(const std::filesystem::path& target, const std::string& contents);
    void writeFacts();

    FileLocations places_;
    Log log_;
    std::unique_ptr<session::SessionLock> lock_;
    std::unique_ptr<session::RecordingWriter> recorder_;
    std::unique_ptr<session::EventsWriter> events_;
    std::unique_ptr<SessionSoundFile> sound_;
    bool soundGoing_ = false; ///< the sound file is still being written
    std::filesystem::path session_;
    std::filesystem::path factsFile_;
    session::SessionFacts facts_;
    uint64_t packets_ = 0; ///< delivered in this run
};

} // namespace solvane::dsusim
