// The electrode contact monitor and the channel selection, driven through PacketAnalysis with a
// map that records what it is told.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "checked/RunTimeError.h"
#include "support/NullOutputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace solvane {
namespace {

using solvane::testing::NoCommands;

constexpr uint32_t Green = 65280;
constexpr uint32_t Red = 255;
constexpr uint32_t Black = 0;
constexpr uint32_t White = 16777215;
constexpr uint32_t GreyedText = 0x0A0A0A;

struct MapCall {
    enum Kind { Fill, Transparent, Text, Repaint } kind;
    int element = -1;
    uint32_t colour = 0;
    bool operator==(const MapCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const MapCall& call) {
    static const char* const names[] = {"Fill", "Transparent", "Text", "Repaint"};
    return out << names[call.kind] << "(" << call.element << ", " << call.colour << ")";
}

class RecordingMap : public ScalpMapView {
public:
    void setFillColour(int element, uint32_t colour) override {
        calls.push_back({MapCall::Fill, element, colour});
    }
    void setFillTransparent(int element) override {
        calls.push_back({MapCall::Transparent, element, 0});
    }
    void setTextColour(int element, uint32_t colour) override {
        calls.push_back({MapCall::Text, element, colour});
    }
    void repaintNow() override { calls.push_back({MapCall::Repaint, -1, 0}); }

    std::vector<MapCall> calls;
};

using Packet = PacketAnalysis::Packet;

/// A packet whose four channel elements (0, 4, 1, 5) all carry `sample`; the others 512.
std::array<int32_t, 8> packetOf(int32_t sample) {
    return {sample, sample, 512, 512, sample, sample, 512, 512};
}

class ContactMonitor : public ::testing::Test {
protected:
    ContactMonitor() { settings.DSUSampleRate = 256; }

    void select(int16_t c1, int16_t c2 = 0, int16_t c3 = 0, int16_t c4 = 0) {
        settings.AVEChannel1 = c1;
        settings.AVEChannel2 = c2;
        settings.AVEChannel3 = c3;
        settings.AVEChannel4 = c4;
        analysis.ApplyChannelSelection();
    }
    void draw(const std::array<int32_t, 8>& values) {
        Packet packet;
        for (int i = 0; i < 8; ++i)
            packet[i] = values[i];
        analysis.draw(packet);
    }
    void drawTimes(int count, int32_t sample) {
        for (int i = 0; i < count; ++i)
            draw(packetOf(sample));
    }
    /// As after the first draw, so that the record holds only the contact monitor's calls.
    void greyAndForget() { analysis.FirstDrawDone = -1; }

    Settings settings;
    RecordingMap map;
    NoCommands commands;
    PacketAnalysis analysis{settings, map, commands};
};

// --- Channel selection ------------------------------------------------------------------------

struct SelectionRow {
    std::array<int16_t, 4> channels;
    int16_t count;
    std::vector<int16_t> used; ///< positions that must be in use
};

std::ostream& operator<<(std::ostream& out, const SelectionRow& row) {
    return out << row.channels[0] << "," << row.channels[1] << "," << row.channels[2] << ","
               << row.channels[3];
}

class ContactMonitorSelection : public ContactMonitor,
                                public ::testing::WithParamInterface<SelectionRow> {};

TEST_P(ContactMonitorSelection, BuildsMapCountAndPositionsInUseEveryTime) {
    const SelectionRow& row = GetParam();
    // Whatever was selected before must not linger: start from a full selection.
    select(21, 20, 19, 18);
    for (int repeat = 0; repeat < 3; ++repeat) {
        select(row.channels[0], row.channels[1], row.channels[2], row.channels[3]);
        const ChannelSelection& selection = analysis.selection();
        EXPECT_EQ(selection.ChannelCount, row.count);
        for (int slot = 0; slot < 4; ++slot)
            EXPECT_EQ(selection.ChannelMap[slot], row.channels[slot]);
        EXPECT_EQ(selection.ChannelMap[4], 0);
        for (int p = 1; p <= 21; ++p) {
            const bool used = std::find(row.used.begin(), row.used.end(), p) != row.used.end();
            EXPECT_EQ(selection.PositionInUse[p - 1], used ? p : -1) << "position " << p;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, ContactMonitorSelection,
                         ::testing::Values(SelectionRow{{1, 0, 0, 0}, 1, {1}},
                                           SelectionRow{{0, 0, 0, 0}, 0, {}},
                                           SelectionRow{{1, 21, 9, 13}, 4, {1, 21, 9, 13}},
                                           SelectionRow{{0, 7, 0, 7}, 2, {7}},
                                           SelectionRow{{5, 5, 5, 5}, 4, {5}}));

TEST_F(ContactMonitor, ChannelSettingsOutsideThePositionsAreIndexErrors) {
    for (const int16_t bad : {int16_t{22}, int16_t{-1}, int16_t{-32768}}) {
        settings.AVEChannel3 = bad;
        EXPECT_THROW(analysis.ApplyChannelSelection(), RunTimeError) << bad;
    }
    // Should one get past the selection, the counter's index is checked too.
    settings.AVEChannel3 = 0;
    analysis.ApplyChannelSelection();
    settings.AVEChannel1 = 22;
    EXPECT_THROW(draw(packetOf(0)), RunTimeError);
}

// --- Greying on the first draw -----------------------------------------------------------------

TEST_F(ContactMonitor, FirstDrawGreysUnusedPositionsInOrderAndOnlyOnce) {
    select(1, 9, 0, 9);
    draw(packetOf(512));

    std::vector<MapCall> expected;
    for (int i = 0; i < 21; ++i) {
        if (i == 0 || i == 8)
            continue;
        expected.push_back({MapCall::Transparent, i, 0});
        expected.push_back({MapCall::Text, i, GreyedText});
    }
    EXPECT_EQ(map.calls, expected);
    EXPECT_EQ(analysis.FirstDrawDone, -1);

    // Neither later packets nor a new selection grey again.
    map.calls.clear();
    select(2);
    drawTimes(100, 512);
    EXPECT_TRUE(map.calls.empty());

    // Only the load handler clears the flag.
    analysis.FirstDrawDone = 0;
    draw(packetOf(512));
    EXPECT_EQ(map.calls.size(), 40U);
}

// --- The contact window ------------------------------------------------------------------------

struct SampleRow {
    int32_t sample;
    bool outOfRange;
};

std::ostream& operator<<(std::ostream& out, const SampleRow& row) {
    return out << row.sample << (row.outOfRange ? " out" : " in");
}

class ContactMonitorSamples : public ContactMonitor,
                              public ::testing::WithParamInterface<SampleRow> {};

TEST_P(ContactMonitorSamples, CountsSamplesBelow5OrAbove1020) {
    select(3);
    draw(packetOf(GetParam().sample));
    EXPECT_EQ(analysis.state().OutOfRangeCount[3], GetParam().outOfRange ? 1 : 0);
    EXPECT_EQ(analysis.state().ContactPacketCount, 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, ContactMonitorSamples,
                         ::testing::Values(SampleRow{4, true}, SampleRow{5, false},
                                           SampleRow{512, false}, SampleRow{1020, false},
                                           SampleRow{1021, true}, SampleRow{0, true},
                                           SampleRow{-7, true}, SampleRow{1023, true}));

TEST_F(ContactMonitor, EachSlotReadsItsOwnPacketElement) {
    select(2, 4, 6, 8);
    const int slotElement[4] = {0, 4, 1, 5};
    const int slotPosition[4] = {2, 4, 6, 8};
    for (int slot = 0; slot < 4; ++slot) {
        analysis.state() = AnalysisState{};
        std::array<int32_t, 8> values{};
        values.fill(512);
        values[slotElement[slot]] = 1021;
        draw(values);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(analysis.state().OutOfRangeCount[slotPosition[other]], other == slot ? 1 : 0)
                << "slot " << slot << ", counter of slot " << other;
    }
    // Elements 2, 3, 6 and 7 belong to no slot.
    analysis.state() = AnalysisState{};
    draw({512, 512, 0, 0, 512, 512, 0, 0});
    for (const int p : slotPosition)
        EXPECT_EQ(analysis.state().OutOfRangeCount[p], 0);
}

struct VerdictRow {
    int outOfRange; ///< out-of-range samples in the window
    uint32_t fill;
    uint32_t text;
};

std::ostream& operator<<(std::ostream& out, const VerdictRow& row) {
    return out << row.outOfRange << " out of range";
}

class ContactMonitorVerdict : public ContactMonitor,
                              public ::testing::WithParamInterface<VerdictRow> {};

TEST_P(ContactMonitorVerdict, OnThe129thCallColoursClearsAndRepaints) {
    select(1);
    greyAndForget();
    drawTimes(GetParam().outOfRange, 1021);
    drawTimes(128 - GetParam().outOfRange, 512);
    EXPECT_TRUE(map.calls.empty()) << "nothing changes on the map while a window runs";
    EXPECT_EQ(analysis.state().ContactPacketCount, 128);
    EXPECT_EQ(analysis.state().OutOfRangeCount[1], GetParam().outOfRange);

    // The verdict's own packet is not examined, however bad.
    draw(packetOf(0));
    const std::vector<MapCall> expected{{MapCall::Fill, 0, GetParam().fill},
                                        {MapCall::Text, 0, GetParam().text},
                                        {MapCall::Repaint, -1, 0}};
    EXPECT_EQ(map.calls, expected);
    EXPECT_EQ(analysis.state().ContactPacketCount, 0);
    for (const int16_t counter : analysis.state().OutOfRangeCount)
        EXPECT_EQ(counter, 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, ContactMonitorVerdict,
                         ::testing::Values(VerdictRow{0, Green, Black},
                                           VerdictRow{63, Green, Black}, VerdictRow{64, Red, White},
                                           VerdictRow{128, Red, White}));

TEST_F(ContactMonitor, WindowsFollowEachOtherEvery129Calls) {
    select(1);
    greyAndForget();
    drawTimes(128, 0);
    draw(packetOf(512)); // verdict: red
    drawTimes(128, 512);
    draw(packetOf(512)); // verdict: green, nothing carried over from the red window
    const std::vector<MapCall> expected{{MapCall::Fill, 0, Red},   {MapCall::Text, 0, White},
                                        {MapCall::Repaint, -1, 0}, {MapCall::Fill, 0, Green},
                                        {MapCall::Text, 0, Black}, {MapCall::Repaint, -1, 0}};
    EXPECT_EQ(map.calls, expected);
}

TEST_F(ContactMonitor, NoSlotSelectedStillCountsAndRepaintsEvery129thCall) {
    select(0);
    draw(packetOf(0)); // greys all 21
    EXPECT_EQ(map.calls.size(), 42U);
    map.calls.clear();

    drawTimes(127, 0);
    EXPECT_TRUE(map.calls.empty());
    EXPECT_EQ(analysis.state().ContactPacketCount, 128);
    for (const int16_t counter : analysis.state().OutOfRangeCount)
        EXPECT_EQ(counter, 0);

    draw(packetOf(0));
    EXPECT_EQ(map.calls, (std::vector<MapCall>{{MapCall::Repaint, -1, 0}}));
    drawTimes(129, 0);
    EXPECT_EQ(map.calls.size(), 2U);
    EXPECT_EQ(analysis.state().ContactPacketCount, 0);
}

TEST_F(ContactMonitor, TwoSlotsOnOnePositionShareItsCounter) {
    select(5, 5);
    greyAndForget();
    // 32 bad samples from each slot: neither alone would be poor contact, together they are.
    drawTimes(32, 0);
    for (int i = 0; i < 96; ++i)
        draw({512, 512, 512, 512, 512, 512, 512, 512});
    EXPECT_EQ(analysis.state().OutOfRangeCount[5], 64);
    draw(packetOf(512));
    const std::vector<MapCall> expected{{MapCall::Fill, 4, Red},
                                        {MapCall::Text, 4, White},
                                        {MapCall::Fill, 4, Red},
                                        {MapCall::Text, 4, White},
                                        {MapCall::Repaint, -1, 0}};
    EXPECT_EQ(map.calls, expected);

    // Four slots on one position: up to 512 in one window, still a 16-bit counter.
    select(5, 5, 5, 5);
    drawTimes(128, 1024);
    EXPECT_EQ(analysis.state().OutOfRangeCount[5], 512);
}

TEST_F(ContactMonitor, ReadsTheSettingsNotTheLastSelection) {
    select(1);
    greyAndForget();
    // Changed in memory (as the options dialog's sliders do) without a new selection.
    settings.AVEChannel1 = 7;
    drawTimes(128, 0);
    EXPECT_EQ(analysis.state().OutOfRangeCount[7], 128);
    EXPECT_EQ(analysis.state().OutOfRangeCount[1], 0);
    draw(packetOf(512));
    EXPECT_EQ(map.calls.front(), (MapCall{MapCall::Fill, 6, Red}));
}

TEST_F(ContactMonitor, TheWindowIsNotResetByANewSelection) {
    select(1);
    greyAndForget();
    drawTimes(100, 0);
    select(1, 2);
    drawTimes(28, 0);
    EXPECT_EQ(analysis.state().OutOfRangeCount[1], 128);
    EXPECT_EQ(analysis.state().OutOfRangeCount[2], 28);
    draw(packetOf(512));
    const std::vector<MapCall> expected{{MapCall::Fill, 0, Red},
                                        {MapCall::Text, 0, White},
                                        {MapCall::Fill, 1, Green},
                                        {MapCall::Text, 1, Black},
                                        {MapCall::Repaint, -1, 0}};
    EXPECT_EQ(map.calls, expected);
}

} // namespace
} // namespace solvane
