#pragma once
// The lock of a run being recorded, <stamp>.lock: it exists while the run goes and its
// recording process holds it with flock(LOCK_EX). Whoever can take it knows that the run is
// not going any more; a lock file nobody holds is left by a run that did not end. The lock
// goes with its process, however that ends. flock() locks belong to an open file, so a second
// open in the same process does not hold the lock either.

#include <filesystem>
#include <memory>

namespace solvane::session {

class SessionLock {
public:
    /// Creates `file` and holds it; nothing when a file of that name exists already. Throws
    /// SessionError (with the system's error) when it cannot be created.
    static std::unique_ptr<SessionLock> create(const std::filesystem::path& file);
    /// Holds `file` (creating it if need be) when no other process does; nothing when one
    /// does, or when the file went away meanwhile.
    static std::unique_ptr<SessionLock> takeOver(const std::filesystem::path& file);
    /// True while a process (a live run) holds `file`. Never waits: a FIFO or anything else
    /// that is not a plain file holds no lock.
    static bool held(const std::filesystem::path& file);

    /// Lets go of the lock and leaves the file.
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    /// Removes the file, then lets go: the run has ended.
    void release() noexcept;

private:
    SessionLock(std::filesystem::path file, int fd) : file_(std::move(file)), fd_(fd) {}
    std::filesystem::path file_;
    int fd_;
};

} // namespace solvane::session
