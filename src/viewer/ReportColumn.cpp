#include "viewer/ReportColumn.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace solvane::viewer {

ReportColumn::ReportColumn(QPainter& painter, const QRectF& area)
    : painter_(painter), area_(area), y_(area.top()) {}

void ReportColumn::heading(const QString& text) {
    QFont bold = painter_.font();
    bold.setBold(true);
    painter_.save();
    painter_.setFont(bold);
    painter_.setPen(InkColour);
    const double line = QFontMetricsF(bold).height();
    painter_.drawText(QRectF(area_.left(), y_, area_.width(), line),
                      Qt::AlignLeft | Qt::AlignVCenter, text);
    painter_.restore();
    y_ += line * 1.15;
}

void ReportColumn::fact(const QString& label, const QString& value, const QColor& colour) {
    const QFontMetricsF metrics(painter_.font());
    const double labelWidth =
        label.isEmpty() ? 0.0 : metrics.horizontalAdvance(label + QStringLiteral(": "));
    painter_.setPen(QuietColour);
    painter_.drawText(QPointF(area_.left(), y_ + metrics.ascent()),
                      label.isEmpty() ? QString() : label + QStringLiteral(":"));
    const QRectF room(area_.left() + labelWidth, y_, area_.width() - labelWidth,
                      area_.bottom() - y_);
    const QRectF used = painter_.boundingRect(room, Qt::TextWordWrap, value);
    painter_.setPen(colour);
    painter_.drawText(room, Qt::TextWordWrap, value);
    y_ += std::max(used.height(), metrics.height()) + metrics.height() * 0.15;
}

} // namespace solvane::viewer
