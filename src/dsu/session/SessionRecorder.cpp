#include "dsu/session/SessionRecorder.h"

#include <edflib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

} // namespace

SessionRecorder::SessionRecorder(const std::filesystem::path& workingFile,
                                 const std::string (&labels)[Elements], double gain,
                                 const std::string& source)
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
    if (!ok) {
        edfclose_file(handle_);
        handle_ = -1;
        std::error_code ignored;
        std::filesystem::remove(working_, ignored);
        throw SessionFileError("the session file " + working_.string() +
                               " cannot be set up (EDFlib)");
    }
    countFd_ = ::open(working_.c_str(), O_WRONLY | O_CLOEXEC);
}

SessionRecorder::~SessionRecorder() {
    abandon();
}

void SessionRecorder::add(const int32_t* packet) {
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
    if (edf_blockwrite_digital_samples(handle_, record_) != 0)
        throw SessionFileError("the session file " + working_.string() +
                               " cannot be written (disk full?)");
    filled_ = 0;
    ++records_;
    updateRecordCount();
}

// EDFlib writes the number of records into the header only when the file is closed (until
// then it reads -1, which readers refuse); keeping it current makes the working file
// readable at any time.
void SessionRecorder::updateRecordCount() {
    if (countFd_ < 0)
        return;
    std::fflush(nullptr); // EDFlib's buffered records reach the file first
    char field[9];
    std::snprintf(field, sizeof field, "%-8llu", static_cast<unsigned long long>(records_));
    if (::pwrite(countFd_, field, 8, 236) != 8) {
        ::close(countFd_);
        countFd_ = -1;
    }
}

void SessionRecorder::command(std::string_view text) {
    if (handle_ < 0)
        return;
    const long long onset = static_cast<long long>(packets_) * AnnotationUnit / RecordSamples;
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
        // Each record holds AnnotationSignals annotations; make room for every one (and
        // write one record even for an empty run, which readers need).
        while (records_ == 0 || records_ * AnnotationSignals < annotations_) {
            for (int& sample : record_)
                sample = Centre;
            if (edf_blockwrite_digital_samples(handle_, record_) != 0)
                break;
            ++records_;
        }
        edfclose_file(handle_);
        handle_ = -1;
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
    if (handle_ >= 0) {
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
