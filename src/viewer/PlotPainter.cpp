#include "viewer/PlotPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace solvane::viewer {

namespace {

/// The smallest step of 1, 2, 2.5 or 5 times a power of ten that is at least `least`.
double roundStep(double least) {
    if (!(least > 0.0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= least * (1.0 - 1e-9))
            return m * power;
    return 10.0 * power;
}

/// The step of time ticks that keeps labels `labelWidth` apart at `perSecond` pixels.
double timeStep(double labelWidth, double perSecond) {
    constexpr double Steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    for (const double step : Steps)
        if (step * perSecond >= labelWidth)
            return step;
    return roundStep(labelWidth / perSecond / 3600.0) * 3600.0;
}

int decimalsFor(double step) {
    return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

QString valueText(double value, double step) {
    const int decimals = decimalsFor(step);
    // 2.5 steps need one decimal more than their power of ten.
    const double scaled = value * std::pow(10.0, decimals);
    const int more = std::abs(scaled - std::round(scaled)) > 1e-6 ? 1 : 0;
    return QString::number(value, 'f', decimals + more);
}

struct Ticks {
    double first = 0.0;
    double step = 1.0;
    int count = 0;
};

Ticks ticksOf(double from, double to, double step) {
    Ticks t;
    t.step = step;
    t.first = std::ceil(from / step - 1e-9) * step;
    t.count = to >= t.first ? static_cast<int>(std::floor((to - t.first) / step + 1e-9)) + 1 : 0;
    return t;
}

/// Value ticks for a frame `height` high: as many as fit 1.8 lines apart, at most six.
double valueStep(const Plot& plot, double height, double lineHeight) {
    const double span = plot.yTo - plot.yFrom;
    const int fit = std::clamp(static_cast<int>(height / (1.8 * lineHeight)), 1, 6);
    const double step = roundStep(span / fit);
    // Room for one step only: the two ends, so that the scale is still read.
    return step * 1.001 >= span ? span : step;
}

} // namespace

double PlotPainter::roundTop(double value) {
    if (!(value > 0.0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double m : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0})
        if (m * power >= value * (1.0 - 1e-9))
            return m * power;
    return 10.0 * power;
}

QString PlotPainter::timeText(double seconds) {
    const long long s = std::llround(seconds);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

double PlotPainter::axisWidth(const QFontMetricsF& metrics, const Plot& plot) {
    // The widest label of the densest ticks this plot can get.
    const Ticks t = ticksOf(plot.yFrom, plot.yTo, roundStep((plot.yTo - plot.yFrom) / 6));
    double widest = metrics.horizontalAdvance(QStringLiteral("00"));
    for (int i = 0; i < t.count; ++i)
        widest =
            std::max(widest, metrics.horizontalAdvance(valueText(t.first + i * t.step, t.step)));
    return widest + metrics.height() * 0.5;
}

QRectF PlotPainter::frame(const QFontMetricsF& metrics, const QRectF& area, double axisWidth) {
    const double line = metrics.height();
    return {QPointF(area.left() + axisWidth, area.top() + line * 1.3),
            QPointF(area.right() - line * 1.2, area.bottom() - line * 1.25)};
}

double PlotPainter::valueAt(const QRectF& frame, const Plot& plot, double position) {
    if (frame.width() <= 0.0)
        return plot.xFrom;
    return plot.xFrom + (position - frame.left()) / frame.width() * (plot.xTo - plot.xFrom);
}

double PlotPainter::highest(const std::vector<PlotLine>& lines, double from, double to) {
    double top = 0.0;
    for (const PlotLine& line : lines) {
        const int first =
            std::max(0, static_cast<int>(std::floor((from - line.first) / line.step)));
        const int last =
            std::min(line.count - 1, static_cast<int>(std::ceil((to - line.first) / line.step)));
        for (int i = first; i <= last; ++i)
            if (const double v = line.value(i); std::isfinite(v))
                top = std::max(top, v);
    }
    return top;
}

namespace {

/// One plot being painted: where its frame is and how values map into it.
struct Canvas {
    Canvas(QPainter& onto, const QRectF& within, const QRectF& frame, const Plot& shown)
        : painter(onto), metrics(onto.font()), line(metrics.height()), area(within), box(frame),
          plot(shown), xSpan(shown.xTo > shown.xFrom ? shown.xTo - shown.xFrom : 1.0),
          ySpan(shown.yTo > shown.yFrom ? shown.yTo - shown.yFrom : 1.0) {}

    [[nodiscard]] double xOf(double x) const {
        return box.left() + box.width() * (x - plot.xFrom) / xSpan;
    }
    [[nodiscard]] double yOf(double y) const {
        return box.bottom() -
               box.height() * (std::clamp(y, plot.yFrom, plot.yTo) - plot.yFrom) / ySpan;
    }

    QPainter& painter;
    const QFontMetricsF metrics;
    const double line;
    const QRectF area;
    const QRectF box; ///< the frame
    const Plot& plot;
    const double xSpan;
    const double ySpan;
};

/// The key on the right of the title row, the title in what is left of it.
void paintTitle(const Canvas& c) {
    QPainter& painter = c.painter;
    const double line = c.line;
    const QRectF titleRow(c.area.left(), c.area.top(), c.area.width(), line * 1.2);
    double keyWidth = 0.0;
    for (const PlotLine& l : c.plot.lines)
        if (!l.name.isEmpty())
            keyWidth += line * 1.4 + c.metrics.horizontalAdvance(l.name) + line * 0.8;
    keyWidth = std::min(keyWidth, titleRow.width() * 0.6);
    painter.setPen(InkColour);
    painter.drawText(
        titleRow.adjusted(0, 0, -keyWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
        c.metrics.elidedText(c.plot.title, Qt::ElideRight, titleRow.width() - keyWidth));
    double keyX = titleRow.right() - keyWidth;
    painter.save();
    painter.setClipRect(titleRow);
    for (const PlotLine& l : c.plot.lines) {
        if (l.name.isEmpty())
            continue;
        const double y = titleRow.center().y();
        painter.fillRect(QRectF(keyX, y - line * 0.12, line * 1.1, line * 0.24), l.colour);
        keyX += line * 1.4;
        painter.setPen(InkColour);
        painter.drawText(QRectF(keyX, titleRow.top(), c.metrics.horizontalAdvance(l.name) + 1,
                                titleRow.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, l.name);
        keyX += c.metrics.horizontalAdvance(l.name) + line * 0.8;
    }
    painter.restore();
}

void paintShaded(const Canvas& c) {
    c.painter.fillRect(c.box, PaperColour);
    for (const auto& [from, to] : c.plot.shaded) {
        const double left = std::max(c.xOf(from), c.box.left());
        const double right = std::min(c.xOf(to), c.box.right());
        if (right > left)
            c.painter.fillRect(
                QRectF(left, c.box.top(), std::max(right - left, 1.0), c.box.height()),
                c.plot.shade);
    }
}

/// Value ticks with a light grid.
void paintValueTicks(const Canvas& c, double axisWidth) {
    const double yStep = valueStep(c.plot, c.box.height(), c.line);
    const Ticks yTicks = ticksOf(c.plot.yFrom, c.plot.yTo, yStep);
    for (int i = 0; i < yTicks.count; ++i) {
        const double v = yTicks.first + i * yStep;
        const double y = c.yOf(v);
        c.painter.setPen(QPen(GridColour, 0));
        c.painter.drawLine(QPointF(c.box.left(), y), QPointF(c.box.right(), y));
        c.painter.setPen(InkColour);
        c.painter.drawText(QRectF(c.area.left(), y - c.line / 2, axisWidth - c.line * 0.3, c.line),
                           Qt::AlignRight | Qt::AlignVCenter, valueText(v, yStep));
    }
}

/// Time or value ticks along the bottom, never closer than their labels.
void paintXTicks(const Canvas& c) {
    const Plot& plot = c.plot;
    const QString widestLabel =
        plot.timeAxis ? PlotPainter::timeText(std::max(std::abs(plot.xTo), 600.0)) + "0"
                      : valueText(plot.xTo, 1.0) + " " + plot.xUnit + "0";
    const double labelWidth = c.metrics.horizontalAdvance(widestLabel) + c.line;
    const double perUnit = c.box.width() / c.xSpan;
    const double xStep =
        plot.timeAxis ? timeStep(labelWidth, perUnit) : roundStep(labelWidth / perUnit);
    const Ticks xTicks = ticksOf(plot.xFrom, plot.xTo, xStep);
    for (int i = 0; i < xTicks.count; ++i) {
        const double v = xTicks.first + i * xStep;
        const double x = c.xOf(v);
        c.painter.setPen(QPen(GridColour, 0));
        c.painter.drawLine(QPointF(x, c.box.top()), QPointF(x, c.box.bottom()));
        QString label = plot.timeAxis ? PlotPainter::timeText(v) : valueText(v, xStep);
        if (!plot.timeAxis && i == xTicks.count - 1 && !plot.xUnit.isEmpty())
            label += " " + plot.xUnit;
        const double w = c.metrics.horizontalAdvance(label);
        c.painter.setPen(InkColour);
        c.painter.drawText(QRectF(x - w / 2, c.box.bottom() + c.line * 0.1, w + 1, c.line),
                           Qt::AlignCenter, label);
    }
}

/// The lines, clipped to the frame; false when not one point was drawn.
bool paintLines(const Canvas& c) {
    QPainter& painter = c.painter;
    const Plot& plot = c.plot;
    painter.save();
    painter.setClipRect(c.box);
    painter.setRenderHint(QPainter::Antialiasing, plot.smooth);
    bool drawn = false;
    for (const PlotLine& l : plot.lines) {
        if (l.count <= 0 || !l.value)
            continue;
        const int first =
            std::max(0, static_cast<int>(std::floor((plot.xFrom - l.first) / l.step)) - 1);
        const int last =
            std::min(l.count - 1, static_cast<int>(std::ceil((plot.xTo - l.first) / l.step)) + 1);
        QPainterPath path;
        bool open = false;
        for (int i = first; i <= last; ++i) {
            const double v = l.value(i);
            if (!std::isfinite(v)) {
                open = false;
                continue;
            }
            const QPointF p(c.xOf(l.first + i * l.step), c.yOf(v));
            if (open)
                path.lineTo(p);
            else
                path.moveTo(p);
            open = true;
            drawn = true;
        }
        // Without antialiasing only whole pixels draw a steady line.
        const double width = std::max(1.0, c.line / 11.0);
        painter.setPen(QPen(l.colour, plot.smooth ? width : std::round(width), Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    painter.restore();
    return drawn;
}

} // namespace

void PlotPainter::paint(QPainter& painter, const QRectF& area, const Plot& plot, double axisWidth) {
    const QRectF box = frame(QFontMetricsF(painter.font()), area, axisWidth);
    if (box.width() < 4 || box.height() < 4)
        return;
    painter.save();
    const Canvas c(painter, area, box, plot);
    paintTitle(c);
    paintShaded(c);
    paintValueTicks(c, axisWidth);
    paintXTicks(c);
    if (plot.guide) {
        painter.setPen(QPen(AxisColour, 0, Qt::DashLine));
        painter.drawLine(QPointF(box.left(), c.yOf(*plot.guide)),
                         QPointF(box.right(), c.yOf(*plot.guide)));
    }
    if (!paintLines(c) && !plot.empty.isEmpty()) {
        painter.setPen(AxisColour);
        painter.drawText(box, Qt::AlignCenter, plot.empty);
    }
    if (plot.cursor && *plot.cursor >= plot.xFrom && *plot.cursor <= plot.xTo) {
        painter.setPen(QPen(CursorColour, 0));
        painter.drawLine(QPointF(c.xOf(*plot.cursor), box.top()),
                         QPointF(c.xOf(*plot.cursor), box.bottom()));
    }
    painter.setPen(QPen(AxisColour, 0));
    painter.drawRect(box);
    painter.restore();
}

} // namespace solvane::viewer
