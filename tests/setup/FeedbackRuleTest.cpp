// The set-up's warning against a run of the program's core: a choice of channels that the
// warning calls "no feedback" sends volumes that never follow the EEG (none at all, or one
// fixed volume on one output), and a choice it passes sends volumes on both outputs that
// change with the EEG. The run is the program's per-packet analysis on the bundled DSU's
// synthetic EEG.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "dsu/device/SimulatedDsu.h"
#include "setup/ChannelChoice.h"
#include "support/NullOutputs.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace solvane::setup {
namespace {

using testing::TempFolder;

// The main window as far as the run needs it: the map is not looked at, every volume command
// is kept.
class CoreRun : public testing::NoMap, public AveCommandSink {
public:
    void sendCommand(const char* command) override {
        const std::string text(command);
        if (text.rfind("WB0", 0) == 0)
            volumes[text[3] - '0'].insert(std::stoi(text.substr(4), nullptr, 16));
    }

    std::set<int> volumes[2]; ///< the volumes each output was sent
};

struct Choice {
    const char* name;
    std::array<int16_t, 4> positions;
    int16_t volume;
    const char* why; ///< part of the warning; empty when there is feedback
};

class WarningAgainstARun : public ::testing::TestWithParam<Choice> {};

// Catches a warning that lets through a choice whose run sends nothing or a fixed volume (one
// group empty, one channel, a volume too low to divide), and one that warns about a choice
// whose run does give feedback (channels in both groups, also the same position twice).
TEST_P(WarningAgainstARun, NoFeedbackMeansNoVolumeFollowsTheEeg) {
    const Choice& c = GetParam();
    ChannelChoice choice;
    choice.positions = c.positions;
    const FeedbackVerdict verdict = choice.verdict(c.volume);
    const bool expectFeedback = *c.why == '\0';
    EXPECT_EQ(verdict.feedback, expectFeedback) << verdict.why;
    EXPECT_NE(verdict.why.find(c.why), std::string::npos) << verdict.why;

    TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\nRecord = off\n");
    dsusim::SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);
    Settings settings = choice.appliedTo(Settings{256, 0, 0, c.volume, 210, 15, 0, 0, 0, 0});
    CoreRun run;
    PacketAnalysis analysis(settings, run, run);
    analysis.ApplyChannelSelection();
    int32_t packet[8] = {};
    int32_t count = 0;
    for (int n = 0; n < 40 * 257; ++n) {
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
        analysis.draw(packet);
    }
    dsu.terminate("");

    const std::set<int>& out00 = run.volumes[0];
    const std::set<int>& out01 = run.volumes[1];
    const bool bothSounded = out00.size() > out00.count(0) && out01.size() > out01.count(0);
    if (expectFeedback) {
        EXPECT_TRUE(bothSounded);
        EXPECT_GE(std::max(out00.size(), out01.size()), 2U) << "the volumes never changed";
    } else {
        EXPECT_FALSE(bothSounded);
        EXPECT_LE(out00.size(), 1U);
        EXPECT_LE(out01.size(), 1U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, WarningAgainstARun,
    ::testing::Values(Choice{"Default", {1, 0, 0, 0}, 12, "only one channel"},
                      Choice{"NoChannel", {0, 0, 0, 0}, 12, "no slot has a channel"},
                      Choice{"Group01Empty", {1, 0, 3, 0}, 12, "group 01 has no channel"},
                      Choice{"Group00Empty", {0, 2, 0, 4}, 12, "group 00 has no channel"},
                      Choice{"VolumeZero", {1, 2, 0, 0}, 0, "the volume is 0"},
                      Choice{"VolumeTooLow", {1, 2, 0, 0}, 1, "too low"},
                      Choice{"OnePerGroup", {1, 2, 0, 0}, 12, ""},
                      Choice{"FourChannels", {19, 21, 15, 17}, 12, ""},
                      Choice{"SamePositionTwice", {10, 10, 0, 0}, 12, ""},
                      Choice{"LowestVolumeThatDivides", {19, 21, 0, 0}, 2, ""}),
    [](const ::testing::TestParamInfo<Choice>& row) { return std::string(row.param.name); });

} // namespace
} // namespace solvane::setup
