#include "session/SessionLock.h"

#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::session {

std::unique_ptr<SessionLock> SessionLock::create(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return nullptr;
        const int error = errno;
        throw SessionError(
            "the lock " + file.string() + " cannot be created: " + std::strerror(error), error);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) { // only a file made this moment by another
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SessionLock>(new SessionLock(file, fd));
}

std::unique_ptr<SessionLock> SessionLock::takeOver(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat held {};
    struct stat named {};
    // The lock taken must still be the file of that name: one that finished the run first
    // removes it before it lets go.
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::stat(file.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SessionLock>(new SessionLock(file, fd));
}

bool SessionLock::held(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    bool taken = false;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        taken = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // lets go of a shared lock taken here
    return taken;
}

SessionLock::~SessionLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

void SessionLock::release() noexcept {
    if (fd_ < 0)
        return;
    ::unlink(file_.c_str());
    ::close(fd_);
    fd_ = -1;
}

} // namespace solvane::session
