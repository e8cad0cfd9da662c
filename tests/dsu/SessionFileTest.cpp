// The session file: each run is recorded from InitialiseDSU on into a working file in the
// sessions folder beside the library, readable while the run goes, completed at TerminateDSU as
// the run's own file there and copied to the file the program names. Read back with EDFlib, it
// holds the packets as delivered and the commands at the time they came.

#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
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

/// Runs the DSU in `folder` for `packets` packets and terminates it into kardemo.SES, in a
/// child process as the unprivileged user nobody, for whom file modes count; the child's wait
/// status, whose exit code is minus TerminateDSU's status (100, 101: it could not start).
int runAsNobody(const std::filesystem::path& folder, int packets) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
             ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(100);
        SimulatedDsu child(folder);
        if (child.initialise() != 0)
            ::_exit(101);
        for (int n = 0; n < packets; ++n) {
            int32_t packet[8];
            int32_t received = 0;
            child.poll(packet, 8, &received);
        }
        ::_exit(-child.terminate("kardemo.SES"));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

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
    // The EDF+ gets no flat records to hold more: its one record takes what fits and says how
    // many more there are (the 30 commands and the end); the events file holds every command.
    const SessionContents session = readSession(folder.path() / "busy.edf");
    EXPECT_EQ(session.records, 1);
    ASSERT_GT(session.annotations.size(), 10U);
    const std::size_t held = session.annotations.size() - 1;
    EXPECT_EQ(session.annotations.back().second,
              std::to_string(31 - held) + " more: see the events file");
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
    std::vector<std::filesystem::path> expected = kept; // each with its sound, events, facts
    for (std::filesystem::path sound : kept) {
        expected.push_back(sound.replace_extension(".flac"));
        expected.push_back(sound.replace_extension().string() + "_events.tsv");
        expected.push_back(sound.replace_extension().string() + "_facts.json");
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

// The runs of another process, each a forked child that records `packets` packets with
// `commands`, tells its session's name through a pipe and waits to be killed (or, with
// `terminate`, ends the run and exits with TerminateDSU's status).
struct RecordingChild {
    pid_t pid = -1;
    std::string session; ///< the name the run is kept under once it ends

    RecordingChild(const std::filesystem::path& folder, int packets,
                   const std::map<int, std::string>& commands, bool terminate = false,
                   rlim_t fileLimit = RLIM_INFINITY) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(pipeEnds[0]);
            ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails, as on a full disk
            const rlimit limit{fileLimit, fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            SimulatedDsu child(folder);
            child.setDebugMode(1, (folder / "debug.txt").c_str());
            int status = child.initialise() == 0 ? 0 : 100;
            for (int n = 0; status == 0 && n < packets; ++n) {
                if (const auto c = commands.find(n); c != commands.end())
                    child.sendCommand(c->second.c_str(), 6);
                int32_t packet[8];
                int32_t received = 0;
                if (child.poll(packet, 8, &received) != 0 || received != 1)
                    status = 101; // the feedback must go on whatever happens to the recording
            }
            const std::string name = child.sessionFile().string() + "\n";
            (void)!::write(pipeEnds[1], name.data(), name.size());
            if (terminate)
                ::_exit(status != 0 ? status : -child.terminate("kardemo.SES"));
            ::pause();
            ::_exit(0);
        }
        ::close(pipeEnds[1]);
        char c = 0;
        while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n')
            session += c;
        ::close(pipeEnds[0]);
    }
    int kill() {
        ::kill(pid, SIGKILL);
        return wait();
    }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    ~RecordingChild() {
        if (pid > 0)
            kill();
    }
};

std::filesystem::path beside(const std::filesystem::path& session, const std::string& ending) {
    return std::filesystem::path(session).replace_extension().string() + ending;
}

// A run in another process is left alone while it goes: a second program beside it records
// under a name of its own and keeps the first one's log; once the first is killed, the next
// start finishes its run from the whole records on disk, which carry their own commands (the
// faults: a killed run kept no commands, its working files stayed for good, and commands of
// the lost last second stood past the end of the data).
TEST_F(SessionFile, OfAKilledRunIsFinishedAtTheNextStartAndARunGoingOnIsLeftAlone) {
    RecordingChild killed(folder.path(), 700, {{0, "WE80D2"}, {256, "WB0032"}, {600, "WB0119"}});
    ASSERT_FALSE(killed.session.empty());
    const std::filesystem::path working = beside(killed.session, ".working.edf");
    const std::filesystem::path lock = beside(killed.session, ".lock");
    ASSERT_TRUE(std::filesystem::exists(working));

    dsu->setDebugMode(1, (folder.path() / "debug.txt").c_str());
    ASSERT_EQ(dsu->initialise(), 0);
    EXPECT_NE(dsu->sessionFile().string(), killed.session);
    EXPECT_TRUE(std::filesystem::exists(working));
    EXPECT_TRUE(std::filesystem::exists(lock));
    run(300);
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);
    EXPECT_NE(folder.read("debug.txt").find("recording into " + working.string()),
              std::string::npos);

    EXPECT_EQ(killed.kill(), -SIGKILL);
    delivered.clear();
    dsu->setDebugMode(1, (folder.path() / "debug.txt").c_str());
    ASSERT_EQ(dsu->initialise(), 0);
    run(512); // the same seed: the EEG the killed run delivered
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);
    EXPECT_NE(folder.read("debug.txt").find("did not end: kept in " + killed.session),
              std::string::npos);
    for (const char* gone : {".working.edf", ".working.flac", ".lock"})
        EXPECT_FALSE(std::filesystem::exists(beside(killed.session, gone))) << gone;
    EXPECT_TRUE(std::filesystem::exists(beside(killed.session, ".flac")));

    const SessionContents recovered = readSession(killed.session);
    ASSERT_EQ(recovered.records, 2);
    for (std::size_t i = 0; i < 512; ++i)
        ASSERT_EQ(recovered.packets[i], delivered[i]) << "packet " << i;
    // A command of the lost last second, with no EEG under it, is in neither file.
    const std::vector<std::pair<long long, std::string>> expected = {{0, "WE80D2"},
                                                                     {10000000, "WB0032"}};
    EXPECT_EQ(recovered.annotations, expected);
    const std::string events = folder.read(
        std::filesystem::relative(beside(killed.session, "_events.tsv"), folder.path()).string());
    EXPECT_NE(events.find("1.0000\tn/a\tave_command\tWB0032\n"), std::string::npos) << events;
    EXPECT_EQ(events.find("WB0119"), std::string::npos) << events;
}

// The fault: a run that could not be recorded streamed as if it were.
TEST_F(SessionFile, ThatCannotBeMadeRefusesTheStartUnlessRecordIsOff) {
    folder.write("sessions", "a file where the folder should be");
    dsu->setDebugMode(1, (folder.path() / "debug.txt").c_str());
    EXPECT_EQ(dsu->initialise(), -1020);
    EXPECT_NE(folder.read("debug.txt").find("the run cannot be recorded"), std::string::npos);
    int32_t packet[8];
    int32_t received = 0;
    EXPECT_EQ(dsu->poll(packet, 8, &received), SimulatedDsu::NotInitialised);

    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\nRecord = off\n");
    ASSERT_EQ(dsu->initialise(), 0);
    run(300);
    EXPECT_EQ(dsu->terminate("kardemo.SES"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "kardemo.SES"));
}

// A disk that fills part-way (a file size limit here): the run goes on, and what was recorded
// is a finished file of whole records with its commands, the events file saying where it
// stopped (the fault: stray bytes that readers refused, and commands lost).
TEST_F(SessionFile, OnADiskThatFillsKeepsWhatWasRecorded) {
    std::map<int, std::string> commands;
    for (int n = 0; n < 10; ++n)
        commands[n * 200] = n % 2 == 0 ? "WB0032" : "WB0000";
    RecordingChild full(folder.path(), 2000, commands, true, 20000);
    EXPECT_EQ(full.wait(), -SimulatedDsu::SessionFileFailed);
    const SessionContents kept = readSession(full.session);
    ASSERT_EQ(kept.records, 3);             // 20000 bytes hold the header and three records
    ASSERT_EQ(kept.annotations.size(), 4U); // those of packets 0..767
    for (std::size_t i = 0; i < kept.annotations.size(); ++i) {
        EXPECT_EQ(kept.annotations[i].first,
                  (static_cast<long long>(i) * 200 * 10000 + 128) / 256 * 1000); // to 100 us
        EXPECT_EQ(kept.annotations[i].second, commands[static_cast<int>(i) * 200]);
    }
    const std::string events = folder.read(
        std::filesystem::relative(beside(full.session, "_events.tsv"), folder.path()).string());
    EXPECT_NE(events.find("\t" + std::string("recording_stopped\tdisk full\n")), std::string::npos);
    EXPECT_EQ(events.find("6.2500\t"), std::string::npos); // no command after the stop
    EXPECT_FALSE(std::filesystem::exists(beside(full.session, ".working.edf")));
}

// kardemo.SES is replaced only by a run that recorded something, and never when write
// protected (the faults: an empty run overwrote it with a 0-packet file; a 0444 file was
// replaced through its writable folder). Run as an unprivileged user, for whom modes count.
TEST_F(SessionFile, CopyIsReplacedOnlyByARecordedRunAndKeepsItsProtection) {
    struct Case {
        int packets;
        mode_t mode;
        int32_t status;
    };
    for (const Case& c : {Case{0, 0644, 0}, Case{300, 0444, SimulatedDsu::SessionFileFailed}}) {
        folder.write("kardemo.SES", "the run before");
        std::filesystem::permissions(folder.path() / "kardemo.SES",
                                     static_cast<std::filesystem::perms>(c.mode));
        std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
        const int status = runAsNobody(folder.path(), c.packets);
        EXPECT_EQ(WEXITSTATUS(status), -c.status) << c.packets << " packets";
        EXPECT_EQ(folder.read("kardemo.SES"), "the run before") << c.packets << " packets";
        std::filesystem::remove_all(folder.path() / SimulatedDsu::SessionsFolder);
    }
}

// A run that keeps no sound (SoundFile = off here; a full disk does the same) replaces
// kardemo.SES: a kardemo.flac left beside it would be an earlier run's sound passing for this
// one's. A write-protected one stays, and TerminateDSU says so. As an unprivileged user.
TEST_F(SessionFile, SoundCopyOfAnEarlierRunGoesWhenTheRunKeepsNoSound) {
    struct Case {
        mode_t mode;
        bool stays;
        int32_t status;
    };
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\nSoundFile = off\n");
    for (const Case& c :
         {Case{0666, false, 0}, Case{0444, true, SimulatedDsu::SessionFileFailed}}) {
        folder.write("kardemo.flac", "an earlier run's sound");
        std::filesystem::permissions(folder.path() / "kardemo.flac",
                                     static_cast<std::filesystem::perms>(c.mode));
        std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
        const int status = runAsNobody(folder.path(), 300);
        EXPECT_EQ(WEXITSTATUS(status), -c.status) << std::oct << c.mode;
        EXPECT_EQ(std::filesystem::exists(folder.path() / "kardemo.flac"), c.stays)
            << std::oct << c.mode;
        EXPECT_EQ(readSession(folder.path() / "kardemo.SES").records, 2);
        std::filesystem::remove_all(folder.path() / SimulatedDsu::SessionsFolder);
        std::filesystem::remove(folder.path() / "kardemo.flac");
    }
}

// The header's start is the run's own, equal to the stamp of its name, with its fraction of
// a second (the fault: EDFlib stamped the first record's time, about a second late).
TEST_F(SessionFile, StartsAtTheStartOfTheRun) {
    const auto before = std::chrono::system_clock::now();
    ASSERT_EQ(dsu->initialise(), 0);
    const auto after = std::chrono::system_clock::now();
    const std::string stamp = dsu->sessionFile().stem().string();
    run(300);
    ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);
    auto header = std::make_unique<edf_hdr_struct>();
    ASSERT_EQ(edfopen_file_readonly((folder.path() / "kardemo.SES").c_str(), header.get(),
                                    EDFLIB_DO_NOT_READ_ANNOTATIONS),
              0);
    edfclose_file(header->handle);
    char named[32];
    std::snprintf(named, sizeof named, "%04d-%02d-%02d_%02d-%02d-%02d", header->startdate_year,
                  header->startdate_month, header->startdate_day, header->starttime_hour,
                  header->starttime_minute, header->starttime_second);
    EXPECT_EQ(stamp.substr(0, 19), named);
    std::tm local{};
    local.tm_year = header->startdate_year - 1900;
    local.tm_mon = header->startdate_month - 1;
    local.tm_mday = header->startdate_day;
    local.tm_hour = header->starttime_hour;
    local.tm_min = header->starttime_minute;
    local.tm_sec = header->starttime_second;
    local.tm_isdst = -1;
    const auto start = std::chrono::system_clock::from_time_t(std::mktime(&local)) +
                       std::chrono::microseconds(header->starttime_subsecond / 10);
    EXPECT_GE(start,
              std::chrono::floor<std::chrono::milliseconds>(before) - std::chrono::milliseconds(1));
    EXPECT_LE(start, after);
}

long long soundFrames(const std::filesystem::path& session) {
    SF_INFO info{};
    SNDFILE* sound =
        sf_open(std::filesystem::path(session).replace_extension(".flac").c_str(), SFM_READ, &info);
    if (sound == nullptr)
        return -1;
    sf_close(sound);
    return info.frames;
}

// Catches a run's sound that begins with the silence of the run before: its packets were
// still counted from that run's end when its sound file took its first settings.
TEST_F(SessionFile, SoundOfALaterRunIsAsLongAsItsOwnPackets) {
    std::vector<long long> frames;
    for (const int packets : {300, 2560, 300}) {
        ASSERT_EQ(dsu->initialise(), 0);
        run(packets, {{10, "WB0030"}});
        const std::filesystem::path kept = dsu->sessionFile();
        ASSERT_EQ(dsu->terminate("kardemo.SES"), 0);
        frames.push_back(soundFrames(kept));
    }
    EXPECT_GT(frames[1], frames[0]);
    EXPECT_EQ(frames[2], frames[0]);
}

} // namespace
} // namespace solvane::dsusim
