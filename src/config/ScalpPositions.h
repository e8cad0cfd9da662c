#pragma once
// The names of the 21 scalp positions of the 10-20 system as the options dialog lists them:
// position p (1..21) is entry p - 1. The scalp map letters some of them differently.

#include <array>

namespace solvane {

inline constexpr std::array<const char*, 21> ScalpPositionTable = {
    "Fp1", "Fpz", "Fp2", "F7", "F3", "Fz", "F4", "F8", "T3", "C3", "Cz",
    "C4",  "T4",  "T5",  "P3", "PZ", "P4", "T6", "O1", "Oz", "O2"};

} // namespace solvane
