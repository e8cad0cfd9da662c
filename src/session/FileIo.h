#pragma once
// Whole reads and writes on a file descriptor, which the system may do in parts or break off
// for a signal (EINTR): the recording, the events file, the facts, the sound file and a
// report each write through these, and the readers read through them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace solvane::session {

/// Reads exactly `size` bytes at `offset`, however many reads that takes; false on an error
/// (errno kept) or when the file ends first.
bool readAt(int fd, void* data, std::size_t size, uint64_t offset) noexcept;

/// Writes all `size` bytes at `offset`; false on an error (errno kept; EIO when the system
/// takes no byte without saying why).
bool writeAt(int fd, const void* data, std::size_t size, uint64_t offset) noexcept;

/// Writes all `size` bytes at the file's position (its end, for a file opened to append);
/// false as for writeAt.
bool writeAll(int fd, const void* data, std::size_t size) noexcept;

/// Creates `file` (replacing one of that name), opened with `flags` besides O_CREAT, O_TRUNC
/// and O_CLOEXEC, with `first` written into it; its descriptor. Throws SessionError, `what`
/// followed by the reason, and leaves no file when it cannot.
int createWith(const std::filesystem::path& file, int flags, std::span<const char> first,
               const std::string& what);

} // namespace solvane::session
