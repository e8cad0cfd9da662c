#include "viewer/PlotView.h"

#include "viewer/PlotColours.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace solvane::viewer {

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotView::setPlot(Plot plot) {
    plot_ = std::move(plot);
    update();
}

void PlotView::setAxisWidth(double width) {
    if (width == axisWidth_)
        return;
    axisWidth_ = width;
    update();
}

double PlotView::wantedAxisWidth() const {
    return PlotPainter::axisWidth(QFontMetricsF(font()), plot_);
}

QRectF PlotView::plotArea() const {
    const double width = axisWidth_ > 0.0 ? axisWidth_ : wantedAxisWidth();
    return PlotPainter::frame(QFontMetricsF(font()), QRectF(rect()).adjusted(4, 2, -4, -2), width);
}

QSize PlotView::sizeHint() const {
    const int line = fontMetrics().height();
    return {line * 30, line * 9};
}

QSize PlotView::minimumSizeHint() const {
    const int line = fontMetrics().height();
    return {line * 12, line * 6};
}

void PlotView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setFont(font());
    const double width = axisWidth_ > 0.0 ? axisWidth_ : wantedAxisWidth();
    PlotPainter::paint(painter, QRectF(rect()).adjusted(4, 2, -4, -2), plot_, width);
    if (dragFrom_) {
        const QRectF area = plotArea();
        const double left = std::clamp(std::min(*dragFrom_, dragTo_), area.left(), area.right());
        const double right = std::clamp(std::max(*dragFrom_, dragTo_), area.left(), area.right());
        painter.fillRect(QRectF(left, area.top(), right - left, area.height()), ChosenSpanColour);
    }
}

double PlotView::xAt(double position) const {
    return PlotPainter::valueAt(plotArea(), plot_, position);
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (dragFrom_) {
        dragTo_ = x;
        update();
    }
    if (plotArea().contains(QPointF(x, plotArea().center().y())))
        emit hovered(xAt(x));
    QWidget::mouseMoveEvent(event);
}

void PlotView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && plot_.timeAxis) {
        dragFrom_ = event->position().x();
        dragTo_ = *dragFrom_;
    }
    QWidget::mousePressEvent(event);
}

void PlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragFrom_) {
        const double from = *dragFrom_;
        dragFrom_.reset();
        update();
        // A click is no span: it only points.
        if (std::abs(dragTo_ - from) >= fontMetrics().height())
            emit spanChosen(xAt(from), xAt(dragTo_));
    }
    QWidget::mouseReleaseEvent(event);
}

void PlotView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && plot_.timeAxis)
        emit wholeWanted();
    QWidget::mouseDoubleClickEvent(event);
}

void PlotView::wheelEvent(QWheelEvent* event) {
    if (!plot_.timeAxis) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint delta = event->angleDelta();
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || delta.x() != 0;
    const double steps = (sideways && delta.x() != 0 ? delta.x() : delta.y()) / 120.0;
    if (steps == 0.0)
        return;
    if (sideways)
        emit scrolled(-steps * (plot_.xTo - plot_.xFrom) / 10.0);
    else
        emit zoomed(std::pow(0.8, steps), xAt(event->position().x()));
    event->accept();
}

} // namespace solvane::viewer
