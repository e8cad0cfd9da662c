// Sessions recorded by the bundled DSU in-process, exported as a BIDS dataset: what the
// validator says of it, what reads back from it, re-exports into it, sessions that must be
// left out whole, and texts that must not break its files.

#include "bids/BidsExport.h"
#include "bids/BidsNames.h"
#include "bids/Json.h"
#include "bids/TsvText.h"
#include "dsu/unit/SimulatedDsu.h"
#include "session/Numbers.h"
#include "session/SessionReader.h"
#include "support/TempFolder.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace solvane::bids {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using Packet = std::array<int32_t, 8>;
using Outcome = ExportedSession::Outcome;

struct Recorded {
    fs::path kept;
    std::vector<Packet> delivered;
    std::map<int, std::string> commands; ///< by the packet they came before
};

/// The runs of one bundled DSU, recorded in-process into <folder>/sessions.
class Recorder {
public:
    explicit Recorder(const TempFolder& folder) : folder_(folder) {
        folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\n");
        folder.write("solvane.ini", "[Kardemo]\nDSUSampleRate= 256\n[AVE]\nAVEVolume= 60\n"
                                    "AVEFrequency= 200\nAVEDesiredFrequency= 10\n"
                                    "AVEChannel1= 19\nAVEChannel2= 21\nAVEChannel3= 15\n"
                                    "AVEChannel4= 17\n");
        dsu_ = std::make_unique<dsusim::SimulatedDsu>(folder.path());
    }
    Recorded run(int packets, const std::map<int, std::string>& commands) {
        Recorded run{{}, {}, commands};
        EXPECT_EQ(dsu_->initialise(), 0);
        run.kept = dsu_->sessionFile();
        for (int n = 0; n < packets; ++n) {
            if (const auto c = commands.find(n); c != commands.end()) {
                EXPECT_EQ(dsu_->sendCommand(c->second.c_str(), 6), 0);
            }
            Packet packet{};
            int32_t count = 0;
            EXPECT_EQ(dsu_->poll(packet.data(), 8, &count), 0);
            run.delivered.push_back(packet);
        }
        EXPECT_EQ(dsu_->terminate("kardemo.SES"), 0);
        return run;
    }
    [[nodiscard]] fs::path sessions() const { return folder_.path() / "sessions"; }

private:
    const TempFolder& folder_;
    std::unique_ptr<dsusim::SimulatedDsu> dsu_;
};

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Every file under `folder`, by its path within it.
std::map<std::string, std::string> filesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = contents(entry.path());
    return files;
}

/// The rows of a table, by column name.
std::vector<std::map<std::string, std::string>> table(const fs::path& file) {
    std::istringstream in(contents(file));
    std::vector<std::string> columns;
    std::vector<std::map<std::string, std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (columns.empty()) {
            columns = cells;
            continue;
        }
        std::map<std::string, std::string>& row = rows.emplace_back();
        for (std::size_t i = 0; i < cells.size() && i < columns.size(); ++i)
            row[columns[i]] = cells[i];
    }
    return rows;
}

std::vector<ExportedSession> exportAll(const fs::path& dataset, const fs::path& sessions) {
    ExportOptions options;
    options.sessions = sessions;
    return BidsExport(dataset, options).run();
}

std::string labelOf(const Recorded& run) {
    return labelOfStamp(session::SessionPaths::ofRecording(run.kept).stamp()).value_or("none");
}

fs::path exported(const fs::path& dataset, const Recorded& run, const std::string& suffix) {
    const SessionName name{"01", labelOf(run), "neurofeedback"};
    return dataset / name.folder() / "eeg" / name.file(suffix);
}

// Two sessions of known content, exported once for the checks below; the second began
// with the tones of the first in force.
class KnownSessions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        Recorder recorder(*folder_);
        runs_.push_back(
            recorder.run(700, {{0, "WE80D2"}, {1, "WF80E1"}, {300, "WB0032"}, {600, "WB0119"}}));
        runs_.push_back(recorder.run(600, {{10, "WB00FF"}, {20, "WB0100"}, {400, "WE80C8"}}));
        for (const ExportedSession& session : exportAll(dataset(), recorder.sessions()))
            ASSERT_EQ(session.outcome, Outcome::Exported) << session.reason;
    }
    static void TearDownTestSuite() {
        runs_.clear();
        delete folder_;
    }
    static fs::path dataset() { return folder_->path() / "dataset"; }

    static inline TempFolder* folder_ = nullptr;
    static inline std::vector<Recorded> runs_;
};

// Catches any file, name, field or column of the export that the BIDS validator refuses, and
// a warning it raises that the export could avoid (it cannot know the dataset's authors).
TEST_F(KnownSessions, ValidatorFindsNoErrorAndOnlyTheMissingAuthors) {
    const fs::path json = folder_->path() / "validator.json";
    const std::string command = std::string(SOLVANE_BIDS_VALIDATE) + " " + SOLVANE_BIDS_VALIDATOR +
                                " " + dataset().string() + " " + json.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const QJsonObject issues =
        QJsonDocument::fromJson(QByteArray::fromStdString(contents(json)))["issues"].toObject();
    EXPECT_TRUE(issues["errors"].toArray().isEmpty())
        << QJsonDocument(issues["errors"].toArray()).toJson().toStdString();
    for (const auto& warning : issues["warnings"].toArray())
        EXPECT_EQ(warning.toObject()["key"].toString().toStdString(), "NO_AUTHORS")
            << QJsonDocument(warning.toObject()).toJson().toStdString();
}

// Catches a recording that is not copied whole and unchanged (samples lost, cut or moved),
// and packet elements that no slot reads passed off as EEG.
TEST_F(KnownSessions, RecordingReadsBackWithTheSamplesDelivered) {
    for (const Recorded& run : runs_) {
        const session::SessionReader reader(exported(dataset(), run, "eeg.edf"));
        ASSERT_EQ(reader.records(), static_cast<int>((run.delivered.size() + 255) / 256));
        for (std::size_t p = 0; p < run.delivered.size(); ++p)
            for (int e = 0; e < 8; ++e)
                ASSERT_EQ(reader.samples(e)[p], run.delivered[p][static_cast<std::size_t>(e)])
                    << "packet " << p << " element " << e;
        const auto channels = table(exported(dataset(), run, "channels.tsv"));
        ASSERT_EQ(channels.size(), 8U);
        for (int e = 0; e < 8; ++e) {
            const bool slot = e == 0 || e == 1 || e == 4 || e == 5;
            EXPECT_EQ(channels[static_cast<std::size_t>(e)].at("name"), reader.label(e));
            EXPECT_EQ(channels[static_cast<std::size_t>(e)].at("type"), slot ? "EEG" : "MISC");
            EXPECT_EQ(channels[static_cast<std::size_t>(e)].at("status"), slot ? "good" : "bad");
        }
    }
}

struct Decoded {
    const char* command;
    const char* output;
    const char* volume;
    const char* frequency;
};

void PrintTo(const Decoded& row, std::ostream* out) {
    *out << row.command;
}

class DecodedColumns : public KnownSessions, public ::testing::WithParamInterface<Decoded> {};

// Catches a command decoded into the wrong output, value or column, a hex or offset slip
// (the frequencies carry 32768), and an event put at another packet than the one it came
// before (or, for the tones in force, than the start).
TEST_P(DecodedColumns, MatchTheCommandsSent) {
    const Decoded& row = GetParam();
    int found = 0;
    for (const Recorded& run : runs_)
        for (const auto& event : table(exported(dataset(), run, "events.tsv"))) {
            if (event.at("value") != row.command)
                continue;
            ++found;
            EXPECT_EQ(event.at("output"), row.output);
            EXPECT_EQ(event.at("volume"), row.volume);
            EXPECT_EQ(event.at("frequency_hz"), row.frequency);
            int sent = 0;
            for (const auto& [packet, text] : run.commands)
                sent = text == row.command ? packet : sent;
            EXPECT_EQ(event.at("sample"),
                      std::to_string(event.at("trial_type") == "ave_state" ? 0 : sent));
            EXPECT_EQ(event.at("onset"), session::fixed(std::stoi(event.at("sample")) / 256.0, 4));
        }
    EXPECT_GE(found, 1) << row.command << " is not in the events of the export";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DecodedColumns,
    ::testing::Values(Decoded{"WE80D2", "00", "n/a", "210"}, Decoded{"WF80E1", "01", "n/a", "225"},
                      Decoded{"WE80C8", "00", "n/a", "200"}, Decoded{"WB0032", "00", "50", "n/a"},
                      Decoded{"WB0119", "01", "25", "n/a"}, Decoded{"WB00FF", "00", "255", "n/a"},
                      Decoded{"WB0100", "01", "0", "n/a"}));

struct Change {
    const char* name;
    bool newSession; ///< a third run is recorded before the second export
    bool userEdits;  ///< the user added a column to participants.tsv and rewrote README
};

void PrintTo(const Change& row, std::ostream* out) {
    *out << row.name;
}

class Reexport : public ::testing::TestWithParam<Change> {};

// Catches a second export that rewrites, duplicates or reorders what is in the dataset,
// drops the user's edits of its top files, or leaves out a session recorded since.
TEST_P(Reexport, AddsOnlyTheNewSessions) {
    const Change& row = GetParam();
    TempFolder folder;
    Recorder recorder(folder);
    recorder.run(300, {{0, "WB0010"}});
    recorder.run(300, {{0, "WB0120"}});
    const fs::path dataset = folder.path() / "dataset";
    exportAll(dataset, recorder.sessions());
    if (row.userEdits) {
        std::ofstream(dataset / "participants.tsv") << "participant_id\tage\nsub-01\t42\n";
        std::ofstream(dataset / "README") << "Our study\n";
    }
    const std::map<std::string, std::string> before = filesIn(dataset);
    if (row.newSession)
        recorder.run(300, {{0, "WB0033"}});

    const std::vector<ExportedSession> again = exportAll(dataset, recorder.sessions());
    ASSERT_EQ(again.size(), row.newSession ? 3U : 2U);
    for (std::size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].outcome, i < 2 ? Outcome::AlreadyThere : Outcome::Exported);
    const std::map<std::string, std::string> after = filesIn(dataset);
    const std::string sessions = "sub-01/sub-01_sessions.tsv";
    for (const auto& [file, bytes] : before) {
        ASSERT_TRUE(after.count(file)) << file;
        if (file == sessions && row.newSession)
            EXPECT_EQ(after.at(file).substr(0, bytes.size()), bytes) << file;
        else
            EXPECT_EQ(after.at(file), bytes) << file;
    }
    EXPECT_EQ(table(dataset / sessions).size(), row.newSession ? 3U : 2U);
    EXPECT_EQ(after.size() - before.size(), row.newSession ? 5U : 0U); // 4 files and the sound
}

INSTANTIATE_TEST_SUITE_P(Changes, Reexport,
                         ::testing::Values(Change{"NothingNew", false, false},
                                           Change{"ANewSession", true, false},
                                           Change{"UserEditsAndANewSession", true, true}),
                         [](const auto& row) { return std::string(row.param.name); });

struct Damage {
    const char* name;
    std::function<void(const session::SessionPaths&, const fs::path& dataset)> apply;
    const char* reason;  ///< part of why the session is left out
    bool exportedBefore; ///< the damage is done after a first export
};

void PrintTo(const Damage& row, std::ostream* out) {
    *out << row.name;
}

class LeftOut : public ::testing::TestWithParam<Damage> {};

// Catches a session that cannot be exported whole but is exported half-way (its recording
// without its sound, a damaged recording copied as if whole), one that replaces or claims a
// different recording under its label, and one failure that stops the others.
TEST_P(LeftOut, IsReportedAndNothingOfItStays) {
    const Damage& row = GetParam();
    TempFolder folder;
    Recorder recorder(folder);
    const Recorded good = recorder.run(300, {{0, "WB0010"}});
    const Recorded bad = recorder.run(300, {{0, "WB0120"}});
    const fs::path dataset = folder.path() / "dataset";
    if (row.exportedBefore)
        exportAll(dataset, recorder.sessions());
    const session::SessionPaths paths = session::SessionPaths::ofRecording(bad.kept);
    row.apply(paths, dataset);
    const std::map<std::string, std::string> before =
        row.exportedBefore ? filesIn(dataset) : std::map<std::string, std::string>{};

    const std::vector<ExportedSession> done = exportAll(dataset, recorder.sessions());
    ASSERT_EQ(done.size(), 2U);
    EXPECT_NE(done[0].outcome, Outcome::Skipped) << done[0].reason;
    EXPECT_EQ(done[1].outcome, Outcome::Skipped);
    EXPECT_NE(done[1].reason.find(row.reason), std::string::npos) << done[1].reason;
    if (row.exportedBefore) {
        EXPECT_EQ(filesIn(dataset), before);
        return;
    }
    EXPECT_TRUE(fs::exists(exported(dataset, good, "eeg.edf")));
    EXPECT_FALSE(fs::exists(exported(dataset, bad, "eeg.edf").parent_path().parent_path()));
    for (const auto& [file, bytes] : filesIn(dataset))
        EXPECT_EQ(file.find("ses-" + labelOf(bad)), std::string::npos)
            << file << " of the session left out is in the dataset";
    for (const auto& entry : fs::directory_iterator(dataset))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    EXPECT_EQ(table(dataset / "sub-01/sub-01_sessions.tsv").size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, LeftOut,
    ::testing::Values(
        Damage{"NoRecording",
               [](const session::SessionPaths& paths, const fs::path&) {
                   std::ofstream(paths.kept(), std::ios::trunc) << "not a recording";
               },
               "cannot be read", false},
        Damage{"TailLost",
               [](const session::SessionPaths& paths, const fs::path&) {
                   fs::resize_file(paths.kept(), fs::file_size(paths.kept()) - 100);
               },
               "damaged", false},
        // The recording and its sidecars are written before the sound turns out unreadable.
        Damage{"SoundUnreadable",
               [](const session::SessionPaths& paths, const fs::path&) {
                   fs::remove(paths.sound());
                   fs::create_directory(paths.sound());
               },
               "folder", false},
        Damage{"AnotherRecordingUnderItsLabel",
               [](const session::SessionPaths& paths, const fs::path&) {
                   std::fstream file(paths.kept(), std::ios::in | std::ios::out | std::ios::binary);
                   file.seekp(-2, std::ios::end);
                   file.put('\x7F');
               },
               "holds another recording", true}),
    [](const auto& row) { return std::string(row.param.name); });

struct Awkward {
    const char* name;
    std::string text;
    QString read; ///< what a JSON reader makes of it
};

void PrintTo(const Awkward& row, std::ostream* out) {
    *out << row.name;
}

class AwkwardText : public ::testing::TestWithParam<Awkward> {};

// Catches a label, path or damaged byte that makes a JSON file invalid or a table cell
// split into two cells or two rows.
TEST_P(AwkwardText, KeepsJsonAndTablesWhole) {
    const Awkward& row = GetParam();
    const std::string json = Json::object().set(row.text, row.text).text();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_EQ(document.object().value(row.read).toString(), row.read) << json;
    const std::string line = tsvLine({row.text, "next"});
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 1) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AwkwardText,
    ::testing::Values(Awkward{"QuoteAndBackslash", "C:\\a \"b\"", QString("C:\\a \"b\"")},
                      Awkward{"TabAndLineBreaks", "a\tb\nc\r", QString("a\tb\nc\r")},
                      Awkward{"ControlCharacter", "a\x01z", QString("a\x01z")},
                      Awkward{"NotUtf8", "caf\xE9", QString::fromUtf8("caf\xEF\xBF\xBD")},
                      Awkward{"CutSequence", "\xE2\x82",
                              QString::fromUtf8("\xEF\xBF\xBD\xEF\xBF\xBD")},
                      Awkward{"Surrogate", "\xED\xA0\x80",
                              QString::fromUtf8("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")},
                      Awkward{"Utf8", "\xC2\xB5V \xF0\x9F\x98\x80",
                              QString::fromUtf8("\xC2\xB5V \xF0\x9F\x98\x80")}),
    [](const auto& row) { return std::string(row.param.name); });

// Catches a session label that is no BIDS label (an underscore or dash), one that two runs of
// the same second share, and a name taken for a stamp.
TEST(SessionLabel, IsTheStampsTimeInLettersAndDigits) {
    const std::pair<const char*, const char*> rows[] = {
        {"2026-12-08_09-30-00", "20261208T093000"},
        {"2026-12-08_09-30-00_2", "20261208T093000r2"},
        {"2026-12-08_09-30-00_12", "20261208T093000r12"},
        {"2026-12-08_09-30-00_1", nullptr},
        {"2026-12-08_09-30-0x", nullptr},
        {"2026-12-08 09:30:00", nullptr},
        {"baseline", nullptr}};
    for (const auto& [stamp, label] : rows) {
        const std::optional<std::string> made = labelOfStamp(stamp);
        EXPECT_EQ(made.value_or("none"), label ? label : "none") << stamp;
        EXPECT_TRUE(!made || isLabel(*made)) << stamp;
    }
}

} // namespace
} // namespace solvane::bids
