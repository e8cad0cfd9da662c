#pragma once
// Reader and writer of profile (INI) files: "[Section]" lines open sections, "key=value"
// lines hold values. Section and key names compare without regard to case, blanks around
// names and values are ignored, the first match wins (of a section that appears twice, only
// the first counts). Writing replaces a value in place, appends a missing key at the end of
// its section and a missing section at the end of the file, with the line end of the lines
// before it, and keeps every other line (comments, unknown keys and sections) byte for byte.
// LF and CRLF files are read, and a UTF-8 byte-order mark at the start is skipped and kept.
// Files whose line ends are carriage returns alone, and files that are not 8-bit text, are
// refused (textProblem): read as LF text they would seem to hold no keys at all.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace solvane {

/// A profile file could not be written; the message names the file and the system's reason.
class ProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A profile file is there but cannot be read; the message names the file and the system's
/// reason (or that it is no plain file, or no text).
class ProfileReadError : public std::runtime_error {
public:
    enum class Reason {
        Unreadable, ///< the system refused to open or read it
        NotAFile,   ///< a folder, FIFO, device or socket
        NotText,    ///< not 8-bit text with LF or CRLF line ends
    };
    ProfileReadError(Reason reason, std::string why, const std::string& message)
        : std::runtime_error(message), reason_(reason), why_(std::move(why)) {}
    [[nodiscard]] Reason reason() const noexcept { return reason_; }
    /// The reason alone, without the file: "Permission denied", "it is a FIFO, not a plain
    /// file".
    [[nodiscard]] const std::string& why() const noexcept { return why_; }

private:
    Reason reason_;
    std::string why_;
};

class ProfileFile {
public:
    /// The value of `key` in `section` of the profile text, or nothing.
    static std::optional<std::string> findValue(std::string_view text, std::string_view section,
                                                std::string_view key);
    /// The profile text with `key` in `section` set to `value`.
    static std::string withValue(std::string_view text, std::string_view section,
                                 std::string_view key, std::string_view value);

    /// The whole file, or nothing when it is missing or cannot be read.
    static std::optional<std::string> readFile(const std::filesystem::path& path);
    /// The whole file, or nothing when there is no file at `path`. A file that is there but
    /// cannot be read throws ProfileReadError: writing defaults over it would lose what it
    /// holds. The file is opened without waiting and must be a plain file: a FIFO, a device
    /// or a folder is refused at once (Reason::NotAFile), never read.
    static std::optional<std::string> readFileIfPresent(const std::filesystem::path& path);
    /// Why a file's text cannot be read as a profile, in words that follow "it ...", or
    /// nothing when it can: a UTF-16 or UTF-32 byte-order mark, NUL bytes or other control
    /// characters (a binary file), or carriage returns alone as line ends.
    static std::optional<std::string> textProblem(std::string_view text);
    /// Replaces the file's contents safely, as files::replaceFile does (through a temporary
    /// file, a write-protected file left as it is). Throws ProfileWriteError naming the file
    /// and the system's reason.
    static void writeFile(const std::filesystem::path& path, std::string_view contents);
};

} // namespace solvane
