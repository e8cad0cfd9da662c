#pragma once
// Whole reads and writes on a file descriptor, which the system may do in parts or break off
// for a signal (EINTR), and the removal of a file whose absence is all that matters.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace solvane::files {

/// Reads exactly `size` bytes at `offset`, however many reads that takes; false on an error
/// (errno kept) or when the file ends first (errno 0).
bool readAt(int fd, void* data, std::size_t size, uint64_t offset) noexcept;

/// Writes all `size` bytes at `offset`; false on an error (errno kept; ENOSPC when the system
/// takes no byte at all without saying why).
bool writeAt(int fd, const void* data, std::size_t size, uint64_t offset) noexcept;

/// Writes all `size` bytes at the file's position (its end, for a file opened to append);
/// false as for writeAt.
bool writeAll(int fd, const void* data, std::size_t size) noexcept;

/// Removes `file` if it is there; a failure is passed over.
void removeQuietly(const std::filesystem::path& file) noexcept;

} // namespace solvane::files
