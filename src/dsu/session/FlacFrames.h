#pragma once
// A FLAC file as a writer that did not finish leaves it, made whole. The encoder writes its
// STREAMINFO first with the length unknown (0) and fills the length in only when the stream
// is finished; a write cut short by a kill or a full disk leaves a frame torn at the end. So
// a killed run's sound reads as far as it goes, but readers cannot tell its length, and its
// last frame may fail. keepWholeFrames() finds the last frame whose CRC holds, cuts what
// follows it and writes the samples up to its end into STREAMINFO: the file is then valid to
// its last frame. It reads the file's tail only, whatever its length, and writes nothing into
// a file that is whole.

#include <cstdint>
#include <optional>
#include <string>

namespace solvane::dsusim {

/// Cuts the FLAC file open for reading and writing at `fd` back to its whole frames and writes
/// their samples (per channel) into its STREAMINFO; their number, or nothing, with `why` in
/// words, when it is no FLAC file or holds no whole frame.
std::optional<uint64_t> keepWholeFrames(int fd, std::string& why);

} // namespace solvane::dsusim
