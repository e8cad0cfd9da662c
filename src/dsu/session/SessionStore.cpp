#include "dsu/session/SessionStore.h"

#include "dsu/common/ConfigError.h"
#include "dsu/session/SessionRecovery.h"
#include "dsu/session/SessionSoundFile.h"
#include "dsu/session/SessionSteps.h"
#include "files/FileIo.h"
#include "files/SafeReplace.h"
#include "session/EventsFile.h"
#include "session/Numbers.h"
#include "session/SessionError.h"
#include "session/SessionLock.h"
#include "session/SessionPaths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

using session::SessionError;

/// Room a run needs on its disk to start: a minute of recording.
constexpr unsigned long long LeastRoom = 60ULL * 8192;
/// Room below which a run's recording stops, checked once a second: what finishing it needs
/// (its last second, the fade-out of its sound, the marks of the fault) with room to spare.
constexpr unsigned long long LeastRoomLeft = 256ULL * 1024;
/// The reasons of a fault, as the events file and the facts give them.
constexpr const char* DiskFull = "disk full";
constexpr const char* WriteFailed = "write failed";

[[noreturn]] void cannotRecord(ConfigFault fault, const std::string& why) {
    throw SimulatorConfigError(ConfigKey::Record, fault, "the run cannot be recorded: " + why);
}

bool noRoom(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

/// Replaces `target` with a copy of `source`; `target` is whole or as it was. A file the
/// user may not write stays as it is, as the settings file does: replacing it through its
/// folder would get round its protection.
void copyReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    if (files::writeProtected(target))
        throw SessionError("the session cannot be copied to " + target.string() +
                           ": it is write-protected and stays as it was");
    std::filesystem::path part = target;
    part += ".part";
    std::error_code error;
    std::filesystem::copy_file(source, part, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error)
        std::filesystem::rename(part, target, error);
    if (error) {
        files::removeQuietly(part);
        throw SessionError("the session cannot be copied to " + target.string() + ": " +
                           error.message());
    }
}

/// The sound file that goes beside a recording or session file: the same name, but .flac.
std::filesystem::path soundFileOf(std::filesystem::path file) {
    return file.replace_extension(".flac");
}

} // namespace

SessionStore::SessionStore(FileLocations places, Log log)
    : places_(std::move(places)), log_(std::move(log)) {}

SessionStore::~SessionStore() = default;

std::filesystem::path SessionStore::workingFile() const {
    return recorder_ ? recorder_->workingFile() : std::filesystem::path();
}

void SessionStore::begin(const RunStart& run) {
    session_.clear();
    packets_ = 0;
    soundGoing_ = false;
    const std::filesystem::path& sessions = places_.sessionsFolder();
    std::error_code error;
    places_.makeFolder(sessions, error);
    if (!error && !std::filesystem::is_directory(sessions, error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (error)
        cannotRecord(ConfigFault::SessionsFolderUnusable,
                     "the folder " + sessions.string() + " cannot be made: " + error.message());
    for (const std::string& line : recoverSessions(sessions))
        log_(line);
    struct statvfs disk {};
    if (::statvfs(sessions.c_str(), &disk) == 0 &&
        static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < LeastRoom)
        cannotRecord(ConfigFault::DiskFull, "the disk of " + sessions.string() + " is full");

    // Two runs that begin in the same second, in this program or another beside it, are told
    // apart by a number; the names still sort in the order of the runs. The lock is the
    // run's claim to its name.
    const std::string stamp = session::timeStamp(run.recording.start);
    std::string name = stamp;
    try {
        for (int n = 2;; ++n) {
            const session::SessionPaths paths(sessions, name);
            if (!std::filesystem::exists(paths.kept(), error) &&
                !std::filesystem::exists(paths.working(), error) &&
                !std::filesystem::exists(paths.events(), error) &&
                (lock_ = session::SessionLock::create(paths.lock())))
                break;
            name = stamp + "_" + session::integerText(n);
        }
        const session::SessionPaths paths(sessions, name);
        step(Step::CreateEvents);
        events_ = std::make_unique<session::EventsWriter>(paths.events());
        step(Step::CreateRecording);
        recorder_ = std::make_unique<session::RecordingWriter>(paths.working(), run.recording);
        factsFile_ = paths.facts();
        facts_ = run.facts;
        step(Step::WriteFacts);
        session::writeFacts(factsFile_, facts_);
        session_ = paths.kept();
        log_("InitialiseDSU: recording into " + paths.working().string());
    } catch (const SessionError& e) {
        recorder_.reset();
        if (events_) {
            files::removeQuietly(events_->file());
            events_.reset();
        }
        if (!factsFile_.empty())
            files::removeQuietly(factsFile_);
        factsFile_.clear();
        if (lock_) {
            lock_->release();
            lock_.reset();
        }
        cannotRecord(noRoom(e.code()) ? ConfigFault::DiskFull
                                      : ConfigFault::SessionFilesUncreatable,
                     e.what());
    }
    if (run.sound)
        startSound();
    // The output in force as the run begins, kept from the run before: each session knows
    // the tones it was played with without those before it.
    for (const std::string& command : run.state) {
        events_->mark(0, -1.0, session::EventType::State, command);
        recorder_->annotate(0, command);
    }
}

void SessionStore::startSound() {
    const std::filesystem::path working = soundFileOf(recorder_->workingFile());
    step(Step::CreateSound);
    try {
        sound_ = std::make_unique<SessionSoundFile>(working);
        soundGoing_ = true;
        log_("InitialiseDSU: sound into " + working.string());
    } catch (const SessionError& e) {
        log_("InitialiseDSU: the sound is not kept: " + std::string(e.what()));
    }
}

void SessionStore::addFault(uint64_t packet, const std::string& what) {
    facts_.faults.push_back(
        {static_cast<double>(packet) / session::RecordingWriter::PacketsPerSecond, what});
    writeFacts();
}

// The recording stopped at its whole records: what the events file holds after them has no
// EEG and goes, and the mark of the fault stands at their end. The sound stops there too and
// is kept as far as it went.
void SessionStore::stopRecording(const char* why, const std::string& line) {
    log_(line);
    const uint64_t end = recorder_->packets();
    try {
        (void)session::cutEventsAfter(events_->file(), end);
    } catch (const SessionError& e) {
        log_("GetP3Data: " + std::string(e.what()));
    }
    if (!events_->mark(end, -1.0, session::EventType::Stopped, why))
        log_("GetP3Data: the events file " + events_->file().string() + " takes no more lines");
    addFault(end, why);
    if (soundGoing_) {
        soundGoing_ = false;
        try {
            sound_->end(packets_);
            log_("GetP3Data: the sound is kept up to here too");
        } catch (const SessionError& e) {
            log_("GetP3Data: the sound is kept as far as it reached the disk: " +
                 std::string(e.what()));
        }
    }
}

// The sound file failed by itself: it is kept as far as it reached the disk, and the EEG goes
// on being recorded for as long as it can be.
void SessionStore::soundFailed(const char* call, const SessionError& e) {
    soundGoing_ = false;
    sound_->abandon();
    const char* why = noRoom(e.code()) ? DiskFull : WriteFailed;
    log_(std::string(call) + ": the sound file stopped, " + why +
         "; it is kept as far as it reached the disk: " + e.what());
    if (recorder_->stopped())
        return;
    const uint64_t at = recorder_->records() * session::RecordingWriter::RecordSamples;
    if (!events_->mark(at, -1.0, session::EventType::SoundStopped, why))
        log_(std::string(call) + ": the events file " + events_->file().string() +
             " takes no more lines");
    addFault(at, std::string(session::SessionFacts::Fault::SoundOnly) + why);
}

bool SessionStore::diskNearlyFull() const noexcept {
    struct statvfs disk {};
    return ::statvfs(places_.sessionsFolder().c_str(), &disk) == 0 &&
           static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < LeastRoomLeft;
}

void SessionStore::writeFacts() {
    try {
        session::writeFacts(factsFile_, facts_);
    } catch (const SessionError& e) {
        log_(std::string("the run's facts cannot be written: ") + e.what());
    }
}

void SessionStore::packet(const int32_t* packet) {
    if (!recorder_)
        return;
    ++packets_;
    if (!recorder_->stopped()) {
        const auto stoppedAt = [this](const std::string& why) {
            return "GetP3Data: recording stopped at packet " +
                   session::integerText(static_cast<long long>(packets_)) +
                   ", the run goes on unrecorded: " + why;
        };
        try {
            recorder_->add(packet);
        } catch (const SessionError& e) {
            // The feedback goes on; what was recorded is kept when the run ends.
            const char* why = noRoom(e.code()) ? DiskFull : WriteFailed;
            stopRecording(why, stoppedAt(why + std::string(": ") + e.what()));
        }
        if (!recorder_->stopped() && packets_ % session::RecordingWriter::RecordSamples == 0 &&
            diskNearlyFull()) {
            recorder_->stop();
            stopRecording(DiskFull,
                          stoppedAt(std::string(DiskFull) + ": the disk of " +
                                    places_.sessionsFolder().string() + " has less than " +
                                    session::integerText(LeastRoomLeft / 1024) + " KB free"));
        }
    }
    if (soundGoing_) {
        try {
            sound_->follow(packets_);
        } catch (const SessionError& e) {
            soundFailed("GetP3Data", e);
        }
    }
}

void SessionStore::command(std::string_view text) {
    if (!recorder_ || recorder_->stopped())
        return;
    recorder_->annotate(packets_, text);
    if (!events_->command(packets_, text))
        log_("SendCommandToDSU: the events file " + events_->file().string() +
             " takes no more lines");
}

void SessionStore::sound(const ToneSettings& settings) {
    if (!soundGoing_)
        return;
    try {
        sound_->set(settings, packets_);
    } catch (const SessionError& e) {
        soundFailed("SendCommandToDSU", e);
    }
}

bool SessionStore::mark(std::string_view type, std::string_view value, double duration) {
    // After a stop the marks would fall past the recording's end.
    return events_ && !recorder_->stopped() && events_->mark(packets_, duration, type, value);
}

void SessionStore::gap(double seconds) {
    if (!recorder_ || recorder_->stopped())
        return;
    recorder_->annotate(packets_, "Gap " + session::fixed(seconds, 3) + " s", seconds);
}

bool SessionStore::finish(const std::filesystem::path& target) {
    if (!recorder_)
        return true;
    bool whole = true;
    bool kept = recorder_->packets() > 0;
    std::string contents;
    if (!kept) {
        discardEmptyRun();
    } else {
        // The sound first, the recording last: once the recording has its kept name the run
        // is finished, and a kill before that leaves a run that did not end, which the next
        // start finishes from the files as they are.
        whole = !recorder_->stopped();
        if (sound_ && !keepSound())
            whole = false;
        kept = keepRecording(contents);
        whole = whole && kept;
    }
    sound_.reset();
    soundGoing_ = false;
    recorder_.reset();
    events_.reset();
    step(Step::ReleaseLock);
    if (lock_)
        lock_->release();
    lock_.reset();
    if (kept && !target.empty()) {
        step(Step::CopySession);
        if (!copyTo(target, contents))
            whole = false;
    }
    session_.clear();
    factsFile_.clear();
    return whole;
}

void SessionStore::discardEmptyRun() {
    // A run without a packet is no recording worth keeping, nor a reason to replace the
    // copy of the last one. Its recording goes first: closed, it would hold a second of
    // the centre value, which a recovery would keep as if it were EEG.
    if (sound_)
        sound_->abandon();
    step(Step::RemoveWorkingFiles);
    for (const std::filesystem::path& file :
         {recorder_->workingFile(), soundFileOf(recorder_->workingFile()), events_->file(),
          factsFile_})
        files::removeQuietly(file);
    log_("TerminateDSU: the run recorded no packet and is not kept; the session file "
         "stays as it was");
}

bool SessionStore::keepSound() {
    bool whole = true;
    if (soundGoing_) {
        step(Step::CompleteSound);
        try {
            sound_->end(packets_);
        } catch (const SessionError& e) {
            log_("TerminateDSU: " + std::string(e.what()));
            whole = false;
        }
    } else {
        whole = false;
    }
    sound_->abandon();
    step(Step::KeepSound);
    try {
        (void)SessionSoundFile::keep(sound_->workingFile(), soundFileOf(session_));
    } catch (const SessionError& e) {
        log_("TerminateDSU: the run's sound is lost: " + std::string(e.what()));
        files::removeQuietly(sound_->workingFile());
        whole = false;
    }
    return whole;
}

bool SessionStore::keepRecording(std::string& contents) {
    step(Step::KeepRecording);
    try {
        recorder_->finish(session_);
        contents = " (" + session::integerText(static_cast<long long>(recorder_->packets())) +
                   " packets, " +
                   session::integerText(static_cast<long long>(recorder_->annotations())) +
                   " annotations)";
        const uint64_t leftOut = recorder_->leftOut();
        log_("TerminateDSU: the run is kept in " + session_.string() + contents +
             (recorder_->stopped() ? ", up to where the recording stopped" : "") +
             (leftOut > 0 ? ", " + session::integerText(static_cast<long long>(leftOut)) +
                                " annotations more than its last record holds"
                          : "") +
             "; every command is in " + events_->file().string());
        return true;
    } catch (const SessionError& e) {
        log_("TerminateDSU: " + std::string(e.what()));
        return false;
    }
}

bool SessionStore::copyTo(const std::filesystem::path& target, const std::string& contents) {
    try {
        copyReplacing(session_, target);
        log_("TerminateDSU: session written to " + target.string() + contents);
    } catch (const SessionError& e) {
        log_("TerminateDSU: " + std::string(e.what()));
        return false;
    }
    std::error_code error;
    const std::filesystem::path sound = soundFileOf(target);
    if (std::filesystem::exists(soundFileOf(session_), error)) {
        try {
            copyReplacing(soundFileOf(session_), sound);
            log_("TerminateDSU: sound written to " + sound.string());
        } catch (const SessionError& e) {
            log_("TerminateDSU: " + std::string(e.what()));
            return false;
        }
    } else if (std::filesystem::exists(sound, error)) {
        // The sound of an earlier run must not pass for this one's. A file the user may not
        // write stays, as it would not be replaced either.
        if (::faccessat(AT_FDCWD, sound.c_str(), W_OK, AT_EACCESS) != 0 ||
            !std::filesystem::remove(sound, error)) {
            log_("TerminateDSU: " + sound.string() +
                 " holds an earlier run's sound and cannot be removed" +
                 (error ? ": " + error.message() : std::string(": it is write-protected")));
            return false;
        }
        log_("TerminateDSU: " + sound.string() + " is removed: this run keeps no sound");
    }
    return true;
}

} // namespace solvane::dsusim
