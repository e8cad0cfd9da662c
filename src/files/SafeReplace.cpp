#include "files/SafeReplace.h"

#include "files/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::files {

namespace {

[[noreturn]] void writeFailed(const std::string& target, int error) {
    throw WriteError(target, error);
}

// Writes all of `contents` and waits until it is on the disk; false (errno set) on failure.
bool writeAllAndSync(int fd, std::string_view contents) {
    return writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
}

// A new temporary file beside `target`. It is made with mode 0666 as any new file is, so that
// the umask applies to it as it would to the file itself.
int createTemporary(const std::string& target, std::string& name) {
    constexpr std::string_view Letters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + ".";
        auto value = static_cast<unsigned long>(random());
        for (int i = 0; i < 6; ++i, value /= Letters.size())
            name += Letters[value % Letters.size()];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Truncates the file and writes it where it is: not atomic, but possible in a folder where no
// temporary file may be made.
void writeInPlace(const std::string& target, std::string_view contents) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        writeFailed(target, errno);
    if (!writeAllAndSync(fd, contents)) {
        const int error = errno;
        ::close(fd);
        writeFailed(target, error);
    }
    if (::close(fd) != 0)
        writeFailed(target, errno);
}

} // namespace

WriteError::WriteError(const std::string& file, int error)
    : std::runtime_error("The file " + file + " could not be written: " + std::strerror(error) +
                         "."),
      error_(error) {}

std::filesystem::path replacedFile(const std::filesystem::path& path) {
    std::filesystem::path resolved = path;
    std::error_code linkError;
    for (int hop = 0; hop < 40 && std::filesystem::is_symlink(resolved, linkError); ++hop) {
        const std::filesystem::path link = std::filesystem::read_symlink(resolved, linkError);
        if (linkError)
            break;
        resolved = link.is_absolute() ? link : resolved.parent_path() / link;
    }
    return resolved;
}

bool writeProtected(const std::filesystem::path& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) == 0 &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

void replaceFile(const std::filesystem::path& path, std::string_view contents) {
    const std::string target = replacedFile(path).string();

    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && writeProtected(target))
        writeFailed(target, errno);

    std::string temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            writeInPlace(target, contents);
            return;
        }
        writeFailed(target, errno);
    }
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        writeFailed(target, error);
    };
    if (replacing) {
        // The replacement keeps the owner (where the user may give a file away), the group
        // and the permissions of the file it replaces; the owner first, since a change of
        // owner clears the set-ID bits.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    if (!writeAllAndSync(fd, contents))
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        writeFailed(target, error);
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        writeFailed(target, error);
    }
}

} // namespace solvane::files
