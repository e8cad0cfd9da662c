#include "globals.h"

namespace solvane {

std::array<std::string, 21> ScalpPositionNames;

void LoadScalpPositionNames() {
    static constexpr const char* Names[21] = {"Fp1", "Fpz", "Fp2", "F7", "F3", "Fz", "F4",
                                              "F8",  "T3",  "C3",  "Cz", "C4", "T4", "T5",
                                              "P3",  "PZ",  "P4",  "T6", "O1", "Oz", "O2"};
    for (std::size_t i = 0; i < ScalpPositionNames.size(); ++i)
        ScalpPositionNames[i] = Names[i];
}

} // namespace solvane
