#pragma once
// What the scalp map shows of each of the 21 position circles (Shape2 and Label1 element i,
// scalp position i + 1): fill colour, whether the fill is transparent (only the outline is
// drawn), and lettering colour. It starts as designed; the contact monitor changes it and the
// map widget paints from it. Colours are 24-bit values with red in the low byte (0x00BBGGRR).

#include "app/ScalpMapLayout.h"

#include <cstdint>

namespace solvane {

class ScalpMapModel {
public:
    struct Position {
        uint32_t fillColour = 0;
        bool fillTransparent = false;
        uint32_t textColour = 0;
        bool operator==(const Position&) const = default;
    };

    ScalpMapModel();

    /// Element 0..20; any other index throws RunTimeError (subscript out of range).
    [[nodiscard]] const Position& position(int element) const;
    void setFillColour(int element, uint32_t colour);
    void setFillTransparent(int element);
    void setTextColour(int element, uint32_t colour);

private:
    Position positions_[scalpmap::PositionCount];
};

} // namespace solvane
