#pragma once
// Finishes the runs in a sessions folder that did not end (killed, crashed, a power cut): those
// whose lock nobody holds, or whose working recording has no lock at all. Each becomes a kept
// session under its own stamp, as if it had ended after its last whole record: the EDF+ with
// those records and the commands of its events file as annotations, and, where it had one, the
// sound file rendered again from the commands (the same commands give the same sound). A run
// whose lock is held is going on in another process and is left alone.

#include "dsu/sound/ToneSynthesiser.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

/// Applies an AVE command to the output settings, as the DSU does when it receives it.
using CommandPlayer = std::function<void(std::string_view command, ToneSettings& settings)>;

/// Finishes the runs of `folder` that did not end; one line for the log per run (what was
/// recovered, or why it could not be).
std::vector<std::string> recoverSessions(const std::filesystem::path& folder,
                                         const CommandPlayer& play);

} // namespace solvane::dsusim
