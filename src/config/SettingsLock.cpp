#include "SettingsLock.h"

#include "files/SafeReplace.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace solvane {

namespace {

int openFolder(const std::filesystem::path& settingsFile) {
    return ::open(SettingsLock::lockedFolder(settingsFile).c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int lockFolder(int fd, int operation) {
    int result = 0;
    do
        result = ::flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

std::filesystem::path SettingsLock::lockedFolder(const std::filesystem::path& settingsFile) {
    const std::filesystem::path folder = files::replacedFile(settingsFile).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

SettingsLock SettingsLock::whileOpen(const std::filesystem::path& settingsFile) {
    const int fd = openFolder(settingsFile);
    if (fd >= 0 && lockFolder(fd, LOCK_SH) != 0) {
        ::close(fd);
        return SettingsLock(-1);
    }
    return SettingsLock(fd);
}

std::optional<SettingsLock> SettingsLock::forWriting(const std::filesystem::path& settingsFile) {
    const int fd = openFolder(settingsFile);
    if (fd < 0)
        return SettingsLock(-1);
    if (lockFolder(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return SettingsLock(fd);
}

SettingsLock::SettingsLock(SettingsLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SettingsLock& SettingsLock::operator=(SettingsLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

SettingsLock::~SettingsLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace solvane
