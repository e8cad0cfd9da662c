// Whole runs through the run controller with the fake device library: which AVE commands
// reach the library, in which order, and after which packet.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "device/KardemoDLL.h"
#include "run/EventLoop.h"
#include "run/RunController.h"
#include "run/RunView.h"
#include "support/FakeKardemo.h"
#include "support/RunSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace solvane {
namespace {

using testing::FakeKardemo;
using testing::FakePoll;

struct Sent {
    std::string command;
    int afterPacket; ///< packets drawn before the command went out

    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    return out << sent.command << " after packet " << sent.afterPacket;
}

// The main window as far as a run needs it: draw goes to PacketAnalysis, commands go to the
// device library, and the Stop click is delivered in the event pass after a chosen packet.
class Window : public RunView, public EventLoop, public ScalpMapView, public AveCommandSink {
public:
    Window() {
        FakeKardemo::instance().reset();
        FakeKardemo::instance().pollScript = [](uint64_t n) {
            // Slots 0 and 1 carry the same 10 Hz sine.
            const double phase = 2.0 * std::numbers::pi * 10.0 * static_cast<double>(n) / 256;
            const auto sample = static_cast<int32_t>(std::lround(512 + 100 * std::sin(phase)));
            FakePoll poll;
            poll.status = 0;
            poll.count = 1;
            poll.packet = {sample, 500, 0, 0, sample, 500, 0, 0};
            return poll;
        };
    }

    /// A run from the Start click to the Stop click after packet `stopAfter` (counted over
    /// the window's life).
    void run(int stopAfter) {
        stopAfter_ = stopAfter;
        analysis.ApplyChannelSelection();
        controller.cmdActionClick();
    }

    void setActionCaption(std::string_view text) override { caption = text; }
    void setOptionsEnabled(bool) override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void draw(const int32_t (&packet)[8]) override {
        ++packets;
        analysis.draw(packet);
    }
    void processEvents() override {
        if (packets == stopAfter_ && controller.RunActive != 0)
            controller.cmdActionClick();
    }
    void processEventsUntil(int64_t) override { processEvents(); }
    void sleep(int64_t) override {}
    int64_t monotonicMicroseconds() override { return 0; } // every poll brings a packet

    void setFillColour(int, uint32_t) override {}
    void setFillTransparent(int) override {}
    void setTextColour(int, uint32_t) override {}
    void repaintNow() override {}

    void sendCommand(const char* command) override {
        sent.push_back({command, packets});
        device.sendCommand(command);
    }

    Settings settings = testing::runSettings(1);
    KardemoDLL device{FakeKardemo::functions()};
    PacketAnalysis analysis{settings, *this, *this};
    RunController controller{
        settings, device, *this, *this, [this] { analysis.SilenceEntrainment(); }, [] {}};
    int packets = 0;
    std::string caption;
    std::vector<std::string> messages;
    std::vector<Sent> sent;

private:
    int stopAfter_ = -1;
};

std::vector<std::string> textsOf(const std::vector<Sent>& sent) {
    std::vector<std::string> texts;
    for (const Sent& s : sent)
        texts.push_back(s.command);
    return texts;
}

// Every command reached the library as it was sent, six characters long.
void expectDelivered(const std::vector<Sent>& sent) {
    const FakeKardemo& fake = FakeKardemo::instance();
    EXPECT_EQ(fake.commands(), textsOf(sent));
    for (const auto& call : fake.calls) {
        if (call.name == "SendCommandToDSU") {
            EXPECT_EQ(call.numbers.at(0), 6) << call.texts.at(0);
        }
    }
}

TEST(EntrainmentRun, DefaultSettingsSendTheFrequenciesAfterTheFirstBlockAndSilenceAtStop) {
    Window window;
    window.run(600);
    EXPECT_EQ(
        window.sent,
        (std::vector<Sent>{{"WE80D2", 257}, {"WF80E1", 257}, {"WB0000", 600}, {"WB0100", 600}}));
    expectDelivered(window.sent);
    const std::vector<std::string> tail{"SendCommandToDSU", "SendCommandToDSU", "ActiveComPort",
                                        "TerminateDSU"};
    const auto calls = FakeKardemo::instance().callNamesWithoutPolls();
    ASSERT_GE(calls.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()), tail);
    EXPECT_EQ(window.caption, "Start");
}

TEST(EntrainmentRun, TwoChannelsBalanceFromTheSecondBlockAndASecondRunSendsOnlyWhatChanged) {
    Window window;
    window.settings.AVEVolume = 13;
    window.settings.AVEChannel2 = 2;
    window.run(600);
    EXPECT_EQ(window.sent, (std::vector<Sent>{{"WE80D2", 257},
                                              {"WF80E1", 257},
                                              {"WB0006", 514},
                                              {"WB0106", 514},
                                              {"WB0000", 600},
                                              {"WB0100", 600}}));

    // Between runs the base frequency changes; the partial block of the first run (86
    // packets) is completed by the second, whose first pass follows its 171st packet.
    window.settings.AVEFrequency = 200;
    window.sent.clear();
    FakeKardemo::instance().calls.clear();
    window.run(900);
    EXPECT_EQ(
        window.sent,
        (std::vector<Sent>{{"WE80C8", 771}, {"WF80D7", 771}, {"WB0000", 900}, {"WB0100", 900}}));
    expectDelivered(window.sent);
}

TEST(EntrainmentRun, StopAfterAFailedStartStillSilencesTheOutput) {
    for (const bool portFails : {true, false}) {
        Window window;
        FakeKardemo& fake = FakeKardemo::instance();
        (portFails ? fake.setComPortsStatus : fake.setScanWaitTimeStatus) = -2;
        window.run(-1);
        ASSERT_EQ(window.messages.size(), 1U);
        EXPECT_EQ(window.caption, "Stop");
        EXPECT_TRUE(window.sent.empty());

        window.controller.cmdActionClick();
        EXPECT_EQ(window.sent, (std::vector<Sent>{{"WB0000", 0}, {"WB0100", 0}}));
        expectDelivered(window.sent);
        EXPECT_EQ(window.caption, "Start");
    }
}

} // namespace
} // namespace solvane
