#include "session/EventsFile.h"

#include "session/Numbers.h"
#include "session/SessionError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace solvane::session {

namespace {

constexpr std::string_view HeaderLine = "onset\tduration\ttrial_type\tvalue";
constexpr std::string_view NotAvailable = "n/a";

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

/// Copies `text` to `at`, tabs and line breaks as spaces, up to `last`; the new end.
char* append(char* at, char* last, std::string_view text) noexcept {
    for (const char c : text) {
        if (at == last)
            break;
        *at++ = (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    return at;
}

/// The cells of a tab-separated line, at most `count`; the last one ends at a further tab.
std::size_t cells(std::string_view line, std::string_view* into, std::size_t count) {
    std::size_t n = 0;
    while (n < count) {
        const std::size_t tab = line.find('\t');
        into[n++] = line.substr(0, tab);
        if (tab == std::string_view::npos)
            break;
        line.remove_prefix(tab + 1);
    }
    return n;
}

} // namespace

uint64_t SessionEvent::packet() const noexcept {
    return onset > 0.0 ? static_cast<uint64_t>(std::llround(onset * EventsWriter::PacketsPerSecond))
                       : 0;
}

EventsWriter::EventsWriter(std::filesystem::path file) : file_(std::move(file)) {
    fd_ = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0 || !writeAll(fd_, Header, std::strlen(Header))) {
        const int error = errno;
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(file_.c_str());
        }
        fd_ = -1;
        throw SessionError("the events file " + file_.string() +
                               " cannot be written: " + std::strerror(error),
                           error);
    }
}

EventsWriter::~EventsWriter() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool EventsWriter::mark(uint64_t packet, double duration, std::string_view type,
                        std::string_view value) noexcept {
    if (fd_ < 0)
        return false;
    char line[256];
    char* const last = line + sizeof line - 1; // room for the newline
    char* at = writeFixed(line, last, static_cast<double>(packet) / PacketsPerSecond, 4);
    if (at != nullptr && at != last)
        *at++ = '\t';
    if (at != nullptr)
        at = duration >= 0.0 ? writeFixed(at, last, duration, 4) : append(at, last, NotAvailable);
    if (at == nullptr || last - at < 2)
        return false;
    *at++ = '\t';
    at = append(at, last, type);
    if (at != last)
        *at++ = '\t';
    at = append(at, last, value);
    *at++ = '\n';
    if (writeAll(fd_, line, static_cast<std::size_t>(at - line)))
        return true;
    ::close(fd_);
    fd_ = -1;
    return false;
}

void EventsReader::take(std::span<const char> bytes) {
    taken_ += bytes.size();
    while (!bytes.empty()) {
        const auto end = std::find(bytes.begin(), bytes.end(), '\n');
        const std::size_t length = static_cast<std::size_t>(end - bytes.begin());
        if (!overlong_) {
            if (partial_.size() + length > LongestLine)
                overlong_ = true;
            else
                partial_.append(bytes.data(), length);
        }
        if (end == bytes.end())
            return; // the rest of the line comes later
        if (overlong_) {
            ++damaged_;
            if (header_ == Header::Awaited)
                header_ = Header::Missing;
        } else {
            line(partial_);
        }
        partial_.clear();
        overlong_ = false;
        bytes = bytes.subspan(length + 1);
    }
}

void EventsReader::follow(ByteSource& source) {
    char chunk[ChunkBytes];
    for (uint64_t size = source.size(); taken_ < size;) {
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(ChunkBytes, size - taken_));
        if (!source.readAt(taken_, std::span<char>(chunk, count)))
            return;
        take(std::span<const char>(chunk, count));
    }
}

void EventsReader::line(std::string_view text) {
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (header_ == Header::Awaited) {
        header_ = text == HeaderLine ? Header::Found : Header::Missing;
        if (header_ == Header::Found)
            return;
    }
    std::string_view cell[4];
    const std::optional<double> onset =
        cells(text, cell, 4) == 4 ? parseDecimal(cell[0]) : std::nullopt;
    const std::optional<double> duration =
        cell[1] == NotAvailable ? std::optional<double>(-1.0) : parseDecimal(cell[1]);
    if (!onset || *onset < 0.0 || !duration || cell[2].empty()) {
        ++damaged_;
        return;
    }
    events_.push_back(
        {*onset, *duration < 0.0 ? -1.0 : *duration, std::string(cell[2]), std::string(cell[3])});
}

std::string EventsReader::problem() const {
    std::string what;
    if (header_ == Header::Missing)
        what = "does not begin with the header line (onset, duration, trial_type, value)";
    else if (header_ == Header::Awaited)
        what = taken_ == 0 ? "is empty" : "has no whole line";
    if (damaged_ > 0)
        what += std::string(what.empty() ? "has " : " and has ") + std::to_string(damaged_) +
                (damaged_ == 1 ? " line" : " lines") + " that cannot be read";
    return what;
}

} // namespace solvane::session
