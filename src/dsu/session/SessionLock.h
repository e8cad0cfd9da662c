#pragma once
// The lock of a run being recorded, <stamp>.lock in the sessions folder: it exists while the
// run goes and its recording process holds it with flock(LOCK_EX). Whoever can take it knows
// that the run is not going any more; a lock file nobody holds is left by a run that did not
// end. The lock goes with its process, however that ends.

#include <filesystem>
#include <memory>

namespace solvane::dsusim {

class SessionLock {
public:
    static constexpr const char* Suffix = ".lock";

    /// Creates `file` and holds it; nothing when a file of that name exists already. Throws
    /// SessionFileError (with the system's error) when it cannot be created.
    static std::unique_ptr<SessionLock> create(const std::filesystem::path& file);
    /// Holds `file` (creating it if need be) when no other process does; nothing when one
    /// does, or when the file went away meanwhile.
    static std::unique_ptr<SessionLock> takeOver(const std::filesystem::path& file);
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

} // namespace solvane::dsusim
