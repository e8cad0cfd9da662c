#include "dsu/session/SessionEvents.h"
#include "dsu/session/SessionRecorder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

constexpr const char* Header = "onset\tduration\ttrial_type\tvalue\n";

bool writeAll(int fd, const char* text, std::size_t length) noexcept {
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

/// Appends `text` to `line` from `at`, tabs and line breaks as spaces; the new end.
std::size_t append(char* line, std::size_t at, std::size_t size, std::string_view text) noexcept {
    for (const char c : text) {
        if (at + 1 >= size)
            break;
        line[at++] = (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    return at;
}

} // namespace

SessionEvents::SessionEvents(std::filesystem::path file) : file_(std::move(file)) {
    fd_ = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0 || !writeAll(fd_, Header, std::strlen(Header))) {
        const int error = errno;
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(file_.c_str());
        }
        fd_ = -1;
        throw SessionFileError("the events file " + file_.string() +
                                   " cannot be written: " + std::strerror(error),
                               error);
    }
}

SessionEvents::~SessionEvents() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool SessionEvents::mark(uint64_t packet, double duration, std::string_view trialType,
                         std::string_view value) noexcept {
    if (fd_ < 0)
        return false;
    char line[256];
    int length =
        std::snprintf(line, sizeof line, "%.4f\t", static_cast<double>(packet) / PacketsPerSecond);
    if (duration >= 0.0)
        length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                "%.4f\t", duration);
    else
        length +=
            std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), "n/a\t");
    std::size_t at = append(line, static_cast<std::size_t>(length), sizeof line, trialType);
    line[at++] = '\t';
    at = append(line, at, sizeof line - 1, value);
    line[at++] = '\n';
    if (writeAll(fd_, line, at))
        return true;
    ::close(fd_);
    fd_ = -1;
    return false;
}

std::vector<SessionEvents::Event> SessionEvents::read(const std::filesystem::path& file) {
    std::vector<Event> events;
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = text.find('\n'); // after the header
    while (start != std::string::npos && start + 1 < text.size()) {
        const std::size_t end = text.find('\n', start + 1);
        if (end == std::string::npos)
            break; // a line still being written
        const std::string line = text.substr(start + 1, end - start - 1);
        start = end;
        const std::size_t first = line.find('\t');
        const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        const std::size_t third =
            second == std::string::npos ? second : line.find('\t', second + 1);
        if (third == std::string::npos)
            continue;
        char* parsed = nullptr;
        const double onset = std::strtod(line.c_str(), &parsed);
        if (parsed != line.c_str() + first || !(onset >= 0.0))
            continue;
        events.push_back({static_cast<uint64_t>(std::llround(onset * PacketsPerSecond)),
                          line.substr(second + 1, third - second - 1), line.substr(third + 1)});
    }
    return events;
}

} // namespace solvane::dsusim
