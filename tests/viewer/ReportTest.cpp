// The report made without a window by solvane-view --report, on the offscreen platform, and
// the window's following of a folder that goes away.

#include "viewer/SessionReport.h"
#include "viewer/ViewerWindow.h"

#include "support/SessionFiles.h"
#include "support/TempFolder.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include <sys/stat.h>

#include <filesystem>

namespace {

struct Run {
    int status = -1;
    QString errors;
};

Run report(const std::filesystem::path& session, const std::filesystem::path& output) {
    QProcess process;
    process.start(QStringLiteral(SOLVANE_VIEW),
                  {QStringLiteral("--report"), QString::fromStdString(session.string()),
                   QStringLiteral("-o"), QString::fromStdString(output.string())});
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

/// A 6-second session: output 00 at 0x30, 01 at 0x10 from second 1 (share 75 %).
std::filesystem::path writeSession(const std::filesystem::path& folder) {
    solvane::testing::SessionFiles writer(
        folder, "2026-12-08_14-30-05",
        [](int, long i) { return 512 + static_cast<int>(i % 7) * 10; }, "synthetic EEG, seed 3");
    writer.command("WE80C8");
    writer.command("WF80D2");
    writer.add(1);
    writer.command("WB0030");
    writer.command("WB0110");
    writer.add(5);
    return writer.finish();
}

} // namespace

class ViewerReport : public QObject {
    Q_OBJECT

private slots:
    // Catches a report that is not written offscreen, not a PDF of one page, or whose figures
    // are not the session's.
    void pdfOfOnePageWithTheSessionsFigures() {
        const solvane::testing::TempFolder folder;
        const auto session = writeSession(folder.path());
        const auto pdf = folder.path() / "report.pdf";
        const Run run = report(session, pdf);
        QCOMPARE(run.status, 0);
        QFile file(QString::fromStdString(pdf.string()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QCOMPARE(bytes.count(QByteArrayLiteral("/Type /Page\n")) +
                     bytes.count(QByteArrayLiteral("/Type /Page\r")) +
                     bytes.count(QByteArrayLiteral("/Type /Page ")),
                 1);
        QVERIFY(bytes.contains("/Count 1"));

        solvane::viewer::SessionReader reader(session);
        reader.update();
        solvane::viewer::SessionAnalysis analysis;
        analysis.update(reader);
        const QString facts = solvane::viewer::reportFacts(reader, analysis).join('\n');
        // Seconds 1..5 at 48/(48+16); second 0 had no sound.
        QVERIFY2(facts.contains(QStringLiteral("Mean share of output 00: 75.0 %")),
                 qPrintable(facts));
        QVERIFY2(facts.contains(QStringLiteral("beat 10 Hz")), qPrintable(facts));
        QVERIFY2(facts.contains(QStringLiteral("length 0:00:06")), qPrintable(facts));

        const auto png = folder.path() / "report.png";
        QCOMPARE(report(session, png).status, 0);
        const QImage image(QString::fromStdString(png.string()));
        QVERIFY(!image.isNull());
        QVERIFY(image.width() > 1000);
    }

    // Catches a damaged session reported as if it were whole, one that is no session (a FIFO,
    // which must not be waited on) or an unwritable output that crashes, succeeds or says
    // nothing useful.
    void damageIsSaidAndWhatIsNoSessionFailsWithStatus1() {
        const solvane::testing::TempFolder folder;
        const auto session = writeSession(folder.path());
        std::filesystem::resize_file(session, std::filesystem::file_size(session) - 100);
        const auto pdf = folder.path() / "report.pdf";
        QCOMPARE(report(session, pdf).status, 0);
        solvane::viewer::SessionReader reader(session);
        solvane::viewer::SessionAnalysis analysis;
        analysis.update(reader);
        const QString facts = solvane::viewer::reportFacts(reader, analysis).join('\n');
        QVERIFY2(facts.contains(QStringLiteral("last 1 second are missing")), qPrintable(facts));

        const auto fifo = folder.path() / "fifo.edf";
        QCOMPARE(::mkfifo(fifo.c_str(), 0644), 0);
        Run run = report(fifo, pdf);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.errors.contains(QStringLiteral("is a FIFO")), qPrintable(run.errors));

        run = report(session, folder.path() / "no such folder" / "report.png");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.errors.contains(QStringLiteral("cannot be written")), qPrintable(run.errors));

        // An output that is a FIFO held the report for ever.
        const auto fifoOutput = folder.path() / "fifo.pdf";
        QCOMPARE(::mkfifo(fifoOutput.c_str(), 0644), 0);
        run = report(session, fifoOutput);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.errors.contains(QStringLiteral("is a FIFO, not a plain file")),
                 qPrintable(run.errors));
    }

    // Catches a window that ended with an uncaught error a second after its folder could no
    // longer be listed (permissions taken away, the folder removed) instead of saying so.
    void folderThatCannotBeListedAnyMoreIsSaid() {
        const solvane::testing::TempFolder folder;
        const auto sessions = folder.path() / "sessions";
        std::filesystem::create_directory(sessions);
        writeSession(sessions);
        solvane::viewer::ViewerWindow window(sessions);
        std::filesystem::remove_all(sessions);
        window.follow();
        QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("cannot be read")),
                 qPrintable(window.statusBar()->currentMessage()));
    }
};

QTEST_MAIN(ViewerReport)
#include "ReportTest.moc"
