// The viewer's window on the offscreen platform with a small screen (1024 x 600, from
// tests/data/small-screen.json): what the user does with the mouse never widens it past the
// screen, its time panels share one left edge, and a finished session opens on its whole
// length.

#include "viewer/SessionPanels.h"
#include "viewer/ViewerWindow.h"

#include "support/SessionFiles.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <fstream>
#include <memory>

using solvane::viewer::SessionPanels;
using solvane::viewer::TimeRange;
using solvane::viewer::ViewerWindow;
using Panel = SessionPanels::Panel;

namespace {

/// A finished session of `seconds` with four busy channels and small volumes, so that the
/// readout of a second is long and the panels' value labels differ in width ("10", "100",
/// "120").
std::filesystem::path writeSession(const std::filesystem::path& folder, int seconds) {
    solvane::testing::SessionFiles writer(folder, "2026-12-08_14-30-05", [](int element, long i) {
        return 512 + static_cast<int>(std::lround(
                         120.0 * std::sin(0.3 * static_cast<double>(i) * (1 + element))));
    });
    writer.command("WB0008");
    writer.command("WB0105");
    writer.add(seconds);
    return writer.finish();
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

void pointAt(QWidget* view, QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
}

void wheel(QWidget* view, QPointF at, int delta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

void drag(QWidget* view, QPointF from, QPointF to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, view->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    pointAt(view, to);
    QMouseEvent release(QEvent::MouseButtonRelease, to, view->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &release);
}

enum Gesture { Pointing, ZoomingIn, ZoomingOut, ScrollingOn, ScrollingBack, Dragging };

} // namespace

class ViewerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void finishedSessionOpensOnItsWholeLength_data() {
        QTest::addColumn<int>("seconds");
        QTest::newRow("12 s, not a span of minutes") << 12;
        QTest::newRow("150 s, not its last minutes") << 150;
    }
    // Catches a finished run shown over a fixed span, or over the last minutes as a live
    // run is.
    void finishedSessionOpensOnItsWholeLength() {
        QFETCH(int, seconds);
        const solvane::testing::TempFolder folder;
        ViewerWindow window(folder.path(), writeSession(folder.path(), seconds));
        window.show();
        settle();
        const TimeRange& range = window.panels().range();
        QCOMPARE(range.from(), 0.0);
        QCOMPARE(range.to(), static_cast<double>(seconds));
        QCOMPARE(window.panels().view(Panel::Totals)->plot().xTo, static_cast<double>(seconds));
    }

    void gesturesKeepTheWindowWithinTheScreen_data() {
        QTest::addColumn<int>("gesture");
        QTest::newRow("pointing across every panel") << int{Pointing};
        QTest::newRow("zooming in past the closest") << int{ZoomingIn};
        QTest::newRow("zooming out past the whole run") << int{ZoomingOut};
        QTest::newRow("scrolling past the end") << int{ScrollingOn};
        QTest::newRow("scrolling past the start") << int{ScrollingBack};
        QTest::newRow("dragging a span") << int{Dragging};
    }
    // Catches a readout or a label whose text widens the window past the screen, and a wheel
    // that zooms or scrolls beyond the run's ends.
    void gesturesKeepTheWindowWithinTheScreen() {
        QFETCH(int, gesture);
        constexpr int Seconds = 150;
        const solvane::testing::TempFolder folder;
        ViewerWindow window(folder.path(), writeSession(folder.path(), Seconds));
        window.show();
        settle();
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY2(screen.width() <= 1024, "the small screen is not in use");
        const int width = window.width();
        QVERIFY(window.frameGeometry().width() <= screen.width());

        for (int p = 0; p < SessionPanels::Panels; ++p) {
            QWidget* view = window.panels().view(static_cast<Panel>(p));
            const QRectF area = window.panels().view(static_cast<Panel>(p))->plotArea();
            const QPointF middle = area.center();
            switch (gesture) {
            case Pointing:
                for (double x = area.left(); x <= area.right(); x += area.width() / 17)
                    pointAt(view, QPointF(x, middle.y()));
                break;
            case ZoomingIn:
                for (int i = 0; i < 30; ++i)
                    wheel(view, middle, 120, Qt::NoModifier);
                break;
            case ZoomingOut:
                for (int i = 0; i < 30; ++i)
                    wheel(view, middle, -120, Qt::NoModifier);
                break;
            case ScrollingOn:
            case ScrollingBack:
                wheel(view, middle, 360, Qt::NoModifier); // closer first, so that it can scroll
                for (int i = 0; i < 40; ++i)
                    wheel(view, middle, gesture == ScrollingOn ? -120 : 120, Qt::ShiftModifier);
                break;
            case Dragging:
                drag(view, QPointF(area.left() + area.width() * 0.2, middle.y()),
                     QPointF(area.left() + area.width() * 0.6, middle.y()));
                break;
            }
            settle();
            QCOMPARE(window.width(), width);
            QVERIFY(window.frameGeometry().width() <= screen.width());
        }
        const TimeRange& range = window.panels().range();
        QVERIFY(range.from() >= 0.0);
        QVERIFY(range.to() <= Seconds);
        QVERIFY(range.to() - range.from() >= TimeRange::ShortestSpan - 1e-9);
        if (gesture == ScrollingOn)
            QCOMPARE(range.to(), static_cast<double>(Seconds));
        if (gesture == ScrollingBack)
            QCOMPARE(range.from(), 0.0);
        if (gesture == ZoomingOut)
            QCOMPARE(range.to() - range.from(), static_cast<double>(Seconds));
    }

    // Catches Report... that says nothing about a session that cannot be read, and a report
    // written without a word of where it went.
    void reportSaysWhyOrWhere() {
        const solvane::testing::TempFolder folder;
        const auto good = writeSession(folder.path(), 5);
        const auto bad = folder.path() / "2026-12-08_15-00-00.edf";
        std::ofstream(bad) << "not a recording";
        ViewerWindow window(folder.path(), bad);
        const QString report = QString::fromStdString((folder.path() / "report.png").string());
        QString message;
        QVERIFY(!window.writeReportTo(report, {}, message));
        QVERIFY2(message.contains(QStringLiteral("2026-12-08_15-00-00.edf")) &&
                     message.contains(QStringLiteral("too short")),
                 qPrintable(message));
        QVERIFY(window.openSession(good));
        QVERIFY2(window.writeReportTo(report, {}, message), qPrintable(message));
        QVERIFY2(message.contains(report), qPrintable(message));
        QVERIFY(std::filesystem::is_regular_file(report.toStdString()));
    }

    // Catches a folder that can no longer be listed (permissions taken away, the folder
    // removed) passed over at every step without a word.
    void folderThatCannotBeListedAnyMoreIsSaid() {
        const solvane::testing::TempFolder folder;
        const auto sessions = folder.path() / "sessions";
        std::filesystem::create_directory(sessions);
        writeSession(sessions, 5);
        ViewerWindow window(sessions);
        std::filesystem::remove_all(sessions);
        window.follow();
        QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("cannot be read")),
                 qPrintable(window.statusBar()->currentMessage()));
    }

    // Catches panels whose value labels of different widths push their plots apart, so that
    // one moment stands at different places in each.
    void panelsShareOneLeftEdge() {
        const solvane::testing::TempFolder folder;
        ViewerWindow window(folder.path(), writeSession(folder.path(), 60));
        window.show();
        settle();
        const auto leftOf = [&window](Panel panel) {
            const auto* view = window.panels().view(panel);
            return view->mapTo(&window, view->plotArea().topLeft().toPoint()).x();
        };
        const int left = leftOf(Panel::Volumes);
        for (int p = 1; p < SessionPanels::Panels; ++p)
            QCOMPARE(leftOf(static_cast<Panel>(p)), left);
    }
};

int main(int argc, char** argv) {
    const QByteArray screens = qgetenv("SOLVANE_TEST_DATA") + "/small-screen.json";
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens);
    QApplication app(argc, argv);
    ViewerWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
