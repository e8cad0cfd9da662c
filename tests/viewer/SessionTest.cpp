// The viewer's analysis and history of sessions written by the session library's writers, and
// the following of a run that grows.

#include "analysis/SpectralAnalysis.h"
#include "config/Settings.h"
#include "session/SessionPaths.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"
#include "support/SessionFiles.h"
#include "support/TempFolder.h"
#include "viewer/SessionAnalysis.h"
#include "viewer/SessionHistory.h"
#include "viewer/TimeRange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace solvane::viewer {
namespace {

using testing::SessionFiles;

constexpr double Pi = 3.14159265358979323846;
constexpr const char* Stamp = "2026-12-08_14-30-05";

// A different sine on each element, louder by the second; element 4 leaves the good range in
// second 2 (all of it) and in the first quarter of second 3.
int knownSample(int signal, long i) {
    const long second = i / 256;
    if (signal == 4 && (second == 2 || (second == 3 && i % 256 < 64)))
        return i % 2 == 0 ? 1023 : 0;
    const double amplitude = 20.0 + 10.0 * static_cast<double>(second) + signal;
    return static_cast<int>(std::lround(
        512.0 + amplitude * std::sin(2.0 * Pi * (6 + signal) * static_cast<double>(i) / 256.0)));
}

struct Opened {
    SessionReader reader;
    SessionAnalysis analysis;
    explicit Opened(const std::filesystem::path& path) : reader(path) {
        reader.update();
        analysis.update(reader);
    }
};

/// Appends `text` to a file as a writer still busy with it would have left it.
void append(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

// Catches totals that are not the program's: a wrong element per slot, samples decoded wrongly
// from the records, or a block that is not the record; and contact judged otherwise than the
// monitor judges it (windows of its own length from the run's start, the judging packet not
// counted).
TEST(ViewerSession, PerSecondFiguresAreTheProgramsForTheSamePackets) {
    const testing::TempFolder folder;
    SessionFiles writer(folder.path(), Stamp, knownSample, "synthetic EEG, seed 7");
    writer.add(5);
    Opened session(writer.finish());
    ASSERT_EQ(session.analysis.seconds(), 5);

    Settings settings;
    settings.DSUSampleRate = 256;
    ChannelSelection selection;
    for (int slot = 0; slot < 4; ++slot)
        selection.ChannelMap[slot] = static_cast<int16_t>(slot + 1);
    AnalysisState state;
    SpectralAnalysis program(settings, selection, state);
    for (int second = 0; second < 5; ++second) {
        SpectralAnalysis::Packet packet = {};
        for (int i = 0; i < 256; ++i) {
            for (int e = 0; e < 8; ++e)
                packet[e] = knownSample(e, second * 256L + i);
            ASSERT_FALSE(program.takePacket(packet));
        }
        ASSERT_TRUE(program.takePacket(packet)); // the block's extra packet runs the pass
        for (int slot = 0; slot < 4; ++slot)
            EXPECT_EQ(session.analysis.channel(slot).total[second], state.SlotTotal[slot])
                << "slot " << slot << " second " << second;
    }
    // Slot 1 reads element 4, out of range in packets 512..831. The monitor judges every 129
    // packets, packets 129k..129k+127 counted: windows 4 (516..643) and 5 (645..772) are
    // poor; window 3 has 3 samples out, window 6 has 58: good.
    const ChannelSeconds& contact = session.analysis.channel(1);
    EXPECT_EQ(contact.label, "Element 4");
    std::vector<int> poor;
    for (const auto& verdict : session.analysis.contact())
        poor.push_back(verdict[1]);
    EXPECT_EQ(poor, (std::vector<int>{0, 0, 0, 0, 1, 1, 0, 0, 0}));
    EXPECT_FLOAT_EQ(contact.outOfRangeShare[2], 1.0F);
    EXPECT_FLOAT_EQ(contact.outOfRangeShare[3], 0.25F);
    EXPECT_DOUBLE_EQ(session.analysis.poorSeconds(), 2 * 129 / 256.0);
    EXPECT_DOUBLE_EQ(*session.analysis.goodContactShare(), 7.0 / 9.0);
    // Slot 0's 6 Hz sine falls in theta and peaks at bin 6.
    const auto& bins = session.analysis.channel(0).spectrum[1];
    EXPECT_NEAR(bins[6], 30.0, 0.6);
    EXPECT_GT(session.analysis.channel(0).bands[1][Theta], 29.0F);
    EXPECT_EQ(session.reader.source(), "synthetic EEG, seed 7");
    EXPECT_EQ(session.reader.start(), "2026-12-08 14:30:05");
}

// Catches a volume timeline that is not the commands' (hex digits, the frequencies' offset,
// the output a command addresses, the second a command counts from), whether the commands come
// from the events file or, for an older session, from the EDF+ annotations.
TEST(ViewerSession, VolumeTimelineIsTheCommands) {
    const struct {
        long packet;
        const char* command;
    } commands[] = {{0, "WE8008"},   {0, "WF800E"},   {257, "WB0029"},
                    {257, "WB0112"}, {771, "WB000A"}, {771, "WB0131"}};
    for (const bool eventsFile : {true, false}) {
        const testing::TempFolder folder;
        SessionFiles writer(folder.path(), Stamp, knownSample, "x");
        for (const auto& c : commands) {
            writer.addPackets(c.packet - static_cast<long>(writer.packets()));
            writer.command(c.command);
        }
        writer.addPackets(1152 - static_cast<long>(writer.packets()));
        writer.mark("gap", "0.5", 0.5);
        writer.addPackets(128);
        const std::filesystem::path kept = writer.finish();
        if (!eventsFile)
            std::filesystem::remove(writer.paths().events());
        Opened session(kept);
        const auto& steps = session.analysis.steps();
        ASSERT_EQ(steps.size(), 6U) << "events file " << eventsFile;
        EXPECT_DOUBLE_EQ(steps[2].time, 1.0039);
        const OutputState last = session.analysis.last();
        EXPECT_EQ(last.baseFrequency, 8);
        EXPECT_EQ(last.secondFrequency, 14);
        std::vector<int> v00;
        std::vector<int> v01;
        for (const OutputState& s : session.analysis.perSecond()) {
            v00.push_back(s.volume00);
            v01.push_back(s.volume01);
        }
        EXPECT_EQ(v00, (std::vector<int>{0, 41, 41, 10, 10}));
        EXPECT_EQ(v01, (std::vector<int>{0, 18, 18, 49, 49}));
        EXPECT_FLOAT_EQ(session.analysis.share00()[1], 41.0F / 59.0F);
        EXPECT_LT(session.analysis.share00()[0], 0.0F); // no sound yet
    }
}

// Catches history figures taken over the wrong seconds, sessions listed out of order, and a
// recording stopped by a full disk that the history does not tell.
TEST(ViewerSession, HistoryOfThreeSessions) {
    const testing::TempFolder folder;
    const auto quiet = [](int, long) { return 512; };
    const struct {
        const char* stamp;
        int seconds;
        const char* commands; // each second's volumes 00 and 01 from second 0
    } sessions[] = {{"2026-12-08_10-00-00", 4, "WB0030WB0110"},
                    {"2026-12-08_10-00-00_2", 2, "WB0010WB0130"},
                    {"2026-12-09_09-00-00", 3, "WB0020WB0120"}};
    for (const auto& s : sessions) {
        SessionFiles writer(folder.path(), s.stamp, quiet, "synthetic");
        const std::string c = s.commands;
        writer.command(c.substr(0, 6));
        writer.command(c.substr(6, 6));
        writer.add(s.seconds);
        if (s.seconds == 2)
            writer.mark("recording_stopped", "disk full");
        writer.finish();
    }
    std::ofstream(folder.path() / "2026-12-07_08-00-00.edf") << "not a recording";

    const auto rows = sessionHistory(folder.path());
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_EQ(rows[0].stamp, "2026-12-09_09-00-00");
    EXPECT_EQ(rows[1].stamp, "2026-12-08_10-00-00_2");
    EXPECT_EQ(rows[2].stamp, "2026-12-08_10-00-00");
    EXPECT_FALSE(rows[3].error.empty());
    EXPECT_EQ(rows[0].seconds, 3);
    EXPECT_DOUBLE_EQ(rows[0].meanShare00, 0.5);
    EXPECT_DOUBLE_EQ(rows[0].shareLed00, 0.0); // equal volumes: 00 does not lead
    EXPECT_DOUBLE_EQ(rows[1].meanShare00, 0.25);
    EXPECT_DOUBLE_EQ(rows[2].meanShare00, 0.75);
    EXPECT_DOUBLE_EQ(rows[2].shareLed00, 1.0);
    EXPECT_EQ(rows[2].poorSeconds, 0.0);
    EXPECT_DOUBLE_EQ(rows[2].meanAlpha, 0.0);
    // In words, for the list and the History.
    EXPECT_EQ(rows[1].fault, "recording stopped: disk full at 2 s");
    EXPECT_EQ(rows[0].fault, "");
}

/// The fields of one CSV line, quotes undone.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    return fields;
}

// Catches a History that compares the short tries or other sources with the sessions when
// told not to, or an unreadable row among them; and CSV whose commas and quotes in a field
// (a recording's path, a column's unit) break its columns.
TEST(ViewerSession, HistoryFilterAndCsv) {
    SessionSummary attempt;
    attempt.seconds = 12;
    attempt.kind = SourceKind::Synthetic;
    SessionSummary replay;
    replay.start = "2026-12-08 10:00:00";
    replay.seconds = 600;
    replay.kind = SourceKind::Recording;
    replay.source = "replay of /x/\"a\",b.edf (EEG O1, EEG O2)";
    replay.meanShare00 = 0.5;
    replay.shareLed00 = 0.25;
    replay.meanAlpha = 12.25;
    replay.poorSeconds = 1.5;
    replay.goodContactShare = 0.875;
    replay.fault = "recording stopped: disk full at 78 s";
    SessionSummary unreadable;
    unreadable.seconds = 600;
    unreadable.error = "cannot be read";
    const std::vector<SessionSummary> rows = {attempt, replay, unreadable};
    const struct {
        HistoryFilter filter;
        std::vector<std::size_t> shown;
    } cases[] = {{{}, {1}},
                 {{0, std::nullopt}, {0, 1}},
                 {{0, SourceKind::Synthetic}, {0}},
                 {{60, SourceKind::Board}, {}}};
    for (const auto& c : cases) {
        std::vector<std::size_t> shown;
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (c.filter.passes(rows[r]))
                shown.push_back(r);
        EXPECT_EQ(shown, c.shown) << "at least " << c.filter.shortestSeconds << " s";
    }

    const std::string csv = historyCsv({replay});
    const std::size_t end = csv.find("\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(csvFields(csv.substr(0, end)).size(), HistoryColumns.size());
    EXPECT_EQ(csvFields(csv.substr(end + 2, csv.size() - end - 4)),
              (std::vector<std::string>{"2026-12-08 10:00:00", "600", "a recording", replay.source,
                                        "0.500", "0.250", "12.25", "1.5", "0.875", replay.fault}));
}

// Catches a follower that reads a record still being written, misses what grew, takes a line
// without its newline, or tells a crashed run from a live one wrongly.
TEST(ViewerSession, GrowingSessionIsFollowed) {
    const testing::TempFolder folder;
    SessionFiles writer(folder.path(), Stamp, knownSample, "x");
    const session::SessionPaths& paths = writer.paths();
    const int held = ::open(paths.lock().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    // A run that has just begun, its header not yet on disk, has no second yet.
    std::ofstream(folder.path() / "2026-12-08_14-30-04.working.edf").flush();
    SessionReader starting(folder.path() / "2026-12-08_14-30-04.working.edf");
    starting.update();
    EXPECT_EQ(starting.records(), 0);

    writer.command("WB0029");
    writer.add(2);
    append(paths.working(), std::string(1000, '\x01')); // a record being written
    append(paths.events(), "1.0000\tn/a\tave_com");     // a line being written
    SessionReader reader(paths.working());
    SessionAnalysis analysis;
    analysis.update(reader);
    EXPECT_TRUE(reader.live());
    EXPECT_EQ(reader.records(), 2);
    EXPECT_EQ(reader.events().size(), 1U);
    EXPECT_FALSE(reader.update()); // nothing grew

    // The record completes, one more follows, the line ends.
    writer.add(2);
    append(paths.events(), "mand\tWB0112\n");
    EXPECT_TRUE(reader.update());
    analysis.update(reader);
    EXPECT_EQ(reader.records(), 4);
    EXPECT_EQ(analysis.seconds(), 4);
    EXPECT_EQ(analysis.perSecond()[3].volume01, 0x12);
    EXPECT_EQ(analysis.channel(0).total.size(), 4U);

    ::close(held); // the recording process is gone without closing the run
    EXPECT_TRUE(reader.update());
    EXPECT_FALSE(reader.live());
    EXPECT_TRUE(reader.crashed());

    // The run ends: the recording is renamed and followed there.
    const std::filesystem::path kept = writer.finish();
    reader.update();
    EXPECT_FALSE(reader.working());
    EXPECT_EQ(reader.recording(), kept);
    EXPECT_EQ(reader.records(), 4);
    EXPECT_EQ(analysis.channel(0).total[3], Opened(kept).analysis.channel(0).total[3]);
}

// Catches a live run that is not followed (or followed over a fixed span from its start), a
// view the user moved away from that is pulled back to the end, one zoomed in at the end that
// stops following, and a run that ends and stays on its last minutes.
TEST(ViewerSession, RangeFollowsALiveRunUntilTheUserMovesAway) {
    enum Step { Grow, End, ZoomIn, ScrollBack };
    const struct {
        const char* what;
        std::vector<std::pair<Step, double>> steps; // after opening a live run of 10 s
        double from;
        double to;
        bool following;
    } cases[] = {
        {"a run's first seconds", {{Grow, 20}}, 0, 20, true},
        {"its last three minutes", {{Grow, 100}, {Grow, 400}}, 220, 400, true},
        {"zoomed in at the end", {{Grow, 400}, {ZoomIn, 400}, {Grow, 430}}, 394, 430, true},
        {"scrolled back", {{Grow, 400}, {ScrollBack, 100}, {Grow, 430}}, 120, 300, false},
        {"the run ends", {{Grow, 400}, {End, 410}}, 0, 410, false}};
    for (const auto& c : cases) {
        TimeRange range;
        range.open(10, true);
        for (const auto& [step, value] : c.steps)
            switch (step) {
            case Grow:
                range.grow(value, true);
                break;
            case End:
                range.grow(value, false);
                break;
            case ZoomIn:
                range.zoom(0.2, value);
                break;
            case ScrollBack:
                range.scroll(-value);
                break;
            }
        EXPECT_DOUBLE_EQ(range.from(), c.from) << c.what;
        EXPECT_DOUBLE_EQ(range.to(), c.to) << c.what;
        EXPECT_EQ(range.following(), c.following) << c.what;
    }
}

} // namespace
} // namespace solvane::viewer
