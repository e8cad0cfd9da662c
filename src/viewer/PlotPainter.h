#pragma once
// A framed line plot painted with QPainter, for the viewer's panels and the report alike: a
// title with its unit and a key of the lines by name, ticks at round values that never crowd
// (times as m:ss, other values with their unit), shaded spans and a crosshair. The space the
// value axis takes is given from outside, so that plots stacked one above the other share one
// left edge and one time axis.

#include "viewer/PlotColours.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QFontMetricsF;
class QPainter;

namespace solvane::viewer {

struct PlotLine {
    QString name;
    QColor colour;
    int count = 0;      ///< points at x = first + i * step, for i = 0..count-1
    double first = 0.0; ///< x of the first point
    double step = 1.0;
    std::function<double(int)> value; ///< NaN where there is none
};

struct Plot {
    QString title;        ///< with its unit: "Total amplitude 1-35 Hz (µV)"
    bool timeAxis = true; ///< x in seconds, labelled m:ss; otherwise labelled with xUnit
    QString xUnit;
    double xFrom = 0.0;
    double xTo = 1.0;
    double yFrom = 0.0;
    double yTo = 1.0;
    std::vector<PlotLine> lines;
    std::vector<std::pair<double, double>> shaded; ///< x spans
    QColor shade = PoorContactShade;
    std::optional<double> guide;  ///< a dashed line at this value
    std::optional<double> cursor; ///< a crosshair at this x
    QString empty;                ///< said in the frame when there is nothing to draw
    bool smooth = false;          ///< antialiased lines: for print; a screen repaints cheaper
};

class PlotPainter {
public:
    /// The width that the value axis's labels of `plot` need.
    static double axisWidth(const QFontMetricsF& metrics, const Plot& plot);
    /// The frame of `plot` within `area` when its value axis takes `axisWidth`.
    static QRectF frame(const QFontMetricsF& metrics, const QRectF& area, double axisWidth);
    /// Paints `plot` into `area` with the painter's font.
    static void paint(QPainter& painter, const QRectF& area, const Plot& plot, double axisWidth);
    /// The x of `position` (in the frame's coordinates) as a value of `plot`.
    static double valueAt(const QRectF& frame, const Plot& plot, double position);
    /// The highest value of `lines` over x in [from, to]; 0 when there is none.
    static double highest(const std::vector<PlotLine>& lines, double from, double to);
    /// A round top for values up to `value` (1, 1.2, 1.5, 2, ... 8 times a power of ten).
    static double roundTop(double value);
    /// A time as m:ss, or h:mm:ss from an hour on.
    static QString timeText(double seconds);
};

} // namespace solvane::viewer
