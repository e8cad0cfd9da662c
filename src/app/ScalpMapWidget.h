#pragma once
// The scalp map of the main window: the head seen from above with the 21 lettered position
// circles and the two ear references. It covers the window's client area, takes no input, and
// paints every element of the designed layout (ScalpMapLayout) bottom first, the position
// circles as the ScalpMapModel currently describes them.

#include "app/ScalpMapLayout.h"

#include <QWidget>

namespace solvane {

class ScalpMapModel;

class ScalpMapWidget : public QWidget {
    Q_OBJECT

public:
    ScalpMapWidget(const ScalpMapModel& model, QWidget* parent);

    /// The lettering font: Arial 9.75 point bold (Liberation Sans where Arial is missing).
    [[nodiscard]] static QFont letteringFont();
    /// A colour given with red in the low byte.
    [[nodiscard]] static QColor colour(uint32_t value);
    /// A box in twips as logical pixels.
    [[nodiscard]] static QRect pixels(const scalpmap::TwipsBox& box);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintLayer(QPainter& painter, scalpmap::Layer layer) const;

    const ScalpMapModel& model_;
};

} // namespace solvane
