#pragma once
// A recording opened for reading (EDF, EDF+, BDF, BDF+), closed with the object. Only its
// header is read when it opens, and judged at once: a file that is no recording, or whose
// header values cannot describe one, is refused whatever its size. The data records are read
// where they lie, a few samples at a time, so memory does not grow with the file and no copy
// of it is made. EDF+ annotation signals are skipped; their header fields are not judged.
//
// A file may shrink or fail to read while it is replayed; the signal then ends early and
// damage() says why.

#include "files/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

class EdfInputFile {
public:
    /// One ordinary (not annotation) signal as its header describes it.
    struct Signal {
        std::string label; ///< without padding
        std::string unit;  ///< the physical dimension, without padding
        double physicalMin = 0.0;
        double physicalMax = 0.0;
        int32_t digitalMin = 0;
        int32_t digitalMax = 0;
        int64_t samplesPerRecord = 0;
        uint64_t offset = 0; ///< bytes from the start of a data record
    };

    /// The most signals a header may declare.
    static constexpr int MaxSignals = 4096;
    /// The largest physical value (in microvolts) a replayed signal's range may reach: ten
    /// volts, far beyond any amplifier's input.
    static constexpr double MaxMicrovolts = 1e7;

    /// Opens the file and judges its header; throws SimulatorConfigError (key Source) when it
    /// is missing, cannot be read or is no usable recording.
    explicit EdfInputFile(const std::filesystem::path& path);

    [[nodiscard]] int signalCount() const noexcept { return static_cast<int>(signals_.size()); }
    [[nodiscard]] const Signal& signal(int signal) const { return signals_.at(signal); }
    /// Whole data records, as the header counts them.
    [[nodiscard]] int64_t records() const noexcept { return records_; }
    /// Samples per second of signal `signal`.
    [[nodiscard]] double sampleRate(int signal) const;
    /// Microvolts per physical unit of signal `signal` (1 for uV, 1000 for mV, ...).
    [[nodiscard]] double microvoltsPerUnit(int signal) const;
    /// The signal's label without padding.
    [[nodiscard]] std::string label(int signal) const;

    /// Reads up to `count` physical values of `signal` from sample `position` on, which it
    /// advances. Returns how many were read: fewer at the end of the recording, 0 past it or
    /// once the file is damaged. Allocates nothing.
    int readPhysical(int signal, int64_t& position, double* values, int count);
    /// Whether the file is still as long as its header says; when not, it counts as damaged.
    bool stillWhole();
    /// Why the recording ended early (the file shrank or could not be read); empty while it
    /// is whole.
    [[nodiscard]] const std::string& damage() const noexcept { return damage_; }

private:
    /// Judges the header's fixed part of a file of `size` bytes: sets the format, the header's
    /// size and the record duration; returns the signals it declares, and `records`.
    int64_t readFixedHeader(uint64_t size, int64_t& records);
    /// Judges signal `s` of the `n` in the header's signal part `table`, and keeps it unless it
    /// holds annotations.
    void readSignal(std::string_view table, std::size_t n, std::size_t s);
    /// Judges the record count of the header (-1: as many as the file holds whole).
    void countRecords(int64_t records, uint64_t size);
    void markDamaged(int64_t record, int error);

    std::filesystem::path path_;
    files::FileDescriptor fd_;    ///< the open file, closed with the object
    bool bdf_ = false;            ///< 24-bit samples rather than 16-bit
    uint64_t headerBytes_ = 0;    ///< where the first data record starts
    uint64_t recordBytes_ = 0;    ///< bytes of one data record
    int64_t records_ = 0;         ///< data records to replay
    double recordSeconds_ = 0.0;  ///< duration of one data record
    std::vector<Signal> signals_; ///< the ordinary signals, in file order
    std::vector<double> scale_;   ///< physical units per digital step, per signal
    std::vector<double> shift_;   ///< digital offset added before scaling, per signal
    std::string damage_;
};

} // namespace solvane::dsusim
