// The session file: each run is recorded from InitialiseDSU on into a working file in the
// sessions folder beside the library, readable while the run goes, completed at TerminateDSU as
// the run's own file there and copied to the file the program names. Read back with EDFlib, it
// holds the packets as delivered and the commands at the time they came.

#include "dsu/unit/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;
using Packet = std::array<int32_t, 8>;

struct SessionContents {
    long long records = 0;
    std::vector<Packet> packets; ///< the first `records` x 256 packets
    std::vector<std::pair<long long, std::string>> annotations; ///< onset (100 ns), text
    std::string labels[8];
};

SessionContents readSession(const std::filesystem::path& path) {
    auto header = std::make_unique<edf_hdr_struct>();
    SessionContents contents;
    if (edfopen_file_readonly(path.c_str(), header.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        ADD_FAILURE() << path << " cannot be read: EDFlib error " << header->filetype;
        return contents;
    }
    EXPECT_EQ(header->filetype, EDFLIB_FILETYPE_EDFPLUS);
    EXPECT_EQ(header->edfsignals, 8);
    EXPECT_EQ(header->datarecord_duration, EDFLIB_TIME_DIMENSION);
    contents.records = header->datarecords_in_file;
    contents.packets.resize(static_cast<std::size_t>(contents.records * 256));
    std::vector<int> samples(contents.packets.size());
    for (int e = 0; e < 8; ++e) {
        EXPECT_EQ(header->signalparam[e].smp_in_datarecord, 256);
        contents.labels[e] = header->signalparam[e].label;
        const int read = edfread_digital_samples(header->handle, e,
                                                 static_cast<int>(samples.size()), samples.data());
        EXPECT_EQ(read, static_cast<int>(samples.size()));
        for (std::size_t i = 0; i < samples.size(); ++i)
            contents.packets[i][static_cast<std::size_t>(e)] = samples[i];
    }
    for (long long n = 0; n < header->annotations_in_file; ++n) {
        edf_annotation_struct annotation{};
        edf_get_annotation(header->handle, static_cast<int>(n), &annotation);
        contents.annotations.emplace_back(annotation.onset, annotation.annotation);
    }
    edfclose_file(header->handle);
    return contents;
}

class SessionFile : public ::testing::Test {
protected:
    SessionFile() {
        folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSeed = 9\nSound = off\n");
        dsu = std::make_unique<SimulatedDsu>(folder.path());
    }

    // Polls `count` packets, sending `commands` (packet number -> text) before the packet
    // of that number.
    void run(int count, const std::map<int, std::string>& commands = {}) {
        for (int n = 0; n < count; ++n) {
            if (const auto c = commands.find(n); c != commands.end()) {
                ASSERT_EQ(dsu->sendCommand(c->second.c_str(), 6), 0);
            }
            Packet packet{};
            int32_t received = 0;
            ASSERT_EQ(dsu->poll(packet.data(), 8, &received), 0);
            ASSERT_EQ(received, 1);
            delivered.push_back(packet);
        }
    }

    TempFolder folder;
    std::unique_ptr<SimulatedDsu> dsu;
    std::vector<Packet> delivered;
};

TEST_F(SessionFile, HoldsThePacketsAndCommandsOfTheRun) {
    ASSERT_EQ(dsu->initialise(), 0);
    const std::filesystem::path working = dsu->recordingFile();
    EXPECT_EQ(working.parent_path(), folder.path() / SimulatedDsu::SessionsFolder);
    run(700, {{0, "WE80D2"}, {256, "WB0032"}, {300, "WB0119"}, {699, "WF80E1"}});
    ASSERT_EQ(dsu->sendCommand("WB0000", 6), 0);
    ASSERT_EQ(dsu->sendCommand("WB0100", 6), 0);
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);

    EXPECT_FALSE(std::filesystem::exists(working));
    const SessionContents session = readSession(folder.path() / "kardemo.SES");
    ASSERT_EQ(session.records, 3);
    for (std::size_t i = 0; i < delivered.size(); ++i)
        ASSERT_EQ(session.packets[i], delivered[i]) << "packet " << i;
    for (std::size_t i = delivered.size(); i < session.packets.size(); ++i)
        ASSERT_EQ(session.packets[i], Packet({512, 512, 512, 512, 512, 512, 512, 512}));
    EXPECT_EQ(session.labels[0].substr(0, 15), "EEG Synthetic 0");
    EXPECT_EQ(session.labels[4].substr(0, 15), "EEG Synthetic 1");
    EXPECT_EQ(session.labels[2].substr(0, 9), "Element 2");

    // Times in EDFlib's unit of 100 ns, at the packet the command preceded.
    const std::vector<std::pair<long long, std::string>> expected = {{0, "WE80D2"},
                                                                     {10000000, "WB0032"},
                                                                     {11718750, "WB0119"},
                                                                     {27304687, "WF80E1"},
                                                                     {27343750, "WB0000"},
                                                                     {27343750, "WB0100"},
                                                                     {27343750, "Recording ends"}};
    auto annotations = session.annotations;
    std::stable_sort(annotations.begin(), annotations.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(annotations.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(annotations[i].first), expected[i].first, 1000.0)
            << expected[i].second;
        EXPECT_EQ(annotations[i].second, expected[i].second);
    }
}

TEST_F(SessionFile, WorkingFileIsReadableWhileTheRunGoes) {
    ASSERT_EQ(dsu->initialise(), 0);
    run(600);
    const std::filesystem::path copy = folder.path() / "copy.edf";
    std::filesystem::copy_file(dsu->recordingFile(), copy);
    const SessionContents partial = readSession(copy);
    ASSERT_EQ(partial.records, 2);
    for (std::size_t i = 0; i < 512; ++i)
        ASSERT_EQ(partial.packets[i], delivered[i]) << "packet " << i;
    EXPECT_EQ(dsu->terminate("kardemo.SES"), 0);
}

TEST_F(SessionFile, KeepsEveryCommandOfABusyShortRun) {
    ASSERT_EQ(dsu->initialise(), 0);
    std::map<int, std::string> commands;
    for (int n = 0; n < 30; ++n) {
        char text[7];
        std::snprintf(text, sizeof text, "WB00%02X", n);
        commands[n * 3] = text;
    }
    run(100, commands);
    const std::filesystem::path events =
        std::filesystem::path(dsu->sessionFile()).replace_extension().string() + "_events.tsv";
    ASSERT_EQ(dsu->terminate("busy.edf"), 0);
    // The EDF+ holds what its one record has room for and gets no flat records for more; the
    // events file holds every command.
    const SessionContents session = readSession(folder.path() / "busy.edf");
    EXPECT_EQ(session.records, 1);
    EXPECT_EQ(session.annotations.size(), std::size_t{SessionRecorder::AnnotationSignals});
    std::ifstream lines(events);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "onset\tduration\ttrial_type\tvalue");
    for (int n = 0; n < 30; ++n) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.4f\tn/a\tave_command\tWB00%02X", n * 3 / 256.0,
                      n);
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, expected);
    }
    for (std::size_t i = 0; i < delivered.size(); ++i)
        ASSERT_EQ(session.packets[i], delivered[i]) << "packet " << i;
}

TEST_F(SessionFile, EachRunIsItsOwnFileAndAnAbsoluteNameIsKept) {
    TempFolder elsewhere;
    ASSERT_EQ(dsu->initialise(), 0);
    run(300);
    ASSERT_EQ(dsu->terminate((elsewhere.path() / "first.SES").c_str()), 0);
    const std::vector<Packet> first = delivered;
    delivered.clear();
    ASSERT_EQ(dsu->initialise(), 0);
    run(10);
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);

    const SessionContents one = readSession(elsewhere.path() / "first.SES");
    ASSERT_EQ(one.records, 2);
    EXPECT_EQ(one.packets[299], first[299]);
    const SessionContents two = readSession(folder.path() / "kardemo.SES");
    ASSERT_EQ(two.records, 1);
    EXPECT_EQ(two.packets[0], delivered[0]);
    // The same seed starts each run with the same EEG.
    EXPECT_EQ(two.packets[9], first[9]);
}

// Runs that begin in the same second as well: each is kept with its sound, and the named file
// is the last.
TEST_F(SessionFile, EveryRunIsKeptUnderItsOwnName) {
    std::vector<std::filesystem::path> kept;
    for (int runs = 0; runs < 2; ++runs) {
        ASSERT_EQ(dsu->initialise(), 0);
        run(300);
        kept.push_back(dsu->sessionFile());
        ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);
    }
    const std::string last = folder.read("kardemo.SES");
    // Stopped before its first packet: nothing to keep.
    ASSERT_EQ(dsu->initialise(), 0);
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);

    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(folder.path() / SimulatedDsu::SessionsFolder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::filesystem::path> expected = kept; // each with its sound and events
    for (std::filesystem::path sound : kept) {
        expected.push_back(sound.replace_extension(".flac"));
        expected.push_back(sound.replace_extension().string() + "_events.tsv");
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(files, expected);
    for (int runs = 0; runs < 2; ++runs) {
        const SessionContents session = readSession(kept[static_cast<std::size_t>(runs)]);
        ASSERT_EQ(session.records, 2);
        EXPECT_EQ(session.packets[299], delivered[static_cast<std::size_t>(300 * runs + 299)]);
    }
    std::ifstream lastKept(kept[1], std::ios::binary);
    EXPECT_EQ(last, std::string(std::istreambuf_iterator<char>(lastKept), {}));
}

TEST_F(SessionFile, OfARunNeverTerminatedIsKeptUnderItsOwnName) {
    ASSERT_EQ(dsu->initialise(), 0);
    run(300);
    const std::filesystem::path unfinished = dsu->recordingFile();
    const std::filesystem::path own = dsu->sessionFile();
    ASSERT_EQ(dsu->initialise(), 0);
    EXPECT_NE(dsu->recordingFile(), unfinished);
    EXPECT_FALSE(std::filesystem::exists(unfinished));
    const SessionContents kept = readSession(own);
    ASSERT_EQ(kept.records, 2);
    EXPECT_EQ(kept.packets[299], delivered[299]);
    EXPECT_EQ(dsu->terminate("kardemo.SES"), 0);
}

TEST_F(SessionFile, ThatCannotBeWrittenFailsTerminateAndTheRunIsStillKept) {
    ASSERT_EQ(dsu->initialise(), 0);
    run(10);
    const std::filesystem::path keptAs = dsu->sessionFile();
    EXPECT_EQ(dsu->terminate("no-such-folder/kardemo.SES"), SimulatedDsu::SessionFileFailed);
    const SessionContents kept = readSession(keptAs);
    EXPECT_EQ(kept.records, 1);
    EXPECT_EQ(kept.packets[9], delivered[9]);
}

} // namespace
} // namespace solvane::dsusim
