// A session read as far as it can be: what is damaged keeps what can be kept and says what is
// missing; what is no session is refused with the reason, without waiting on it.

#include "session/SessionError.h"
#include "session/SessionReader.h"
#include "support/SessionFiles.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <string>

namespace solvane::session {
namespace {

using testing::SessionFiles;
using testing::TempFolder;

constexpr std::size_t HeaderBytes = 2560;
constexpr std::size_t RecordBytes = RecordingWriter::RecordBytes;

void write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

void patch(const std::filesystem::path& file, std::size_t at, const std::string& text) {
    std::fstream(file, std::ios::binary | std::ios::in | std::ios::out).seekp(at) << text;
}

void replaceByFifo(const std::filesystem::path& file) {
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
}

/// Five seconds: the tones at the start and two volumes each further second, ten commands.
SessionPaths writeSession(const std::filesystem::path& folder) {
    SessionFiles session(folder, "2026-12-08_14-30-05",
                         [](int e, long p) { return static_cast<int>((p * 7 + e) % 1024); });
    session.command("WE80C8");
    session.command("WF80D2");
    for (int second = 0; second < 5; ++second) {
        if (second > 0) {
            session.command("WB00" + std::to_string(10 + second));
            session.command("WB01" + std::to_string(20 + second));
        }
        session.add(1);
    }
    session.finish();
    return session.paths();
}

struct Damage {
    const char* name;
    std::function<void(const SessionPaths&)> damage;
    const char* refused; ///< part of the error; nullptr when the session is read
    int records = 0;
    std::size_t commands = 0;
    const char* note = ""; ///< part of a note; empty for none
    bool working = false;  ///< read as the working file of a run that did not end
};

void PrintTo(const Damage& row, std::ostream* out) {
    *out << row.name;
}

class DamagedSession : public ::testing::TestWithParam<Damage> {};

// Catches a damaged session refused although most of it can be read, read without a word
// about what is missing, shown without the commands it had (a garbage or cut events file
// while the recording holds them), a hang on a FIFO, and a header fault named wrongly.
TEST_P(DamagedSession, KeepsWhatCanBeKeptAndSaysWhatIsMissing) {
    const Damage& row = GetParam();
    const TempFolder folder;
    const SessionPaths paths = writeSession(folder.path());
    if (row.working)
        std::filesystem::rename(paths.kept(), paths.working());
    const std::filesystem::path recording = row.working ? paths.working() : paths.kept();
    row.damage(paths);
    if (row.refused != nullptr) {
        try {
            SessionReader reader(recording);
            ADD_FAILURE() << "read, with " << reader.records() << " records";
        } catch (const SessionError& e) {
            EXPECT_NE(std::string(e.what()).find(row.refused), std::string::npos) << e.what();
        }
        return;
    }
    const SessionReader reader(recording);
    EXPECT_EQ(reader.records(), row.records);
    EXPECT_EQ(std::count_if(reader.events().begin(), reader.events().end(),
                            [](const SessionEvent& e) { return e.setsOutput(); }),
              static_cast<long>(row.commands));
    std::string notes;
    for (const std::string& note : reader.notes())
        notes += note + "\n";
    if (std::string(row.note).empty()) {
        EXPECT_TRUE(notes.empty()) << notes;
    } else {
        EXPECT_NE(notes.find(row.note), std::string::npos) << notes;
    }
}

const auto noDamage = [](const SessionPaths&) {};

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedSession,
    ::testing::Values(
        Damage{"Whole", noDamage, nullptr, 5, 10},
        Damage{"LostTail",
               [](const SessionPaths& p) {
                   std::filesystem::resize_file(p.kept(), HeaderBytes + 2 * RecordBytes + 100);
               },
               nullptr, 2, 10, "last 3 seconds are missing: its header counts 5 records"},
        Damage{"NotClosed", [](const SessionPaths& p) { patch(p.kept(), 236, "-1      "); },
               nullptr, 5, 10, "was not closed"},
        Damage{"GarbageEventsFile",
               [](const SessionPaths& p) {
                   write(p.events(), std::string("\x7f"
                                                 "ELF\n\x01\0\n",
                                                 8));
               },
               nullptr, 5, 10, "does not begin with the header line"},
        Damage{"EventsFileCutShort",
               [](const SessionPaths& p) { std::filesystem::resize_file(p.events(), 32 + 30); },
               nullptr, 5, 10, "holds fewer commands (1) than the recording's annotations (10)"},
        Damage{"EmptyEventsFile", [](const SessionPaths& p) { write(p.events(), ""); }, nullptr, 5,
               10, "is empty; the commands come from"},
        Damage{"EventsFileIsAFifo", [](const SessionPaths& p) { replaceByFifo(p.events()); },
               nullptr, 5, 10, "is a FIFO, not a plain file"},
        Damage{"NoEventsFile", [](const SessionPaths& p) { std::filesystem::remove(p.events()); },
               nullptr, 5, 10, "is missing; the commands come from"},
        Damage{"DamagedEventLine",
               [](const SessionPaths& p) {
                   std::ofstream(p.events(), std::ios::app) << "1,0039\tn/a\tave_command\tWB0001\n";
               },
               nullptr, 5, 10, "has 1 line that cannot be read; they are left out"},
        Damage{"DamagedFacts", [](const SessionPaths& p) { write(p.facts(), "{\"start\": "); },
               nullptr, 5, 10, "facts cannot be read"},
        Damage{"FactsAreAFifo", [](const SessionPaths& p) { replaceByFifo(p.facts()); }, nullptr, 5,
               10, "is a FIFO, not a plain file"},
        Damage{"LockIsAFifo", [](const SessionPaths& p) { replaceByFifo(p.lock()); }, nullptr, 5,
               10, "", true},
        Damage{"StoppedByAFullDisk",
               [](const SessionPaths& p) {
                   std::ofstream(p.events(), std::ios::app)
                       << "5.0000\tn/a\trecording_stopped\tdisk full\n";
               },
               nullptr, 5, 10,
               "The recording stopped at 5 s: disk full; the EEG and sound up to there are kept."},
        Damage{"SoundStoppedInTheFactsOnly",
               [](const SessionPaths& p) {
                   SessionFacts facts;
                   facts.faults.push_back({2.0, "sound: write failed"});
                   writeFacts(p.facts(), facts);
               },
               nullptr, 5, 10, "The sound file stopped at 2 s: write failed"},
        Damage{"MoreEventsThanAreKept",
               [](const SessionPaths& p) {
                   std::ofstream events(p.events(), std::ios::app);
                   for (std::size_t n = 0; n < EventsReader::MostEvents; ++n)
                       events << "5.0000\tn/a\tgap\tg\n";
               },
               nullptr, 5, 10, "holds 10 lines more than the 262144 events shown"},
        Damage{"EmptyRecording", [](const SessionPaths& p) { write(p.kept(), ""); }, "is empty"},
        Damage{"RecordingCutInItsHeader",
               [](const SessionPaths& p) { std::filesystem::resize_file(p.kept(), 1000); },
               "is too short to be an EDF+ recording (1000 bytes"},
        Damage{"RecordingIsAFolder",
               [](const SessionPaths& p) {
                   std::filesystem::remove(p.kept());
                   std::filesystem::create_directory(p.kept());
               },
               "is a folder, not a plain file"},
        Damage{"RecordingIsAFifo", [](const SessionPaths& p) { replaceByFifo(p.kept()); },
               "is a FIFO, not a plain file"},
        Damage{"HeaderSize", [](const SessionPaths& p) { patch(p.kept(), 184, "99999999"); },
               "has a bad header size: \"99999999\" bytes"},
        Damage{"SignalCount", [](const SessionPaths& p) { patch(p.kept(), 252, "8   "); },
               "has a header size of 2560 bytes, which does not fit its 8 signals"},
        Damage{"NotEdf", [](const SessionPaths& p) { patch(p.kept(), 0, "7"); },
               "is not an EDF recording"}),
    [](const ::testing::TestParamInfo<Damage>& row) { return std::string(row.param.name); });

// Catches the fault that made every session of the earlier recorder unreadable: its layout
// had sixteen annotation signals, which the reader must take like one.
TEST(EarlierSession, WithSixteenAnnotationSignalsIsRead) {
    const TempFolder folder;
    const auto file = folder.path() / "2026-01-02_03-04-05.edf";
    const int handle = edfopen_file_writeonly(file.c_str(), EDFLIB_FILETYPE_EDFPLUS, 8);
    ASSERT_GE(handle, 0);
    for (int e = 0; e < 8; ++e) {
        edf_set_samplefrequency(handle, e, 256);
        edf_set_digital_minimum(handle, e, 0);
        edf_set_digital_maximum(handle, e, 1023);
        edf_set_physical_minimum(handle, e, -256);
        edf_set_physical_maximum(handle, e, 255.5);
        edf_set_label(handle, e, ("EEG " + std::to_string(e)).c_str());
    }
    edf_set_number_of_annotation_signals(handle, 16);
    std::vector<int> record(8 * 256, 600);
    for (int r = 0; r < 3; ++r)
        ASSERT_EQ(edf_blockwrite_digital_samples(handle, record.data()), 0);
    edfwrite_annotation_latin1(handle, 10000, -1, "WB0030");
    edfclose_file(handle);

    const SessionReader reader(file);
    EXPECT_EQ(reader.records(), 3);
    EXPECT_EQ(reader.label(7), "EEG 7");
    EXPECT_EQ(reader.samples(3)[700], 600);
    ASSERT_EQ(reader.events().size(), 1U);
    EXPECT_EQ(reader.events()[0].value, "WB0030");
    EXPECT_EQ(reader.events()[0].onset, 1.0);
}

} // namespace
} // namespace solvane::session
