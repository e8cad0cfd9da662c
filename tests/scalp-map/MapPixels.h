#pragma once
// Reading the scalp map back from an image of the main window's client area: which pixels of
// a position circle show its fill (neither lettering nor a line nor the inner outline covers
// them), where its lettering is painted, and whether a position or the ear references show
// the colours expected. Used on offscreen grabs and on screenshots of the real program.

#include "app/ScalpMapLayout.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

namespace solvane::testing {

inline const QColor HeadColour(255, 224, 192);
inline const QColor GreyedText(10, 10, 10);

/// Where the lettering of a box is painted, with a margin for anti-aliasing.
QRect letteringArea(const scalpmap::TwipsBox& box, const char* text);

/// Pixels well inside a circle that its lettering, the lines and the inner outline leave
/// alone: they show the circle's fill, or what lies beneath a transparent one.
std::vector<QPoint> fillPoints(const scalpmap::TwipsBox& circle, const QRect& lettering);

int countPixels(const QImage& image, const QRect& area, const QColor& colour);

/// Empty when every fill point of position circle `element` shows `fill` and its lettering
/// has pixels of `text`; otherwise what differs.
QString checkPosition(const QImage& image, int element, const QColor& fill, const QColor& text);

/// Empty when both ear references are black with white lettering; otherwise what differs.
QString checkEars(const QImage& image);

} // namespace solvane::testing
