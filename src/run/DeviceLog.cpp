#include "DeviceLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane {

namespace {

// The end of the file is enough for its last line; a log of any size is read no further.
constexpr std::size_t TailBytes = 4096;

std::string lastLineOf(std::string_view text) {
    while (!text.empty()) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        const std::size_t newline = text.rfind('\n');
        const std::string_view line =
            newline == std::string_view::npos ? text : text.substr(newline + 1);
        if (line.find_first_not_of(" \t") != std::string_view::npos)
            return std::string(line);
        text.remove_suffix(line.size());
    }
    return {};
}

std::string cut(std::string line) {
    if (line.size() <= DeviceLog::LongestQuote)
        return line;
    const std::size_t all = line.size();
    line.resize(DeviceLog::LongestQuote);
    return line + "... (cut; " + std::to_string(all) + " characters in all)";
}

// Why the library can have written nothing to `file`, as far as this user can tell.
std::string whyNone(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    if (::access(file.c_str(), F_OK) == 0) {
        if (::access(file.c_str(), W_OK) != 0)
            return file.string() + " cannot be written (" + std::strerror(errno) + ")";
        return {};
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + folder.string() + " cannot be written (" + std::strerror(errno) +
               ")";
    return {};
}

} // namespace

DeviceLog::DeviceLog(std::filesystem::path file) : file_(std::move(file)) {
    before_ = identity();
}

DeviceLog::Identity DeviceLog::identity() const {
    Identity id;
    struct stat status {};
    if (::stat(file_.c_str(), &status) != 0)
        return id;
    id.exists = true;
    id.device = status.st_dev;
    id.inode = status.st_ino;
    id.size = static_cast<uint64_t>(status.st_size);
    id.modifiedSeconds = status.st_mtim.tv_sec;
    id.modifiedNanoseconds = status.st_mtim.tv_nsec;
    return id;
}

DeviceLog::Reading DeviceLog::read() const {
    Reading reading;
    const Identity now = identity();
    if (!now.exists || now == before_) {
        reading.whyNone = whyNone(file_);
        return reading;
    }
    const int fd = ::open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reading.whyNone = file_.string() + " cannot be read (" + std::strerror(errno) + ")";
        return reading;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        reading.whyNone = file_.string() + " is no plain file";
    } else {
        reading.written = true;
        const auto size = static_cast<std::size_t>(status.st_size);
        const std::size_t from = size > TailBytes ? size - TailBytes : 0;
        std::string tail(size - from, '\0');
        const ssize_t got = ::pread(fd, tail.data(), tail.size(), static_cast<off_t>(from));
        tail.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        // A tail that starts inside a line keeps only whole lines.
        if (from > 0 && tail.find('\n') != std::string::npos)
            tail.erase(0, tail.find('\n') + 1);
        reading.lastLine = cut(lastLineOf(tail));
    }
    ::close(fd);
    return reading;
}

} // namespace solvane
