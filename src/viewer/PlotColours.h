#pragma once
// The colours of the channel slots and the two outputs, the same in every plot and the report.

#include <QColor>

namespace solvane::viewer {

inline const QColor ChannelColours[4] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                         QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
inline const QColor Output00Colour(0x1f, 0x77, 0xb4);
inline const QColor Output01Colour(0xff, 0x7f, 0x0e);

} // namespace solvane::viewer
