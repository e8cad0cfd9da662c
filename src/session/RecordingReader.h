#pragma once
// Reads the EDF+ recording of a session: eight signals (the packet elements) of 256 samples in
// one-second records, and any number of annotation signals, whose TALs give the annotations
// with their onsets on the run's time axis (the first record's time, the start's fraction of
// a second, taken off). Only whole records are read, and only as many as the header counts; a
// growing working file is read again from where the last update() ended. A file that holds
// fewer records than its header counts (its tail lost) gives the ones it holds, and says how
// many are missing.

#include "device/kardemo.h"
#include "session/ReadableFile.h"
#include "session/RecordingHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace solvane::session {

/// One annotation of a recording.
struct Annotation {
    double onset = 0.0;     ///< seconds from the start of the first record
    double duration = -1.0; ///< seconds; negative when none
    std::string text;
};

class RecordingReader {
public:
    static constexpr int Signals = KARDEMO_PACKET_ELEMENTS;
    static constexpr int RecordSamples = KARDEMO_PACKET_RATE; ///< one second
    static constexpr int MostAnnotationSignals = 64;
    static constexpr int MostAnnotationSamples = 32 * 1024; ///< per signal and record
    static constexpr std::size_t ReadBytes = 1 << 20;       ///< read at a time, at least a record

    /// `name` names the file in messages. A `growing` file is a run's working file: its
    /// header may count records that are still being written.
    RecordingReader(std::string name, bool growing);

    /// Reads the header once it is there (nothing happens while the source is shorter), then
    /// the whole records the source holds beyond those read. True when records were added.
    /// Throws SessionError when the header is not a session's.
    bool update(ByteSource& source);
    /// The file has become a kept one: its count no longer runs ahead of its records.
    void setGrowing(bool growing) noexcept { growing_ = growing; }

    [[nodiscard]] bool headerRead() const noexcept { return header_.headerBytes > 0; }
    [[nodiscard]] const RecordingHeader& header() const noexcept { return header_; }
    [[nodiscard]] int records() const noexcept { return records_; }
    /// Digital samples of `signal` (0..7), records() * RecordSamples of them.
    [[nodiscard]] const std::vector<int16_t>& samples(int signal) const {
        return samples_.at(static_cast<std::size_t>(signal));
    }
    /// The label of `signal` (0..7).
    [[nodiscard]] const std::string& label(int signal) const {
        return header_.signal.at(dataSignal_.at(static_cast<std::size_t>(signal))).label;
    }
    [[nodiscard]] const std::vector<Annotation>& annotations() const noexcept {
        return annotations_;
    }
    /// Records the header counts that a kept file does not hold (its tail is lost).
    [[nodiscard]] long long missingRecords() const noexcept { return missing_; }

private:
    void check();
    void readRecord(const char* record);
    void readAnnotations(const char* bytes, std::size_t length, bool first);

    std::string name_;
    bool growing_;
    RecordingHeader header_;
    std::vector<std::size_t> dataSignal_;       ///< the header's index of each data signal
    std::vector<std::size_t> dataOffset_;       ///< bytes into a record, per data signal
    std::vector<std::size_t> annotationOffset_; ///< bytes into a record, per annotation signal
    std::vector<std::size_t> annotationLength_; ///< bytes, per annotation signal
    std::vector<std::vector<int16_t>> samples_;
    std::vector<Annotation> annotations_;
    double startOffset_ = 0.0; ///< the first record's time: the start's fraction of a second
    int records_ = 0;
    long long missing_ = 0;
};

} // namespace solvane::session
