#include "dsu/session/SessionLock.h"
#include "dsu/session/SessionRecorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

std::unique_ptr<SessionLock> SessionLock::create(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return nullptr;
        const int error = errno;
        throw SessionFileError(
            "the lock " + file.string() + " cannot be created: " + std::strerror(error), error);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) { // only a file made this moment by another
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SessionLock>(new SessionLock(file, fd));
}

std::unique_ptr<SessionLock> SessionLock::takeOver(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat held {};
    struct stat named {};
    // The lock taken must still be the file of that name: one that finished the run first
    // removes it before it lets go.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 ||
        ::stat(file.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SessionLock>(new SessionLock(file, fd));
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

} // namespace solvane::dsusim
