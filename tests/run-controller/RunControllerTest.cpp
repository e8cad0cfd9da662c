// Runs driven through the fake device library and a recording window: the set-up calls and
// their arguments, the set-up failures and the Stop that follows them, the loop's handling of
// polls and its pacing, the orderly shut-down, a close during a run and a run-time error.

#include "run/RunController.h"
#include "checked/RunTimeError.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "run/EventLoop.h"
#include "run/RunView.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace solvane {
namespace {

using testing::FakeCall;
using testing::FakeKardemo;
using testing::FakePoll;
using testing::TempFolder;

/// The main window and its event loop as the run controller sees them, recording what they
/// are asked to do.
class RecordingView : public RunView, public EventLoop {
public:
    void setActionCaption(std::string_view text) override { caption = std::string(text); }
    void setOptionsEnabled(bool enabled) override { optionsEnabled = enabled; }
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        callsAtMessage.push_back(FakeKardemo::instance().calls.size());
    }
    void draw(const int32_t (&packet)[8]) override {
        ++draws;
        justDrew = true;
        lastPacket.assign(packet, packet + 8);
        if (onDraw)
            onDraw(draws);
    }
    void processEvents() override {
        ++eventPasses;
        justDrew = false;
        while (!userEvents.empty() && userEvents.front() <= now) {
            eventDelays.push_back(now - userEvents.front());
            userEvents.erase(userEvents.begin());
        }
        if (onEvents)
            onEvents(eventPasses);
    }
    /// Waits on the clock until `deadline` or the next user event, whichever is first.
    void processEventsUntil(int64_t deadline) override {
        waits.push_back({now, deadline, 0});
        if (sleepMovesTheClock)
            now = std::max(now,
                           std::min(deadline, userEvents.empty() ? deadline : userEvents.front()));
        waits.back().end = now;
        processEvents();
    }
    void sleep(int64_t microseconds) override {
        if (justDrew) {
            sleepsAfterPacket.push_back(draws);
            EXPECT_EQ(microseconds, 1000);
        } else {
            ADD_FAILURE() << "a sleep without a packet";
        }
        if (sleepMovesTheClock)
            now += microseconds;
    }
    int64_t monotonicMicroseconds() override { return now; }

    std::string caption = "Start";
    bool optionsEnabled = true;
    std::vector<std::string> messages;
    std::vector<std::size_t> callsAtMessage; ///< library calls made when each message came
    int64_t now = 0; ///< the clock in µs; stands still unless a test or a sleep moves it
    bool sleepMovesTheClock = false;
    bool justDrew = false; ///< a packet was drawn since the last event pass
    struct Wait {
        int64_t from, deadline, end;
    };
    std::vector<Wait> waits;          ///< waiting event passes
    std::vector<int64_t> userEvents;  ///< when user events come, in order
    std::vector<int64_t> eventDelays; ///< from each user event's coming to its pass
    int draws = 0;
    std::vector<int32_t> lastPacket;
    int eventPasses = 0;
    std::vector<int> sleepsAfterPacket; ///< packets drawn when each pause began
    std::function<void(int drawCount)> onDraw;
    std::function<void(int passCount)> onEvents;
};

std::string describe(const FakeCall& call) {
    std::string text = call.name + "(";
    bool first = true;
    for (int32_t number : call.numbers) {
        text += (first ? "" : ", ") + std::to_string(number);
        first = false;
    }
    for (const std::string& argument : call.texts) {
        text += (first ? "\"" : ", \"") + argument + "\"";
        first = false;
    }
    return text + ")";
}

class RunControllerTest : public ::testing::Test {
protected:
    RunControllerTest() {
        fake.reset();
        processINIFile::SetProgramFolder(folder.path());
        settings = Settings{256, 0, 7, 12, 210, 15, 1, 0, 0, 0};
    }
    ~RunControllerTest() override {
        fake.reset();
        settings = Settings{};
    }

    /// The library's calls, polls left out, each as "Name(numbers, "texts")".
    [[nodiscard]] std::vector<std::string> callsWithoutPolls() const {
        std::vector<std::string> result;
        for (const FakeCall& call : fake.calls)
            if (call.name != "GetP3Data")
                result.push_back(describe(call));
        return result;
    }
    /// Presses Stop in the event pass that follows poll `n` (from 0).
    void stopAfterPoll(uint64_t n) {
        view.onEvents = [this, n](int pass) {
            if (static_cast<uint64_t>(pass) == n + 1)
                controller.cmdActionClick();
        };
    }
    /// The library calls (polls left out) of `runs` runs that were set up and ended the
    /// orderly way.
    static std::vector<std::string> orderlyRuns(int runs = 1) {
        const std::vector<std::string> run = {
            "SetDebugMode",   "SetRecordingLength", "ReadDelay",        "SetDataTransferMode",
            "SetDSUBaudRate", "SetDSUPacketLength", "SetComPorts",      "SetScanWaitTime",
            "InitialiseDSU",  "SendCommandToDSU",   "SendCommandToDSU", "ActiveComPort",
            "SaveSettings",   "TerminateDSU"};
        std::vector<std::string> calls;
        for (int i = 0; i < runs; ++i)
            calls.insert(calls.end(), run.begin(), run.end());
        return calls;
    }
    static void everyPollHasAPacket() {
        FakeKardemo::instance().pollScript = [](uint64_t n) {
            FakePoll answer{0, 1, {}};
            answer.packet[0] = static_cast<int32_t>(n);
            return answer;
        };
    }

    FakeKardemo& fake = FakeKardemo::instance();
    TempFolder folder;
    KardemoDLL device{FakeKardemo::functions()};
    RecordingView view;
    RunController controller{settings,
                             device,
                             view,
                             view,
                             [this] {
                                 device.sendCommand("WB0000");
                                 device.sendCommand("WB0100");
                             },
                             [this] {
                                 fake.calls.push_back({"SaveSettings", {}, {}});
                                 processINIFile::SaveSettings();
                             }};
};

TEST_F(RunControllerTest, StartSetsUpPollsAndStopShutsDownInOrder) {
    fake.activeComPortResult = 7;
    stopAfterPoll(0);
    controller.cmdActionClick();

    const std::string debugFile = folder.path().string() + "/debug.txt";
    const std::vector<std::string> expected = {
        "SetDebugMode(1, 1, \"" + debugFile + "\")",
        "SetRecordingLength(90)",
        "ReadDelay(100)",
        "SetDataTransferMode(0, \"\", \"\")",
        "SetDSUBaudRate(1, 9)",
        "SetDSUPacketLength(1, 14)",
        "SetComPorts(1, 1, 100, 7)",
        "SetScanWaitTime(1, 1500)",
        "InitialiseDSU(1)",
        "GetP3Data(8, 1, 1)",
        "SendCommandToDSU(6, \"WB0000\")",
        "SendCommandToDSU(6, \"WB0100\")",
        "ActiveComPort(1)",
        "SaveSettings()",
        "TerminateDSU(1, 1, \"kardemo.SES\")",
    };
    std::vector<std::string> all;
    for (const FakeCall& call : fake.calls)
        all.push_back(describe(call));
    EXPECT_EQ(all, expected);
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, 0);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RunControllerTest, ButtonAndOptionsDuringARun) {
    view.onEvents = [this](int pass) {
        if (pass == 1) {
            EXPECT_EQ(view.caption, "Stop");
            EXPECT_FALSE(view.optionsEnabled);
            EXPECT_EQ(controller.RunActive, -1);
            EXPECT_TRUE(controller.loopRunning());
        }
        if (pass == 3)
            controller.cmdActionClick();
    };
    controller.cmdActionClick();
    EXPECT_EQ(fake.polls, 3U) << "no poll may follow the Stop click";
    EXPECT_FALSE(controller.loopRunning());
}

// Stop and Start queued in one event pass (a quick double press): the Start comes before the
// loop has shut the DSU down and must not begin a second run inside the first.
TEST_F(RunControllerTest, AStartInTheEventPassOfAStopIsIgnored) {
    everyPollHasAPacket();
    view.onEvents = [this](int pass) {
        if (pass == 2) {
            controller.cmdActionClick(); // Stop
            controller.cmdActionClick(); // Start
        }
    };
    controller.cmdActionClick();

    EXPECT_EQ(fake.polls, 2U);
    EXPECT_EQ(fake.callNamesWithoutPolls(), orderlyRuns());
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, 0);

    view.onEvents = [this](int pass) {
        if (pass == 4)
            controller.cmdActionClick();
    };
    controller.cmdActionClick();
    EXPECT_EQ(fake.polls, 4U) << "a later Start runs as usual";
}

// A set-up call that fails: the message, no library call after it, no settings written, and
// the window left in "Start failed" until Stop, which silences without shutting down.
struct SetUpFailureRow {
    const char* name;
    int32_t setComPortsStatus;
    int32_t setScanWaitTimeStatus;
    const char* message;
    const char* lastCall;
};

void PrintTo(const SetUpFailureRow& row, std::ostream* out) {
    *out << row.name;
}

class SetUpFailure : public RunControllerTest,
                     public ::testing::WithParamInterface<SetUpFailureRow> {};

TEST_P(SetUpFailure, ReportsAndWaitsForStop) {
    const SetUpFailureRow& row = GetParam();
    fake.setComPortsStatus = row.setComPortsStatus;
    fake.setScanWaitTimeStatus = row.setScanWaitTimeStatus;
    controller.cmdActionClick();

    EXPECT_EQ(view.messages, std::vector<std::string>{row.message});
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls.back().name, row.lastCall);
    EXPECT_EQ(fake.polls, 0U);
    EXPECT_FALSE(std::filesystem::exists(processINIFile::SettingsFilePath()));
    EXPECT_EQ(view.caption, "Stop");
    EXPECT_FALSE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, -1);

    const std::size_t before = fake.calls.size();
    controller.cmdActionClick();
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, 0);
    std::vector<std::string> after;
    for (std::size_t i = before; i < fake.calls.size(); ++i)
        after.push_back(describe(fake.calls[i]));
    EXPECT_EQ(after, (std::vector<std::string>{"SendCommandToDSU(6, \"WB0000\")",
                                               "SendCommandToDSU(6, \"WB0100\")"}));
    EXPECT_EQ(view.messages.size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetUpFailure,
    ::testing::Values(SetUpFailureRow{"comPortsMinus5", -5, 0,
                                      "Com Port initialisation failure. RC = -5", "SetComPorts"},
                      SetUpFailureRow{"comPortsMinus1", -1, 0,
                                      "Com Port initialisation failure. RC = -1", "SetComPorts"},
                      SetUpFailureRow{"scanWaitTime", 3, -1, "Invalid wait time",
                                      "SetScanWaitTime"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

// A board that is missing fails SetComPorts; the number alone did not say so.
TEST_F(RunControllerTest, AComPortFailureQuotesWhatTheDsuLoggedAsItsCause) {
    fake.setComPortsStatus = -1111;
    const std::string cause = "SetComPorts: /dev/ttyUSB0: No such file or directory; is the "
                              "dongle plugged in?";
    fake.onCall = [&](const std::string& name) {
        if (name == "SetComPorts")
            folder.write("debug.txt", "SetDebugMode(1)\n" + cause + "\n");
    };
    controller.cmdActionClick();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Com Port initialisation failure. RC = "
                                                      "-1111 The DSU's log " +
                                                      folder.path().string() +
                                                      "/debug.txt says: \"" + cause + "\"."});
}

TEST_F(RunControllerTest, ARunGoesOnWhateverInitialiseDSUAnswers) {
    fake.initialiseStatus = -3;
    fake.setComPortsStatus = 2;
    everyPollHasAPacket();
    stopAfterPoll(4);
    controller.cmdActionClick();
    EXPECT_EQ(view.draws, 5);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(fake.calls.back().name, "TerminateDSU");
}

TEST_F(RunControllerTest, PollsWithoutDataNeitherDrawNorAdvanceThePacing) {
    // With DSUSampleRate 1 the first pause follows the third packet; polls without data in
    // between must not bring it forward.
    settings.DSUSampleRate = 1;
    const std::vector<FakePoll> script = {
        {0, 1, {11, 12, 13, 14, 15, 16, 17, 18}},
        {0, 0, {99, 99, 99, 99, 99, 99, 99, 99}},
        {1, 3, {98, 98, 98, 98, 98, 98, 98, 98}},
        {-1, 1, {97, 97, 97, 97, 97, 97, 97, 97}},
        {0, -2, {96, 96, 96, 96, 96, 96, 96, 96}},
        {0, 2, {21, 22, 23, 24, 25, 26, 27, 28}},
        {1, 0, {}},
        {0, 1, {31, 32, 33, 34, 35, 36, 37, 38}},
    };
    fake.pollScript = [&script](uint64_t n) { return script.at(n); };
    std::vector<std::vector<int32_t>> drawn;
    view.onDraw = [this, &drawn](int) { drawn.push_back(view.lastPacket); };
    stopAfterPoll(script.size() - 1);
    controller.cmdActionClick();

    EXPECT_EQ(fake.polls, script.size());
    EXPECT_EQ(view.eventPasses, static_cast<int>(script.size()));
    EXPECT_EQ(drawn, (std::vector<std::vector<int32_t>>{{11, 12, 13, 14, 15, 16, 17, 18},
                                                        {21, 22, 23, 24, 25, 26, 27, 28},
                                                        {31, 32, 33, 34, 35, 36, 37, 38}}));
    EXPECT_EQ(view.sleepsAfterPacket, std::vector<int>{3});
}

struct PacingRow {
    int16_t sampleRate;
    int packets;
    std::vector<int> pauses;
};

void PrintTo(const PacingRow& row, std::ostream* out) {
    *out << "DSUSampleRate " << row.sampleRate;
}

class Pacing : public RunControllerTest, public ::testing::WithParamInterface<PacingRow> {};

TEST_P(Pacing, PausesOnceEverySampleRatePlusOnePackets) {
    const PacingRow& row = GetParam();
    settings.DSUSampleRate = row.sampleRate;
    everyPollHasAPacket();
    stopAfterPoll(static_cast<uint64_t>(row.packets) - 1);
    controller.cmdActionClick();
    EXPECT_EQ(view.draws, row.packets);
    EXPECT_EQ(view.sleepsAfterPacket, row.pauses);
}

INSTANTIATE_TEST_SUITE_P(Rows, Pacing,
                         ::testing::Values(PacingRow{256, 800, {258, 515, 772}},
                                           PacingRow{1, 8, {3, 5, 7}},
                                           PacingRow{2, 10, {4, 7, 10}}));

// The waits after polls that bring no packet, on a clock that each poll and each wait move on,
// while a device makes packets at a cadence of its own and the user clicks now and then.
struct IdleRow {
    const char* name;
    int16_t sampleRate;  ///< DSUSampleRate
    double devicePeriod; ///< µs between the packets the device makes
    int burst;           ///< packets the device makes at once
};

void PrintTo(const IdleRow& row, std::ostream* out) {
    *out << row.name;
}

class IdleWait : public RunControllerTest, public ::testing::WithParamInterface<IdleRow> {};

TEST_P(IdleWait, WakesAFewDozenTimesASecondTakesEveryPacketAndAnswersAtOnce) {
    const IdleRow& row = GetParam();
    settings.DSUSampleRate = row.sampleRate;
    constexpr std::size_t Packets = 2560;
    constexpr int64_t PollCost = 20;         // µs
    constexpr int64_t LibraryKeeps = 31'250; // µs: 1/32 s
    std::vector<int64_t> madeAt(Packets);
    for (std::size_t k = 0; k < Packets; ++k)
        madeAt[k] = 5000 + static_cast<int64_t>(static_cast<double>(k / row.burst * row.burst) *
                                                row.devicePeriod);
    for (int64_t at = 37'000; at < madeAt.back(); at += 97'000)
        view.userEvents.push_back(at);
    view.sleepMovesTheClock = true;
    std::vector<int64_t> delays;
    fake.pollScript = [&](uint64_t) {
        view.now += PollCost;
        if (delays.size() < Packets && madeAt[delays.size()] <= view.now) {
            delays.push_back(view.now - madeAt[delays.size()]);
            return FakePoll{0, 1, {}};
        }
        return FakePoll{};
    };
    fake.onPoll = [&](uint64_t) {
        if (delays.size() == Packets && controller.RunActive != 0)
            controller.cmdActionClick();
    };
    controller.cmdActionClick();

    // A wait that keeps to DSUSampleRate (3 a second) leaves packets in the library too long.
    ASSERT_EQ(delays.size(), Packets);
    EXPECT_LE(*std::max_element(delays.begin(), delays.end()), LibraryKeeps);
    EXPECT_EQ(view.eventPasses, static_cast<int>(fake.polls)) << "one event pass per poll";
    // A fixed sleep, or a wait that does not end on an event, answers a click too late.
    ASSERT_FALSE(view.eventDelays.empty());
    EXPECT_LE(*std::max_element(view.eventDelays.begin(), view.eventDelays.end()), 20'000);
    // Each wait has a deadline ahead of it and within 1/32 s of the last wake-up, and the
    // waits that end at their deadline come 32 to 64 times in every second (the pacing pauses
    // are DSUSampleRate's): waking at each packet, or polling without a wait, fails this.
    std::vector<int> perSecond(static_cast<std::size_t>(madeAt.back() / 1'000'000));
    int64_t lastWake = 0;
    for (const RecordingView::Wait& wait : view.waits) {
        EXPECT_GT(wait.deadline, wait.from);
        EXPECT_LE(wait.deadline - lastWake, LibraryKeeps);
        EXPECT_LE(wait.end, wait.deadline);
        lastWake = wait.end;
        const auto second = static_cast<std::size_t>(wait.end / 1'000'000);
        if (wait.end == wait.deadline && second < perSecond.size())
            ++perSecond[second];
    }
    for (std::size_t second = 0; second < perSecond.size(); ++second) {
        EXPECT_GE(perSecond[second], 32) << "second " << second;
        EXPECT_LE(perSecond[second], 64) << "second " << second;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, IdleWait,
                         ::testing::Values(IdleRow{"steady", 256, 3906.25, 1},
                                           IdleRow{"rate3", 3, 3906.25, 1},
                                           IdleRow{"rate1", 1, 3906.25, 1},
                                           IdleRow{"deviceOnePercentFast", 256, 3867.2, 1},
                                           IdleRow{"burstsOfEight", 256, 3906.25, 8},
                                           IdleRow{"device128", 256, 7812.5, 1}),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

struct PortRow {
    int32_t reported;
    int16_t stored;
};

void PrintTo(const PortRow& row, std::ostream* out) {
    *out << row.reported;
}

class PortAfterStop : public RunControllerTest, public ::testing::WithParamInterface<PortRow> {};

TEST_P(PortAfterStop, IsStoredWhenItFitsAndTheFileIsRewritten) {
    fake.activeComPortResult = GetParam().reported;
    stopAfterPoll(0);
    controller.cmdActionClick();
    EXPECT_EQ(settings.ActiveComPort, GetParam().stored);
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.ActiveComPort, GetParam().stored);
    EXPECT_TRUE(view.messages.empty());
}

// 7 is the setting before the run: a port that does not fit leaves it.
INSTANTIATE_TEST_SUITE_P(Rows, PortAfterStop,
                         ::testing::Values(PortRow{4, 4}, PortRow{0, 0}, PortRow{-1, -1},
                                           PortRow{32767, 32767}, PortRow{-32768, -32768},
                                           PortRow{32768, 7}, PortRow{-32769, 7},
                                           PortRow{INT32_MAX, 7}));

TEST_F(RunControllerTest, StopFromInsideAPollEndsTheLoopAfterThatPoll) {
    everyPollHasAPacket();
    fake.onPoll = [this](uint64_t n) {
        if (n == 2)
            controller.cmdActionClick();
    };
    controller.cmdActionClick();
    EXPECT_EQ(fake.polls, 3U);
    EXPECT_EQ(view.draws, 3);
    EXPECT_EQ(fake.calls.back().name, "TerminateDSU");
}

TEST_F(RunControllerTest, AFailedSaveAtTheEndOfARunIsReportedAndTheDeviceStillClosed) {
    std::filesystem::remove_all(folder.path());
    {
        std::ofstream blocker(folder.path()); // a file where the folder was
    }
    fake.activeComPortResult = 5;
    stopAfterPoll(0);
    controller.cmdActionClick();
    EXPECT_EQ(fake.calls.back().name, "TerminateDSU");
    ASSERT_EQ(view.messages.size(), 1U);
    EXPECT_NE(view.messages[0].find(processINIFile::SettingsFilePath().string()),
              std::string::npos);
    EXPECT_EQ(settings.ActiveComPort, 5);
    std::filesystem::remove(folder.path());
    std::filesystem::create_directory(folder.path());
}

TEST_F(RunControllerTest, CloseDuringARunStopsTheOrderlyWay) {
    everyPollHasAPacket();
    fake.activeComPortResult = 9;
    bool mayCloseAtOnce = true;
    view.onEvents = [this, &mayCloseAtOnce](int pass) {
        if (pass == 3)
            mayCloseAtOnce = controller.requestClose();
    };
    controller.cmdActionClick();

    EXPECT_FALSE(mayCloseAtOnce);
    EXPECT_TRUE(controller.closePending());
    EXPECT_EQ(fake.polls, 3U);
    const std::vector<std::string> calls = callsWithoutPolls();
    const std::vector<std::string> tail(calls.end() - 5, calls.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"SendCommandToDSU(6, \"WB0000\")",
                                        "SendCommandToDSU(6, \"WB0100\")", "ActiveComPort(1)",
                                        "SaveSettings()", "TerminateDSU(1, 1, \"kardemo.SES\")"}));
    EXPECT_EQ(settings.ActiveComPort, 9);
    EXPECT_EQ(view.caption, "Start");
    // Once the loop has ended, the window may go.
    EXPECT_TRUE(controller.requestClose());
    EXPECT_EQ(callsWithoutPolls().size(), calls.size());
}

// Stop, then two closes, all in one event pass: one Stop's worth of commands, one shut-down.
TEST_F(RunControllerTest, StopAndClosesInOneEventPassSilenceOnce) {
    everyPollHasAPacket();
    view.onEvents = [this](int pass) {
        if (pass == 2) {
            controller.cmdActionClick();
            EXPECT_FALSE(controller.requestClose());
            EXPECT_FALSE(controller.requestClose());
        }
    };
    controller.cmdActionClick();

    EXPECT_TRUE(controller.closePending());
    EXPECT_EQ(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    const std::vector<std::string> names = fake.callNamesWithoutPolls();
    EXPECT_EQ(std::count(names.begin(), names.end(), "TerminateDSU"), 1);
}

TEST_F(RunControllerTest, CloseWhileIdleOrAfterAFailedStart) {
    EXPECT_TRUE(controller.requestClose());
    EXPECT_TRUE(fake.calls.empty());

    fake.setScanWaitTimeStatus = -1;
    controller.cmdActionClick();
    const std::size_t before = fake.calls.size();
    EXPECT_TRUE(controller.requestClose());
    EXPECT_EQ(fake.calls.size(), before) << "a DSU never initialised is left alone";
}

TEST_F(RunControllerTest, ARunTimeErrorInDrawSilencesAndTerminatesBeforeTheProgramEnds) {
    everyPollHasAPacket();
    view.onDraw = [](int draws) {
        if (draws == 3)
            throw RunTimeError(RunTimeErrorKind::Overflow, "draw");
    };
    EXPECT_THROW(controller.cmdActionClick(), RunTimeError);
    EXPECT_FALSE(controller.loopRunning());
    EXPECT_EQ(callsWithoutPolls().back(), "InitialiseDSU(1)") << "no shut-down step ran";

    controller.emergencyShutDown();
    const std::vector<std::string> calls = callsWithoutPolls();
    const std::vector<std::string> tail(calls.end() - 3, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"SendCommandToDSU(6, \"WB0000\")",
                                              "SendCommandToDSU(6, \"WB0100\")",
                                              "TerminateDSU(1, 1, \"kardemo.SES\")"}));
    EXPECT_EQ(controller.RunActive, 0);
    EXPECT_FALSE(std::filesystem::exists(processINIFile::SettingsFilePath()));

    controller.emergencyShutDown();
    EXPECT_EQ(callsWithoutPolls().size(), calls.size()) << "the library is closed only once";
}

TEST_F(RunControllerTest, EmergencyShutDownWithoutAnInitialisedDeviceCallsNothing) {
    controller.emergencyShutDown();
    EXPECT_TRUE(fake.calls.empty());

    fake.setComPortsStatus = -5;
    controller.cmdActionClick();
    const std::size_t afterFailedStart = fake.calls.size();
    controller.emergencyShutDown();
    EXPECT_EQ(fake.calls.size(), afterFailedStart);

    fake.setComPortsStatus = 0;
    view.onEvents = [this](int) { controller.cmdActionClick(); };
    controller.cmdActionClick(); // a run, stopped in its first event pass
    const std::size_t afterRun = fake.calls.size();
    EXPECT_EQ(fake.calls.back().name, "TerminateDSU");
    controller.emergencyShutDown();
    EXPECT_EQ(fake.calls.size(), afterRun);
}

TEST_F(RunControllerTest, ALibraryThatCannotBeLoadedIsReportedAndTheWindowIsIdle) {
    folder.write(KardemoDLL::FileName, "not a library");
    KardemoDLL broken(folder.path());
    RunController brokenController(
        settings, broken, view, view, [] {}, [] {});
    brokenController.cmdActionClick();

    ASSERT_EQ(view.messages.size(), 1U);
    EXPECT_NE(view.messages[0].find((folder.path() / KardemoDLL::FileName).string()),
              std::string::npos)
        << view.messages[0];
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(brokenController.RunActive, 0);
    EXPECT_EQ(view.eventPasses, 0);
}

// A run on a DSU that has gone quiet. Each poll of a timeline answers its packet (or none) and
// moves the clock to its time; the run must end on its own before the timeline runs out.
class Stall : public RunControllerTest {
protected:
    struct TimedPoll {
        int64_t at; ///< ms
        FakePoll answer;
    };
    static inline const FakePoll Nothing{};             // status 1, count 0
    static inline const FakePoll EmptyPacket{0, 0, {}}; // status 0, count 0
    static inline const FakePoll BadStatus{-7, 1, {}};  // a count, but a failed call
    static inline const FakePoll Packet{0, 1, {1, 2, 3, 4, 5, 6, 7, 8}};

    void timeline(std::vector<TimedPoll> polls) {
        fake.pollScript = [this, polls = std::move(polls)](uint64_t n) {
            if (n >= polls.size()) {
                ADD_FAILURE() << "the run went on past poll " << n;
                controller.cmdActionClick();
                return Nothing;
            }
            view.now = polls[n].at * 1000;
            return polls[n].answer;
        };
    }
};

TEST_F(Stall, FiveSecondsWithoutAFirstPacketEndTheRunTheOrderlyWayThenSaySo) {
    fake.activeComPortResult = 3;
    timeline({{0, Nothing},
              {1000, BadStatus},
              {2000, EmptyPacket},
              {3000, {0, -1, {}}},
              {4999, BadStatus},
              {5000, Nothing}});
    controller.cmdActionClick();

    EXPECT_EQ(fake.polls, 6U);
    EXPECT_EQ(view.eventPasses, 5) << "no event pass after the poll that ends the run";
    EXPECT_EQ(view.draws, 0);
    EXPECT_EQ(fake.callNamesWithoutPolls(), orderlyRuns());
    EXPECT_EQ(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    EXPECT_EQ(view.messages, std::vector<std::string>{RunController::StallMessage});
    EXPECT_EQ(view.callsAtMessage, std::vector<std::size_t>{fake.calls.size()})
        << "the message follows the shut-down";
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, 0);
    EXPECT_FALSE(controller.loopRunning());
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.ActiveComPort, 3) << "the settings were saved";
}

// Every failed start showed the same box; the reason and the log were named nowhere.
TEST_F(Stall, AfterARefusedStartSaysTheStatusAndWhereTheLogIs) {
    fake.initialiseStatus = -1523;
    fake.onCall = [this](const std::string& name) {
        if (name == "InitialiseDSU")
            folder.write("debug.txt", "SetDebugMode(1)\nInitialiseDSU failed (status -1523)\n\n");
    };
    timeline({{0, Nothing}, {5000, Nothing}});
    controller.cmdActionClick();
    EXPECT_EQ(view.messages,
              std::vector<std::string>{std::string(RunController::StallMessage) +
                                       " The DSU had refused to start (InitialiseDSU status "
                                       "-1523); its log " +
                                       folder.path().string() +
                                       "/debug.txt says why: \"InitialiseDSU failed (status "
                                       "-1523)\"."});
}

// What the message says of the debug log handed to the library. It named a debug.txt that
// could not be made, quoted nothing of what the library had logged as the cause (a full disk,
// an unplugged board), and must neither quote a log left from an earlier run nor wait on a
// FIFO put in the log's place.
struct LogCase {
    const char* name;
    int32_t initialiseStatus;
    const char* before;  ///< the debug file before the run, or nullptr for none
    const char* written; ///< what the library writes to it during the run, or nullptr
    bool fifo;           ///< the library leaves a FIFO of that name instead
    const char* said;    ///< the message after StallMessage; @ stands for the debug file
};

class StallLog : public Stall, public ::testing::WithParamInterface<LogCase> {};

const std::string LongLine = std::string(1000, 'x');
const std::string LongLineSaid = " The last line of the DSU's log @: \"" + std::string(200, 'x') +
                                 "... (cut; 1000 characters in all)\".";

TEST_P(StallLog, NamesTheLogOnlyWhereOneWasWritten) {
    const LogCase& c = GetParam();
    const std::filesystem::path log = folder.path() / "debug.txt";
    if (c.before != nullptr)
        folder.write("debug.txt", c.before);
    fake.initialiseStatus = c.initialiseStatus;
    fake.onCall = [&](const std::string& name) {
        if (name != "InitialiseDSU")
            return;
        if (c.written != nullptr)
            folder.write("debug.txt", c.written);
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
        }
    };
    timeline({{0, Nothing}, {5000, Nothing}});
    controller.cmdActionClick();
    std::string said = c.said;
    if (const std::size_t at = said.find('@'); at != std::string::npos)
        said.replace(at, 1, log.string());
    EXPECT_EQ(view.messages, std::vector<std::string>{RunController::StallMessage + said});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StallLog,
    ::testing::Values(
        LogCase{
            "RefusedStartWithoutALog", -1523, nullptr, nullptr, false,
            " The DSU had refused to start (InitialiseDSU status -1523); it wrote no log to @."},
        LogCase{
            "RefusedStartBesideALogFromBefore", -1523, "InitialiseDSU: an earlier run\n", nullptr,
            false,
            " The DSU had refused to start (InitialiseDSU status -1523); it wrote no log to @."},
        LogCase{"RefusedStartWithAFifoForItsLog", -1523, nullptr, nullptr, true,
                " The DSU had refused to start (InitialiseDSU status -1523); there is no log to "
                "say why: @ is no plain file."},
        LogCase{"StallQuotesTheCause", 0, nullptr,
                "InitialiseDSU: a board\nGetP3Data: the board's port /dev/ttyUSB0 has gone "
                "(dongle unplugged?)\n",
                false,
                " The last line of the DSU's log @: \"GetP3Data: the board's port /dev/ttyUSB0 has "
                "gone (dongle unplugged?)\"."},
        LogCase{"StallCutsALongLine", 0, nullptr, LongLine.c_str(), false, LongLineSaid.c_str()},
        LogCase{"StallWithoutALog", 0, "InitialiseDSU: an earlier run\n", nullptr, false, ""}),
    [](const ::testing::TestParamInfo<LogCase>& row) { return std::string(row.param.name); });

// As a user who may not write the folder of the debug file (root may write anywhere): the
// library could make no log there, and the message says so instead of naming the file.
TEST(DeviceLogOfAnOrdinaryUser, SaysWhyThereIsNone) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "locked");
    std::filesystem::permissions(folder.path() / "locked", std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_exec |
                                                               std::filesystem::perms::others_read |
                                                               std::filesystem::perms::others_exec);
    const std::filesystem::path log = folder.path() / "locked" / "debug.txt";
    int pipe[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(1);
        const DeviceLog::Reading reading = DeviceLog(log).read();
        const std::string said = RunController::stallMessage(-1022, log.string(), reading);
        (void)!::write(pipe[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[512];
    for (ssize_t got = 0; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(got));
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(said, std::string(RunController::StallMessage) +
                        " The DSU had refused to start (InitialiseDSU status -1022); there is no "
                        "log to say why: the folder " +
                        (folder.path() / "locked").string() +
                        " cannot be written (Permission denied).");
}

TEST_F(Stall, IsCountedFromTheLastPacket) {
    timeline({{0, Packet}, {1000, Packet}, {2000, Nothing}, {5999, BadStatus}, {6000, Nothing}});
    controller.cmdActionClick();

    EXPECT_EQ(fake.polls, 5U);
    EXPECT_EQ(view.draws, 2);
    EXPECT_EQ(view.messages, std::vector<std::string>{RunController::StallMessage});
    EXPECT_EQ(fake.callNamesWithoutPolls(), orderlyRuns());
}

TEST_F(Stall, DataResumingJustBeforeFiveSecondsKeepsTheRunGoing) {
    timeline({{0, Nothing},
              {4900, Packet},
              {9000, Nothing},
              {9899, Nothing},
              {14000, Packet},
              {18999, Nothing}});
    stopAfterPoll(5);
    controller.cmdActionClick();

    EXPECT_EQ(fake.polls, 6U);
    EXPECT_EQ(view.draws, 2);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(fake.callNamesWithoutPolls(), orderlyRuns());
}

TEST_F(Stall, ANewStartAfterAStallRunsAndCountsAfresh) {
    timeline({{0, Nothing},
              {5000, Nothing},
              // The second run: its first poll comes long after the first run's last packet.
              {20000, Nothing},
              {24999, Nothing},
              {25000, Packet},
              {25100, Packet}});
    view.onEvents = [this](int pass) {
        if (pass == 5) // after poll 5
            controller.cmdActionClick();
    };
    controller.cmdActionClick();
    ASSERT_EQ(view.messages.size(), 1U);
    ASSERT_EQ(view.caption, "Start");

    view.now = 20'000'000;
    controller.cmdActionClick();
    EXPECT_EQ(fake.polls, 6U);
    EXPECT_EQ(view.draws, 2);
    EXPECT_EQ(view.messages.size(), 1U) << "the second run ended by Stop, not by a stall";
    EXPECT_EQ(fake.callNamesWithoutPolls(), orderlyRuns(2));
    EXPECT_EQ(view.caption, "Start");
    EXPECT_TRUE(view.optionsEnabled);
    EXPECT_EQ(controller.RunActive, 0);
}

} // namespace
} // namespace solvane
