#include "setup/SetupScalpMap.h"

#include "app/ScalpMapLayout.h"
#include "app/ScalpMapWidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace solvane::setup {

namespace {

// The main window's look of a position that no slot uses (its first draw greys them).
constexpr uint32_t UnusedText = 0x0A0A0A;
constexpr uint32_t ChosenText = 0xFFFFFF;

uint32_t packed(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
           (static_cast<uint32_t>(colour.blue()) << 16);
}

} // namespace

// Above the map: the slots' badges and the legend, and the clicks (the map takes no input).
class SetupScalpMap::Overlay : public QWidget {
public:
    explicit Overlay(SetupScalpMap& owner) : QWidget(&owner), owner_(owner) {
        setGeometry(ScalpMapWidget::pixels(scalpmap::ClientArea));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QFont font = ScalpMapWidget::letteringFont();
        font.setPixelSize(10);
        painter.setFont(font);
        int badges[scalpmap::PositionCount] = {};
        for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
            const int position = owner_.choice_.positions[slot];
            if (position < 1 || position > scalpmap::PositionCount)
                continue;
            const QRect circle = ScalpMapWidget::pixels(scalpmap::Positions[position - 1].circle);
            const int shift = 13 * badges[position - 1]++;
            const QRect badge(circle.right() - 6 + shift, circle.top() - 7, 13, 13);
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(groupColour(ChannelChoice::outputOf(slot)));
            painter.drawEllipse(badge);
            painter.drawText(badge, Qt::AlignCenter, QString::number(slot));
        }
        // The legend, where the main window has its two buttons.
        const QRect area = ScalpMapWidget::pixels(scalpmap::cmdOptionsBox)
                               .united(ScalpMapWidget::pixels(scalpmap::cmdActionBox));
        painter.setPen(palette().color(QPalette::WindowText));
        for (int output = 0; output < 2; ++output) {
            const QRect row(area.left(), area.top() + 2 + output * 22, area.width(), 18);
            painter.setBrush(groupColour(output));
            painter.drawEllipse(QRect(row.left(), row.top() + 2, 14, 14));
            painter.drawText(row.adjusted(20, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                             output == 0 ? tr("group 00: slots 0, 2 \u2192 output 00 (left ear)")
                                         : tr("group 01: slots 1, 3 \u2192 output 01 (right ear)"));
        }
    }

private:
    SetupScalpMap& owner_;
};

QColor SetupScalpMap::groupColour(int output) {
    return output == 0 ? QColor(0x1f, 0x77, 0xb4) : QColor(0xff, 0x7f, 0x0e);
}

SetupScalpMap::SetupScalpMap(QWidget* parent) : QWidget(parent) {
    setFixedSize(ScalpMapWidget::pixels(scalpmap::ClientArea).size());
    map_ = new ScalpMapWidget(model_, this);
    overlay_ = new Overlay(*this);
    setCursor(Qt::PointingHandCursor);
    showChoice(choice_);
}

void SetupScalpMap::showChoice(const ChannelChoice& choice) {
    choice_ = choice;
    model_ = ScalpMapModel(); // a transparent fill, once set, stays so in the model
    bool chosen[scalpmap::PositionCount] = {};
    // Last slot first, so that a position two slots share shows the first slot's group.
    for (int slot = ChannelChoice::Slots - 1; slot >= 0; --slot) {
        const int position = choice.positions[slot];
        if (position < 1 || position > scalpmap::PositionCount)
            continue;
        chosen[position - 1] = true;
        model_.setFillColour(position - 1, packed(groupColour(ChannelChoice::outputOf(slot))));
        model_.setTextColour(position - 1, ChosenText);
    }
    for (int element = 0; element < scalpmap::PositionCount; ++element) {
        if (!chosen[element]) {
            model_.setFillTransparent(element);
            model_.setTextColour(element, UnusedText);
        }
    }
    map_->update();
    overlay_->update();
}

int SetupScalpMap::positionAt(const QPoint& point) {
    for (int element = 0; element < scalpmap::PositionCount; ++element) {
        const QRect circle = ScalpMapWidget::pixels(scalpmap::Positions[element].circle);
        const QPointF offset = QPointF(point) - QRectF(circle).center();
        const double radius = circle.width() / 2.0;
        if (offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius)
            return element + 1;
    }
    return 0;
}

void SetupScalpMap::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
}

void SetupScalpMap::mousePressEvent(QMouseEvent* event) {
    if (const int position = positionAt(event->position().toPoint()); position != 0)
        emit positionClicked(position);
}

} // namespace solvane::setup
