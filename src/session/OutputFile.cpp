#include "session/OutputFile.h"

#include "session/FileIo.h"
#include "session/ReadableFile.h"
#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::session {

void writeOutputFile(const std::filesystem::path& path, std::span<const char> bytes) {
    const auto fail = [&](int error) {
        throw SessionError(path.string() + " cannot be written: " + std::strerror(error), error);
    };
    struct stat status {};
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // A FIFO without a reader, or a socket, is refused by open() itself.
        if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            throw SessionError(path.string() + " is " + fileKind(status.st_mode) +
                               ", not a plain file");
        fail(error);
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw SessionError(path.string() + " is " + fileKind(status.st_mode) +
                           ", not a plain file");
    }
    if (!writeAt(fd, bytes.data(), bytes.size(), 0)) {
        const int error = errno;
        ::close(fd);
        fail(error);
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::close(fd) != 0)
        fail(errno);
}

} // namespace solvane::session
