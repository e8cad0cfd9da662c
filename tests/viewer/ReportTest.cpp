// The report made without a window by solvane-view --report, on the offscreen platform.

#include "viewer/SessionFigures.h"

#include "analysis/PacketAnalysis.h"
#include "support/SessionFiles.h"
#include "support/TempFolder.h"

#include <QImage>
#include <QProcess>
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
                   QStringLiteral("-o"), QString::fromStdString(output.string()),
                   QStringLiteral("--note"), QStringLiteral("eyes closed, \"resting\"")});
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

/// A 6-second session: output 00 at 0x30, 01 at 0x10 from second 1; with the facts the
/// bundled DSU writes, or as an older one left it: no facts, the source's labels.
std::filesystem::path writeSession(const std::filesystem::path& folder, bool facts) {
    solvane::testing::SessionFiles writer(
        folder, "2026-12-08_14-30-05",
        [](int, long i) { return 512 + static_cast<int>(i % 7) * 10; }, "synthetic EEG, seed 3",
        {"EEG Synthetic 0", "EEG Synthetic 2", "Element 2", "Element 3", "EEG Synthetic 1",
         "EEG Synthetic 3"});
    if (facts) {
        solvane::session::SessionFacts written;
        written.source.kind = "synthetic";
        const int positions[] = {19, 21, 15, 17};
        const char* names[] = {"O1", "O2", "P3", "P4"};
        for (int s = 0; s < 4; ++s) {
            written.slot[s].element = solvane::PacketAnalysis::SlotElement[s];
            written.slot[s].position = positions[s];
            written.slot[s].positionName = names[s];
        }
        written.settings.volume = 60;
        writer.facts(written);
    }
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
    void pdfOfOnePageAndAnImage_data() {
        QTest::addColumn<bool>("facts");
        QTest::newRow("a session with its facts") << true;
        QTest::newRow("an old session: no facts, the source's labels") << false;
    }
    // Catches a report that is not written offscreen or is not a PDF of one page, an image
    // that is not written, and an old session that gives no report.
    void pdfOfOnePageAndAnImage() {
        QFETCH(bool, facts);
        const solvane::testing::TempFolder folder;
        const auto session = writeSession(folder.path(), facts);
        const auto pdf = folder.path() / "report.pdf";
        const Run run = report(session, pdf);
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        QFile file(QString::fromStdString(pdf.string()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QCOMPARE(bytes.count(QByteArrayLiteral("/Type /Page\n")) +
                     bytes.count(QByteArrayLiteral("/Type /Page\r")) +
                     bytes.count(QByteArrayLiteral("/Type /Page ")),
                 1);
        QVERIFY(bytes.contains("/Count 1"));

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
        const auto session = writeSession(folder.path(), true);
        std::filesystem::resize_file(session, std::filesystem::file_size(session) - 100);
        const auto pdf = folder.path() / "report.pdf";
        QCOMPARE(report(session, pdf).status, 0);
        solvane::viewer::SessionReader reader(session);
        solvane::viewer::SessionAnalysis analysis;
        analysis.update(reader);
        const auto notes = solvane::viewer::figuresOf(reader, analysis).notes;
        QVERIFY(std::any_of(notes.begin(), notes.end(), [](const std::string& note) {
            return note.find("last 1 second are missing") != std::string::npos;
        }));

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
};

QTEST_GUILESS_MAIN(ViewerReport)
#include "ReportTest.moc"
