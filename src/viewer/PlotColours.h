#pragma once
// Every colour the viewer paints with, the same in every plot and the report: the channel
// slots, the two outputs, and the paper, ink and rules they are drawn on.

#include <QColor>

namespace solvane::viewer {

inline const QColor ChannelColours[4] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                         QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
inline const QColor Output00Colour(0x1f, 0x77, 0xb4);
inline const QColor Output01Colour(0xff, 0x7f, 0x0e);

inline const QColor PaperColour(0xff, 0xff, 0xff);
inline const QColor InkColour(0x20, 0x20, 0x20);     ///< titles, labels, values
inline const QColor QuietColour(0x70, 0x70, 0x70);   ///< the report's labels and asides
inline const QColor WarningColour(0xb0, 0x20, 0x20); ///< what is damaged or missing
inline const QColor RuleColour(0xc8, 0xc8, 0xc8);    ///< the report's rules
inline const QColor GridColour(0xe4, 0xe4, 0xe4);
inline const QColor AxisColour(0x90, 0x90, 0x90); ///< frames, guides and the "nothing" text
inline const QColor CursorColour(0x40, 0x40, 0x40);
inline const QColor PoorContactShade(255, 205, 205);
inline const QColor ChosenSpanColour(70, 130, 220, 60); ///< a span being dragged out

} // namespace solvane::viewer
