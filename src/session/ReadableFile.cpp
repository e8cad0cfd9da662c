#include "session/ReadableFile.h"

#include "session/FileIo.h"
#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::session {

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "a special file";
}

bool MemorySource::readAt(uint64_t offset, std::span<char> into) {
    if (offset > bytes_.size() || into.size() > bytes_.size() - offset)
        return false;
    std::memcpy(into.data(), bytes_.data() + offset, into.size());
    return true;
}

uint64_t FileSource::size() {
    struct stat status {};
    return ::fstat(fd_, &status) == 0 && status.st_size > 0 ? static_cast<uint64_t>(status.st_size)
                                                            : 0;
}

bool FileSource::readAt(uint64_t offset, std::span<char> into) {
    return session::readAt(fd_, into.data(), into.size(), offset);
}

ReadableFile::ReadableFile(const std::filesystem::path& path) : ReadableFile(path, false) {}

ReadableFile::ReadableFile(const std::filesystem::path& path, bool mayBeMissing) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (mayBeMissing && error == ENOENT)
            return;
        throw SessionError(path.string() + " cannot be opened: " + std::strerror(error), error);
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
        const std::string kind = fileKind(status.st_mode);
        ::close(fd_);
        fd_ = -1;
        throw SessionError(path.string() + " is " + kind + ", not a plain file");
    }
}

std::optional<ReadableFile> ReadableFile::ifPresent(const std::filesystem::path& path) {
    ReadableFile file(path, true);
    if (file.fd() < 0)
        return std::nullopt;
    return file;
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace solvane::session
