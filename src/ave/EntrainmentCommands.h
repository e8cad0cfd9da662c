#pragma once
// The six-character AVE command texts the entrainment sends: "WB00"/"WB01" with two upper-case
// hex digits (low 8 bits of the volume), "WE"/"WF" with four (low 16 bits of the frequency
// payload), encoded by the one codec that the DSU and the session readers decode them with
// (session/AveCommand.h).

#include <cstdint>

namespace solvane {

/// One command, NUL-terminated.
struct AveCommand {
    char text[7] = {};
};

/// "WB00" + 2 hex digits for output 0, "WB01" + 2 hex digits for output 1.
AveCommand VolumeCommand(int output, int32_t volume);
/// "WE" + 4 hex digits of `frequency` + 32768.
AveCommand BaseFrequencyCommand(int32_t frequency);
/// "WF" + 4 hex digits of `baseFrequency` + `desiredFrequency` + 32768.
AveCommand SecondFrequencyCommand(int32_t baseFrequency, int32_t desiredFrequency);

} // namespace solvane
