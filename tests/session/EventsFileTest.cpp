// The events file: what the writer writes, the reader reads back, in whatever pieces the file
// comes, and damaged lines are counted rather than read as events.

#include "session/EventsFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace solvane::session {
namespace {

const std::string Header = "onset\tduration\ttrial_type\tvalue\n";

struct Parsed {
    const char* name;
    std::string text;
    std::vector<SessionEvent> events;
    std::size_t damaged;
    const char* problem; ///< part of problem(); empty for none
};

void PrintTo(const Parsed& row, std::ostream* out) {
    *out << row.name;
}

class EventsFileReads : public ::testing::TestWithParam<Parsed> {};

std::vector<SessionEvent> readInPieces(const std::string& text, std::size_t piece,
                                       EventsReader& reader) {
    for (std::size_t at = 0; at < text.size(); at += piece)
        reader.take(std::span<const char>(text.data() + at, std::min(piece, text.size() - at)));
    return reader.events();
}

// Catches lines lost or doubled where a read ends inside them, a line taken before its newline,
// a comma or a sign read as a number, and an overlong line that swallows the next one.
TEST_P(EventsFileReads, TheSameInAnyPieces) {
    const Parsed& row = GetParam();
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, row.text.size() + 1}) {
        EventsReader reader;
        const std::vector<SessionEvent> events = readInPieces(row.text, piece, reader);
        ASSERT_EQ(events.size(), row.events.size()) << "pieces of " << piece;
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].onset, row.events[i].onset) << i;
            EXPECT_EQ(events[i].duration, row.events[i].duration) << i;
            EXPECT_EQ(events[i].type, row.events[i].type) << i;
            EXPECT_EQ(events[i].value, row.events[i].value) << i;
        }
        EXPECT_EQ(reader.damagedLines(), row.damaged) << "pieces of " << piece;
        EXPECT_NE(reader.problem().find(row.problem), std::string::npos) << reader.problem();
        EXPECT_EQ(reader.problem().empty(), std::string(row.problem).empty()) << reader.problem();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EventsFileReads,
    ::testing::Values(
        Parsed{"Commands",
               Header + "0.0000\tn/a\tave_state\tWE80C8\n1.0039\tn/a\tave_command\tWB0032\n",
               {{0.0, -1.0, "ave_state", "WE80C8"}, {1.0039, -1.0, "ave_command", "WB0032"}},
               0,
               ""},
        Parsed{"CrLfAndADuration",
               "onset\tduration\ttrial_type\tvalue\r\n2.5000\t0.2500\tgap\tstream paused\r\n",
               {{2.5, 0.25, "gap", "stream paused"}},
               0,
               ""},
        Parsed{"LastLineStillBeingWritten",
               Header + "1.0000\tn/a\tave_command\tWB0032\n2.0000\tn/a\tave_com",
               {{1.0, -1.0, "ave_command", "WB0032"}},
               0,
               ""},
        Parsed{"CommaNumber",
               Header + "1,0039\tn/a\tave_command\tWE80C8\n3.0000\tn/a\tx\ty\n",
               {{3.0, -1.0, "x", "y"}},
               1,
               "1 line that cannot be read"},
        Parsed{"NegativeOnsetOrTooFewCells",
               Header + "-1.0000\tn/a\tave_command\tWB0032\n1.0\tn/a\n",
               {},
               2,
               "2 lines"},
        Parsed{"OverlongLine",
               Header + std::string(5000, 'x') + "\n4.0000\tn/a\tgap\tg\n",
               {{4.0, -1.0, "gap", "g"}},
               1,
               "1 line"},
        Parsed{"NoHeader",
               "1.0000\tn/a\tave_command\tWB0032\n",
               {{1.0, -1.0, "ave_command", "WB0032"}},
               0,
               "does not begin with the header line"},
        Parsed{"Empty", "", {}, 0, "is empty"}),
    [](const ::testing::TestParamInfo<Parsed>& row) { return std::string(row.param.name); });

// Catches a writer whose onsets do not give back the packet (rounding, four decimals lost for
// a long run) or whose texts break the columns.
TEST(EventsFile, WrittenLinesReadBackAtTheirPackets) {
    const testing::TempFolder folder;
    const std::filesystem::path file = folder.path() / "x_events.tsv";
    const uint64_t packets[] = {0, 1, 255, 257, 256ULL * 3600 * 24 * 7 + 129};
    {
        EventsWriter writer(file);
        for (const uint64_t packet : packets)
            ASSERT_TRUE(writer.mark(packet, packet == 1 ? 2.5 : -1.0, "gap", "a\tb\nc"));
    }
    EventsReader reader;
    const std::string text = folder.read("x_events.tsv");
    reader.take(text);
    ASSERT_EQ(reader.events().size(), std::size(packets)) << text;
    EXPECT_TRUE(reader.problem().empty()) << reader.problem();
    for (std::size_t i = 0; i < std::size(packets); ++i) {
        EXPECT_EQ(reader.events()[i].packet(), packets[i]) << text;
        EXPECT_EQ(reader.events()[i].value, "a b c");
    }
    EXPECT_EQ(reader.events()[1].duration, 2.5);
}

struct Cut {
    const char* name;
    std::string text;
    uint64_t packet; ///< the end of the data
    std::string kept;
    std::size_t commands;
    std::size_t dropped;
};

void PrintTo(const Cut& row, std::ostream* out) {
    *out << row.name;
}

class EventsFileCut : public ::testing::TestWithParam<Cut> {};

// Catches events kept past the end of a recovered or stopped recording, an event at its very
// end dropped, a line cut in two, the header or a damaged line taken for the end, and a
// command count that is not the lines kept.
TEST_P(EventsFileCut, KeepsTheEventsUpToTheEndOfTheData) {
    const Cut& row = GetParam();
    const testing::TempFolder folder;
    folder.write("x_events.tsv", row.text);
    const EventsCut cut = cutEventsAfter(folder.path() / "x_events.tsv", row.packet);
    EXPECT_EQ(folder.read("x_events.tsv"), row.kept);
    EXPECT_EQ(cut.commands, row.commands);
    EXPECT_EQ(cut.dropped, row.dropped);
}

const std::string Two =
    Header + "0.0000\tn/a\tave_state\tWE80C8\n1.0000\tn/a\tave_command\tWB0032\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, EventsFileCut,
    ::testing::Values(Cut{"NothingAfter", Two, 512, Two, 2, 0},
                      Cut{"AtTheEndStays", Two + "2.0000\tn/a\trecording_stopped\tdisk full\n", 512,
                          Two + "2.0000\tn/a\trecording_stopped\tdisk full\n", 2, 0},
                      Cut{"AfterTheEnd",
                          Two + "2.0039\tn/a\tave_command\tWB0033\n3.0000\tn/a\tgap\tg\n", 512, Two,
                          2, 2},
                      Cut{"LineWithoutItsNewline", Two + "1.5000\tn/a\tave_com", 512, Two, 2, 1},
                      Cut{"DamagedLineBefore", Two + "1,5\tn/a\tave_command\tWB0034\n", 512,
                          Two + "1,5\tn/a\tave_command\tWB0034\n", 2, 0},
                      Cut{"CrLf", "1.0000\tn/a\tave_command\tWB0032\r\n9.0000\tn/a\tx\ty\r\n", 512,
                          "1.0000\tn/a\tave_command\tWB0032\r\n", 1, 1}),
    [](const ::testing::TestParamInfo<Cut>& row) { return std::string(row.param.name); });

// Catches a reader whose memory grows with the file (600 MB of events held 2.7 GB) and lines
// beyond the events kept miscounted where a piece ends inside one.
TEST(EventsFile, KeepsAtMostItsLimitAndCountsTheLinesBeyond) {
    std::string text = Header;
    for (std::size_t n = 0; n < EventsReader::MostEvents + 3; ++n)
        text += "1.0000\tn/a\tave_command\tWB0032" + std::string(n % 3 == 0 ? 200 : 0, 'x') + "\n";
    text += "2.0000\tn/a\tave_com";
    for (const std::size_t piece : {std::size_t{4093}, text.size()}) {
        EventsReader reader;
        for (std::size_t at = 0; at < text.size(); at += piece)
            reader.take(std::span<const char>(text.data() + at, std::min(piece, text.size() - at)));
        EXPECT_EQ(reader.events().size(), EventsReader::MostEvents) << "pieces of " << piece;
        EXPECT_EQ(reader.linesBeyond(), 3U) << "pieces of " << piece;
        EXPECT_EQ(reader.events().front().value.size(), EventsReader::LongestValue);
    }
}

} // namespace
} // namespace solvane::session
