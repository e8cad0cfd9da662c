#include "session/FileIo.h"

#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace solvane::session {

namespace {

/// Calls `transfer(at, left, offset)` until `size` bytes are done, again after EINTR.
template <typename Transfer>
bool whole(std::size_t size, uint64_t offset, int nothingDone, Transfer transfer) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(done, size - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = nothingDone;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool readAt(int fd, void* data, std::size_t size, uint64_t offset) noexcept {
    auto* bytes = static_cast<char*>(data);
    return whole(size, offset, 0, [&](std::size_t done, std::size_t left, uint64_t at) {
        return ::pread(fd, bytes + done, left, static_cast<off_t>(at));
    });
}

bool writeAt(int fd, const void* data, std::size_t size, uint64_t offset) noexcept {
    const auto* bytes = static_cast<const char*>(data);
    return whole(size, offset, EIO, [&](std::size_t done, std::size_t left, uint64_t at) {
        return ::pwrite(fd, bytes + done, left, static_cast<off_t>(at));
    });
}

bool writeAll(int fd, const void* data, std::size_t size) noexcept {
    const auto* bytes = static_cast<const char*>(data);
    return whole(size, 0, EIO, [&](std::size_t done, std::size_t left, uint64_t) {
        return ::write(fd, bytes + done, left);
    });
}

int createWith(const std::filesystem::path& file, int flags, std::span<const char> first,
               const std::string& what) {
    const int fd = ::open(file.c_str(), flags | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !writeAll(fd, first.data(), first.size())) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(file.c_str());
        }
        throw SessionError(what + ": " + std::strerror(error), error);
    }
    return fd;
}

} // namespace solvane::session
