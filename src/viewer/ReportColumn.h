#pragma once
// A column of the report: a bold heading, then lines of "label: value" down the column, the
// values wrapped within it; it keeps its place, so that the caller knows where it ends.

#include "viewer/PlotColours.h"

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace solvane::viewer {

class ReportColumn {
public:
    ReportColumn(QPainter& painter, const QRectF& area);

    void heading(const QString& text);
    /// "label: value", the value in `colour`; no label for an empty one.
    void fact(const QString& label, const QString& value, const QColor& colour = InkColour);
    [[nodiscard]] double bottom() const noexcept { return y_; }

private:
    QPainter& painter_;
    QRectF area_;
    double y_ = 0.0;
};

} // namespace solvane::viewer
