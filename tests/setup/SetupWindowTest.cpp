// The set-up window's map, clicked as a user clicks it: a click on a position's circle gives
// the current slot that position and moves on to the next slot, a second click takes it away,
// a click beside the circles changes nothing; and the map shows each chosen position in its group's
// colour, the others as the main window greys unused ones.

#include "setup/SetupWindow.h"
#include "MapPixels.h"
#include "app/ScalpMapLayout.h"
#include "app/ScalpMapWidget.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "setup/SetupScalpMap.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <QtTest>

#include <array>
#include <memory>

using namespace solvane;
using namespace solvane::setup;
using namespace solvane::testing;

namespace {

QPoint centreOf(int position) {
    return ScalpMapWidget::pixels(scalpmap::Positions.at(position - 1).circle).center();
}

} // namespace

class SetupWindowTest : public QObject {
    Q_OBJECT

private slots:
    // Catches a map whose clicks miss their circle (twips against pixels, the wrong element),
    // a click that sets another slot than the current one, and a fill in the wrong group's
    // colour or a position left filled once no slot has it.
    void clicksOnTheMapSetTheCurrentSlot_data() {
        // (slot, position): slot -1 clicks without choosing the slot, position 0 beside
        QTest::addColumn<QList<QPoint>>("clicks");
        QTest::addColumn<QList<int>>("positions"); // of the four slots afterwards
        QTest::newRow("slot 1 gets O2") << QList<QPoint>{{1, 21}} << QList<int>{1, 21, 0, 0};
        QTest::newRow("slot 2 gets P3, slot 3 P4")
            << QList<QPoint>{{2, 15}, {3, 17}} << QList<int>{1, 0, 15, 17};
        QTest::newRow("a second click takes it away")
            << QList<QPoint>{{1, 21}, {1, 21}} << QList<int>{1, 0, 0, 0};
        QTest::newRow("slot 0 moves from Fp1 to Oz")
            << QList<QPoint>{{0, 20}} << QList<int>{20, 0, 0, 0};
        QTest::newRow("beside the circles") << QList<QPoint>{{1, 0}} << QList<int>{1, 0, 0, 0};
        QTest::newRow("four clicks fill the four slots")
            << QList<QPoint>{{-1, 19}, {-1, 21}, {-1, 15}, {-1, 17}} << QList<int>{19, 21, 15, 17};
    }
    void clicksOnTheMapSetTheCurrentSlot() {
        QFETCH(QList<QPoint>, clicks);
        QFETCH(QList<int>, positions);
        TempFolder folder;
        processINIFile::SetProgramFolder(folder.path());
        FakeKardemo::instance().reset();
        SetupWindow window(FileLocations::portableIn(folder.path()),
                           std::make_unique<KardemoDLL>(FakeKardemo::functions()));
        for (const QPoint& click : clicks) {
            if (click.x() >= 0)
                window.setCurrentSlot(click.x());
            const QPoint where = click.y() != 0 ? centreOf(click.y()) : QPoint(20, 20);
            QTest::mouseClick(window.scalpMap(), Qt::LeftButton, {}, where);
        }
        for (int slot = 0; slot < 4; ++slot)
            QCOMPARE(window.channels().positions[slot], positions[slot]);

        const QImage image =
            window.scalpMap()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int position = 1; position <= scalpmap::PositionCount; ++position) {
            const int slot = static_cast<int>(positions.indexOf(position));
            const QColor fill =
                slot >= 0 ? SetupScalpMap::groupColour(ChannelChoice::outputOf(slot)) : HeadColour;
            const QColor text = slot >= 0 ? QColor(Qt::white) : GreyedText;
            const QString problem = checkPosition(image, position - 1, fill, text);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }
};

QTEST_MAIN(SetupWindowTest)
#include "SetupWindowTest.moc"
