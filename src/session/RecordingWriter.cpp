#include "session/RecordingWriter.h"

#include "session/FileIo.h"
#include "session/Numbers.h"
#include "session/ReadableFile.h"
#include "session/RecordingHeader.h"
#include "session/SessionError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::session {

namespace {

constexpr int Signals = RecordingWriter::Elements + 1; // and the annotation signal
constexpr std::size_t HeaderBytes = RecordingHeader::FixedBytes * (Signals + 1);
constexpr std::size_t SampleBytes = RecordingWriter::Elements * RecordingWriter::RecordSamples * 2;
constexpr std::size_t NoteRoom = 64; // for the note of what the last record cannot hold
constexpr char TalTime = '\x14';
constexpr char TalDuration = '\x15';
constexpr const char* Months[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

std::string twoDigits(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

/// Appends `text` as a header field of `width` characters: printable ASCII only (others as
/// '_'), cut to the width, padded with blanks.
void field(std::string& header, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        header += (c >= 32 && c < 127) ? c : '_';
    }
}

/// `value` in at most 8 characters, plain decimal notation, within `tolerance`; nothing when
/// it cannot be written so.
std::optional<std::string> headerNumber(double value, double tolerance) {
    if (const std::string text = shortest(value);
        text.size() <= 8 && text.find('e') == std::string::npos)
        return text;
    for (int decimals = 7; decimals >= 0; --decimals) {
        const std::string text = fixed(value, decimals);
        if (text.size() <= 8 &&
            std::abs(parseDecimal(text).value_or(HUGE_VAL) - value) <= tolerance)
            return text;
    }
    return std::nullopt;
}

struct PhysicalRange {
    std::string minimum;
    std::string maximum;
};

/// The physical range of 0..1023 around 512 through `gain`, or why it cannot be written.
std::optional<PhysicalRange> physicalRange(double gain, std::string* problem) {
    const auto fail = [&](const std::string& why) -> std::optional<PhysicalRange> {
        if (problem != nullptr)
            *problem = why;
        return std::nullopt;
    };
    if (!std::isfinite(gain) || !(gain > 0.0))
        return fail("a gain of " + shortest(gain) + " counts/uV gives no physical range");
    const double minimum = -RecordingWriter::Centre / gain;
    const double maximum = (RecordingWriter::Highest - RecordingWriter::Centre) / gain;
    // A hundredth of a digital step: far finer than any reader shows.
    const double tolerance = (maximum - minimum) / RecordingWriter::Highest / 100.0;
    const std::optional<std::string> low = headerNumber(minimum, tolerance);
    const std::optional<std::string> high = headerNumber(maximum, tolerance);
    if (!low || !high)
        return fail("a gain of " + shortest(gain) + " counts/uV gives a physical range of " +
                    shortest(minimum) + " to " + shortest(maximum) +
                    " uV, which the 8 characters of an EDF header cannot hold exactly enough");
    return PhysicalRange{*low, *high};
}

bool writeCount(int fd, long long records) noexcept {
    char text[RecordingHeader::CountWidth];
    std::memset(text, ' ', sizeof text);
    return writeInteger(text, text + sizeof text, records) != nullptr &&
           writeAt(fd, text, sizeof text, RecordingHeader::CountOffset);
}

/// "+<seconds>.<4 digits>" of a time in units of 100 us; the end, or nullptr.
char* writeTime(char* at, char* last, long long units) noexcept {
    if (at == last)
        return nullptr;
    *at++ = '+';
    at = writeInteger(at, last, units / 10000);
    if (at == nullptr || last - at < 5)
        return nullptr;
    *at++ = '.';
    for (long long digit = 1000, rest = units % 10000; digit > 0; digit /= 10) {
        *at++ = static_cast<char>('0' + rest / digit);
        rest %= digit;
    }
    return at;
}

} // namespace

std::optional<std::string> RecordingWriter::gainProblem(double gain) {
    std::string problem;
    if (physicalRange(gain, &problem))
        return std::nullopt;
    return problem;
}

RecordingWriter::RecordingWriter(std::filesystem::path workingFile, const RecordingSetup& setup)
    : working_(std::move(workingFile)) {
    std::string problem;
    const std::optional<PhysicalRange> range = physicalRange(setup.gain, &problem);
    if (!range)
        throw SessionError("the session file " + working_.string() +
                           " cannot be written: " + problem);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(setup.start);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto fraction = std::chrono::duration_cast<std::chrono::microseconds>(
        setup.start - std::chrono::system_clock::from_time_t(seconds));
    fraction_ = std::clamp<long long>(fraction.count() / 100, 0, 9999);

    const std::string date = twoDigits(local.tm_mday) + "." + twoDigits(local.tm_mon + 1) + "." +
                             twoDigits(local.tm_year % 100);
    const std::string time =
        twoDigits(local.tm_hour) + "." + twoDigits(local.tm_min) + "." + twoDigits(local.tm_sec);
    const std::string startDate = twoDigits(local.tm_mday) + "-" + Months[local.tm_mon % 12] + "-" +
                                  integerText(local.tm_year + 1900);
    // EDF+ subfields hold no blanks: the source's go as '_'.
    std::string source = setup.source;
    std::replace(source.begin(), source.end(), ' ', '_');

    std::string header;
    header.reserve(HeaderBytes);
    field(header, "0", 8);
    field(header, "X X X X", 80);
    field(header, "Startdate " + startDate + " X X Solvane_simulated_DSU " + source, 80);
    field(header, date, 8);
    field(header, time, 8);
    field(header, integerText(HeaderBytes), 8);
    field(header, "EDF+C", 44);
    field(header, "0", 8);
    field(header, "1", 8);
    field(header, integerText(Signals), 4);
    const auto each = [&](auto value, std::size_t width) {
        for (int s = 0; s < Signals; ++s)
            field(header, value(s), width);
    };
    const auto data = [](int s) { return s < Elements; };
    const auto element = [](int s) { return static_cast<std::size_t>(s); };
    each(
        [&](int s) {
            return data(s) ? std::string_view(setup.labels[element(s)])
                           : SignalHeader::AnnotationsLabel;
        },
        16);
    each(
        [&](int s) {
            return data(s) ? std::string_view(setup.transducers[element(s)]) : std::string_view();
        },
        80);
    each([&](int s) { return std::string_view(data(s) ? "uV" : ""); }, 8);
    const std::string_view minimum = range->minimum;
    const std::string_view maximum = range->maximum;
    each([&](int s) { return data(s) ? minimum : std::string_view("-1"); }, 8);
    each([&](int s) { return data(s) ? maximum : std::string_view("1"); }, 8);
    each([&](int s) { return std::string_view(data(s) ? "0" : "-32768"); }, 8);
    each([&](int s) { return std::string_view(data(s) ? "1023" : "32767"); }, 8);
    each([](int) { return std::string_view(); }, 80);
    const std::string samples = integerText(RecordSamples);
    const std::string annotationSamples = integerText(AnnotationBytes / 2);
    each([&](int s) { return std::string_view(data(s) ? samples : annotationSamples); }, 8);
    each([](int) { return std::string_view(); }, 32);

    fd_ = createWith(working_, O_RDWR, header,
                     "the session file " + working_.string() + " cannot be created");
    pending_.reserve(64);
}

RecordingWriter::~RecordingWriter() {
    close();
}

void RecordingWriter::add(const int32_t* packet) {
    if (stopped_ || fd_ < 0)
        return;
    for (int e = 0; e < Elements; ++e) {
        const int value = std::clamp<int32_t>(packet[e], 0, Highest);
        char* at = record_.data() + (static_cast<std::size_t>(e) * RecordSamples + filled_) * 2;
        at[0] = static_cast<char>(value & 0xFF);
        at[1] = static_cast<char>(value >> 8);
    }
    ++packets_;
    if (++filled_ == RecordSamples)
        writeRecord(false);
}

void RecordingWriter::annotate(uint64_t packet, std::string_view text, double duration) {
    if (stopped_ || fd_ < 0)
        return;
    Pending pending;
    pending.packet = packet;
    pending.duration = duration;
    pending.length = std::min(text.size(), LongestText);
    for (std::size_t i = 0; i < pending.length; ++i) {
        const char c = text[i];
        pending.text[i] = (c >= 32 && c < 127) ? c : '_';
    }
    pending_.push_back(pending);
}

std::size_t RecordingWriter::talOf(const Pending& pending, char* into,
                                   std::size_t room) const noexcept {
    char* const last = into + room;
    // The onset counts from the header's whole second: the start's fraction comes first.
    const long long units =
        (fraction_ * PacketsPerSecond + static_cast<long long>(pending.packet) * 10000 +
         PacketsPerSecond / 2) /
        PacketsPerSecond;
    char* at = writeTime(into, last, units);
    if (at != nullptr && pending.duration >= 0.0 && at != last) {
        *at++ = TalDuration;
        at = writeFixed(at, last, pending.duration, 4);
    }
    if (at == nullptr || static_cast<std::size_t>(last - at) < pending.length + 3)
        return 0;
    *at++ = TalTime;
    std::memcpy(at, pending.text.data(), pending.length);
    at += pending.length;
    *at++ = TalTime;
    *at++ = '\0';
    return static_cast<std::size_t>(at - into);
}

// The record's own time first, then as many waiting annotations as fit after the `used`
// bytes the area holds already. What the last record cannot hold is counted there in a note.
std::size_t RecordingWriter::putAnnotations(char* area, uint64_t record, std::size_t used,
                                            bool last) noexcept {
    const auto fill = [&](std::size_t limit, std::size_t& taken) {
        std::memset(area + used, 0, AnnotationBytes - used);
        char* at = area + used;
        if (used == 0) {
            at = writeTime(at, area + limit, static_cast<long long>(record) * 10000 + fraction_);
            *at++ = TalTime;
            *at++ = TalTime;
            *at++ = '\0';
        }
        taken = 0;
        for (const Pending& pending : pending_) {
            const std::size_t length =
                talOf(pending, at, static_cast<std::size_t>(area + limit - at));
            if (length == 0)
                break;
            at += length;
            ++taken;
        }
        return static_cast<std::size_t>(at - area);
    };
    std::size_t taken = 0;
    std::size_t end = fill(AnnotationBytes, taken);
    if (last && taken < pending_.size()) {
        end = fill(AnnotationBytes - NoteRoom, taken);
        Pending note;
        note.packet = pending_[taken].packet;
        const std::string_view more = " more: see the events file";
        char* const first = note.text.data();
        char* at = writeInteger(first, first + note.text.size() - more.size(),
                                static_cast<long long>(pending_.size() - taken));
        if (at != nullptr) {
            std::memcpy(at, more.data(), more.size());
            note.length = static_cast<std::size_t>(at - first) + more.size();
            end += talOf(note, area + end, AnnotationBytes - end);
        }
        annotations_ += taken;
        leftOut_ += pending_.size() - taken;
        pending_.clear();
        return end;
    }
    annotations_ += taken;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken));
    return end;
}

void RecordingWriter::writeRecord(bool last) {
    lastUsed_ = putAnnotations(record_.data() + SampleBytes, records_, 0, last);
    const uint64_t offset = HeaderBytes + records_ * RecordBytes;
    errno = 0;
    if (!writeAt(fd_, record_.data(), RecordBytes, offset) ||
        !writeCount(fd_, static_cast<long long>(records_ + 1))) {
        const int error = errno != 0 ? errno : EIO;
        stop();
        throw SessionError("the session file " + working_.string() +
                               " cannot be written: " + std::strerror(error) + "; it keeps its " +
                               std::to_string(records_) + " whole records",
                           error);
    }
    ++records_;
    filled_ = 0;
}

void RecordingWriter::stop() noexcept {
    if (stopped_ || fd_ < 0)
        return;
    stopped_ = true;
    filled_ = 0;
    packets_ = records_ * RecordSamples;
    pending_.clear();
    (void)::ftruncate(fd_, static_cast<off_t>(HeaderBytes + records_ * RecordBytes));
    (void)writeCount(fd_, static_cast<long long>(records_));
}

void RecordingWriter::close() noexcept {
    if (fd_ < 0)
        return;
    if (!stopped_) {
        try {
            if (filled_ > 0 || records_ == 0) {
                // The last second is completed with the centre value; an empty run gets one
                // such record, as readers need one.
                for (int e = 0; e < Elements; ++e)
                    for (int i = filled_; i < RecordSamples; ++i) {
                        char* at =
                            record_.data() + (static_cast<std::size_t>(e) * RecordSamples + i) * 2;
                        at[0] = static_cast<char>(Centre & 0xFF);
                        at[1] = static_cast<char>(Centre >> 8);
                    }
                writeRecord(true);
            } else if (!pending_.empty()) {
                // Annotations after the last whole second go into its record, which record_
                // still holds: only its annotation signal is written again.
                lastUsed_ =
                    putAnnotations(record_.data() + SampleBytes, records_ - 1, lastUsed_, true);
                if (!writeAt(fd_, record_.data() + SampleBytes, AnnotationBytes,
                             HeaderBytes + (records_ - 1) * RecordBytes + SampleBytes))
                    stopped_ = true;
            }
        } catch (const SessionError&) {
            // stopped: the file keeps its whole records
        }
    }
    ::close(fd_);
    fd_ = -1;
}

void RecordingWriter::finish(const std::filesystem::path& target) {
    if (!stopped_ && fd_ >= 0)
        annotate(packets_, EndsAnnotation);
    close();
    std::error_code error;
    std::filesystem::rename(working_, target, error);
    if (error)
        throw SessionError("the session file " + working_.string() + " cannot be renamed to " +
                               target.string() + ": " + error.message(),
                           error.value());
}

long long RecordingWriter::keepWholeRecords(int fd, long long limit) {
    FileSource source(fd);
    std::optional<RecordingHeader> header;
    try {
        header = RecordingHeader::read(source, "");
    } catch (const SessionError&) {
        return -1;
    }
    if (!header)
        return -1;
    const uint64_t size = source.size();
    auto whole = static_cast<long long>(header->wholeRecords(size));
    if (limit >= 0 && whole > limit)
        whole = limit;
    const uint64_t kept = header->headerBytes + static_cast<uint64_t>(whole) * header->recordBytes;
    if ((kept != size && ::ftruncate(fd, static_cast<off_t>(kept)) != 0) || !writeCount(fd, whole))
        return -1;
    return whole;
}

} // namespace solvane::session
