// What the main window shows of the scalp map, read back from a grab of the window: the
// designed colours before the first run, the verdict colours after a contact window, the head
// showing through greyed positions, and a run through the fake device library that greys,
// then judges on the 129th packet counted across runs.

#include "MapPixels.h"
#include "app/ScalpMapLayout.h"
#include "app/ScalpMapWidget.h"
#include "app/frmMain.h"
#include "config/Settings.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

using namespace solvane;
using namespace solvane::scalpmap;
using namespace solvane::testing;

namespace {

const QColor Grey(128, 128, 128);
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

#define CHECK_POSITION(image, element, fill, text)                                                 \
    do {                                                                                           \
        const QString problem = checkPosition(image, element, fill, text);                         \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

#define CHECK_EARS(image)                                                                          \
    do {                                                                                           \
        const QString problem = checkEars(image);                                                  \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

void drawPackets(frmMain& window, int count, int32_t slot0, int32_t slot1) {
    const int32_t packet[8] = {slot0, 512, 512, 512, slot1, 512, 512, 512};
    for (int i = 0; i < count; ++i)
        window.draw(packet);
}

/// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

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
    void packets_paintNothingUntilTheVerdictRepaintsAtOnce();
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
        CHECK_POSITION(image, i, ScalpMapWidget::colour(Positions.at(static_cast<size_t>(i)).fill),
                       White);
    CHECK_EARS(image);
}

void ScalpMapRenderingTest::fixedElements_showTheirColours() {
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = grab(window);
    if (qEnvironmentVariableIsSet("SOLVANE_MAP_IMAGE"))
        image.save(qEnvironmentVariable("SOLVANE_MAP_IMAGE"));

    QCOMPARE(at(image, {2, 2}), window.palette().color(QPalette::Base));
    // The head's outline is 2 pixels wide, inside its box (top edge at 240 twips).
    QCOMPARE(at(image, {172, 15}), window.palette().color(QPalette::Base));
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
    CHECK_POSITION(image, 0, Green, Black);
    CHECK_POSITION(image, 8, Red, White);
    for (int i = 0; i < PositionCount; ++i) {
        if (i == 0 || i == 8)
            continue;
        CHECK_POSITION(image, i, HeadColour, GreyedText);
        // Only the outline of a greyed circle is drawn.
        const QRect circle = ScalpMapWidget::pixels(Positions.at(static_cast<size_t>(i)).circle);
        QVERIFY2(dark(at(image, {circle.center().x(), circle.top()})),
                 Positions.at(static_cast<size_t>(i)).lettering);
    }
    CHECK_EARS(image);

    // Selected only after the greying: the verdict shows in the lettering alone.
    settings.AVEChannel3 = 3;
    window.analysis().ApplyChannelSelection();
    drawPackets(window, 129, 5, 4);
    image = grab(window);
    CHECK_POSITION(image, 0, Green, Black);
    CHECK_POSITION(image, 2, HeadColour, Black);
    CHECK_POSITION(image, 8, Red, White);
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
    CHECK_POSITION(image, 0, Red, White);
    CHECK_POSITION(image, 1, HeadColour, GreyedText);

    runWithPackets(window, 28);
    QCOMPARE(model.position(0), designed);

    runWithPackets(window, 1);
    QCOMPARE(model.position(0), (ScalpMapModel::Position{65280, false, 0}));
    QCOMPARE(window.analysis().state().ContactPacketCount, int16_t{0});
    image = grab(window);
    CHECK_POSITION(image, 0, Green, Black);
}

void ScalpMapRenderingTest::packets_paintNothingUntilTheVerdictRepaintsAtOnce() {
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    settings.AVEChannel1 = 1;
    window.analysis().ApplyChannelSelection();
    window.analysis().FirstDrawDone = 0;
    PaintCounter counter(window.scalpMap());

    // The greying is painted with the next event pass.
    drawPackets(window, 1, 512, 512);
    QCOMPARE(counter.paints, 0);
    QCoreApplication::processEvents();
    QVERIFY(counter.paints >= 1);

    counter.paints = 0;
    for (int i = 2; i <= 128; ++i) {
        drawPackets(window, 1, 512, 512);
        QCoreApplication::processEvents();
    }
    QCOMPARE(counter.paints, 0);

    // The verdict is on the screen before any event pass.
    drawPackets(window, 1, 512, 512);
    QVERIFY(counter.paints >= 1);
    QCOMPARE(window.scalpMapModel().position(0).fillColour, 65280U);

    // The same verdict again changes nothing on the screen and costs no painting.
    counter.paints = 0;
    drawPackets(window, 129, 512, 512);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 0);
}

QTEST_MAIN(ScalpMapRenderingTest)
#include "ScalpMapRenderingTest.moc"
