// The main window's run control with the fake device library: the load handler, Start and
// Stop through the button, closing the window during a run, termination signals, the run-time
// error path, and the reports for a refused setting, an unwritable settings file and a missing
// library.

#include "app/frmMain.h"
#include "app/TerminationSignals.h"
#include "config/processINIFile.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>

using solvane::frmMain;
using solvane::KardemoDLL;
using solvane::Settings;
using solvane::settings;
using solvane::WindowEventLoop;
using solvane::testing::FakeKardemo;
using solvane::testing::FakePoll;
using solvane::testing::TempFolder;
namespace processINIFile = solvane::processINIFile;

namespace {

QStringList callNamesWithoutPolls() {
    QStringList names;
    for (const std::string& name : FakeKardemo::instance().callNamesWithoutPolls())
        names << QString::fromStdString(name);
    return names;
}

QStringList lastOf(const QStringList& list, int count) {
    return list.mid(list.size() - count);
}

std::string goldenNewFile() {
    std::ifstream in(std::string(qgetenv("SOLVANE_TEST_DATA").constData()) + "/solvane-new.ini",
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

class frmMainTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadSetsTheCaptionAndWritesTheSettingsFile();
    void spaceStartsARunAndTheButtonStopsIt();
    void inputDuringABurstIsActedOnInThePassThatReadsIt_data();
    void inputDuringABurstIsActedOnInThePassThatReadsIt();
    void aRunEndsTheOrderlyWayOnACloseOrASignal_data();
    void aRunEndsTheOrderlyWayOnACloseOrASignal();
    void aSignalWhileIdleEndsTheProgramAtOnce();
    void aSignalWhileAMessageBoxIsOpenEndsTheProgram();
    void aRunTimeErrorSilencesTerminatesAndEndsTheProgram();
    void aRefusedSettingEndsTheLoadWithTheFileUntouched();
    void aSettingsFileThatCannotBeWrittenIsReported();
    void aLibraryThatCannotBeLoadedLeavesTheWindowIdle();
    void optionsAppliesTheChannelSelectionWhenTheDialogCloses();

private:
    /// A window on the fake library that records its messages and program end; given
    /// `signalsCaught`, it takes the termination signals as the program does.
    std::unique_ptr<frmMain> makeWindow(std::unique_ptr<KardemoDLL> device = nullptr,
                                        solvane::TerminationSignals* signalsCaught = nullptr);

    std::unique_ptr<TempFolder> folder_;
    QStringList messages_;
    QList<int> exitCodes_;
};

void frmMainTest::init() {
    FakeKardemo::instance().reset();
    settings = Settings{};
    folder_ = std::make_unique<TempFolder>();
    processINIFile::SetProgramFolder(folder_->path());
    messages_.clear();
    exitCodes_.clear();
}

void frmMainTest::cleanup() {
    FakeKardemo::instance().reset();
    folder_.reset();
}

std::unique_ptr<frmMain> frmMainTest::makeWindow(std::unique_ptr<KardemoDLL> device,
                                                 solvane::TerminationSignals* signalsCaught) {
    if (!device)
        device = std::make_unique<KardemoDLL>(FakeKardemo::functions());
    auto window = std::make_unique<frmMain>(std::move(device));
    if (signalsCaught != nullptr)
        connect(signalsCaught, &solvane::TerminationSignals::received, window.get(),
                &frmMain::onTerminationSignal);
    window->setMessageBoxHandler([this](const QString& text) { messages_ << text; });
    window->setProgramEndHandler([this](int code) { exitCodes_ << code; });
    return window;
}

void frmMainTest::loadSetsTheCaptionAndWritesTheSettingsFile() {
    auto window = makeWindow();
    QVERIFY(window->Form_Load());
    QCOMPARE(window->windowTitle(), QStringLiteral("Solvane by Kardemo v" SOLVANE_VERSION));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(qAbs(window->geometry().center().x() - screen.center().x()) <= 1 &&
                 qAbs(window->geometry().center().y() - screen.center().y()) <= 1,
             "the window opens centred on the screen");
    QCOMPARE(folder_->read("solvane.ini"), goldenNewFile());
    QCOMPARE(window->cmdAction()->text(), QStringLiteral("Start"));
    QVERIFY(window->cmdOptions()->isEnabled());
    QVERIFY(messages_.isEmpty());
}

void frmMainTest::spaceStartsARunAndTheButtonStopsIt() {
    auto window = makeWindow();
    QVERIFY(window->Form_Load());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget(), window->cmdAction());

    FakeKardemo& fake = FakeKardemo::instance();
    fake.activeComPortResult = 6;
    bool runningStateSeen = false;
    fake.onPoll = [&](uint64_t poll) {
        if (poll == 1) {
            runningStateSeen = window->cmdAction()->text() == QStringLiteral("Stop") &&
                               !window->cmdOptions()->isEnabled();
            QMetaObject::invokeMethod(window->cmdAction(), "click", Qt::QueuedConnection);
        }
    };
    QTest::keyClick(window->windowHandle(), Qt::Key_Space);

    QVERIFY(runningStateSeen);
    QCOMPARE(fake.polls, 2U);
    QCOMPARE(lastOf(callNamesWithoutPolls(), 5),
             (QStringList{"InitialiseDSU", "SendCommandToDSU", "SendCommandToDSU", "ActiveComPort",
                          "TerminateDSU"}));
    QCOMPARE(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    QCOMPARE(window->cmdAction()->text(), QStringLiteral("Start"));
    QVERIFY(window->cmdOptions()->isEnabled());
    QVERIFY(folder_->read("solvane.ini").find("\nActiveComPort= 6\n") != std::string::npos);
    QVERIFY(window->isVisible());
    QVERIFY(exitCodes_.isEmpty());
}

// A key or a click that comes while the library has a packet at every poll (a burst, or
// Speed = 0), with the clock moving 100 us a poll. The input is read from a socket by a
// notifier and queued for the window, as the platform reads and queues what the display
// connection brings. Catches input handed to the window only by the pass after the one that
// read it (about 23 ms at Speed = 0), and passes spaced on a clock other than the window's.
void frmMainTest::inputDuringABurstIsActedOnInThePassThatReadsIt_data() {
    QTest::addColumn<bool>("click"); // else the Space key
    QTest::newRow("Space") << false;
    QTest::newRow("click") << true;
}

void frmMainTest::inputDuringABurstIsActedOnInThePassThatReadsIt() {
    QFETCH(bool, click);
    using Platform = QWindowSystemInterface;
    auto window = makeWindow();
    QVERIFY(window->Form_Load());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    int64_t now = 0; // us
    window->setClock([&now] { return now; });

    int display[2] = {-1, -1};
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, display), 0);
    QSocketNotifier reader(display[0], QSocketNotifier::Read);
    QWindow* target = window->windowHandle();
    const QPointF button = QRectF(window->cmdAction()->geometry()).center();
    connect(&reader, &QSocketNotifier::activated, this, [&] {
        char byte = 0;
        QCOMPARE(::read(display[0], &byte, 1), 1);
        if (click) {
            const QPointF global = target->mapToGlobal(button);
            Platform::handleMouseEvent<Platform::AsynchronousDelivery>(
                target, button, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
            Platform::handleMouseEvent<Platform::AsynchronousDelivery>(
                target, button, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
        } else {
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                Platform::handleKeyEvent<Platform::AsynchronousDelivery>(
                    target, type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        }
    });

    constexpr int64_t PollMicroseconds = 100;
    constexpr uint64_t InputPoll = 500;
    int64_t came = -1;
    int64_t actedOn = -1;
    FakeKardemo& fake = FakeKardemo::instance();
    fake.pollScript = [](uint64_t) {
        return FakePoll{0, 1, {512, 512, 512, 512, 512, 512, 512, 512}};
    };
    fake.onPoll = [&](uint64_t poll) {
        now += PollMicroseconds;
        if (poll == InputPoll) {
            QCOMPARE(::write(display[1], "k", 1), 1);
            came = now;
        }
        if (poll == InputPoll + 10000) // a second later: the input was lost
            window->cmdAction()->click();
    };
    fake.onCall = [&](const std::string& name) {
        if (name == "SendCommandToDSU" && came >= 0 && actedOn < 0 &&
            fake.calls.back().texts == std::vector<std::string>{"WB0000"})
            actedOn = now;
    };
    window->cmdAction()->click();
    ::close(display[0]);
    ::close(display[1]);

    QVERIFY(came >= 0);
    QVERIFY(actedOn >= 0);
    QVERIFY2(actedOn - came <= WindowEventLoop::SourcesPassMicroseconds + PollMicroseconds,
             qPrintable(QStringLiteral("acted on %1 us after it came").arg(actedOn - came)));
    const std::vector<std::string> commands = fake.commands();
    QVERIFY(commands.size() >= 2);
    QCOMPARE(std::vector<std::string>(commands.end() - 2, commands.end()),
             (std::vector<std::string>{"WB0000", "WB0100"}));
    QCOMPARE(window->cmdAction()->text(), QStringLiteral("Start"));
}

// The close button, or a signal raised inside a poll or inside InitialiseDSU (when no event pass
// has run yet): each is acted on in the next event pass, and the run ends the orderly way; after
// a signal the program then ends with 128 + the signal's number.
void frmMainTest::aRunEndsTheOrderlyWayOnACloseOrASignal_data() {
    QTest::addColumn<int>("signalNumber"); // 0: the window's close button
    QTest::addColumn<QString>("during");
    QTest::addColumn<unsigned>("polls");
    QTest::newRow("close") << 0 << "GetP3Data" << 4U;
    QTest::newRow("SIGTERM") << SIGTERM << "GetP3Data" << 3U;
    QTest::newRow("SIGHUP") << SIGHUP << "GetP3Data" << 3U;
    QTest::newRow("SIGINT") << SIGINT << "GetP3Data" << 3U;
    QTest::newRow("SIGTERM during set-up") << SIGTERM << "InitialiseDSU" << 1U;
}

void frmMainTest::aRunEndsTheOrderlyWayOnACloseOrASignal() {
    QFETCH(int, signalNumber);
    QFETCH(QString, during);
    QFETCH(unsigned, polls);
    solvane::TerminationSignals signalsCaught;
    auto window = makeWindow(nullptr, &signalsCaught);
    QVERIFY(window->Form_Load());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    FakeKardemo& fake = FakeKardemo::instance();
    fake.activeComPortResult = 4;
    fake.pollScript = [](uint64_t) {
        return FakePoll{0, 1, {512, 512, 512, 512, 512, 512, 512, 512}};
    };
    fake.onCall = [&](const std::string& name) {
        if (QString::fromStdString(name) != during || fake.polls + 1 != polls)
            return;
        if (signalNumber != 0)
            std::raise(signalNumber);
        else
            QMetaObject::invokeMethod(window.get(), "close", Qt::QueuedConnection);
    };
    window->cmdAction()->click();

    QCOMPARE(fake.polls, polls);
    QCOMPARE(
        lastOf(callNamesWithoutPolls(), 4),
        (QStringList{"SendCommandToDSU", "SendCommandToDSU", "ActiveComPort", "TerminateDSU"}));
    QCOMPARE(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    QVERIFY(folder_->read("solvane.ini").find("\nActiveComPort= 4\n") != std::string::npos);
    QVERIFY(!window->isVisible());
    QCOMPARE(exitCodes_, signalNumber != 0 ? QList<int>{128 + signalNumber} : QList<int>{});
    QVERIFY(messages_.isEmpty());
}

void frmMainTest::aSignalWhileIdleEndsTheProgramAtOnce() {
    solvane::TerminationSignals signalsCaught;
    auto window = makeWindow(nullptr, &signalsCaught);
    QVERIFY(window->Form_Load());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const std::string before = folder_->read("solvane.ini");

    std::raise(SIGTERM);
    std::raise(SIGINT); // a second signal changes nothing
    QCoreApplication::processEvents();

    QCOMPARE(exitCodes_, QList<int>{128 + SIGTERM});
    QVERIFY(!window->isVisible());
    QVERIFY(FakeKardemo::instance().calls.empty());
    QCOMPARE(folder_->read("solvane.ini"), before);
}

// A start that fails shows its message in a box with an event loop of its own; the signal ends
// that loop and the program, and the DSU that was never initialised is left alone.
void frmMainTest::aSignalWhileAMessageBoxIsOpenEndsTheProgram() {
    solvane::TerminationSignals signalsCaught;
    auto window = makeWindow(nullptr, &signalsCaught);
    QVERIFY(window->Form_Load());
    const std::string before = folder_->read("solvane.ini");
    FakeKardemo::instance().setComPortsStatus = -5;
    QEventLoop messageBox;
    window->setMessageBoxHandler([&](const QString& text) {
        messages_ << text;
        std::raise(SIGHUP);
        messageBox.exec();
    });
    window->setProgramEndHandler([&](int code) {
        exitCodes_ << code;
        messageBox.quit();
    });
    QTimer::singleShot(10000, &messageBox, [&] { messageBox.exit(1); }); // fail, do not hang
    window->cmdAction()->click();

    QCOMPARE(messages_, QStringList{"Com Port initialisation failure. RC = -5"});
    QCOMPARE(exitCodes_, QList<int>{128 + SIGHUP});
    QCOMPARE(FakeKardemo::instance().calls.back().name, std::string("SetComPorts"));
    QCOMPARE(folder_->read("solvane.ini"), before);
}

void frmMainTest::aRunTimeErrorSilencesTerminatesAndEndsTheProgram() {
    auto window = makeWindow();
    QVERIFY(window->Form_Load()); // AVEChannel1 = 1: slot 0 is analysed
    FakeKardemo& fake = FakeKardemo::instance();
    // Element 0 feeds slot 0, whose samples are kept in 16 bits: 40000 overflows.
    fake.pollScript = [](uint64_t n) {
        return FakePoll{0, 1, {n == 5 ? 40000 : 512, 512, 512, 512, 512, 512, 512, 512}};
    };
    const std::string fileBefore = folder_->read("solvane.ini");
    window->cmdAction()->click();

    QCOMPARE(fake.polls, 6U);
    QCOMPARE(lastOf(callNamesWithoutPolls(), 4), (QStringList{"InitialiseDSU", "SendCommandToDSU",
                                                              "SendCommandToDSU", "TerminateDSU"}));
    QCOMPARE(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    QCOMPARE(fake.calls.back().texts, std::vector<std::string>{"kardemo.SES"});
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(QStringLiteral("Overflow")), qPrintable(messages_[0]));
    QCOMPARE(exitCodes_, QList<int>{1});
    QCOMPARE(folder_->read("solvane.ini"), fileBefore);
}

void frmMainTest::aRefusedSettingEndsTheLoadWithTheFileUntouched() {
    const std::string before = "[Kardemo]\nDSUSampleRate=300\n; mine\n";
    folder_->write("solvane.ini", before);
    auto window = makeWindow();
    QVERIFY(!window->Form_Load());
    QCOMPARE(messages_.size(), 1);
    for (const QString& part :
         {QString::fromStdString(processINIFile::SettingsFilePath().string()),
          QStringLiteral("DSUSampleRate"), QStringLiteral("\"300\""), QStringLiteral("1 to 256")})
        QVERIFY2(messages_[0].contains(part), qPrintable(messages_[0]));
    QCOMPARE(exitCodes_, QList<int>{1});
    QCOMPARE(folder_->read("solvane.ini"), before);
    QVERIFY(FakeKardemo::instance().calls.empty());
}

void frmMainTest::aSettingsFileThatCannotBeWrittenIsReported() {
    folder_->write("notAFolder", "x");
    processINIFile::SetProgramFolder(folder_->path() / "notAFolder");
    auto window = makeWindow();
    QVERIFY(window->Form_Load());
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(
        messages_[0].contains(QString::fromStdString(processINIFile::SettingsFilePath().string())),
        qPrintable(messages_[0]));
    QVERIFY2(messages_[0].contains(QStringLiteral("Not a directory")), qPrintable(messages_[0]));
    QCOMPARE(settings.DSUSampleRate, int16_t{256});
    QVERIFY(exitCodes_.isEmpty());
}

void frmMainTest::aLibraryThatCannotBeLoadedLeavesTheWindowIdle() {
    folder_->write("libkardemo.so", "not a library");
    auto window = makeWindow(std::make_unique<KardemoDLL>(folder_->path()));
    QVERIFY(window->Form_Load());
    window->cmdAction()->click();
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(
        messages_[0].contains(QString::fromStdString((folder_->path() / "libkardemo.so").string())),
        qPrintable(messages_[0]));
    QCOMPARE(window->cmdAction()->text(), QStringLiteral("Start"));
    QVERIFY(window->cmdOptions()->isEnabled());
    QCOMPARE(window->runController().RunActive, int16_t{0});
    QVERIFY(exitCodes_.isEmpty());
}

void frmMainTest::optionsAppliesTheChannelSelectionWhenTheDialogCloses() {
    auto window = makeWindow();
    QVERIFY(window->Form_Load());
    int dialogsShown = 0;
    window->setOptionsDialogHandler([&](QWidget*) {
        ++dialogsShown;
        settings.AVEChannel2 = 5;
    });
    QCOMPARE(window->analysis().selection().PositionInUse[4], int16_t{-1});
    window->cmdOptions()->click();
    QCOMPARE(dialogsShown, 1);
    QCOMPARE(window->analysis().selection().PositionInUse[4], int16_t{5});
}

QTEST_MAIN(frmMainTest)
#include "frmMainTest.moc"
