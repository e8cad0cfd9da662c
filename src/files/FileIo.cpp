#include "files/FileIo.h"

#include <cerrno>
#include <sys/types.h>
#include <system_error>
#include <unistd.h>

namespace solvane::files {

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
    return whole(size, offset, ENOSPC, [&](std::size_t done, std::size_t left, uint64_t at) {
        return ::pwrite(fd, bytes + done, left, static_cast<off_t>(at));
    });
}

bool writeAll(int fd, const void* data, std::size_t size) noexcept {
    const auto* bytes = static_cast<const char*>(data);
    return whole(size, 0, ENOSPC, [&](std::size_t done, std::size_t left, uint64_t) {
        return ::write(fd, bytes + done, left);
    });
}

void removeQuietly(const std::filesystem::path& file) noexcept {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

} // namespace solvane::files
