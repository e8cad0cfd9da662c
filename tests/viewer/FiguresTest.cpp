// The report's figures from sessions of known content, written by the session library's
// writers: the time each output led, the minute means, the share of the session with good
// contact and the positions named as recorded.

#include "analysis/PacketAnalysis.h"
#include "config/ScalpPositions.h"
#include "support/SessionFiles.h"
#include "support/TempFolder.h"
#include "viewer/SessionFigures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace solvane::viewer {
namespace {

using testing::SessionFiles;

constexpr double Pi = 3.14159265358979323846;
constexpr const char* Stamp = "2026-12-08_14-30-05";
constexpr double Window = 129 / 256.0; ///< s: one contact verdict

/// Facts that set the four slots to `positions` (0: none), as the bundled DSU writes them.
session::SessionFacts factsAt(const std::array<int, 4>& positions) {
    session::SessionFacts facts;
    facts.source.kind = "synthetic";
    for (std::size_t s = 0; s < 4; ++s) {
        facts.slot[s].element = PacketAnalysis::SlotElement[s];
        facts.slot[s].position = positions[s];
        if (positions[s] > 0)
            facts.slot[s].positionName = ScalpPositionTable[positions[s] - 1];
    }
    return facts;
}

SessionFigures figuresOfSession(const std::filesystem::path& recording, int largestTable = 12) {
    SessionReader reader(recording);
    reader.update();
    SessionAnalysis analysis;
    analysis.update(reader);
    return figuresOf(reader, analysis, largestTable);
}

// Catches led time and mean share counted per whole second (the second command takes effect
// half-way through a second), given to the wrong output, or with silence counted as led.
TEST(ReportFigures, TimeEachOutputLed) {
    const testing::TempFolder folder;
    SessionFiles writer(folder.path(), Stamp, [](int, long) { return 512; });
    const struct {
        long packet;
        const char* volume00;
        const char* volume01;
    } commands[] = {{256, "WB0030", "WB0110"},            // 00 louder, share 0.75
                    {61 * 256 + 128, "WB0010", "WB0130"}, // 01 louder, share 0.25
                    {151 * 256, "WB0020", "WB0120"},      // alike
                    {171 * 256, "WB0000", "WB0100"}};     // silent until the end
    for (const auto& c : commands) {
        writer.addPackets(c.packet - static_cast<long>(writer.packets()));
        writer.command(c.volume00);
        writer.command(c.volume01);
    }
    writer.addPackets(180 * 256 - static_cast<long>(writer.packets()));
    const Feedback f = figuresOfSession(writer.finish()).feedback;
    EXPECT_NEAR(f.ledSeconds[0], 60.5, 1e-9);
    EXPECT_NEAR(f.ledSeconds[1], 89.5, 1e-9);
    EXPECT_NEAR(f.equalSeconds, 20.0, 1e-9);
    EXPECT_NEAR(f.soundSeconds, 170.0, 1e-9);
    EXPECT_NEAR(f.meanShare[0], (60.5 * 0.75 + 89.5 * 0.25 + 20 * 0.5) / 170, 1e-9);
    EXPECT_NEAR(f.meanShare[1], 1.0 - f.meanShare[0], 1e-12);
}

// Catches minute means taken over the wrong seconds (a row borrowing its neighbour's), in
// counts instead of microvolts (the gain is 2), from the wrong bins, or rows of minutes that
// do not shrink the table when it would be too long.
TEST(ReportFigures, AmplitudesAsMinuteMeans) {
    const testing::TempFolder folder;
    // Slot 0: a 10 Hz sine of 100, 200 and 300 counts in minutes 0, 1 and the half minute 2.
    SessionFiles writer(folder.path(), Stamp, [](int element, long i) {
        if (element != 0)
            return 512;
        const double amplitude = 100.0 * static_cast<double>(1 + std::min(i / (60 * 256), 2L));
        return static_cast<int>(
            std::lround(512.0 + amplitude * std::sin(2.0 * Pi * 10.0 * i / 256.0)));
    });
    writer.add(150);
    const auto recording = writer.finish();
    const struct {
        int largestTable;
        int rowMinutes;
        std::vector<std::array<double, 3>> rows; // from, to, microvolts
    } cases[] = {{12, 1, {{0, 60, 50}, {60, 120, 100}, {120, 150, 150}}},
                 {2, 2, {{0, 120, 75}, {120, 150, 150}}}};
    for (const auto& c : cases) {
        const SessionFigures f = figuresOfSession(recording, c.largestTable);
        EXPECT_EQ(f.rowMinutes, c.rowMinutes);
        ASSERT_EQ(f.rows.size(), c.rows.size()) << "at most " << c.largestTable << " rows";
        for (std::size_t r = 0; r < c.rows.size(); ++r) {
            const AmplitudeRow::Channel& slot0 = f.rows[r].channel[0];
            EXPECT_EQ(f.rows[r].from, c.rows[r][0]);
            EXPECT_EQ(f.rows[r].to, c.rows[r][1]);
            EXPECT_NEAR(slot0.bands[Alpha], c.rows[r][2], 0.5) << "row " << r;
            EXPECT_NEAR(slot0.total, c.rows[r][2], 1.5) << "row " << r;
            EXPECT_LT(slot0.bands[Theta], 0.5) << "row " << r;
        }
    }
}

// Catches contact judged on a slot the run did not use, positions ignored (a session without
// facts judges all four slots), or counted per slot where the program counts per position.
TEST(ReportFigures, ShareWithGoodContact) {
    // Element 0 (slot 0) rails through windows 10 and 11; element 1 (slot 2) all along;
    // elements 0 and 4 (slots 0 and 1) each have 40 samples out in the counted packets of
    // windows 20 and 21: together 80 of 128 for a position they share.
    const SessionFiles::Samples samples = [](int element, long i) {
        const long window = i / 129;
        const long inWindow = i % 129;
        if (element == 0 && (window == 10 || window == 11))
            return 1023;
        if (element == 1)
            return 0;
        if ((element == 0 || element == 4) && (window == 20 || window == 21) && inWindow < 40)
            return 1023;
        return 512;
    };
    const double windows = 119; // judged at packets 129k + 128 within 60 s
    const struct {
        const char* what;
        std::optional<std::array<int, 4>> positions;
        double good;
        std::array<double, 4> poorSeconds;
    } cases[] = {
        {"slot 2 not in use", std::array{19, 21, 0, 17}, 117 / windows, {2 * Window, 0, 0, 0}},
        {"no facts: every slot judged", std::nullopt, 0.0, {2 * Window, 0, windows * Window, 0}},
        {"slots 0 and 1 at one position",
         std::array{19, 19, 0, 17},
         115 / windows,
         {4 * Window, 4 * Window, 0, 0}}};
    for (const auto& c : cases) {
        const testing::TempFolder folder;
        SessionFiles writer(folder.path(), Stamp, samples);
        if (c.positions)
            writer.facts(factsAt(*c.positions));
        writer.add(60);
        const SessionFigures f = figuresOfSession(writer.finish());
        ASSERT_TRUE(f.goodContactShare) << c.what;
        EXPECT_NEAR(*f.goodContactShare, c.good, 1e-9) << c.what;
        for (int slot = 0; slot < 4; ++slot)
            EXPECT_NEAR(f.channel[slot].poorSeconds, c.poorSeconds[slot], 1e-9)
                << c.what << ", slot " << slot;
    }
}

// Catches channels named by the source's labels where the user chose positions, a slot
// without a position shown as in use, or an old session (no facts, its own labels) that
// loses its names.
TEST(ReportFigures, PositionsNamedAsRecorded) {
    // Labels by element: slots 0..3 read elements 0, 4, 1 and 5.
    const std::vector<std::string> synthetic = {"EEG Synthetic 0", "EEG Synthetic 2",
                                                "Element 2",       "Element 3",
                                                "EEG Synthetic 1", "EEG Synthetic 3"};
    const std::vector<std::string> positions = {"EEG O1",    "EEG P3", "Element 2",
                                                "Element 3", "EEG O2", "EEG P4"};
    const struct {
        const char* what;
        std::vector<std::string> labels;
        std::optional<std::array<int, 4>> facts;
        std::array<const char*, 4> names;
        std::array<bool, 4> inUse;
    } cases[] = {{"facts name the positions",
                  synthetic,
                  std::array{19, 21, 15, 17},
                  {"O1", "O2", "P3", "P4"},
                  {true, true, true, true}},
                 {"a slot without a position",
                  synthetic,
                  std::array{19, 21, 0, 17},
                  {"O1", "O2", "Synthetic 2", "P4"},
                  {true, true, false, true}},
                 {"an old session",
                  synthetic,
                  std::nullopt,
                  {"Synthetic 0", "Synthetic 1", "Synthetic 2", "Synthetic 3"},
                  {true, true, true, true}},
                 {"labels of positions, no facts",
                  positions,
                  std::nullopt,
                  {"O1", "O2", "P3", "P4"},
                  {true, true, true, true}}};
    for (const auto& c : cases) {
        const testing::TempFolder folder;
        SessionFiles writer(
            folder.path(), Stamp, [](int, long) { return 512; }, "x", c.labels);
        if (c.facts)
            writer.facts(factsAt(*c.facts));
        writer.add(2);
        const SessionFigures f = figuresOfSession(writer.finish());
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_EQ(f.channel[slot].name, c.names[slot]) << c.what << ", slot " << slot;
            EXPECT_EQ(f.channel[slot].inUse, c.inUse[slot]) << c.what << ", slot " << slot;
        }
    }
}

} // namespace
} // namespace solvane::viewer
