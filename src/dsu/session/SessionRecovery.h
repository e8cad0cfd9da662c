#pragma once
// Finishes the runs in a sessions folder that did not end (killed, crashed, a power cut): those
// whose lock nobody holds, or whose working recording has no lock at all. The recording's
// whole records carry their own annotations, so each becomes a kept session as if it had
// ended after its last whole record: the working file is cut back to those records, its
// record count set and the file renamed. Where the run had a sound file, its sound is rendered
// again from the commands (the same commands give the same sound) into a file of its own,
// which replaces the kept sound only when it is whole, before the recording is renamed: a
// recovery cut short is done again at the next start. A run whose lock is held is going on in
// another process and is left alone; one without a whole second leaves nothing behind.

#include <filesystem>
#include <string>
#include <vector>

namespace solvane::dsusim {

/// Finishes the runs of `folder` that did not end; one line for the log per run (what was
/// recovered, or why it could not be).
std::vector<std::string> recoverSessions(const std::filesystem::path& folder);

} // namespace solvane::dsusim
