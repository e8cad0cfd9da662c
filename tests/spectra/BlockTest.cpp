// Blocks of DSUSampleRate + 1 packets through drawThePieChartsAndGenerateTones: which packet
// lands in which row, which one runs the analysis pass, when the entrainment output is
// updated, the 16-bit overflow check, and SumSpectrum.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "checked/RunTimeError.h"
#include "support/NullOutputs.h"
#include "support/RecordingOutputs.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace solvane {
namespace {

using testing::NoMap;
using testing::RecordingSink;

// Every update sends a "WE" when AVEFrequency changed since the last one, so giving each
// packet its own frequency makes every UpdateEntrainment call visible.
class Blocks : public ::testing::Test {
protected:
    Blocks() {
        settings.DSUSampleRate = 256;
        settings.AVEFrequency = 210;
        settings.AVEDesiredFrequency = 15;
    }

    void select(int16_t c1, int16_t c2, int16_t c3, int16_t c4) {
        settings.AVEChannel1 = c1;
        settings.AVEChannel2 = c2;
        settings.AVEChannel3 = c3;
        settings.AVEChannel4 = c4;
        analysis.ApplyChannelSelection();
    }

    // Packet p carries p in slot 0, -p in slot 1, 1000 + p in slot 2 and 2000 + p in slot 3.
    void feed(int p) {
        const int32_t packet[8] = {p, 1000 + p, 7, 7, -p, 2000 + p, 7, 7};
        settings.AVEFrequency = static_cast<int16_t>(p % 1000);
        const std::size_t before = sink.sent.size();
        analysis.drawThePieChartsAndGenerateTones(packet);
        for (std::size_t i = before; i < sink.sent.size(); ++i)
            if (sink.sent[i].starts_with("WE"))
                updatedAt.push_back(p);
    }

    Settings settings;
    NoMap map;
    RecordingSink sink;
    PacketAnalysis analysis{settings, map, sink};
    std::vector<int> updatedAt; ///< packets after which UpdateEntrainment ran
};

TEST_F(Blocks, Packets1To256FillRows0To255And257RunsThePassUnstored) {
    select(1, 0, 0, 0);
    const AnalysisState& s = analysis.state();
    for (int p = 1; p <= 256; ++p)
        feed(p);
    EXPECT_EQ(s.SampleCount, 256);
    for (int r = 0; r < 256; ++r) {
        ASSERT_EQ(s.SampleBuffer[0][r], r + 1) << "row " << r;
        ASSERT_EQ(s.SampleBuffer[1][r], -(r + 1)) << "row " << r;
        ASSERT_EQ(s.SampleBuffer[2][r], 1000 + r + 1) << "row " << r;
        ASSERT_EQ(s.SampleBuffer[3][r], 2000 + r + 1) << "row " << r;
    }
    EXPECT_TRUE(updatedAt.empty());

    feed(257);
    EXPECT_EQ(s.SampleCount, 0);
    EXPECT_EQ(s.SampleBuffer[0][256], 0) << "the triggering packet is not stored";
    EXPECT_EQ(s.SampleBuffer[0][0], 1);
    EXPECT_EQ(updatedAt, std::vector<int>{257});

    feed(258);
    EXPECT_EQ(s.SampleCount, 1);
    EXPECT_EQ(s.SampleBuffer[0][0], 258);
    EXPECT_EQ(s.SampleBuffer[3][0], 2258);
    EXPECT_EQ(s.SampleBuffer[0][1], 2) << "rows are overwritten, never cleared";

    for (int p = 259; p <= 3 * 257; ++p)
        feed(p);
    EXPECT_EQ(updatedAt, (std::vector<int>{257, 514, 771}));
}

TEST_F(Blocks, WithNoActiveSlotEveryPacketAfterTheFirstBlockUpdatesTheOutput) {
    select(0, 0, 0, 0);
    const AnalysisState& s = analysis.state();
    for (int p = 1; p <= 300; ++p)
        feed(p);
    EXPECT_EQ(s.SampleCount, 256);
    EXPECT_EQ(s.SampleBuffer[0][255], 256);
    EXPECT_EQ(s.SampleBuffer[0][0], 1) << "nothing is stored once the block is full";
    std::vector<int> expected;
    for (int p = 257; p <= 300; ++p)
        expected.push_back(p);
    EXPECT_EQ(updatedAt, expected);
    for (float total : s.SlotTotal)
        EXPECT_EQ(total, 0.0F);
}

TEST_F(Blocks, ASmallerSampleRateMakesShorterBlocks) {
    select(1, 0, 0, 0);
    settings.DSUSampleRate = 100;
    for (int p = 1; p <= 3 * 101; ++p)
        feed(p);
    EXPECT_EQ(updatedAt, (std::vector<int>{101, 202, 303}));
    EXPECT_EQ(analysis.state().SampleBuffer[0][99], 302);
    EXPECT_EQ(analysis.state().SampleBuffer[0][100], 0) << "a block of 100 uses rows 0..99";
}

TEST_F(Blocks, ASampleRateOutside1To256IsRefusedBeforeAnythingIsStored) {
    select(1, 0, 0, 0);
    for (const int16_t rate : {0, -1, 257, 32767}) {
        settings.DSUSampleRate = rate;
        try {
            feed(1);
            ADD_FAILURE() << "a rate of " << rate << " was used";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.kind(), RunTimeErrorKind::BadSetting) << rate;
        }
    }
    EXPECT_EQ(analysis.state().SampleCount, 0);
    EXPECT_TRUE(sink.sent.empty());
    settings.DSUSampleRate = 1;
    feed(1);
    feed(2);
    EXPECT_EQ(updatedAt, std::vector<int>{2}) << "a rate of 1 makes blocks of 2 packets";
}

struct OverflowRow {
    int element;
    int32_t value;
    bool overflows;
};

class SampleConversion : public ::testing::TestWithParam<OverflowRow> {};

TEST_P(SampleConversion, OverflowsOutside16Bits) {
    const OverflowRow row = GetParam();
    Settings settings;
    settings.DSUSampleRate = 256;
    NoMap map;
    RecordingSink sink;
    PacketAnalysis analysis(settings, map, sink);
    int32_t packet[8] = {};
    packet[row.element] = row.value;
    if (row.overflows) {
        try {
            analysis.drawThePieChartsAndGenerateTones(packet);
            ADD_FAILURE() << row.value << " was stored";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.kind(), RunTimeErrorKind::Overflow);
        }
        EXPECT_EQ(analysis.state().SampleCount, 0);
    } else {
        analysis.drawThePieChartsAndGenerateTones(packet);
        const int slot = row.element == 0 ? 0 : row.element == 4 ? 1 : row.element == 1 ? 2 : 3;
        EXPECT_EQ(analysis.state().SampleBuffer[slot][0], row.value);
        EXPECT_EQ(analysis.state().SampleCount, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SampleConversion,
    ::testing::Values(OverflowRow{0, 32768, true}, OverflowRow{4, 32768, true},
                      OverflowRow{1, 32768, true}, OverflowRow{5, 32768, true},
                      OverflowRow{0, -32769, true},
                      OverflowRow{5, std::numeric_limits<int32_t>::min(), true},
                      OverflowRow{0, -32768, false}, OverflowRow{4, 32767, false},
                      OverflowRow{1, -32768, false}, OverflowRow{5, 32767, false}),
    [](const ::testing::TestParamInfo<OverflowRow>& row) {
        return "element" + std::to_string(row.param.element) + "_" +
               (row.param.value < 0 ? "minus" : "") +
               std::to_string(std::abs(static_cast<long long>(row.param.value)));
    });

TEST(SampleConversionElsewhere, IgnoresThePacketElementsNoSlotReads) {
    Settings settings;
    settings.DSUSampleRate = 256;
    NoMap map;
    RecordingSink sink;
    PacketAnalysis analysis(settings, map, sink);
    const int32_t packet[8] = {1, 2, 100000, -100000, 3, 4, 100000, -100000};
    analysis.drawThePieChartsAndGenerateTones(packet);
    EXPECT_EQ(analysis.state().SampleCount, 1);
}

// Slots 1 and 2 carry sines of different amplitudes; the balance that the pass's update
// computes can only come out right if both totals were in place before it ran.
TEST_F(Blocks, TwoActiveSlotsAreBothAnalysedBeforeTheUpdate) {
    select(0, 4, 9, 0);
    analysis.state().SlotTotal[3] = 7.0F; // a slot analysed in an earlier run keeps its total
    settings.AVEFrequency = 210;
    const AnalysisState& s = analysis.state();
    for (int t = 0; t < 256; ++t) {
        const double phase = 2.0 * std::numbers::pi * 10 * t / 256;
        int32_t packet[8] = {};
        packet[4] = static_cast<int32_t>(std::lround(500 + 80 * std::sin(phase)));
        packet[1] = static_cast<int32_t>(std::lround(500 + 20 * std::sin(phase)));
        analysis.drawThePieChartsAndGenerateTones(packet);
    }
    const int32_t trigger[8] = {};
    analysis.drawThePieChartsAndGenerateTones(trigger);

    EXPECT_NEAR(s.SlotTotal[1], 80.0, 1.0);
    EXPECT_NEAR(s.SlotTotal[2], 20.0, 1.0);
    EXPECT_EQ(s.SlotTotal[0], 0.0F);
    EXPECT_EQ(s.SlotTotal[3], 7.0F);
    EXPECT_EQ(s.SampleCount, 0);
    const float group00 = s.SlotTotal[2] + s.SlotTotal[0];
    const float group01 = s.SlotTotal[3] + s.SlotTotal[1];
    EXPECT_EQ(s.VolumeShare00, group00 / (group01 + group00));
    EXPECT_EQ(s.VolumeShare01, 1.0F - s.VolumeShare00);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"WE80D2", "WF80E1"}))
        << "the shares take effect only at the next update";
}

TEST(SumSpectrum, IsZeroForAnEmptyRange) {
    double values[51] = {};
    for (double& v : values)
        v = 1.5;
    EXPECT_EQ(PacketAnalysis::SumSpectrum(5, 4, values), 0.0F);
    EXPECT_EQ(PacketAnalysis::SumSpectrum(100, -100, values), 0.0F);
    EXPECT_EQ(PacketAnalysis::SumSpectrum(1, 35, values), 52.5F);
    EXPECT_EQ(PacketAnalysis::SumSpectrum(50, 50, values), 1.5F);
}

TEST(SumSpectrum, RoundsEveryPartialSumToSinglePrecision) {
    double values[51] = {};
    values[1] = 1.0;
    for (int i = 2; i <= 35; ++i)
        values[i] = 1e-8; // below half a single-precision step at 1
    EXPECT_EQ(PacketAnalysis::SumSpectrum(1, 35, values), 1.0F);

    values[1] = 16777216.0; // 2^24: adding 1 rounds back to it, every time
    for (int i = 2; i <= 35; ++i)
        values[i] = 1.0;
    EXPECT_EQ(PacketAnalysis::SumSpectrum(1, 35, values), 16777216.0F);
    // In double precision the same values would sum to 2^24 + 34.
}

TEST(SumSpectrum, RaisesTheRunTimeErrorForBadIndicesAndValues) {
    double values[51] = {};
    auto kindOf = [&](int16_t first, int16_t last) {
        try {
            PacketAnalysis::SumSpectrum(first, last, values);
        } catch (const RunTimeError& error) {
            return error.kind();
        }
        return RunTimeErrorKind::BadSetting; // stands for "nothing raised"
    };
    EXPECT_EQ(kindOf(45, 51), RunTimeErrorKind::SubscriptOutOfRange);
    EXPECT_EQ(kindOf(-1, 3), RunTimeErrorKind::SubscriptOutOfRange);
    values[3] = 1e300; // beyond single precision: converting it unchecked would be undefined
    EXPECT_EQ(kindOf(1, 35), RunTimeErrorKind::Overflow);
    values[3] = static_cast<double>(FLT_MAX);
    values[4] = static_cast<double>(FLT_MAX);
    EXPECT_EQ(kindOf(1, 35), RunTimeErrorKind::Overflow);
    values[4] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(kindOf(4, 4), RunTimeErrorKind::InvalidOperation);
}

} // namespace
} // namespace solvane
