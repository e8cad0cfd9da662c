// The AVE command texts, and which commands the entrainment output sends at each update:
// only what changed, "WF" after every "WE", volumes from the shares of the previous update's
// balance, rounded toward minus infinity.

#include "ave/AveCommandSink.h"
#include "ave/EntrainmentCommands.h"
#include "ave/EntrainmentController.h"
#include "checked/RunTimeError.h"
#include "support/RecordingOutputs.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cstring>
#include <string>
#include <vector>

namespace solvane {
namespace {

using Commands = std::vector<std::string>;
using testing::RecordingSink;

TEST(CommandTexts, AreSixUpperCaseCharactersWithTheLowBitsOfTheValue) {
    struct Row {
        AveCommand command;
        const char* text;
    };
    const Row rows[] = {
        {VolumeCommand(0, 12), "WB000C"},
        {VolumeCommand(1, 6), "WB0106"},
        {VolumeCommand(0, 0), "WB0000"},
        {VolumeCommand(0, 300), "WB002C"},
        {VolumeCommand(1, 255), "WB01FF"},
        {VolumeCommand(0, -3), "WB00FD"},
        {BaseFrequencyCommand(210), "WE80D2"},
        {BaseFrequencyCommand(0), "WE8000"},
        {BaseFrequencyCommand(200), "WE80C8"},
        {BaseFrequencyCommand(-32768), "WE0000"},
        {BaseFrequencyCommand(32767), "WEFFFF"},
        {BaseFrequencyCommand(-1), "WE7FFF"},
        {SecondFrequencyCommand(210, 15), "WF80E1"},
        {SecondFrequencyCommand(200, 15), "WF80D7"},
        {SecondFrequencyCommand(210, 0), "WF80D2"},
        {SecondFrequencyCommand(32767, 32767), "WF7FFE"},
        {SecondFrequencyCommand(-32768, -32768), "WF8000"},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(row.command.text, row.text);
        EXPECT_EQ(std::strlen(row.command.text), 6U) << row.text;
    }
}

class Entrainment : public ::testing::Test {
protected:
    void configure(int16_t volume, int16_t frequency, int16_t desired, int16_t channelCount,
                   const float (&totals)[4]) {
        settings.AVEVolume = volume;
        settings.AVEFrequency = frequency;
        settings.AVEDesiredFrequency = desired;
        selection.ChannelCount = channelCount;
        for (int slot = 0; slot < 4; ++slot)
            state.SlotTotal[slot] = totals[slot];
    }
    Commands update() {
        controller.UpdateEntrainment();
        return sink.take();
    }
    RunTimeErrorKind faultOfUpdate() {
        try {
            controller.UpdateEntrainment();
        } catch (const RunTimeError& error) {
            return error.kind();
        }
        return RunTimeErrorKind::BadSetting; // stands for "nothing raised"
    }

    Settings settings;
    ChannelSelection selection;
    AnalysisState state;
    RecordingSink sink;
    EntrainmentController controller{settings, selection, state, sink};
};

struct UpdateRow {
    const char* name;
    int16_t volume;
    int16_t frequency;
    int16_t desired;
    int16_t channelCount;
    float totals[4];
    std::vector<Commands> perUpdate; ///< what each update in turn sends
};

class UpdatesFromProgramStart : public Entrainment,
                                public ::testing::WithParamInterface<UpdateRow> {};

TEST_P(UpdatesFromProgramStart, SendWhatChanged) {
    const UpdateRow& row = GetParam();
    configure(row.volume, row.frequency, row.desired, row.channelCount, row.totals);
    for (std::size_t i = 0; i < row.perUpdate.size(); ++i)
        EXPECT_EQ(update(), row.perUpdate[i]) << row.name << ", update " << i + 1;
}

const Commands DefaultFrequencies{"WE80D2", "WF80E1"};

INSTANTIATE_TEST_SUITE_P(
    Rows, UpdatesFromProgramStart,
    ::testing::Values(
        UpdateRow{"defaults", 12, 210, 15, 1, {30, 0, 0, 0}, {DefaultFrequencies, {}, {}}},
        UpdateRow{"both frequencies 0", 12, 0, 0, 1, {30, 0, 0, 0}, {{}, {}}},
        UpdateRow{"desired 0", 12, 210, 0, 1, {30, 0, 0, 0}, {{"WE80D2", "WF80D2"}, {}}},
        UpdateRow{"one channel never balances", 12, 0, 0, 1, {5, 0, 3, 0}, {{}, {}, {}}},
        UpdateRow{"slots 0 and 2 only",
                  12,
                  210,
                  15,
                  2,
                  {5, 0, 3, 0},
                  {DefaultFrequencies, {"WB000C"}, {}}},
        UpdateRow{"equal groups",
                  13,
                  210,
                  15,
                  2,
                  {4, 4, 0, 0},
                  {DefaultFrequencies, {"WB0006", "WB0106"}, {}}},
        UpdateRow{"volume above 255",
                  300,
                  210,
                  15,
                  2,
                  {5, 0, 0, 0},
                  {DefaultFrequencies, {"WB002C"}, {}}},
        // 1/3 and 1 - 1/3 in single precision give 3 x share just below 1 and 2.
        UpdateRow{"single-precision shares", 3, 0, 0, 2, {1, 2, 0, 0}, {{}, {"WB0001", "WB0101"}}},
        UpdateRow{"rounded toward minus infinity",
                  -5,
                  0,
                  0,
                  2,
                  {1, 1, 0, 0},
                  {{}, {"WB00FD", "WB01FD"}, {}}},
        UpdateRow{"all totals 0", 12, 0, 0, 3, {0, 0, 0, 0}, {{}, {}}}),
    [](const ::testing::TestParamInfo<UpdateRow>& row) {
        std::string name = row.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST_F(Entrainment, AChangedBaseFrequencyIsAlwaysFollowedByTheSecond) {
    configure(12, 210, 15, 1, {0, 0, 0, 0});
    EXPECT_EQ(update(), DefaultFrequencies);
    settings.AVEFrequency = 200;
    EXPECT_EQ(update(), (Commands{"WE80C8", "WF80D7"}));
    settings.AVEDesiredFrequency = 10;
    EXPECT_EQ(update(), (Commands{"WF80D2"}));
    EXPECT_EQ(update(), Commands{});
    EXPECT_EQ(state.LastBaseFrequency, 200);
    EXPECT_EQ(state.LastDesiredFrequency, 10);
}

TEST_F(Entrainment, SharesKeepTheirValuesWhenAllTotalsAreZero) {
    configure(100, 0, 0, 2, {0, 0, 0, 0});
    state.VolumeShare00 = 0.25F;
    state.VolumeShare01 = 0.75F;
    EXPECT_EQ(update(), (Commands{"WB0019", "WB014B"}));
    EXPECT_EQ(state.VolumeShare00, 0.25F);
    EXPECT_EQ(state.VolumeShare01, 0.75F);
}

TEST_F(Entrainment, AGroupWithoutAmplitudeGetsAShareOf0) {
    configure(12, 0, 0, 2, {0, 6, 0, 2});
    update();
    EXPECT_EQ(state.VolumeShare00, 0.0F);
    EXPECT_EQ(state.VolumeShare01, 1.0F);
    EXPECT_EQ(update(), (Commands{"WB010C"}));
}

TEST_F(Entrainment, SilencingSetsBothVolumesTo0AndDoesNotCountAsSent) {
    configure(13, 210, 15, 2, {4, 4, 0, 0});
    update();
    EXPECT_EQ(update(), (Commands{"WB0006", "WB0106"}));
    controller.SilenceEntrainment();
    EXPECT_EQ(sink.take(), (Commands{"WB0000", "WB0100"}));
    EXPECT_EQ(state.LastVolume00, 6);
    EXPECT_EQ(state.LastVolume01, 6);
    EXPECT_EQ(state.VolumeShare00, 0.5F);
    EXPECT_EQ(update(), Commands{}) << "the volumes recorded before the Stop still hold";
}

TEST_F(Entrainment, SilencingFromProgramStartSendsTheTwoCommandsOnly) {
    controller.SilenceEntrainment();
    EXPECT_EQ(sink.take(), (Commands{"WB0000", "WB0100"}));
    EXPECT_EQ(state.LastVolume00, 0);
    EXPECT_EQ(state.LastBaseFrequency, 0);
}

TEST_F(Entrainment, ArithmeticFaultsRaiseTheRunTimeError) {
    configure(32767, 0, 0, 1, {0, 0, 0, 0});
    state.VolumeShare00 = 1.0F;
    EXPECT_EQ(update(), (Commands{"WB00FF"})) << "32767 fits";

    state.VolumeShare00 = 2.0F;
    EXPECT_EQ(faultOfUpdate(), RunTimeErrorKind::Overflow);
    settings.AVEVolume = -20000;
    EXPECT_EQ(faultOfUpdate(), RunTimeErrorKind::Overflow);

    state.VolumeShare00 = 0.0F;
    settings.AVEVolume = 10;
    selection.ChannelCount = 2;
    state.SlotTotal[0] = FLT_MAX;
    state.SlotTotal[1] = FLT_MAX;
    EXPECT_EQ(faultOfUpdate(), RunTimeErrorKind::Overflow);
}

} // namespace
} // namespace solvane
