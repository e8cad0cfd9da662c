#pragma once
// Finishes the runs in a sessions folder that did not end (killed, crashed, a power cut): those
// whose lock nobody holds. The recording's whole records carry their own annotations, so each
// becomes a kept session as if it had ended after its last whole record: the working file is
// cut back to those records and its record count set; the events file is cut back to the
// events up to their end (what came after has no EEG); the working sound file, valid up to
// its last whole frame, is kept as it is, never rendered again, and takes its kept name; the
// recording takes its kept name last. Each step can be done again, so a recovery cut short is
// finished at the next start. A run killed while it was being finished, after its recording
// was kept, only loses its lock; one without a whole second of EEG, or killed before its
// recording was made, leaves nothing behind. A run whose lock is held is going on in another
// process and is left alone. Nothing read is held beyond a tail of the files, so that a run of
// any length is finished at once.

#include <filesystem>
#include <string>
#include <vector>

namespace solvane::dsusim {

/// Finishes the runs of `folder` that did not end; one line for the log per run (what was
/// kept, what is missing and why).
std::vector<std::string> recoverSessions(const std::filesystem::path& folder);

} // namespace solvane::dsusim
