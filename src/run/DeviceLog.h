#pragma once
// The debug log the program hands the device library at the start of a run, as the program
// can see it: whether the library wrote to it during this run, the last line it wrote, and
// otherwise why there is no log to look at. The library's own words for what went wrong ("the
// disk of ... is full", "the board's port ... has gone") so reach the user's message. The file
// is looked at once, when a run ends by itself, never per packet; a FIFO, device or socket of
// that name is never opened for reading.

#include <cstdint>
#include <filesystem>
#include <string>

namespace solvane {

class DeviceLog {
public:
    /// Notes `file` as it is before the library is handed it.
    explicit DeviceLog(std::filesystem::path file);

    struct Reading {
        bool written = false; ///< the library wrote to the file since it was noted
        std::string lastLine; ///< its last line with text, cut at LongestQuote characters
        std::string whyNone;  ///< when not written: why the library could not, or empty
    };
    /// The file as it is now.
    [[nodiscard]] Reading read() const;

    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }

    /// The most characters of the log's line that a message repeats.
    static constexpr std::size_t LongestQuote = 200;

private:
    struct Identity {
        bool exists = false;
        uint64_t device = 0, inode = 0, size = 0;
        int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
        bool operator==(const Identity&) const = default;
    };
    [[nodiscard]] Identity identity() const;

    std::filesystem::path file_;
    Identity before_;
};

} // namespace solvane
