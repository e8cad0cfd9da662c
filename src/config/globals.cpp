#include "globals.h"

#include "ScalpPositions.h"

namespace solvane {

std::array<std::string, 21> ScalpPositionNames;

void LoadScalpPositionNames() {
    for (std::size_t i = 0; i < ScalpPositionNames.size(); ++i)
        ScalpPositionNames[i] = ScalpPositionTable[i];
}

} // namespace solvane
