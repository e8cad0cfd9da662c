#pragma once
// Records a run as an EDF+ file written by EDFlib while the run goes: the eight packet
// elements at 256 Hz exactly as delivered (digital 0..1023, shown in microvolts through the
// gain), in one-second records, and each command received as an annotation at the time it
// came. After every record the header's record count is brought up to date, so a crash
// leaves a readable working file that lacks at most the last second and the annotations
// (which the events file beside it holds). A record that cannot be written stops the
// recording: the file is cut back to its whole records and completed, valid as it stands.
// finish() completes the file and renames it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace solvane::dsusim {

/// The session file cannot be written or renamed; the message says which file and why.
class SessionFileError : public std::runtime_error {
public:
    explicit SessionFileError(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    /// The system's error number, where one is known (ENOSPC for a full disk), else 0.
    [[nodiscard]] int code() const noexcept { return code_; }

private:
    int code_;
};

/// Where the records of an EDF file written by a SessionRecorder lie.
struct EdfLayout {
    uint64_t headerBytes = 0;
    uint64_t recordBytes = 0;
    long long recordCount = -1; ///< as the header says (-1: not yet written)
};

class SessionRecorder {
public:
    static constexpr int Elements = 8;
    static constexpr int RecordSamples = 256; ///< per element: one second
    /// Annotations each record can hold: a run never gets records that hold no EEG to make
    /// room for more; what does not fit is in the events file only.
    static constexpr int AnnotationSignals = 16;

    /// Creates `workingFile` (replacing one of that name). `labels` name the eight elements;
    /// `gain` is in counts per microvolt; `source` describes the recording's origin; `start`
    /// is the start of the run, the time of its first packet. Throws SessionFileError.
    SessionRecorder(const std::filesystem::path& workingFile, const std::string (&labels)[Elements],
                    double gain, const std::string& source,
                    std::chrono::system_clock::time_point start);
    /// An unfinished recording is closed and left under its working name.
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    /// Adds one packet (8 elements). Throws SessionFileError when a record cannot be written;
    /// the recording has then stopped (see stopped()) with its whole records, completed.
    void add(const int32_t* packet);
    /// Notes a command at the time of the packets added so far.
    void command(std::string_view text);
    /// Notes a command at the time of packet `packet` (no earlier than the last one).
    void command(std::string_view text, uint64_t packet);
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
    /// The whole records written.
    [[nodiscard]] uint64_t records() const noexcept { return records_; }
    /// A record could not be written and the file was completed with those before it.
    [[nodiscard]] bool stopped() const noexcept { return stopped_; }

    /// The layout of an EDF file's header and records, read from `fd`; false when it is not
    /// one.
    static bool layout(int fd, EdfLayout& layout);
    /// Cuts the file at `fd` back to its whole records (at most `limit`) and writes their
    /// number into its header; the number, or -1 when it is no EDF file.
    static long long keepWholeRecords(int fd, long long limit = -1);

private:
    void writeRecord();
    void updateRecordCount();
    void close();
    void stop();

    std::filesystem::path working_;
    int handle_ = -1;
    int countFd_ = -1; ///< second descriptor of the file, for the record count
    int record_[Elements * RecordSamples] = {}; ///< [element][sample] of the record being filled
    int filled_ = 0;                            ///< samples in record_ per element
    uint64_t packets_ = 0;
    uint64_t records_ = 0;
    uint64_t annotations_ = 0;
    bool stopped_ = false;
};

} // namespace solvane::dsusim
