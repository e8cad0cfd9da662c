#include "dsu/session/SessionRecorder.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

constexpr int Centre = 512;
constexpr int Highest = 1023;
constexpr long long AnnotationUnit = 10000; // EDFlib annotation times: 100 us

std::string edfText(const std::string& text, std::size_t length) {
    std::string result;
    for (const char c : text.substr(0, length))
        result += (c >= 32 && c < 127) ? c : '_';
    return result;
}

long long headerNumber(const char* field, std::size_t length) {
    const std::string text(field, length);
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end == text.c_str() ? -2 : value;
}

bool readAt(int fd, char* buffer, std::size_t length, off_t offset) {
    return ::pread(fd, buffer, length, offset) == static_cast<ssize_t>(length);
}

bool writeCount(int fd, long long records) {
    char field[9];
    std::snprintf(field, sizeof field, "%-8lld", records);
    return ::pwrite(fd, field, 8, 236) == 8;
}

} // namespace

bool SessionRecorder::layout(int fd, EdfLayout& layout) {
    char fixed[256];
    if (!readAt(fd, fixed, sizeof fixed, 0) || std::memcmp(fixed, "0       ", 8) != 0)
        return false;
    const long long headerBytes = headerNumber(fixed + 184, 8);
    const long long signals = headerNumber(fixed + 252, 4);
    if (signals < 1 || signals > 512 || headerBytes != 256 * (signals + 1))
        return false;
    char samples[512 * 8]; // no allocation: this runs once a second during a run
    if (!readAt(fd, samples, static_cast<std::size_t>(signals) * 8,
                static_cast<off_t>(256 + signals * 216)))
        return false;
    uint64_t recordBytes = 0;
    for (long long i = 0; i < signals; ++i) {
        const long long count = headerNumber(samples + i * 8, 8);
        if (count < 1)
            return false;
        recordBytes += 2 * static_cast<uint64_t>(count);
    }
    layout.headerBytes = static_cast<uint64_t>(headerBytes);
    layout.recordBytes = recordBytes;
    layout.recordCount = headerNumber(fixed + 236, 8);
    return true;
}

long long SessionRecorder::keepWholeRecords(int fd, long long limit) {
    EdfLayout edf;
    struct stat status {};
    if (!layout(fd, edf) || ::fstat(fd, &status) != 0)
        return -1;
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    long long whole = size < edf.headerBytes
                          ? 0
                          : static_cast<long long>((size - edf.headerBytes) / edf.recordBytes);
    if (limit >= 0 && whole > limit)
        whole = limit;
    const uint64_t kept = edf.headerBytes + static_cast<uint64_t>(whole) * edf.recordBytes;
    if ((kept != size && ::ftruncate(fd, static_cast<off_t>(kept)) != 0) || !writeCount(fd, whole))
        return -1;
    return whole;
}

SessionRecorder::SessionRecorder(const std::filesystem::path& workingFile,
                                 const std::string (&labels)[Elements], double gain,
                                 const std::string& source,
                                 std::chrono::system_clock::time_point start)
    : working_(workingFile) {
    handle_ = edfopen_file_writeonly(working_.c_str(), EDFLIB_FILETYPE_EDFPLUS, Elements);
    if (handle_ < 0)
        throw SessionFileError("the session file " + working_.string() +
                               " cannot be created (EDFlib error " + std::to_string(handle_) + ")");
    bool ok = true;
    for (int e = 0; e < Elements; ++e) {
        ok = ok && edf_set_samplefrequency(handle_, e, RecordSamples) == 0;
        ok = ok && edf_set_digital_minimum(handle_, e, 0) == 0;
        ok = ok && edf_set_digital_maximum(handle_, e, Highest) == 0;
        ok = ok && edf_set_physical_minimum(handle_, e, -Centre / gain) == 0;
        ok = ok && edf_set_physical_maximum(handle_, e, (Highest - Centre) / gain) == 0;
        ok = ok && edf_set_physical_dimension(handle_, e, "uV") == 0;
        ok = ok && edf_set_label(handle_, e, edfText(labels[e], 16).c_str()) == 0;
        ok = ok && edf_set_transducer(handle_, e, "simulated DSU") == 0;
    }
    ok = ok && edf_set_number_of_annotation_signals(handle_, AnnotationSignals) == 0;
    ok = ok && edf_set_equipment(handle_, "Solvane simulated DSU") == 0;
    ok = ok && edf_set_recording_additional(handle_, edfText(source, 60).c_str()) == 0;
    // The start of the run in local time, as in the file's name, with its fraction of a
    // second to 100 us (EDFlib's advice; EDF+ keeps it in the first record's time stamp).
    const std::time_t seconds = std::chrono::system_clock::to_time_t(start);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto fraction = std::chrono::duration_cast<std::chrono::microseconds>(
        start - std::chrono::system_clock::from_time_t(seconds));
    const long long subsecond = fraction.count() < 0 ? 0 : fraction.count() / 100 * 1000;
    ok = ok && edf_set_startdatetime(handle_, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     local.tm_hour, local.tm_min, local.tm_sec) == 0;
    ok = ok && edf_set_subsecond_starttime(handle_, static_cast<int>(subsecond)) == 0;
    if (!ok) {
        edfclose_file(handle_);
        handle_ = -1;
        std::error_code ignored;
        std::filesystem::remove(working_, ignored);
        throw SessionFileError("the session file " + working_.string() +
                               " cannot be set up (EDFlib)");
    }
    countFd_ = ::open(working_.c_str(), O_RDWR | O_CLOEXEC);
}

SessionRecorder::~SessionRecorder() {
    abandon();
}

void SessionRecorder::add(const int32_t* packet) {
    if (stopped_)
        return;
    for (int e = 0; e < Elements; ++e) {
        const int32_t value = packet[e];
        record_[e * RecordSamples + filled_] = value < 0 ? 0 : (value > Highest ? Highest : value);
    }
    ++packets_;
    if (++filled_ == RecordSamples)
        writeRecord();
}

void SessionRecorder::writeRecord() {
    if (handle_ < 0)
        return;
    errno = 0;
    if (edf_blockwrite_digital_samples(handle_, record_) == 0) {
        filled_ = 0;
        ++records_;
        updateRecordCount();
        if (!stopped_)
            return;
    }
    const int error = errno != 0 ? errno : EIO;
    stop();
    throw SessionFileError("the session file " + working_.string() +
                               " cannot be written: " + std::strerror(error) + "; it keeps its " +
                               std::to_string(records_) + " whole records",
                           error);
}

// EDFlib writes the number of records into the header only when the file is closed (until
// then it reads -1, which readers refuse); keeping it current makes the working file
// readable at any time. A record that did not reach the file whole stops the recording.
void SessionRecorder::updateRecordCount() {
    if (countFd_ < 0)
        return;
    errno = 0;
    const bool flushed = std::fflush(nullptr) == 0; // EDFlib's buffered records first
    EdfLayout edf;
    struct stat status {};
    if (!flushed || !layout(countFd_, edf) || ::fstat(countFd_, &status) != 0 ||
        static_cast<uint64_t>(status.st_size) < edf.headerBytes + records_ * edf.recordBytes) {
        --records_;
        stopped_ = true;
        return;
    }
    if (!writeCount(countFd_, static_cast<long long>(records_))) {
        ::close(countFd_);
        countFd_ = -1;
    }
}

// The file is completed by EDFlib (annotations go into the records in place), then cut back
// to the records that reached it whole.
void SessionRecorder::stop() {
    stopped_ = true;
    filled_ = 0;
    packets_ = records_ * RecordSamples;
    if (handle_ >= 0) {
        edfclose_file(handle_);
        handle_ = -1;
    }
    if (countFd_ >= 0) {
        (void)keepWholeRecords(countFd_, static_cast<long long>(records_));
        ::close(countFd_);
        countFd_ = -1;
    }
}

void SessionRecorder::command(std::string_view text) {
    command(text, packets_);
}

void SessionRecorder::command(std::string_view text, uint64_t packet) {
    if (handle_ < 0)
        return;
    const long long onset = static_cast<long long>(packet) * AnnotationUnit / RecordSamples;
    if (edfwrite_annotation_latin1(handle_, onset, -1, edfText(std::string(text), 40).c_str()) == 0)
        ++annotations_;
}

void SessionRecorder::gap(double seconds) {
    if (handle_ < 0)
        return;
    const long long onset = static_cast<long long>(packets_) * AnnotationUnit / RecordSamples;
    char text[40];
    std::snprintf(text, sizeof text, "Gap %.3f s", seconds);
    if (edfwrite_annotation_latin1(handle_, onset, static_cast<long long>(seconds * AnnotationUnit),
                                   text) == 0)
        ++annotations_;
}

void SessionRecorder::close() {
    if (handle_ >= 0) {
        if (filled_ > 0) {
            for (int e = 0; e < Elements; ++e)
                for (int i = filled_; i < RecordSamples; ++i)
                    record_[e * RecordSamples + i] = Centre;
            if (edf_blockwrite_digital_samples(handle_, record_) == 0)
                ++records_;
            filled_ = 0;
        }
        // Readers need one record even for an empty run.
        if (records_ == 0) {
            for (int& sample : record_)
                sample = Centre;
            if (edf_blockwrite_digital_samples(handle_, record_) == 0)
                ++records_;
        }
        edfclose_file(handle_);
        handle_ = -1;
        // A last record that the disk did not take whole leaves no stray bytes behind.
        if (countFd_ >= 0)
            records_ = static_cast<uint64_t>(std::max(0LL, keepWholeRecords(countFd_)));
    }
    if (countFd_ >= 0) {
        ::close(countFd_);
        countFd_ = -1;
    }
}

void SessionRecorder::abandon() {
    close();
}

void SessionRecorder::finish(const std::filesystem::path& target) {
    if (handle_ >= 0 && !stopped_) {
        const long long end = static_cast<long long>(packets_) * AnnotationUnit / RecordSamples;
        if (edfwrite_annotation_latin1(handle_, end, -1, "Recording ends") == 0)
            ++annotations_;
    }
    close();
    std::error_code error;
    std::filesystem::rename(working_, target, error);
    if (error)
        throw SessionFileError("the session file " + working_.string() + " cannot be renamed to " +
                               target.string() + ": " + error.message());
}

} // namespace solvane::dsusim
