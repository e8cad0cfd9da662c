#include "session/EventsFile.h"

#include "session/FileIo.h"
#include "session/Numbers.h"
#include "session/SessionError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::session {

namespace {

constexpr std::string_view HeaderLine = "onset\tduration\ttrial_type\tvalue";
constexpr std::string_view NotAvailable = "n/a";

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

uint64_t packetAt(double onset) noexcept {
    return onset > 0.0 ? static_cast<uint64_t>(std::llround(onset * EventsWriter::PacketsPerSecond))
                       : 0;
}

} // namespace

uint64_t SessionEvent::packet() const noexcept {
    return packetAt(onset);
}

EventsCut cutEventsAfter(const std::filesystem::path& file, uint64_t packet) {
    const auto fail = [&](const std::string& why, int error) {
        throw SessionError("the events file " + file.string() + " " + why, error);
    };
    const int fd = ::open(file.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail(std::string("cannot be opened: ") + std::strerror(error), error);
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        fail("is no plain file", 0);
    }
    EventsCut cut;
    std::vector<char> chunk(EventsReader::ChunkBytes);
    char start[64]; // the start of the line being read: its onset, duration and type
    std::size_t started = 0;
    uint64_t offset = 0;
    uint64_t lineStart = 0;
    uint64_t cutAt = UINT64_MAX;
    for (;;) {
        const ssize_t got = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            fail(std::string("cannot be read: ") + std::strerror(error), error);
        }
        if (got == 0)
            break;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
            if (chunk[i] != '\n') {
                if (started < sizeof start)
                    start[started++] = chunk[i];
                continue;
            }
            if (cutAt != UINT64_MAX) {
                ++cut.dropped;
            } else {
                // The header line and damaged lines have no onset and stay.
                std::string_view cell[3];
                const std::size_t n = cells(std::string_view(start, started), cell, 3);
                const std::optional<double> onset = parseDecimal(cell[0]);
                if (onset && packetAt(*onset) > packet) {
                    cutAt = lineStart;
                    ++cut.dropped;
                } else if (onset && n == 3 &&
                           (cell[2] == EventType::Command || cell[2] == EventType::State)) {
                    ++cut.commands;
                }
            }
            lineStart = offset + i + 1;
            started = 0;
        }
        offset += static_cast<uint64_t>(got);
    }
    if (lineStart < offset) { // a last line without its newline
        cutAt = std::min(cutAt, lineStart);
        ++cut.dropped;
    }
    if (cutAt != UINT64_MAX && ::ftruncate(fd, static_cast<off_t>(cutAt)) != 0) {
        const int error = errno;
        ::close(fd);
        fail(std::string("cannot be cut: ") + std::strerror(error), error);
    }
    ::close(fd);
    return cut;
}

EventsWriter::EventsWriter(std::filesystem::path file) : file_(std::move(file)) {
    fd_ = createWith(file_, O_WRONLY | O_APPEND, std::span<const char>(Header, std::strlen(Header)),
                     "the events file " + file_.string() + " cannot be written");
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
    // Full, it fills just after a line's end: from there on only the line ends are counted.
    const auto countBeyond = [this](std::span<const char> rest) {
        beyond_ += static_cast<uint64_t>(std::count(rest.begin(), rest.end(), '\n'));
    };
    if (events_.size() >= MostEvents) {
        countBeyond(bytes);
        return;
    }
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
        if (events_.size() >= MostEvents) {
            countBeyond(bytes);
            return;
        }
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
    events_.push_back({*onset, *duration < 0.0 ? -1.0 : *duration,
                       std::string(cell[2].substr(0, LongestValue)),
                       std::string(cell[3].substr(0, LongestValue))});
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
