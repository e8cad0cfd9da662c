#include "dsu/session/SessionRecovery.h"

#include "dsu/session/SessionSoundFile.h"
#include "session/AveCommand.h"
#include "session/Numbers.h"
#include "session/RecordingWriter.h"
#include "session/SessionError.h"
#include "session/SessionLock.h"
#include "session/SessionPaths.h"
#include "session/SessionReader.h"

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

using session::SessionPaths;

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void removeQuietly(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
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

/// Renders the sound of `events` up to `packets` into `target` again, through a file of its
/// own that replaces `target` once it is whole.
void renderSound(const SessionPaths& paths, const std::vector<session::SessionEvent>& events,
                 uint64_t packets) {
    std::filesystem::path part = paths.sound();
    part += ".part";
    SessionSoundFile sound(part);
    session::AveOutputState output;
    for (const session::SessionEvent& event : events) {
        if (!event.setsOutput() || !output.apply(event.value))
            continue;
        const uint64_t at = std::min(event.packet(), packets);
        sound.set(toneSettings(output), at);
        sound.follow(at);
    }
    sound.finish(packets, paths.sound());
}

std::string recoverRun(const SessionPaths& paths) {
    const std::unique_ptr<session::SessionLock> lock = session::SessionLock::takeOver(paths.lock());
    if (!lock)
        return {}; // going on in another process, or finished by one meanwhile
    std::error_code error;
    if (!std::filesystem::exists(paths.working(), error)) {
        removeQuietly(paths.workingSound());
        lock->release();
        return {};
    }
    std::string line = "InitialiseDSU: the run " + paths.stamp() + " did not end: ";
    if (wholeRecords(paths.working()) == 0) {
        for (const std::filesystem::path& file :
             {paths.working(), paths.workingSound(), paths.events(), paths.facts()})
            removeQuietly(file);
        lock->release();
        return line + "it had no whole second of EEG; its working files are removed";
    }
    try {
        const session::SessionReader run(paths.working());
        const auto packets =
            static_cast<uint64_t>(run.records()) * session::RecordingWriter::PacketsPerSecond;
        const auto commands = std::count_if(run.events().begin(), run.events().end(),
                                            [](const auto& e) { return e.setsOutput(); });
        std::string sound;
        if (std::filesystem::exists(paths.workingSound(), error)) {
            renderSound(paths, run.events(), packets);
            removeQuietly(paths.workingSound());
            sound = ", its sound rendered again into " + paths.sound().string();
        }
        std::filesystem::rename(paths.working(), paths.kept(), error);
        if (error)
            throw session::SessionError(paths.working().string() + " cannot be renamed to " +
                                        paths.kept().string() + ": " + error.message());
        line += "kept in " + paths.kept().string() + " with its " +
                session::integerText(run.records()) + " whole seconds and " +
                session::integerText(commands) + " commands" + sound;
        for (const std::string& note : run.notes())
            line += "; " + note;
    } catch (const session::SessionError& e) {
        line += std::string("it cannot be finished: ") + e.what();
        std::filesystem::path part = paths.sound();
        part += ".part";
        removeQuietly(part);
    }
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
            if (endsWith(name, suffix))
                stamps.insert(name.substr(0, name.size() - suffix.size()));
    }
    std::vector<std::string> lines;
    for (const std::string& stamp : stamps)
        if (std::string line = recoverRun(SessionPaths(folder, stamp)); !line.empty())
            lines.push_back(std::move(line));
    return lines;
}

} // namespace solvane::dsusim
