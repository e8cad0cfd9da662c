#include "viewer/SessionFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::viewer {

namespace {

constexpr const char* WorkingSuffix = ".working.edf";
constexpr const char* KeptSuffix = ".edf";
constexpr int SignalHeaderBytes = 256;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ')
        ++first;
    return text.substr(first);
}

/// A file descriptor closed when it goes.
class Fd {
public:
    explicit Fd(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const noexcept { return fd_; }

private:
    int fd_;
};

/// Reads exactly `bytes` at `offset`; false when the file holds fewer.
bool readAt(int fd, void* into, std::size_t bytes, int64_t offset) {
    auto* at = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t got = ::pread(fd, at, bytes, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        bytes -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

/// A whole-number header field; false when it is not one.
bool number(const char* field, int length, long long& value) {
    const std::string text = trimmed(std::string(field, static_cast<std::size_t>(length)));
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string field(const char* header, int offset, int length) {
    return trimmed(std::string(header + offset, static_cast<std::size_t>(length)));
}

/// The onset of a TAL's "+12.3456" text, or a negative value when it is not one.
double onsetOf(const std::string& text) {
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-'))
        return -1.0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + 1, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return -1.0;
    return text[0] == '-' ? -value : value;
}

/// A decimal number as the files write it, whatever the process's locale; `fallback` when the
/// text is not one.
double decimal(const std::string& text, double fallback) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : fallback;
}

bool isCommand(const std::string& text) {
    return text.size() == 6 && text[0] == 'W';
}

} // namespace

SessionPaths::SessionPaths(const std::filesystem::path& recording) : edf(recording) {
    const std::string name = recording.filename().string();
    if (endsWith(name, WorkingSuffix)) {
        working = true;
        stamp = name.substr(0, name.size() - std::strlen(WorkingSuffix));
    } else if (endsWith(name, KeptSuffix)) {
        stamp = name.substr(0, name.size() - std::strlen(KeptSuffix));
    } else {
        stamp = recording.stem().string();
    }
}

std::filesystem::path SessionPaths::events() const {
    return edf.parent_path() / (stamp + "_events.tsv");
}

std::filesystem::path SessionPaths::lock() const {
    return edf.parent_path() / (stamp + ".lock");
}

std::filesystem::path SessionPaths::kept() const {
    return edf.parent_path() / (stamp + KeptSuffix);
}

bool lockHeld(const std::filesystem::path& lockFile) {
    const Fd fd(lockFile);
    if (fd.get() < 0)
        return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd.get(), LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

SessionReader::SessionReader(const std::filesystem::path& recording)
    : paths_(recording), samples_(Signals), labels_(Signals) {
    for (int s = 0; s < Signals; ++s)
        labels_[s] = "Element " + std::to_string(s);
    readHeader();
}

SessionReader::Layout SessionReader::readHeader() {
    const std::string where = paths_.edf.string();
    const Fd fd(paths_.edf);
    if (fd.get() < 0)
        throw SessionError(where + " cannot be opened: " + std::strerror(errno));
    char main[256];
    if (!readAt(fd.get(), main, sizeof main, 0)) {
        // A run that has just begun may not have its header on disk yet.
        if (paths_.working)
            return {};
        throw SessionError(where + " is too short to be an EDF+ recording (no header)");
    }
    long long version = -1;
    long long headerBytes = 0;
    long long records = 0;
    long long signals = 0;
    if (!number(main, 8, version) || version != 0 || !number(main + 184, 8, headerBytes) ||
        !number(main + 252, 4, signals))
        throw SessionError(where + " is not an EDF+ recording (its header is damaged)");
    if (signals < Signals || signals > Signals + 4 || headerBytes != 256 * (signals + 1))
        throw SessionError(where + " does not hold the " + std::to_string(Signals) +
                           " signals of a session (it has " + std::to_string(signals) + ")");
    if (!number(main + 236, 8, records) || records < 0) {
        if (!paths_.working)
            throw SessionError(where + " was not closed: its header gives no record count");
        records = 0;
    }
    const double duration = decimal(field(main, 244, 8), 0.0);
    if (duration != 1.0)
        throw SessionError(where + " does not have one-second records");

    std::vector<char> signalHeader(static_cast<std::size_t>(signals) * SignalHeaderBytes);
    if (!readAt(fd.get(), signalHeader.data(), signalHeader.size(), 256)) {
        if (paths_.working)
            return {};
        throw SessionError(where + " is too short to be an EDF+ recording (its header is cut)");
    }
    const auto ns = static_cast<int>(signals);
    Layout layout;
    layout.headerBytes = static_cast<int>(headerBytes);
    layout.records = static_cast<int>(records);
    std::vector<std::string> labels;
    for (int s = 0; s < ns; ++s) {
        const std::string label = field(signalHeader.data(), s * 16, 16);
        long long perRecord = 0;
        if (!number(signalHeader.data() + ns * 216 + s * 8, 8, perRecord) || perRecord <= 0 ||
            perRecord > 1 << 16)
            throw SessionError(where + " has a damaged signal header (signal " +
                               std::to_string(s + 1) + ")");
        if (label == "EDF Annotations") {
            if (layout.annotationSignal < 0) {
                layout.annotationSignal = s;
                layout.annotationOffset = static_cast<int>(layout.recordBytes);
                layout.annotationBytes = static_cast<int>(perRecord * 2);
            }
        } else {
            if (perRecord != RecordSamples)
                throw SessionError(where + " has a signal not sampled at 256 Hz (" + label + ")");
            labels.push_back(label);
            layout.signalOffset.push_back(static_cast<int>(layout.recordBytes));
        }
        layout.recordBytes += perRecord * 2;
    }
    if (static_cast<int>(labels.size()) != Signals)
        throw SessionError(where + " does not hold the " + std::to_string(Signals) +
                           " signals of a session");

    // Whole records only: a kept file must hold all it counts; a working file may be behind
    // its count only while it is being written, so it gives what it holds.
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw SessionError(where + " cannot be examined: " + std::strerror(errno));
    const int64_t held = (static_cast<int64_t>(info.st_size) - headerBytes) / layout.recordBytes;
    if (held < layout.records) {
        if (!paths_.working)
            throw SessionError(where + " is truncated: its header counts " +
                               std::to_string(layout.records) + " records but it holds " +
                               std::to_string(held < 0 ? 0 : held));
        layout.records = static_cast<int>(held < 0 ? 0 : held);
    }
    if (!headerRead_) {
        headerRead_ = true;
        labels_ = labels;
        recording_ = field(main, 88, 80);
        // "Startdate dd-MMM-yyyy admincode technician equipment additional..."
        std::string rest = recording_;
        for (int skip = 0; skip < 5 && !rest.empty(); ++skip) {
            const std::size_t space = rest.find(' ');
            rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
        }
        if (recording_.rfind("Startdate ", 0) != 0 || rest.empty())
            rest = recording_;
        for (char& c : rest)
            if (c == '_')
                c = ' ';
        source_ = rest;
        const std::string date = field(main, 168, 8); // dd.mm.yy
        const std::string time = field(main, 176, 8); // hh.mm.ss
        if (date.size() == 8 && time.size() == 8) {
            const int year = std::atoi(date.substr(6, 2).c_str());
            start_ = std::to_string(year < 85 ? 2000 + year : 1900 + year) + "-" +
                     date.substr(3, 2) + "-" + date.substr(0, 2) + " " + time.substr(0, 2) + ":" +
                     time.substr(3, 2) + ":" + time.substr(6, 2);
            // The EDF+ recording field carries the four-digit year.
            if (recording_.size() >= 21 && recording_.rfind("Startdate ", 0) == 0)
                start_.replace(0, 4, recording_.substr(17, 4));
        }
    }
    return layout;
}

bool SessionReader::update() {
    bool grew = false;
    const bool wasLive = live_;
    if (paths_.working) {
        live_ = lockHeld(paths_.lock());
        // A run that ended renamed its recording; follow it to the kept name.
        if (!std::filesystem::exists(paths_.edf) && std::filesystem::exists(paths_.kept())) {
            paths_.edf = paths_.kept();
            paths_.working = false;
            live_ = false;
        }
    }
    const Layout layout = readHeader();
    if (layout.records > records_) {
        readRecords(layout);
        grew = true;
    }
    const std::size_t before = events_.size();
    readEventsFile();
    if (!hasEventsFile_ && events_.size() != annotations_.size()) {
        events_ = annotations_;
    }
    return grew || events_.size() != before || live_ != wasLive;
}

void SessionReader::readRecords(const Layout& layout) {
    const Fd fd(paths_.edf);
    if (fd.get() < 0)
        throw SessionError(paths_.edf.string() + " cannot be opened: " + std::strerror(errno));
    const int fresh = layout.records - records_;
    // Read in pieces of up to a minute, so a long session does not need its size twice.
    constexpr int Chunk = 60;
    std::vector<char> buffer(static_cast<std::size_t>(layout.recordBytes) * Chunk);
    // Room for all of them at once; a run that grows by a record at a time grows the room by
    // half, so that following it does not copy the whole run every second.
    const auto needed = static_cast<std::size_t>(layout.records) * RecordSamples;
    for (auto& signal : samples_)
        if (signal.capacity() < needed)
            signal.reserve(std::max(needed, signal.capacity() + signal.capacity() / 2));
    for (int done = 0; done < fresh;) {
        const int count = std::min(Chunk, fresh - done);
        const int64_t offset = layout.headerBytes + (records_ + done) * layout.recordBytes;
        if (!readAt(fd.get(), buffer.data(), static_cast<std::size_t>(count * layout.recordBytes),
                    offset))
            throw SessionError(paths_.edf.string() + " is truncated: a record cannot be read");
        for (int r = 0; r < count; ++r) {
            const char* record = buffer.data() + r * layout.recordBytes;
            for (int s = 0; s < Signals; ++s) {
                const auto* bytes =
                    reinterpret_cast<const unsigned char*>(record + layout.signalOffset[s]);
                auto& out = samples_[s];
                for (int i = 0; i < RecordSamples; ++i)
                    out.push_back(static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
            }
            if (layout.annotationSignal >= 0)
                readAnnotations(record + layout.annotationOffset, layout.annotationBytes);
        }
        done += count;
    }
    records_ = layout.records;
}

// An EDF+ annotation signal holds TALs: "+onset[\x15duration]\x14text\x14...\x14\0". The first
// TAL of each record only keeps the record's time; its text is empty.
void SessionReader::readAnnotations(const char* record, int bytes) {
    int at = 0;
    while (at < bytes) {
        if (record[at] == '\0') {
            ++at;
            continue;
        }
        const int begin = at;
        while (at < bytes && record[at] != '\0')
            ++at;
        const std::string tal(record + begin, static_cast<std::size_t>(at - begin));
        std::vector<std::string> parts;
        std::size_t from = 0;
        for (std::size_t i = 0; i <= tal.size(); ++i)
            if (i == tal.size() || tal[i] == '\x14') {
                parts.push_back(tal.substr(from, i - from));
                from = i + 1;
            }
        if (parts.empty())
            continue;
        std::string time = parts[0];
        double duration = -1.0;
        if (const std::size_t mark = time.find('\x15'); mark != std::string::npos) {
            duration = decimal(time.substr(mark + 1), -1.0);
            time.resize(mark);
        }
        const double onset = onsetOf(time);
        if (onset < 0.0)
            continue;
        for (std::size_t p = 1; p < parts.size(); ++p)
            if (isCommand(parts[p]))
                annotations_.push_back({onset, duration, "ave_command", parts[p]});
    }
}

void SessionReader::readEventsFile() {
    const Fd fd(paths_.events());
    if (fd.get() < 0)
        return;
    hasEventsFile_ = true;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || info.st_size <= eventsRead_)
        return;
    std::string text(static_cast<std::size_t>(info.st_size - eventsRead_), '\0');
    if (!readAt(fd.get(), text.data(), text.size(), eventsRead_))
        return;
    // Whole lines only: a last line without its newline is still being written.
    std::size_t from = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         from = end + 1, end = text.find('\n', from)) {
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const bool header = eventsRead_ == 0 && from == 0;
        std::vector<std::string> cells;
        std::size_t cell = 0;
        for (std::size_t i = 0; i <= line.size(); ++i)
            if (i == line.size() || line[i] == '\t') {
                cells.push_back(line.substr(cell, i - cell));
                cell = i + 1;
            }
        if (header || cells.size() < 4)
            continue;
        const double onset = decimal(cells[0], -1.0);
        if (onset < 0.0)
            continue;
        const double duration = decimal(cells[1], -1.0); // n/a: none
        events_.push_back({onset, duration, cells[2], cells[3]});
    }
    eventsRead_ += static_cast<int64_t>(from);
}

} // namespace solvane::viewer
