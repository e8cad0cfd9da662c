#include "dsu/session/SessionRecovery.h"

#include "dsu/session/SessionSoundFile.h"
#include "dsu/session/SessionSteps.h"
#include "session/EventsFile.h"
#include "session/Numbers.h"
#include "session/RecordingWriter.h"
#include "session/SessionError.h"
#include "session/SessionLock.h"
#include "session/SessionPaths.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

using session::SessionPaths;

bool present(const std::filesystem::path& file) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(file, ignored));
}

/// Removes what is there of `files`; the names of those that could not be removed, with why.
std::string removeAll(std::initializer_list<std::filesystem::path> files) {
    std::string failed;
    for (const std::filesystem::path& file : files) {
        std::error_code error;
        if (!std::filesystem::remove(file, error) && error)
            failed += (failed.empty() ? "" : ", ") + file.filename().string() + " (" +
                      error.message() + ")";
    }
    return failed.empty() ? std::string() : "; these could not be removed: " + failed;
}

/// Cuts the working recording back to its whole records; their number (0 when none, or when
/// it is no recording).
long long wholeRecords(const std::filesystem::path& working) {
    const int fd = ::open(working.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat status {};
    long long records = 0;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        records = session::RecordingWriter::keepWholeRecords(fd);
    ::close(fd);
    return std::max(0LL, records);
}

/// Keeps the working sound file under its kept name; what the log says of the sound.
std::string keepSound(const SessionPaths& paths) {
    if (!present(paths.workingSound()))
        return present(paths.sound()) ? "" : "; it has no sound file";
    step(Step::KeepSound);
    try {
        const double seconds = SessionSoundFile::keep(paths.workingSound(), paths.sound());
        return "; its sound is kept in " + paths.sound().string() +
               " up to its last whole frame (" + session::fixed(seconds, 1) + " s)";
    } catch (const session::SessionError& e) {
        return "; its sound is lost: " + std::string(e.what()) + removeAll({paths.workingSound()});
    }
}

std::string recoverRun(const SessionPaths& paths) {
    const std::unique_ptr<session::SessionLock> lock = session::SessionLock::takeOver(paths.lock());
    if (!lock)
        return {}; // going on in another process, or finished by one meanwhile
    const std::string run = "InitialiseDSU: the run " + paths.stamp();
    std::string line;
    // An earlier recovery rendered the sound again into a file of this name.
    std::filesystem::path rendered = paths.sound();
    rendered += ".part";
    if (!present(paths.working())) {
        if (present(paths.kept())) {
            // Killed while it was being finished, after its recording was kept.
            const std::string sound = keepSound(paths);
            if (!sound.empty())
                line = run + " was being finished: kept in " + paths.kept().string() + sound;
        } else if (present(paths.events()) || present(paths.facts()) ||
                   present(paths.workingSound())) {
            step(Step::RemoveWorkingFiles);
            line = run + " did not end and had no recording yet; its files are removed" +
                   removeAll({paths.events(), paths.facts(), paths.workingSound()});
        }
        (void)removeAll({rendered});
        lock->release();
        return line;
    }
    line = run + " did not end: ";
    step(Step::CutRecording);
    const long long records = wholeRecords(paths.working());
    if (records == 0) {
        step(Step::RemoveWorkingFiles);
        line += "it had no whole second of EEG; its working files are removed" +
                removeAll({paths.working(), paths.workingSound(), paths.events(), paths.facts(),
                           rendered});
        lock->release();
        return line;
    }
    std::string events;
    step(Step::CutEvents);
    try {
        const session::EventsCut cut =
            session::cutEventsAfter(paths.events(), static_cast<uint64_t>(records) *
                                                        session::RecordingWriter::PacketsPerSecond);
        events = " and " + session::integerText(static_cast<long long>(cut.commands)) + " commands";
        if (cut.dropped > 0)
            events += " (the " + session::integerText(static_cast<long long>(cut.dropped)) +
                      " events after its last whole second are dropped)";
    } catch (const session::SessionError& e) {
        events = e.code() == ENOENT ? "; its events file is missing"
                                    : "; its events file is as it was: " + std::string(e.what());
    }
    const std::string sound = keepSound(paths);
    (void)removeAll({rendered});
    step(Step::KeepRecording);
    std::error_code error;
    std::filesystem::rename(paths.working(), paths.kept(), error);
    if (error) {
        line += "it cannot be finished: " + paths.working().string() + " cannot be renamed to " +
                paths.kept().string() + ": " + error.message();
    } else {
        line += "kept in " + paths.kept().string() + " with its " + session::integerText(records) +
                " whole seconds" + events + sound;
    }
    step(Step::ReleaseLock);
    lock->release();
    return line;
}

} // namespace

std::vector<std::string> recoverSessions(const std::filesystem::path& folder) {
    std::set<std::string> stamps;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        for (const std::string_view suffix :
             {SessionPaths::LockSuffix, SessionPaths::WorkingSuffix})
            if (name.size() > suffix.size() && name.ends_with(suffix))
                stamps.insert(name.substr(0, name.size() - suffix.size()));
    }
    std::vector<std::string> lines;
    for (const std::string& stamp : stamps)
        if (std::string line = recoverRun(SessionPaths(folder, stamp)); !line.empty())
            lines.push_back(std::move(line));
    return lines;
}

} // namespace solvane::dsusim
