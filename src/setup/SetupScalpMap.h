#pragma once
// The set-up's drawing of the 10-20 positions: the program's own scalp map (its layout and its
// widget), with the positions of the four slots filled in the colour of their group, a badge
// with the slot's number beside each, and a legend of the groups where the main window has its
// buttons. A click on a position's circle reports that position.

#include "app/ScalpMapModel.h"
#include "setup/ChannelChoice.h"

#include <QWidget>

namespace solvane {
class ScalpMapWidget;
}

namespace solvane::setup {

class SetupScalpMap : public QWidget {
    Q_OBJECT
public:
    /// The colour of each group's positions and badges, as the viewer draws the two outputs.
    static QColor groupColour(int output);

    explicit SetupScalpMap(QWidget* parent = nullptr);

    void showChoice(const ChannelChoice& choice);
    /// The scalp position (1..21) whose circle holds `point`, or 0.
    static int positionAt(const QPoint& point);

signals:
    void positionClicked(int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    class Overlay;
    ScalpMapModel model_;
    ScalpMapWidget* map_ = nullptr;
    Overlay* overlay_ = nullptr;
    ChannelChoice choice_;
};

} // namespace solvane::setup
