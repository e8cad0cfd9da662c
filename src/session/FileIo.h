#pragma once
// Whole reads and writes on a file descriptor, which the system may do in parts or break off
// for a signal (EINTR): the recording, the events file, the facts, the sound file and a
// report each write through these, and the readers read through them. They are the shared
// file helpers (src/files); creating a file with its first bytes is the session library's.

#include "files/FileIo.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace solvane::session {

// The whole reads and writes are the shared file helpers'.
using files::readAt;
using files::writeAll;
using files::writeAt;

/// Creates `file` (replacing one of that name), opened with `flags` besides O_CREAT, O_TRUNC
/// and O_CLOEXEC, with `first` written into it; its descriptor. Throws SessionError, `what`
/// followed by the reason, and leaves no file when it cannot.
int createWith(const std::filesystem::path& file, int flags, std::span<const char> first,
               const std::string& what);

} // namespace solvane::session
