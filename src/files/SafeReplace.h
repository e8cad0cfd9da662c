#pragma once
// The one way a file of ours is replaced whole: a temporary file in the same folder, made as
// a new file is (0666 less the umask) or with the old file's permissions, owner where possible
// and group, written to the disk and renamed over it, so that a crash or a full disk never
// leaves half a file. A file that the user may not write keeps its protection: it is left as
// it is, since replacing it through its folder would get round that protection.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace solvane::files {

/// A file could not be written. The message: "The file <file> could not be written: <the
/// system's reason>."
class WriteError : public std::runtime_error {
public:
    WriteError(const std::string& file, int error);
    /// The system's error number.
    [[nodiscard]] int error() const noexcept { return error_; }

private:
    int error_;
};

/// Replaces the contents of the file at `path` with `contents` as the summary says; a file
/// kept elsewhere through a symbolic link is replaced where the link points. Where the folder
/// allows no new file, the file is written in place instead. Throws WriteError.
void replaceFile(const std::filesystem::path& path, std::string_view contents);

/// The file that replaceFile(path) replaces: `path` with its symbolic links followed, so that
/// a link stays and what it points at gets the new contents.
std::filesystem::path replacedFile(const std::filesystem::path& path);

/// True when a file is at `path` and the user may not write it (errno then says why).
bool writeProtected(const std::filesystem::path& path);

} // namespace solvane::files
