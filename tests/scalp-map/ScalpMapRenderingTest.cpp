// What the main window shows of the scalp map, read back from a grab of the window: the
// designed colours before the first run, the verdict colours after a contact window, the head
// showing through greyed positions, and a run through the fake device library that greys,
// then judges on the 129th packet counted across runs.

#include "app/ScalpMapLayout.h"
#include "app/ScalpMapWidget.h"
#include "app/frmMain.h"
#include "config/Settings.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

using namespace solvane;
using namespace solvane::scalpmap;
using solvane::testing::FakeKardemo;
using solvane::testing::FakePoll;
using solvane::testing::TempFolder;

namespace {

const QColor HeadColour(255, 224, 192);
const QColor Grey(128, 128, 128);
const QColor GreyedText(10, 10, 10);
const QColor Green(0, 255, 0);
const QColor Red(255, 0, 0);
const QColor White(255, 255, 255);
const QColor Black(0, 0, 0);

QImage grab(QWidget& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor at(const QImage& image, QPoint point) {
    return image.pixelColor(point);
}

bool dark(const QColor& colour) {
    return colour.red() < 80 && colour.green() < 80 && colour.blue() < 80;
}

/// Where the lettering of a box is painted, with a margin for anti-aliasing.
QRect letteringArea(const TwipsBox& box, const char* text) {
    const QFontMetrics metrics(ScalpMapWidget::letteringFont());
    return metrics
        .boundingRect(ScalpMapWidget::pixels(box), Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromLatin1(text))
        .adjusted(-2, -2, 2, 2);
}

/// Pixels well inside a circle that neither its lettering nor a line nor the inner outline
/// covers: they show the circle's fill, or what lies beneath a transparent one.
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

/// Checks that every fill point of position `element` shows `fill`, and that its lettering
/// has pixels of `text`.
void checkPosition(const QImage& image, int element, const QColor& fill, const QColor& text) {
    const PositionDesign& position = Positions.at(static_cast<size_t>(element));
    const QRect lettering = letteringArea(position.letteringBox, position.lettering);
    const std::vector<QPoint> points = fillPoints(position.circle, lettering);
    QVERIFY2(points.size() >= 20, position.lettering);
    for (const QPoint point : points)
        QVERIFY2(at(image, point) == fill,
                 qPrintable(QString("%1 at (%2, %3): %4, expected %5")
                                .arg(position.lettering)
                                .arg(point.x())
                                .arg(point.y())
                                .arg(at(image, point).name(), fill.name())));
    QVERIFY2(countPixels(image, lettering, text) >= 5,
             qPrintable(QString("%1: lettering %2").arg(position.lettering, text.name())));
}

void checkEars(const QImage& image) {
    for (const auto& [box, lettering] :
         {std::pair{LeftEarBox, LeftEarLettering}, std::pair{RightEarBox, RightEarLettering}}) {
        const QRect area = letteringArea(lettering.box, lettering.text);
        for (const QPoint point : fillPoints(box, area))
            QCOMPARE(at(image, point), Black);
        QVERIFY(countPixels(image, area, White) >= 5);
    }
}

void drawPackets(frmMain& window, int count, int32_t slot0, int32_t slot1) {
    const int32_t packet[8] = {slot0, 512, 512, 512, slot1, 512, 512, 512};
    for (int i = 0; i < count; ++i)
        window.draw(packet);
}

/// Runs the window's Start..Stop with `packets` in-range packets from the fake library.
void runWithPackets(frmMain& window, uint64_t packets) {
    FakeKardemo& fake = FakeKardemo::instance();
    fake.reset();
    fake.pollScript = [packets](uint64_t n) {
        FakePoll poll;
        if (n < packets) {
            poll.status = 0;
            poll.count = 1;
            poll.packet = {500, 510, 0, 0, 520, 530, 0, 0};
        }
        return poll;
    };
    fake.onPoll = [&window, packets](uint64_t n) {
        if (n == packets)
            window.cmdAction()->click();
    };
    window.cmdAction()->click();
    QCOMPARE(fake.packetsHanded, packets);
    QCOMPARE(window.cmdAction()->text(), QStringLiteral("Start"));
}

} // namespace

class ScalpMapRenderingTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void beforeTheFirstRun_everyCircleShowsItsDesignedColourAndWhiteLettering();
    void fixedElements_showTheirColours();
    void afterAVerdict_selectedPositionsAreGreenOrRedAndGreyedOnesShowTheHead();
    void aRun_greysAtOnceAndJudgesThe129thPacketCountedAcrossRuns();
};

void ScalpMapRenderingTest::init() {
    settings = Settings{};
    settings.DSUSampleRate = 256;
    FakeKardemo::instance().reset();
}

void ScalpMapRenderingTest::beforeTheFirstRun_everyCircleShowsItsDesignedColourAndWhiteLettering() {
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = grab(window);
    QCOMPARE(image.size(), QSize(346, 422));
    for (int i = 0; i < PositionCount; ++i)
        checkPosition(image, i, ScalpMapWidget::colour(Positions.at(static_cast<size_t>(i)).fill),
                      White);
    checkEars(image);
}

void ScalpMapRenderingTest::fixedElements_showTheirColours() {
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = grab(window);
    if (qEnvironmentVariableIsSet("SOLVANE_MAP_IMAGE"))
        image.save(qEnvironmentVariable("SOLVANE_MAP_IMAGE"));

    QCOMPARE(at(image, {2, 2}), window.palette().color(QPalette::Window));
    // The head's outline is 2 pixels wide, inside its box (top edge at 240 twips).
    QCOMPARE(at(image, {172, 15}), window.palette().color(QPalette::Window));
    QVERIFY(dark(at(image, {172, 16})));
    QVERIFY(dark(at(image, {172, 17})));
    QCOMPARE(at(image, {172, 20}), HeadColour);
    QCOMPARE(at(image, {45, 175}), HeadColour);
    QCOMPARE(at(image, {260, 130}), HeadColour);
    QCOMPARE(at(image, {176, 100}), Grey); // Line1 between FpZ and FZ
    QCOMPARE(at(image, {95, 184}), Grey);  // Line2 between T3 and C3
    // Line1 runs under the midline circles.
    QCOMPARE(at(image, {176, 175}), Black); // inside CZ's circle, above its lettering

    // Row 140 left of F7 crosses the head and, once, the grey inner outline (anti-aliased
    // over at most three pixels).
    int outline = 0;
    int greyest = 255;
    for (int x = 42; x < 88; ++x) {
        const QColor c = at(image, {x, 140});
        if (c != HeadColour) {
            // A blend of the head colour and grey, nothing darker.
            QVERIFY2(c.red() >= c.green() && c.green() >= c.blue() && c.blue() >= 128,
                     qPrintable(c.name()));
            greyest = std::min(greyest, c.red());
            ++outline;
        }
    }
    QVERIFY(outline >= 1 && outline <= 3);
    QVERIFY2(greyest <= 180, qPrintable(QString::number(greyest)));
}

void ScalpMapRenderingTest::afterAVerdict_selectedPositionsAreGreenOrRedAndGreyedOnesShowTheHead() {
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    settings.AVEChannel1 = 1;
    settings.AVEChannel2 = 9;
    window.analysis().ApplyChannelSelection();
    window.analysis().FirstDrawDone = 0;

    drawPackets(window, 129, 512, 1021);
    QImage image = grab(window);
    checkPosition(image, 0, Green, Black);
    checkPosition(image, 8, Red, White);
    for (int i = 0; i < PositionCount; ++i) {
        if (i == 0 || i == 8)
            continue;
        checkPosition(image, i, HeadColour, GreyedText);
        // Only the outline of a greyed circle is drawn.
        const QRect circle = ScalpMapWidget::pixels(Positions.at(static_cast<size_t>(i)).circle);
        QVERIFY2(dark(at(image, {circle.center().x(), circle.top()})),
                 Positions.at(static_cast<size_t>(i)).lettering);
    }
    checkEars(image);

    // Selected only after the greying: the verdict shows in the lettering alone.
    settings.AVEChannel3 = 3;
    window.analysis().ApplyChannelSelection();
    drawPackets(window, 129, 5, 4);
    image = grab(window);
    checkPosition(image, 0, Green, Black);
    checkPosition(image, 2, HeadColour, Black);
    checkPosition(image, 8, Red, White);
}

void ScalpMapRenderingTest::aRun_greysAtOnceAndJudgesThe129thPacketCountedAcrossRuns() {
    TempFolder folder;
    processINIFile::SetProgramFolder(folder.path());
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.setMessageBoxHandler([](const QString& text) { QFAIL(qPrintable(text)); });
    QVERIFY(window.Form_Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(settings.AVEChannel1, int16_t{1}); // the default: position 1 alone

    const ScalpMapModel& model = window.scalpMapModel();
    const ScalpMapModel::Position designed{Positions[0].fill, false, LetteringColour};

    runWithPackets(window, 100);
    QCOMPARE(model.position(0), designed);
    for (int i = 1; i < PositionCount; ++i)
        QCOMPARE(
            model.position(i),
            (ScalpMapModel::Position{Positions.at(static_cast<size_t>(i)).fill, true, 0x0A0A0AU}));
    QImage image = grab(window);
    checkPosition(image, 0, Red, White);
    checkPosition(image, 1, HeadColour, GreyedText);

    runWithPackets(window, 28);
    QCOMPARE(model.position(0), designed);

    runWithPackets(window, 1);
    QCOMPARE(model.position(0), (ScalpMapModel::Position{65280, false, 0}));
    QCOMPARE(window.analysis().state().ContactPacketCount, int16_t{0});
    image = grab(window);
    checkPosition(image, 0, Green, Black);
}

QTEST_MAIN(ScalpMapRenderingTest)
#include "ScalpMapRenderingTest.moc"
