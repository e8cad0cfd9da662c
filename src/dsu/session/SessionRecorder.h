#pragma once
// Records a run as an EDF+ file written by EDFlib while the run goes: the eight packet
// elements at 256 Hz exactly as delivered (digital 0..1023, shown in microvolts through the
// gain), in one-second records, and each command received as an annotation at the time it
// came. After every record the header's record count is brought up to date, so a crash
// leaves a readable working file that lacks at most the last second and the annotations.
// finish() completes the file and renames it.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace solvane::dsusim {

/// The session file cannot be written or renamed; the message says which file and why.
class SessionFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SessionRecorder {
public:
    static constexpr int Elements = 8;
    static constexpr int RecordSamples = 256;   ///< per element: one second
    static constexpr int AnnotationSignals = 4; ///< annotations each record can hold

    /// Creates `workingFile` (replacing one of that name). `labels` name the eight elements;
    /// `gain` is in counts per microvolt; `source` describes the recording's origin.
    /// Throws SessionFileError.
    SessionRecorder(const std::filesystem::path& workingFile, const std::string (&labels)[Elements],
                    double gain, const std::string& source);
    /// An unfinished recording is closed and left under its working name.
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    /// Adds one packet (8 elements). Throws SessionFileError when a record cannot be written.
    void add(const int32_t* packet);
    /// Notes a command at the time of the packets added so far.
    void command(std::string_view text);
    /// Marks a pause of a live source of `seconds` before the next packet; the packets go on
    /// without a hole, so the time axis counts the packets delivered.
    void gap(double seconds);
    /// Completes the last record, adds a "Recording ends" annotation, closes the file and
    /// renames it to `target`. Throws SessionFileError; the working file then stays.
    void finish(const std::filesystem::path& target);
    /// Closes the file (completing it) and leaves it under its working name.
    void abandon();

    [[nodiscard]] const std::filesystem::path& workingFile() const noexcept { return working_; }
    [[nodiscard]] uint64_t packets() const noexcept { return packets_; }
    [[nodiscard]] uint64_t annotations() const noexcept { return annotations_; }

private:
    void writeRecord();
    void updateRecordCount();
    void close();

    std::filesystem::path working_;
    int handle_ = -1;
    int countFd_ = -1; ///< second descriptor of the file, for the record count
    int record_[Elements * RecordSamples] = {}; ///< [element][sample] of the record being filled
    int filled_ = 0;                            ///< samples in record_ per element
    uint64_t packets_ = 0;
    uint64_t records_ = 0;
    uint64_t annotations_ = 0;
};

} // namespace solvane::dsusim
