#include "ScalpMapWidget.h"

#include "app/ScalpMapModel.h"

#include <QPaintEvent>
#include <QPainter>

namespace solvane {

namespace {

using scalpmap::Element;
using scalpmap::TwipsBox;
using scalpmap::TwipsLine;

// The outline lies inside the box, as the designed shapes draw it.
void drawOval(QPainter& painter, const TwipsBox& box, const QPen& outline, const QBrush& fill) {
    const QRect rect = ScalpMapWidget::pixels(box);
    const qreal inset = outline.widthF() / 2.0;
    painter.setPen(outline);
    painter.setBrush(fill);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.drawEllipse(QRectF(rect).adjusted(inset, inset, -inset, -inset));
}

void drawLine(QPainter& painter, const TwipsLine& line, uint32_t colour) {
    painter.setPen(QPen(ScalpMapWidget::colour(colour), 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawLine(twipsToPixels(line.x1), twipsToPixels(line.y1), twipsToPixels(line.x2),
                     twipsToPixels(line.y2));
}

void drawLettering(QPainter& painter, const TwipsBox& box, const char* text, uint32_t colour) {
    painter.setPen(ScalpMapWidget::colour(colour));
    painter.drawText(ScalpMapWidget::pixels(box), Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromLatin1(text));
}

} // namespace

ScalpMapWidget::ScalpMapWidget(const ScalpMapModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("ScalpMap"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(pixels(scalpmap::ClientArea));
    setFont(letteringFont());
}

QFont ScalpMapWidget::letteringFont() {
    QFont font;
    font.setFamilies(
        {QString::fromLatin1(scalpmap::LetteringFamily), QStringLiteral("Liberation Sans")});
    // In pixels, so that the lettering keeps its size relative to the twips-based layout:
    // 9.75 points at 96 logical pixels per inch are 13 pixels.
    font.setPixelSize(qRound(scalpmap::LetteringPoints * 96.0 / 72.0));
    font.setBold(true);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QColor ScalpMapWidget::colour(uint32_t value) {
    return {static_cast<int>(value & 0xFFU), static_cast<int>((value >> 8) & 0xFFU),
            static_cast<int>((value >> 16) & 0xFFU)};
}

QRect ScalpMapWidget::pixels(const TwipsBox& box) {
    return {twipsToPixels(box.left), twipsToPixels(box.top), twipsToPixels(box.width),
            twipsToPixels(box.height)};
}

void ScalpMapWidget::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setFont(font());
    for (const scalpmap::Layer layer : scalpmap::StackingOrder)
        paintLayer(painter, layer);
}

void ScalpMapWidget::paintLayer(QPainter& painter, scalpmap::Layer layer) const {
    const QColor outline = palette().color(QPalette::WindowText);
    switch (layer.element) {
    case Element::Shape1:
        drawOval(painter, scalpmap::HeadBox, QPen(outline, scalpmap::HeadOutlinePixels),
                 colour(scalpmap::HeadFill));
        break;
    case Element::Shape3:
        drawOval(painter, scalpmap::InnerOutlineBox, QPen(colour(scalpmap::InnerOutlineColour), 1),
                 Qt::NoBrush);
        break;
    case Element::Line1:
        drawLine(painter, scalpmap::Midline, scalpmap::LineColour);
        break;
    case Element::Line2:
        drawLine(painter, scalpmap::EarToEarLine, scalpmap::LineColour);
        break;
    case Element::Shape2: {
        const ScalpMapModel::Position& position = model_.position(layer.index);
        const QBrush fill =
            position.fillTransparent ? QBrush(Qt::NoBrush) : QBrush(colour(position.fillColour));
        drawOval(painter, scalpmap::Positions.at(layer.index).circle, QPen(outline, 1), fill);
        break;
    }
    case Element::Label1:
        drawLettering(painter, scalpmap::Positions.at(layer.index).letteringBox,
                      scalpmap::Positions.at(layer.index).lettering,
                      model_.position(layer.index).textColour);
        break;
    case Element::Shape4:
        drawOval(painter, scalpmap::LeftEarBox, QPen(outline, 1), colour(scalpmap::EarFill));
        break;
    case Element::Shape5:
        drawOval(painter, scalpmap::RightEarBox, QPen(outline, 1), colour(scalpmap::EarFill));
        break;
    case Element::LabelA1: {
        const scalpmap::EarLettering& ear = layer.index == scalpmap::LeftEarLettering.element
                                                ? scalpmap::LeftEarLettering
                                                : scalpmap::RightEarLettering;
        drawLettering(painter, ear.box, ear.text, scalpmap::LetteringColour);
        break;
    }
    }
}

} // namespace solvane
