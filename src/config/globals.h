#pragma once
// The names of the 21 scalp positions of the 10-20 system: position p is entry p - 1.

#include <array>
#include <string>

namespace solvane {

extern std::array<std::string, 21> ScalpPositionNames;

/// Fills ScalpPositionNames (the same names every time).
void LoadScalpPositionNames();

} // namespace solvane
