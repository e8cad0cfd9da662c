#pragma once
// Which scalp positions the four channel slots analyse, as ApplyChannelSelection last built
// it from AVEChannel1..AVEChannel4.

#include <cstdint>

namespace solvane {

struct ChannelSelection {
    int16_t ChannelMap[5] = {};     ///< scalp position of slots 0..3; slot 4 stays 0
    int16_t ChannelCount = 0;       ///< number of non-zero channel settings (0..4)
    int16_t PositionInUse[21] = {}; ///< entry p-1: p when a slot selects position p, else -1
};

} // namespace solvane
