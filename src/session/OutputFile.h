#pragma once
// A file the user names for output (a report), written whole from memory. It is opened
// without waiting and checked to be a plain file before a byte goes into it: a FIFO, a
// device, a socket or a folder of that name is refused with a clear message, never waited on
// or written to.

#include <filesystem>
#include <span>

namespace solvane::session {

/// Makes `bytes` the contents of `path`, creating it when missing. Throws SessionError naming
/// `path` and why ("is a FIFO, not a plain file", "cannot be written: ...").
void writeOutputFile(const std::filesystem::path& path, std::span<const char> bytes);

} // namespace solvane::session
