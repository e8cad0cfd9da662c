#pragma once
// What the contact monitor changes on the scalp map: the fill and lettering of the 21
// position circles (element i belongs to scalp position i+1), and an immediate repaint.
// Colours are 24-bit values with red in the low byte (0x00BBGGRR).

#include <cstdint>

namespace solvane {

class ScalpMapView {
public:
    virtual ~ScalpMapView() = default;
    virtual void setFillColour(int element, uint32_t colour) = 0;
    /// Only the circle's outline is drawn from now on; what lies beneath shows through.
    virtual void setFillTransparent(int element) = 0;
    virtual void setTextColour(int element, uint32_t colour) = 0;
    /// Repaints the whole window at once.
    virtual void repaintNow() = 0;
};

} // namespace solvane
