#pragma once
// The header of an EDF or EDF+ file, read and checked field by field: a fixed part of 256
// bytes, then 256 bytes for each signal. A fault is named as what it is (a header size of
// 99999999 is a bad header size, not a wrong signal count), with the text found.

#include "session/ReadableFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {

struct SignalHeader {
    static constexpr std::string_view AnnotationsLabel = "EDF Annotations";
    std::string label;
    std::string transducer;
    std::string dimension;
    double physicalMinimum = 0.0;
    double physicalMaximum = 0.0;
    int digitalMinimum = 0;
    int digitalMaximum = 0;
    std::string prefiltering;
    int samples = 0; ///< per data record

    [[nodiscard]] bool annotations() const noexcept { return label == AnnotationsLabel; }
};

struct RecordingHeader {
    static constexpr std::size_t FixedBytes = 256;
    static constexpr std::size_t SignalBytes = 256;
    static constexpr int MostSignals = 9999;        ///< what four characters can count
    static constexpr int MostSamples = 1 << 20;     ///< per signal and record
    static constexpr std::size_t CountOffset = 236; ///< the record count's field
    static constexpr std::size_t CountWidth = 8;

    std::string patient;
    std::string recording;
    std::string startDate; ///< dd.mm.yy
    std::string startTime; ///< hh.mm.ss
    std::string reserved;  ///< "EDF+C", "EDF+D" or blank
    uint64_t headerBytes = 0;
    long long recordCount = -1;       ///< as the header says; -1 when not known
    double recordDuration = 0.0;      ///< seconds
    std::vector<SignalHeader> signal; ///< by signal number, annotation signals included
    uint64_t recordBytes = 0;

    /// Reads the header at the start of `source`. Nothing when the source is still shorter
    /// than its header (a file just begun); throws SessionError, whose message follows
    /// `name` ("x.edf has a bad header size ..."), when it is not a valid header.
    static std::optional<RecordingHeader> read(ByteSource& source, const std::string& name);
    /// The record count written in the fixed part `fixed` (256 bytes); -1 when not known,
    /// nothing when the field holds no number.
    static std::optional<long long> recordCountIn(std::string_view fixed);
    /// The whole records `size` bytes hold.
    [[nodiscard]] uint64_t wholeRecords(uint64_t size) const noexcept;
};

} // namespace solvane::session
