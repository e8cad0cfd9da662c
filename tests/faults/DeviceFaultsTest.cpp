// The real program path (main window, run controller, loader) on a device library that
// misbehaves: negative statuses from every function, odd packet counts, samples outside the
// 16-bit range, a poll that blocks, and library files that are missing, not a library or
// incomplete. Each case checks what the user is told, that the AVE output is silenced before
// the run or the program ends, and what became of the settings file.

#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "config/Settings.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "support/FakeLibraryFolder.h"
#include "support/TempFolder.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <dlfcn.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace solvane;
using solvane::testing::fakeKardemoCalls;
using solvane::testing::placeFakeKardemo;
using solvane::testing::TempFolder;

namespace {

// Written in the program's own format, so that the write-back at load leaves it unchanged
// byte for byte; the comment and the unknown key must survive every write.
const std::string SettingsFile = "; tuned for the clinic\n"
                                 "[Kardemo]\n"
                                 "DSUSampleRate= 256\n"
                                 "BMFFTBinSize= 3\n"
                                 "ActiveComPort= 4\n"
                                 "Operator=kept\n"
                                 "[AVE]\n"
                                 "AVEVolume= 12\n"
                                 "AVEFrequency= 210\n"
                                 "AVEDesiredFrequency= 15\n"
                                 "AVEChannel1= 1\n"
                                 "AVEChannel2= 5\n"
                                 "AVEChannel3= 0\n"
                                 "AVEChannel4= 0\n";

std::string withActivePort(const std::string& port) {
    std::string text = SettingsFile;
    const std::string line = "ActiveComPort= 4";
    text.replace(text.find(line), line.size(), "ActiveComPort=" + port);
    return text;
}

enum class LibraryFile { Faulty, Incomplete, Missing, NotALibrary };

// The program in a folder of its own: settings file, device library and its script, and the
// main window with its message boxes and its end recorded.
class Program {
public:
    Program(LibraryFile library, const std::string& script) {
        switch (library) {
        case LibraryFile::Faulty:
            placeFakeKardemo(folder, FAKE_KARDEMO, script);
            break;
        case LibraryFile::Incomplete:
            placeFakeKardemo(folder, INCOMPLETE_KARDEMO, script);
            break;
        case LibraryFile::NotALibrary:
            folder.write(KardemoDLL::FileName, "this is not a library\n");
            break;
        case LibraryFile::Missing:
            break;
        }
        folder.write("solvane.ini", SettingsFile);
        processINIFile::SetProgramFolder(folder.path());
        settings = Settings{};

        window = std::make_unique<frmMain>(std::make_unique<KardemoDLL>(folder.path()));
        window->setMessageBoxHandler([this](const QString& text) {
            messages.push_back(text);
            callsAtMessage = callsWithoutPolls();
        });
        window->setProgramEndHandler([this](int code) { exitCode = code; });
        window->setClock([this] { return now * 1000; }); // µs
    }
    ~Program() {
        window.reset();
        if (handle != nullptr)
            dlclose(handle);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool load() { return window->Form_Load(); }

    /// Clicks Stop in the event pass that follows poll `poll` (counted from 1).
    void stopAfterPoll(int64_t afterPoll) {
        stopPoll = afterPoll;
        hookPolls();
    }
    /// Moves the program's clock on by `milliseconds` in every poll; it stands still otherwise.
    void advanceClockPerPoll(int64_t milliseconds) {
        millisecondsPerPoll = milliseconds;
        hookPolls();
    }

    void hookPolls() {
        if (handle != nullptr)
            return;
        const std::string file = (folder.path() / KardemoDLL::FileName).string();
        // The same file as the program loads, so the same instance of the library.
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(handle != nullptr, dlerror());
        using SetHook = void (*)(void (*)(int64_t, void*), void*);
        auto setHook = reinterpret_cast<SetHook>(dlsym(handle, "FakeKardemoSetPollHook"));
        QVERIFY(setHook != nullptr);
        setHook(
            [](int64_t poll, void* context) {
                auto* self = static_cast<Program*>(context);
                self->now += self->millisecondsPerPoll;
                if (poll == self->stopPoll)
                    QTimer::singleShot(0, self->window.get(),
                                       [self] { self->window->cmdAction()->click(); });
            },
            this);
    }

    void clickAction() { window->cmdAction()->click(); }

    /// Every call the library saw, one line each.
    [[nodiscard]] QStringList calls() const {
        QStringList lines;
        for (const std::string& line : fakeKardemoCalls(folder))
            lines.push_back(QString::fromStdString(line));
        return lines;
    }
    [[nodiscard]] QStringList callsWithoutPolls() const {
        QStringList lines = calls();
        lines.removeIf([](const QString& line) { return line.startsWith("GetP3Data("); });
        return lines;
    }
    [[nodiscard]] int polls() const {
        return static_cast<int>(calls().size() - callsWithoutPolls().size());
    }
    [[nodiscard]] std::string settingsText() const { return folder.read("solvane.ini"); }
    [[nodiscard]] bool idle() const {
        return window->cmdAction()->text() == "Start" && window->cmdOptions()->isEnabled() &&
               window->runController().RunActive == 0;
    }

    TempFolder folder;
    std::unique_ptr<frmMain> window;
    QStringList messages;
    QStringList callsAtMessage;
    std::optional<int> exitCode;
    int64_t stopPoll = -1;
    int64_t now = 0; ///< ms
    int64_t millisecondsPerPoll = 0;
    void* handle = nullptr;
};

// The first `count` set-up calls as the library logs them.
QStringList setUpCalls(const Program& program, int count) {
    const QStringList calls = {
        QString::fromStdString("SetDebugMode(1, 1, " + program.folder.path().string() +
                               "/debug.txt)"),
        "SetRecordingLength(90)",
        "ReadDelay(100)",
        "SetDataTransferMode(0, \"\", \"\")",
        "SetDSUBaudRate(1, 9)",
        "SetDSUPacketLength(1, 14)",
        "SetComPorts(1, 1, 100, 4)",
        "SetScanWaitTime(1, 1500)",
        "InitialiseDSU(1)",
    };
    return calls.mid(0, count);
}

const QStringList Silencing = {"SendCommandToDSU(WB0000, 6)", "SendCommandToDSU(WB0100, 6)"};
const QStringList OrderlyShutDown = {"ActiveComPort(1)", "TerminateDSU(1, 1, kardemo.SES)"};
const QStringList EmergencyShutDown = Silencing + QStringList{"TerminateDSU(1, 1, kardemo.SES)"};

} // namespace

class DeviceFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void negativeStatusesDuringSetUp_data();
    void negativeStatusesDuringSetUp();
    void negativeStatusesDuringARun();
    void packetCounts_data();
    void packetCounts();
    void samplesOutsideSixteenBits_data();
    void samplesOutsideSixteenBits();
    void aPollThatBlocks();
    void aStallMidRun();
    void unusableLibraryFiles_data();
    void unusableLibraryFiles();
    void portCounts_data();
    void portCounts();
};

void DeviceFaultsTest::negativeStatusesDuringSetUp_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("setUpCallsMade");

    QTest::newRow("every call -7") << "Status=-7\n"
                                   << "Com Port initialisation failure. RC = -7" << 7;
    QTest::newRow("every call at the lowest status")
        << "Status=-2147483648\n"
        << "Com Port initialisation failure. RC = -2147483648" << 7;
    QTest::newRow("every call -1 but SetComPorts") << "Status=-1\nSetComPorts=0\n"
                                                   << "Invalid wait time" << 8;
}

// A start that fails: the message, no call after the failing one, the window left in Start
// failed until Stop, which silences the output without terminating a library never
// initialised; the settings file untouched.
void DeviceFaultsTest::negativeStatusesDuringSetUp() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    QFETCH(int, setUpCallsMade);
    Program program(LibraryFile::Faulty, script.toStdString());
    QVERIFY(program.load());

    program.clickAction();
    QCOMPARE(program.messages, QStringList{message});
    QCOMPARE(program.calls(), setUpCalls(program, setUpCallsMade));
    QCOMPARE(program.window->cmdAction()->text(), QStringLiteral("Stop"));
    QVERIFY(!program.window->cmdOptions()->isEnabled());

    program.clickAction();
    QCOMPARE(program.calls(), setUpCalls(program, setUpCallsMade) + Silencing);
    QVERIFY(program.idle());
    QCOMPARE(program.settingsText(), SettingsFile);
    QVERIFY(!program.exitCode);
}

// Only the two set-up results are examined: a run on a library that answers -7 everywhere
// else goes on, draws nothing (status -7 is no data, whatever the count), and stops the
// orderly way; the port the library reports (-7) is stored and nothing else in the file moves.
void DeviceFaultsTest::negativeStatusesDuringARun() {
    Program program(LibraryFile::Faulty, "Status=-7\nSetComPorts=0\nSetScanWaitTime=0\n");
    QVERIFY(program.load());
    program.stopAfterPoll(3);
    program.clickAction();

    QCOMPARE(program.polls(), 3);
    QCOMPARE(program.callsWithoutPolls(), setUpCalls(program, 9) + Silencing + OrderlyShutDown);
    QCOMPARE(program.window->analysis().state().ContactPacketCount, int16_t{0});
    QVERIFY(program.messages.isEmpty());
    QVERIFY(program.idle());
    QCOMPARE(program.settingsText(), withActivePort("-7"));
    QVERIFY(!program.exitCode);
}

void DeviceFaultsTest::packetCounts_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("draws");

    QTest::newRow("0") << 0 << 0;
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("lowest") << INT_MIN << 0;
    QTest::newRow("1") << 1 << 5;
    QTest::newRow("1000000") << 1000000 << 5;
    QTest::newRow("highest") << INT_MAX << 5;
}

// A count of 0 or less is a poll without data; any count above 0 is one packet, drawn once.
void DeviceFaultsTest::packetCounts() {
    QFETCH(int, count);
    QFETCH(int, draws);
    Program program(LibraryFile::Faulty,
                    "ActiveComPort=4\nPacketCount=" + std::to_string(count) + "\n");
    QVERIFY(program.load());
    program.stopAfterPoll(5);
    program.clickAction();

    QCOMPARE(program.polls(), 5);
    QCOMPARE(program.window->analysis().state().ContactPacketCount, static_cast<int16_t>(draws));
    QCOMPARE(program.callsWithoutPolls(), setUpCalls(program, 9) + Silencing + OrderlyShutDown);
    QVERIFY(program.messages.isEmpty());
    QVERIFY(program.idle());
    QCOMPARE(program.settingsText(), SettingsFile);
}

void DeviceFaultsTest::samplesOutsideSixteenBits_data() {
    QTest::addColumn<int>("sample");
    QTest::addColumn<bool>("overflows");

    QTest::newRow("32767") << 32767 << false;
    QTest::newRow("32768") << 32768 << true;
    QTest::newRow("-32768") << -32768 << false;
    QTest::newRow("-32769") << -32769 << true;
}

// A sample that does not fit 16 bits is an overflow in the middle of a run: before the
// message the output is silenced and the library terminated, then the program ends with a
// non-zero status; nothing is written to the settings file.
void DeviceFaultsTest::samplesOutsideSixteenBits() {
    QFETCH(int, sample);
    QFETCH(bool, overflows);
    Program program(LibraryFile::Faulty,
                    "ActiveComPort=4\nSampleAtPacket=3\nSample=" + std::to_string(sample) + "\n");
    QVERIFY(program.load());
    program.stopAfterPoll(5);
    program.clickAction();

    if (!overflows) {
        QCOMPARE(program.polls(), 5);
        QVERIFY(program.messages.isEmpty());
        QVERIFY(!program.exitCode);
        QVERIFY(program.idle());
        return;
    }
    QCOMPARE(program.polls(), 3);
    QCOMPARE(program.messages.size(), 1);
    QVERIFY2(program.messages[0].contains("Overflow"), qPrintable(program.messages[0]));
    QCOMPARE(program.callsAtMessage, setUpCalls(program, 9) + EmergencyShutDown);
    QCOMPARE(program.callsWithoutPolls(), program.callsAtMessage);
    QCOMPARE(program.exitCode.value_or(0), 1);
    QCOMPARE(program.settingsText(), SettingsFile);
}

// A library that takes 50 ms over every poll slows the loop down but changes nothing else:
// Stop is taken in the event pass after the poll in progress, and the run ends the orderly way.
void DeviceFaultsTest::aPollThatBlocks() {
    Program program(LibraryFile::Faulty, "ActiveComPort=4\nPollDelay=50\n");
    QVERIFY(program.load());
    program.stopAfterPoll(2);
    program.clickAction();

    QCOMPARE(program.polls(), 2);
    QCOMPARE(program.window->analysis().state().ContactPacketCount, int16_t{2});
    QCOMPARE(program.callsWithoutPolls(), setUpCalls(program, 9) + Silencing + OrderlyShutDown);
    QVERIFY(program.messages.isEmpty());
    QVERIFY(program.idle());
    QCOMPARE(program.settingsText(), SettingsFile);
}

// A library that stops delivering after 20 packets, polled every 100 ms: 5 s after the last
// packet the run ends the orderly way and the user is told why; the settings file is written
// back as it was. A new Start sets the DSU up again, and counts its 5 s from its own first
// poll, not from the last packet of the run before.
void DeviceFaultsTest::aStallMidRun() {
    Program program(LibraryFile::Faulty, "ActiveComPort=4\nDataPolls=20\n");
    QVERIFY(program.load());
    program.advanceClockPerPoll(100);
    const QStringList run = setUpCalls(program, 9) + Silencing + OrderlyShutDown;

    program.clickAction();
    QCOMPARE(program.polls(), 70); // the last packet came at 2.0 s, the stall is seen at 7.0 s
    QCOMPARE(program.window->analysis().state().ContactPacketCount, int16_t{20});
    QCOMPARE(program.messages, QStringList{RunController::StallMessage});
    QCOMPARE(program.callsAtMessage, run);
    QVERIFY(program.idle());
    QCOMPARE(program.settingsText(), SettingsFile);

    program.clickAction();
    QCOMPARE(program.polls(), 120);
    QCOMPARE(program.messages,
             QStringList({RunController::StallMessage, RunController::StallMessage}));
    QCOMPARE(program.callsWithoutPolls(), run + run);
    QVERIFY(program.idle());
    QVERIFY(!program.exitCode);
    QCOMPARE(program.settingsText(), SettingsFile);
}

void DeviceFaultsTest::unusableLibraryFiles_data() {
    QTest::addColumn<int>("library");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << static_cast<int>(LibraryFile::Missing) << "was found neither in";
    QTest::newRow("not a library")
        << static_cast<int>(LibraryFile::NotALibrary) << "could not be loaded";
    QTest::newRow("lacks ListActiveCOMPorts")
        << static_cast<int>(LibraryFile::Incomplete) << "lacks the function ListActiveCOMPorts";
}

// A library that cannot be used is named with the reason, every time Start is pressed; the
// window stays Idle, the program goes on, the settings file is untouched.
void DeviceFaultsTest::unusableLibraryFiles() {
    QFETCH(int, library);
    QFETCH(QString, reason);
    Program program(static_cast<LibraryFile>(library), "");
    QVERIFY(program.load());

    for (int attempt = 1; attempt <= 2; ++attempt) {
        program.clickAction();
        QCOMPARE(program.messages.size(), attempt);
        const QString& message = program.messages.back();
        QVERIFY2(message.contains(KardemoDLL::FileName), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        if (static_cast<LibraryFile>(library) != LibraryFile::Missing)
            QVERIFY2(message.contains(QString::fromStdString(program.folder.path().string())),
                     qPrintable(message));
        QVERIFY(program.idle());
    }
    QVERIFY(program.calls().empty());
    QVERIFY(!program.exitCode);
    QCOMPARE(program.settingsText(), SettingsFile);
}

void DeviceFaultsTest::portCounts_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("listed");

    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("0") << 0 << 1;
    QTest::newRow("500") << 500 << 501;
    QTest::newRow("600") << 600 << 501;
}

// The options dialog lists the slots 0..count of the library's answer, and no slot beyond
// the 501 that exist however large the count; the port after ActiveComPort (4) is selected.
void DeviceFaultsTest::portCounts() {
    QFETCH(int, count);
    QFETCH(int, listed);
    Program program(LibraryFile::Faulty, "PortCount=" + std::to_string(count) + "\n");
    QVERIFY(program.load());
    KardemoDLL device(program.folder.path());
    {
        frmOptions dialog(program.window.get(), device);
        const auto* ports = dialog.findChild<QComboBox*>(QStringLiteral("ComboCOMPorts"));
        QVERIFY(ports != nullptr);
        QCOMPARE(ports->count(), listed);
        if (listed > 0) {
            QCOMPARE(ports->itemText(listed - 1), QStringLiteral("Com%1").arg(listed));
            QCOMPARE(ports->currentText(), listed > 4 ? QStringLiteral("Com5") : QString());
        }
    }
    QCOMPARE(program.calls(), QStringList{"ListActiveCOMPorts()"});
    QVERIFY(program.messages.isEmpty());
    QCOMPARE(program.settingsText(), SettingsFile);
}

QTEST_MAIN(DeviceFaultsTest)
#include "DeviceFaultsTest.moc"
