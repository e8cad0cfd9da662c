#pragma once
// One plot on screen, painted by PlotPainter. A time plot reports the moment under the mouse,
// zooms its time axis with the wheel about that moment, scrolls it with Shift and the wheel
// (or a sideways wheel), zooms into a span dragged with the left button and shows the whole
// run on a double click; the owner decides what each does to the shared time range. Its size
// hint is modest and its width follows the window, never the other way round.

#include "viewer/PlotPainter.h"

#include <QWidget>

namespace solvane::viewer {

class PlotView : public QWidget {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent = nullptr);

    void setPlot(Plot plot);
    [[nodiscard]] const Plot& plot() const noexcept { return plot_; }
    /// The width the value axis takes, the same for every plot of a stack.
    void setAxisWidth(double width);
    /// What this plot's value axis needs in the widget's font.
    [[nodiscard]] double wantedAxisWidth() const;
    /// The plot's frame, in the widget's coordinates.
    [[nodiscard]] QRectF plotArea() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

signals:
    void hovered(double x);
    void zoomed(double factor, double at);
    void scrolled(double by);
    void spanChosen(double from, double to);
    void wholeWanted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    [[nodiscard]] double xAt(double position) const;

    Plot plot_;
    double axisWidth_ = 0.0;
    std::optional<double> dragFrom_; ///< pixels
    double dragTo_ = 0.0;
};

} // namespace solvane::viewer
