#include "session/FileIo.h"

#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace solvane::session {

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
