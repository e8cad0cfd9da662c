#include "MapPixels.h"

#include "app/ScalpMapWidget.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace solvane::testing {

using namespace scalpmap;

QRect letteringArea(const TwipsBox& box, const char* text) {
    const QFontMetrics metrics(ScalpMapWidget::letteringFont());
    return metrics
        .boundingRect(ScalpMapWidget::pixels(box), Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromLatin1(text))
        .adjusted(-2, -2, 2, 2);
}

std::vector<QPoint> fillPoints(const TwipsBox& circle, const QRect& lettering) {
    const QRect box = ScalpMapWidget::pixels(circle);
    const double cx = box.x() + box.width() / 2.0;
    const double cy = box.y() + box.height() / 2.0;
    const QRectF inner = QRectF(ScalpMapWidget::pixels(InnerOutlineBox));
    const double ax = inner.width() / 2.0;
    const double ay = inner.height() / 2.0;
    const double ix = inner.x() + ax;
    const double iy = inner.y() + ay;
    std::vector<QPoint> points;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            if (std::hypot(px - cx, py - cy) > box.width() / 2.0 - 3.0)
                continue;
            if (lettering.contains(x, y))
                continue;
            if (std::abs(x - twipsToPixels(Midline.x1)) <= 1 ||
                std::abs(y - twipsToPixels(EarToEarLine.y1)) <= 1)
                continue;
            const double r = std::hypot((px - ix) / ax, (py - iy) / ay);
            if (std::abs(r - 1.0) * std::min(ax, ay) < 3.0)
                continue;
            points.emplace_back(x, y);
        }
    }
    return points;
}

int countPixels(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

namespace {

QString checkCircle(const QImage& image, const char* name, const TwipsBox& circle,
                    const QRect& lettering, const QColor& fill, const QColor& text) {
    const std::vector<QPoint> points = fillPoints(circle, lettering);
    if (points.size() < 20)
        return QStringLiteral("%1: only %2 fill points").arg(name).arg(points.size());
    for (const QPoint point : points) {
        const QColor found = image.pixelColor(point);
        if (found != fill)
            return QStringLiteral("%1 at (%2, %3): %4, expected %5")
                .arg(name)
                .arg(point.x())
                .arg(point.y())
                .arg(found.name(), fill.name());
    }
    if (countPixels(image, lettering, text) < 5)
        return QStringLiteral("%1: no lettering in %2").arg(name, text.name());
    return {};
}

} // namespace

QString checkPosition(const QImage& image, int element, const QColor& fill, const QColor& text) {
    const PositionDesign& position = Positions.at(static_cast<std::size_t>(element));
    return checkCircle(image, position.lettering, position.circle,
                       letteringArea(position.letteringBox, position.lettering), fill, text);
}

QString checkEars(const QImage& image) {
    for (const auto& [box, lettering] :
         {std::pair{LeftEarBox, LeftEarLettering}, std::pair{RightEarBox, RightEarLettering}}) {
        const QString problem =
            checkCircle(image, lettering.text, box, letteringArea(lettering.box, lettering.text),
                        QColor(0, 0, 0), QColor(255, 255, 255));
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

} // namespace solvane::testing
