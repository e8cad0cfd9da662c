#pragma once
// Writes session files for the viewer's tests as the recorder lays them out: an EDF+ header
// with eight 256 Hz signals and an annotation signal, one-second records, the record count
// kept current, and the events file with its header line.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace solvane::testing {

class SessionWriter {
public:
    /// Sample `i` of `signal` (digital, 0..1023) over the whole run.
    using Samples = std::function<int(int signal, long i)>;

    SessionWriter(std::filesystem::path edf, std::string source, Samples samples);

    /// Appends `count` whole records and then brings the header's count up to date.
    void addRecords(int count, bool updateCount = true);
    /// Appends `bytes` of the next record without counting it: a record being written.
    void addPartialRecord(int bytes);
    /// Writes `count` into the header's record count field as it stands.
    void setCount(long count) { setCountOf(edf_, count); }
    static void setCountOf(const std::filesystem::path& edf, long count);
    /// Annotations for the next records' annotation signal (texts at onsets in seconds).
    void annotate(double onset, const std::string& text);

    [[nodiscard]] int records() const noexcept { return records_; }
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return edf_; }

    static constexpr int AnnotationBytes = 120;

private:
    std::filesystem::path edf_;
    Samples samples_;
    int records_ = 0;
    std::vector<std::pair<double, std::string>> pending_;
};

/// Appends lines to an events file, the header line first when it is new.
void appendEvents(const std::filesystem::path& file, const std::string& lines);

/// "onset\tn/a\tave_command\tCOMMAND\n" with the onset to 4 decimals.
std::string commandLine(double onset, const std::string& command);

} // namespace solvane::testing
