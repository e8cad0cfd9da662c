// The main window's designed layout: every element's box in twips, the lettering boxes over
// their circles, everything inside the client area, the stacking order, and the window's own
// widgets placed from it.

#include "app/ScalpMapLayout.h"
#include "app/ScalpMapModel.h"
#include "app/ScalpMapWidget.h"
#include "app/frmMain.h"
#include "device/KardemoDLL.h"
#include "checked/RunTimeError.h"
#include "support/FakeKardemo.h"

#include <QPushButton>
#include <QtTest>

#include <memory>
#include <vector>

using namespace solvane;
using namespace solvane::scalpmap;
using solvane::testing::FakeKardemo;

Q_DECLARE_METATYPE(solvane::scalpmap::TwipsBox)

namespace {

/// The designed position table: lettering, circle left and top, lettering left, top and
/// height, and the designed fill as red, green, blue.
struct DesignedPosition {
    const char* lettering;
    int left, top;
    int labelLeft, labelTop, labelHeight;
    int red, green, blue;
};

const DesignedPosition Designed[21] = {
    {"Fp1", 1800, 600, 1800, 720, 375, 255, 0, 0},  {"FpZ", 2400, 480, 2400, 600, 255, 0, 0, 0},
    {"Fp2", 3000, 600, 3000, 720, 375, 0, 0, 255},  {"F7", 1080, 1320, 1080, 1440, 375, 255, 0, 0},
    {"F3", 1680, 1560, 1680, 1680, 495, 255, 0, 0}, {"FZ", 2400, 1800, 2400, 1920, 495, 0, 0, 0},
    {"F4", 3120, 1560, 3120, 1680, 375, 0, 0, 255}, {"F8", 3720, 1320, 3720, 1440, 375, 0, 0, 255},
    {"T3", 720, 2520, 720, 2640, 495, 255, 0, 0},   {"C3", 1560, 2520, 1560, 2640, 495, 255, 0, 0},
    {"CZ", 2400, 2520, 2400, 2640, 375, 0, 0, 0},   {"C4", 3240, 2520, 3240, 2640, 495, 0, 0, 255},
    {"T4", 3960, 2520, 3960, 2640, 375, 0, 0, 255}, {"T5", 1080, 3600, 1080, 3720, 375, 255, 0, 0},
    {"P3", 1680, 3360, 1680, 3480, 375, 255, 0, 0}, {"PZ", 2400, 3240, 2400, 3360, 375, 0, 0, 0},
    {"P4", 3120, 3360, 3120, 3480, 375, 0, 0, 255}, {"T6", 3720, 3600, 3720, 3720, 375, 0, 0, 255},
    {"O1", 1800, 4200, 1800, 4320, 375, 255, 0, 0}, {"OZ", 2400, 4320, 2400, 4440, 375, 0, 0, 0},
    {"O2", 3000, 4200, 3000, 4320, 375, 0, 0, 255},
};

QRect px(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

/// Every box on the window, named as designed.
std::vector<std::pair<QByteArray, TwipsBox>> allBoxes() {
    std::vector<std::pair<QByteArray, TwipsBox>> boxes{
        {"Shape1", HeadBox},
        {"Shape3", InnerOutlineBox},
        {"Shape4", LeftEarBox},
        {"Shape5", RightEarBox},
        {"LabelA1(21)", LeftEarLettering.box},
        {"LabelA1(0)", RightEarLettering.box},
        {"cmdAction", cmdActionBox},
        {"cmdOptions", cmdOptionsBox},
        {"Line1", {Midline.x1, Midline.y1, Midline.x2 - Midline.x1, Midline.y2 - Midline.y1}},
        {"Line2",
         {EarToEarLine.x1, EarToEarLine.y1, EarToEarLine.x2 - EarToEarLine.x1,
          EarToEarLine.y2 - EarToEarLine.y1}},
    };
    for (int i = 0; i < PositionCount; ++i) {
        boxes.emplace_back(QByteArray("Shape2(") + QByteArray::number(i) + ")",
                           Positions[i].circle);
        boxes.emplace_back(QByteArray("Label1(") + QByteArray::number(i) + ")",
                           Positions[i].letteringBox);
    }
    return boxes;
}

} // namespace

class ScalpMapLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void fixedElements_haveTheirDesignedBoxesAndColours_data();
    void fixedElements_haveTheirDesignedBoxesAndColours();
    void fixedElements_haveTheirDesignedLinesColoursAndLettering();
    void positions_haveTheirDesignedCirclesLetteringAndFill_data();
    void positions_haveTheirDesignedCirclesLetteringAndFill();
    void lettering_lies120TwipsBelowItsCircleTopAndAsWide();
    void everything_liesInsideTheClientArea();
    void stackingOrder_isTheDesignedOne();
    void window_placesItsWidgetsFromTheLayout();
    void model_startsAsDesignedAndRefusesOtherElements();
};

void ScalpMapLayoutTest::fixedElements_haveTheirDesignedBoxesAndColours_data() {
    QTest::addColumn<TwipsBox>("actual");
    QTest::addColumn<TwipsBox>("designed");
    QTest::newRow("client area") << ClientArea << TwipsBox{0, 0, 5190, 6330};
    QTest::newRow("Shape1") << HeadBox << TwipsBox{480, 240, 4215, 4935};
    QTest::newRow("Shape3") << InnerOutlineBox << TwipsBox{960, 720, 3255, 3975};
    QTest::newRow("Shape4") << LeftEarBox << TwipsBox{120, 2520, 495, 495};
    QTest::newRow("Shape5") << RightEarBox << TwipsBox{4560, 2520, 495, 495};
    QTest::newRow("LabelA1(21)") << LeftEarLettering.box << TwipsBox{120, 2640, 495, 255};
    QTest::newRow("LabelA1(0)") << RightEarLettering.box << TwipsBox{4560, 2640, 495, 255};
    QTest::newRow("cmdAction") << cmdActionBox << TwipsBox{3600, 5400, 1455, 735};
    QTest::newRow("cmdOptions") << cmdOptionsBox << TwipsBox{120, 5400, 1455, 735};
}

void ScalpMapLayoutTest::fixedElements_haveTheirDesignedBoxesAndColours() {
    QFETCH(TwipsBox, actual);
    QFETCH(TwipsBox, designed);
    QVERIFY(actual == designed);
}

void ScalpMapLayoutTest::fixedElements_haveTheirDesignedLinesColoursAndLettering() {
    QCOMPARE(Midline.x1, 2640);
    QCOMPARE(Midline.y1, 720);
    QCOMPARE(Midline.x2, 2640);
    QCOMPARE(Midline.y2, 4680);
    QCOMPARE(EarToEarLine.x1, 960);
    QCOMPARE(EarToEarLine.y1, 2760);
    QCOMPARE(EarToEarLine.x2, 4200);
    QCOMPARE(EarToEarLine.y2, 2760);
    QCOMPARE(ScalpMapWidget::colour(HeadFill), QColor(255, 224, 192));
    QCOMPARE(ScalpMapWidget::colour(InnerOutlineColour), QColor(128, 128, 128));
    QCOMPARE(ScalpMapWidget::colour(LineColour), QColor(128, 128, 128));
    QCOMPARE(ScalpMapWidget::colour(EarFill), QColor(0, 0, 0));
    QCOMPARE(ScalpMapWidget::colour(LetteringColour), QColor(255, 255, 255));
    QCOMPARE(HeadOutlinePixels, 2);
    QCOMPARE(QByteArray(LeftEarLettering.text), QByteArray("A1"));
    QCOMPARE(QByteArray(RightEarLettering.text), QByteArray("A2"));
    QCOMPARE(LeftEarLettering.element, 21);
    QCOMPARE(RightEarLettering.element, 0);
}

void ScalpMapLayoutTest::positions_haveTheirDesignedCirclesLetteringAndFill_data() {
    QTest::addColumn<int>("element");
    for (int i = 0; i < PositionCount; ++i)
        QTest::newRow(Designed[i].lettering) << i;
}

void ScalpMapLayoutTest::positions_haveTheirDesignedCirclesLetteringAndFill() {
    QFETCH(int, element);
    const DesignedPosition& designed = Designed[element];
    const PositionDesign& actual = Positions[static_cast<size_t>(element)];
    QCOMPARE(QByteArray(actual.lettering), QByteArray(designed.lettering));
    QVERIFY(actual.circle == (TwipsBox{designed.left, designed.top, 495, 495}));
    QVERIFY(actual.letteringBox ==
            (TwipsBox{designed.labelLeft, designed.labelTop, 495, designed.labelHeight}));
    QCOMPARE(ScalpMapWidget::colour(actual.fill),
             QColor(designed.red, designed.green, designed.blue));
}

void ScalpMapLayoutTest::lettering_lies120TwipsBelowItsCircleTopAndAsWide() {
    for (const PositionDesign& position : Positions) {
        QCOMPARE(position.letteringBox.left, position.circle.left);
        QCOMPARE(position.letteringBox.width, position.circle.width);
        QCOMPARE(position.letteringBox.top, position.circle.top + 120);
        QCOMPARE(position.circle.width, position.circle.height);
    }
    for (const auto& [ear, lettering] :
         {std::pair{LeftEarBox, LeftEarLettering}, std::pair{RightEarBox, RightEarLettering}}) {
        QCOMPARE(lettering.box.left, ear.left);
        QCOMPARE(lettering.box.width, ear.width);
        QCOMPARE(lettering.box.top, ear.top + 120);
    }
}

void ScalpMapLayoutTest::everything_liesInsideTheClientArea() {
    int lowest = 0;
    int rightmost = 0;
    for (const auto& [name, box] : allBoxes()) {
        QVERIFY2(box.left >= 0 && box.top >= 0 && box.width >= 0 && box.height >= 0, name);
        QVERIFY2(box.right() <= ClientArea.width && box.bottom() <= ClientArea.height, name);
        lowest = std::max(lowest, box.bottom());
        rightmost = std::max(rightmost, box.right());
    }
    QCOMPARE(lowest, 5400 + 735);
    QCOMPARE(rightmost, 4560 + 495);
    QCOMPARE(cmdActionBox.right(), rightmost);
    QCOMPARE(RightEarBox.right(), rightmost);
}

void ScalpMapLayoutTest::stackingOrder_isTheDesignedOne() {
    std::vector<Layer> designed{
        {Element::Shape1}, {Element::Shape3}, {Element::Line1}, {Element::Line2}};
    for (int i = 0; i <= 19; ++i)
        designed.push_back({Element::Shape2, i});
    for (int i = 0; i <= 19; ++i)
        designed.push_back({Element::Label1, i});
    designed.insert(designed.end(), {{Element::Shape2, 20},
                                     {Element::Label1, 20},
                                     {Element::Shape4},
                                     {Element::LabelA1, 21},
                                     {Element::Shape5},
                                     {Element::LabelA1, 0}});
    QCOMPARE(StackingOrder.size(), designed.size());
    for (size_t i = 0; i < designed.size(); ++i)
        QVERIFY2(StackingOrder[i] == designed[i], qPrintable(QString("layer %1").arg(i)));
}

void ScalpMapLayoutTest::window_placesItsWidgetsFromTheLayout() {
    FakeKardemo::instance().reset();
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.size(), QSize(346, 422));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.scalpMap()->geometry(), QRect(0, 0, 346, 422));
    QCOMPARE(window.cmdAction()->geometry(), px(3600, 5400, 1455, 735));
    QCOMPARE(window.cmdOptions()->geometry(), px(120, 5400, 1455, 735));
    QCOMPARE(window.cmdAction()->text(), QStringLiteral("Start"));
    QCOMPARE(window.cmdOptions()->text(), QStringLiteral("Options"));

    // The buttons lie over the map, and the map takes no clicks of its own.
    QCOMPARE(window.childAt(window.cmdAction()->geometry().center()), window.cmdAction());
    QCOMPARE(window.childAt(window.cmdOptions()->geometry().center()), window.cmdOptions());
    QVERIFY(window.scalpMap()->testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(window.cmdAction()->nextInFocusChain(), window.cmdOptions());

    const QFont font = ScalpMapWidget::letteringFont();
    QVERIFY(font.bold());
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    QCOMPARE(font.pixelSize(), 13); // 9.75 pt at 96 pixels per inch
    const QString family = QFontInfo(font).family();
    QVERIFY2(family == "Arial" || family == "Liberation Sans", qPrintable(family));
}

void ScalpMapLayoutTest::model_startsAsDesignedAndRefusesOtherElements() {
    ScalpMapModel model;
    for (int i = 0; i < PositionCount; ++i) {
        const ScalpMapModel::Position& position = model.position(i);
        QCOMPARE(position.fillColour, Positions[static_cast<size_t>(i)].fill);
        QVERIFY(!position.fillTransparent);
        QCOMPARE(position.textColour, LetteringColour);
    }
    model.setFillTransparent(3);
    model.setFillColour(3, 65280);
    QVERIFY(model.position(3).fillTransparent); // a colour does not make the fill solid again
    QCOMPARE(model.position(3).fillColour, 65280U);

    QVERIFY_THROWS_EXCEPTION(RunTimeError, model.setFillColour(21, 0));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, model.setFillTransparent(-1));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, model.setTextColour(21, 0));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, (void)model.position(-1));
}

QTEST_MAIN(ScalpMapLayoutTest)
#include "ScalpMapLayoutTest.moc"
