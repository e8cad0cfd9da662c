// What a run leaves behind when its process is killed at any step of beginning, finishing or
// recovering it, when its disk fills while it goes, and what a killed run's sound file is once
// kept: every session has its EDF+, events and sound, whole and readable, or the log says
// which is missing and why. The bundled DSU runs in child processes that end themselves at a
// chosen step (no sleeps: the step itself ends them), and the next start runs here.

#include "dsu/session/SessionSoundFile.h"
#include "dsu/session/SessionSteps.h"
#include "dsu/device/SimulatedDsu.h"
#include "session/SessionError.h"
#include "session/SessionReader.h"
#include "support/TempFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;

constexpr const char* Configuration = "[Simulator]\nSpeed = 0\nSeed = 9\nSound = off\n";

/// Runs `body` in a child process; its exit status, or minus the signal that ended it.
int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

/// Polls `packets` packets with a volume command every 100 of them; false when one failed.
bool record(SimulatedDsu& dsu, int packets, const std::function<void(int)>& before = {}) {
    for (int n = 0; n < packets; ++n) {
        if (before)
            before(n);
        if (n % 100 == 0) {
            char command[8];
            std::snprintf(command, sizeof command, "WB%02X%02X", n / 100 % 2, 10 + n / 100 % 200);
            dsu.sendCommand(command, 6);
        }
        int32_t packet[8];
        int32_t count = 0;
        if (dsu.poll(packet, 8, &count) != 0 || count != 1)
            return false;
    }
    return true;
}

struct Sound {
    long long frames = -1; ///< as the file's header says; -1 when it cannot be opened
    long long read = 0;    ///< as read to its end
};

Sound soundOf(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    if (sound == nullptr)
        return {};
    Sound found{info.frames, 0};
    std::vector<short> block(std::size_t{4096} * 2);
    for (sf_count_t got = 0; (got = sf_readf_short(sound, block.data(), 4096)) > 0;)
        found.read += got;
    sf_close(sound);
    return found;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

/// Checks the one session kept in `folder`, of `lowest` or more whole seconds: its events lie
/// within its data, and its sound is whole, of a length its header tells. Its reader.
std::optional<session::SessionReader> checkKept(const std::filesystem::path& folder, int lowest) {
    std::optional<std::filesystem::path> kept;
    for (const std::filesystem::path& file : filesIn(folder)) {
        const std::string name = file.filename().string();
        for (const char* working : {".working.edf", ".working.flac", ".lock", ".part"})
            EXPECT_EQ(name.find(working), std::string::npos) << name << " is left";
        if (file.extension() == ".edf")
            kept = file;
    }
    if (!kept) {
        ADD_FAILURE() << "no session is kept";
        return std::nullopt;
    }
    session::SessionReader reader(*kept);
    EXPECT_GE(reader.records(), lowest);
    EXPECT_TRUE(std::filesystem::exists(reader.paths().events()));
    EXPECT_GE(reader.events().size(), 6U);
    for (const session::SessionEvent& event : reader.events())
        EXPECT_LE(event.packet(), static_cast<uint64_t>(reader.records()) * 256)
            << event.type << " " << event.value << " at " << event.onset << " s";
    const Sound sound = soundOf(reader.paths().sound());
    EXPECT_GT(sound.frames, 0) << "no sound";
    EXPECT_EQ(sound.read, sound.frames) << "the sound's length is not what it reads";
    // It ends with its fade-out after the last packet, or at the moment of a fault, which
    // may lie in the second whose record was lost.
    EXPECT_LE(sound.frames, (reader.records() + 2) * 48000LL);
    return reader;
}

// The step at which the process under test kills itself.
std::string_view killAt;
void killHere(std::string_view step) {
    if (step == killAt)
        ::raise(SIGKILL);
}

enum class Stage {
    Begin,    ///< the start of a run
    Stop,     ///< the end of a run of 2.5 s (a run of none with `packets` 0)
    Recovery, ///< the next start, finishing a run of `packets` killed while it went
};

struct Kill {
    const char* name;
    Stage stage;
    std::string_view step;
    int packets;
    bool kept;       ///< the run is kept as a session
    const char* log; ///< part of the next start's log; nullptr when it says nothing of the run
};

void PrintTo(const Kill& row, std::ostream* out) {
    *out << row.name;
}

class KilledAtAStep : public ::testing::TestWithParam<Kill> {};

// Catches a sound lost for good between the renames at Stop, a working sound cut to nothing
// or left behind by a recovery cut short, a recording renamed before its sound, events of a
// lost last second kept past the EEG, an orphan events file or facts of a run killed before
// its recording, a second of flat "EEG" kept from a run that had none, and a log that says
// nothing of what went.
TEST_P(KilledAtAStep, LeavesEverySessionWholeAtTheNextStart) {
    const Kill& row = GetParam();
    const TempFolder folder;
    folder.write("dsu-simulator.ini", Configuration);
    const std::filesystem::path sessions = folder.path() / SimulatedDsu::SessionsFolder;
    killAt = row.step;
    if (row.stage == Stage::Recovery) {
        ASSERT_EQ(inChild([&] {
                      SimulatedDsu killed(folder.path());
                      if (killed.initialise() != 0 || !record(killed, row.packets))
                          return 1;
                      ::raise(SIGKILL);
                      return 2;
                  }),
                  -SIGKILL);
    }
    const int ended = inChild([&] {
        SimulatedDsu dsu(folder.path());
        if (row.stage != Stage::Stop) { // both in InitialiseDSU
            setStepHook(killHere);
            dsu.initialise();
            return 3;
        }
        if (dsu.initialise() != 0 || !record(dsu, row.packets))
            return 1;
        setStepHook(killHere);
        dsu.terminate("kardemo.SES");
        return 3;
    });
    ASSERT_EQ(ended, -SIGKILL) << "the step was never taken";

    SimulatedDsu next(folder.path());
    next.setDebugMode(1, (folder.path() / "debug.txt").c_str());
    ASSERT_EQ(next.initialise(), 0);
    ASSERT_EQ(next.terminate("kardemo.SES"), 0);
    const std::string log = folder.read("debug.txt");
    if (row.log != nullptr)
        EXPECT_NE(log.find(row.log), std::string::npos) << log;
    else
        EXPECT_EQ(log.find("did not end"), std::string::npos) << log;
    if (row.kept)
        checkKept(sessions, 2);
    else
        EXPECT_TRUE(filesIn(sessions).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, KilledAtAStep,
    ::testing::Values(
        Kill{"BeginBeforeTheEventsFile", Stage::Begin, Step::CreateEvents, 0, false, nullptr},
        Kill{"BeginBeforeTheRecording", Stage::Begin, Step::CreateRecording, 0, false,
             "had no recording yet; its files are removed"},
        Kill{"BeginBeforeTheFacts", Stage::Begin, Step::WriteFacts, 0, false,
             "no whole second of EEG; its working files are removed"},
        Kill{"BeginBeforeTheSound", Stage::Begin, Step::CreateSound, 0, false,
             "no whole second of EEG; its working files are removed"},
        Kill{"StopOfAnEmptyRun", Stage::Stop, Step::RemoveWorkingFiles, 0, false,
             "no whole second of EEG; its working files are removed"},
        Kill{"StopBeforeTheSoundIsCompleted", Stage::Stop, Step::CompleteSound, 640, true,
             "did not end: kept in"},
        Kill{"StopBeforeTheSoundIsKept", Stage::Stop, Step::KeepSound, 640, true,
             "did not end: kept in"},
        Kill{"StopBeforeTheRecordingIsKept", Stage::Stop, Step::KeepRecording, 640, true,
             "did not end: kept in"},
        Kill{"StopBeforeTheLockGoes", Stage::Stop, Step::ReleaseLock, 640, true, nullptr},
        Kill{"StopBeforeTheCopy", Stage::Stop, Step::CopySession, 640, true, nullptr},
        Kill{"RecoveryOfARunWithoutASecond", Stage::Recovery, Step::RemoveWorkingFiles, 100, false,
             "no whole second of EEG; its working files are removed"},
        Kill{"RecoveryBeforeTheRecordingIsCut", Stage::Recovery, Step::CutRecording, 640, true,
             "did not end: kept in"},
        Kill{"RecoveryBeforeTheEventsAreCut", Stage::Recovery, Step::CutEvents, 640, true,
             "did not end: kept in"},
        Kill{"RecoveryBeforeTheSoundIsKept", Stage::Recovery, Step::KeepSound, 640, true,
             "did not end: kept in"},
        Kill{"RecoveryBeforeTheRecordingIsKept", Stage::Recovery, Step::KeepRecording, 640, true,
             "did not end: kept in"},
        Kill{"RecoveryBeforeTheLockGoes", Stage::Recovery, Step::ReleaseLock, 640, true, nullptr}),
    [](const ::testing::TestParamInfo<Kill>& row) { return std::string(row.param.name); });

struct Filling {
    const char* name;
    int fillAt; ///< the packet before which another program fills the disk; -1: the run does
    int lowest; ///< whole seconds at least kept
    int highest;
};

void PrintTo(const Filling& row, std::ostream* out) {
    *out << row.name;
}

class DiskThatFills : public ::testing::TestWithParam<Filling> {};

/// Fills the disk of `folder` to its last byte.
void fill(const std::filesystem::path& folder) {
    const int fd = ::open((folder / "ballast").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    static const std::vector<char> block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    for (char byte = 'x'; ::write(fd, &byte, 1) == 1;) {
    }
    ::close(fd);
}

// On a tmpfs of 1 MB, mounted in a mount namespace of the child's own. Catches a sound file
// deleted when the disk filled, a run that lost its sound without a mark, a fault marked
// nowhere but the log (events file, facts) or said in other words, events kept after the last
// whole second, and facts that cannot take the fault because their replacement finds no room.
TEST_P(DiskThatFills, KeepsTheEegAndSoundUpToTheFaultAndMarksIt) {
    const Filling& row = GetParam();
    const TempFolder folder;
    folder.write("dsu-simulator.ini", Configuration);
    const std::filesystem::path sessions = folder.path() / SimulatedDsu::SessionsFolder;
    const std::filesystem::path kept = folder.path() / "kept";
    std::filesystem::create_directory(sessions);
    std::filesystem::create_directory(kept);
    constexpr int CannotMount = 77;
    const int ended = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", sessions.c_str(), "tmpfs", 0, "size=1m") != 0)
            return CannotMount;
        SimulatedDsu dsu(folder.path());
        dsu.setDebugMode(1, (folder.path() / "debug.txt").c_str());
        if (dsu.initialise() != 0 || !record(dsu, 60000, [&](int n) {
                if (n == row.fillAt)
                    fill(sessions);
            }))
            return 1;
        const int32_t status = dsu.terminate("kardemo.SES");
        std::filesystem::remove(sessions / "ballast");
        for (const std::filesystem::path& file : filesIn(sessions))
            std::filesystem::copy(file, kept / file.filename());
        return -status;
    });
    if (ended == CannotMount)
        GTEST_SKIP() << "a tmpfs cannot be mounted here (not root, or no mount namespaces)";
    EXPECT_EQ(ended, -SimulatedDsu::SessionFileFailed) << folder.read("debug.txt");

    const std::optional<session::SessionReader> reader = checkKept(kept, row.lowest);
    ASSERT_TRUE(reader);
    const int seconds = reader->records();
    EXPECT_LE(seconds, row.highest);
    ASSERT_FALSE(reader->events().empty());
    const session::SessionEvent& last = reader->events().back();
    EXPECT_EQ(last.type, session::EventType::Stopped);
    EXPECT_EQ(last.value, "disk full");
    EXPECT_EQ(last.onset, seconds);
    ASSERT_TRUE(reader->facts());
    ASSERT_EQ(reader->facts()->faults.size(), 1U);
    EXPECT_EQ(reader->facts()->faults[0].what, "disk full");
    EXPECT_EQ(reader->facts()->faults[0].onset, seconds);
    EXPECT_GT(soundOf(reader->paths().sound()).frames, (seconds - 1) * 48000LL);
}

INSTANTIATE_TEST_SUITE_P(Rows, DiskThatFills,
                         ::testing::Values(Filling{"ByTheRunItself", -1, 10, 200},
                                           Filling{"ByAnotherProgramAtOnce", 1280, 5, 5}),
                         [](const ::testing::TestParamInfo<Filling>& row) {
                             return std::string(row.param.name);
                         });

struct Tear {
    const char* name;
    std::function<void(const std::filesystem::path&, uint64_t size)> tear;
    const char* refused; ///< part of the reason; nullptr when the file is kept
};

void PrintTo(const Tear& row, std::ostream* out) {
    *out << row.name;
}

class TornSoundFile : public ::testing::TestWithParam<Tear> {};

/// Zeroes the length and checksum in STREAMINFO, as a writer that did not finish leaves them.
void unsetLength(const std::filesystem::path& file) {
    std::fstream bytes(file, std::ios::binary | std::ios::in | std::ios::out);
    char info[8];
    bytes.seekg(18).read(info, 8);
    info[3] = static_cast<char>(info[3] & 0xF0);
    std::fill(info + 4, info + 8, '\0');
    bytes.seekp(18).write(info, 8);
    bytes.write(std::string(16, '\0').data(), 16);
}

std::vector<short> samplesOf(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    std::vector<short> samples;
    std::vector<short> block(std::size_t{4096} * 2);
    for (sf_count_t got = 0;
         sound != nullptr && (got = sf_readf_short(sound, block.data(), 4096)) > 0;)
        samples.insert(samples.end(), block.begin(), block.begin() + got * 2);
    if (sound != nullptr)
        sf_close(sound);
    return samples;
}

// Catches a torn last frame kept (readers fail at the end), a length left unknown (a reader
// then takes the file for endless), samples that are not the ones written, a whole file
// changed, and a file that is no sound renamed as if it were.
TEST_P(TornSoundFile, IsKeptUpToItsLastWholeFrame) {
    const Tear& row = GetParam();
    const TempFolder folder;
    const std::filesystem::path written = folder.path() / "written.flac";
    {
        SessionSoundFile sound(written);
        ToneSettings tones;
        tones.volume[0] = 60;
        tones.volume[1] = 30;
        sound.set(tones, 0);
        for (uint64_t packet = 1; packet <= 768; ++packet)
            sound.follow(packet);
        sound.end(768);
    }
    const std::vector<short> original = samplesOf(written);
    const std::filesystem::path working = folder.path() / "working.flac";
    std::filesystem::copy_file(written, working);
    row.tear(working, std::filesystem::file_size(working));
    const std::string before = folder.read("working.flac");
    const std::filesystem::path target = folder.path() / "kept.flac";
    try {
        const double seconds = SessionSoundFile::keep(working, target);
        ASSERT_EQ(row.refused, nullptr) << "kept " << seconds << " s";
        const Sound sound = soundOf(target);
        EXPECT_EQ(sound.read, sound.frames);
        EXPECT_DOUBLE_EQ(seconds, static_cast<double>(sound.frames) / 48000);
        const std::vector<short> kept = samplesOf(target);
        ASSERT_LE(kept.size(), original.size());
        EXPECT_GT(kept.size(), original.size() / 2);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), original.begin()));
        if (std::string(row.name) == "Whole") {
            EXPECT_EQ(folder.read("kept.flac"), folder.read("written.flac"));
        }
    } catch (const session::SessionError& e) {
        ASSERT_NE(row.refused, nullptr) << e.what();
        EXPECT_NE(std::string(e.what()).find(row.refused), std::string::npos) << e.what();
        EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(folder.read("working.flac"), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TornSoundFile,
    ::testing::Values(
        Tear{"Whole", [](const std::filesystem::path&, uint64_t) {}, nullptr},
        Tear{"LengthNotYetWritten",
             [](const std::filesystem::path& f, uint64_t) { unsetLength(f); }, nullptr},
        Tear{"TornLastFrame",
             [](const std::filesystem::path& f, uint64_t size) {
                 unsetLength(f);
                 std::filesystem::resize_file(f, size - 100);
             },
             nullptr},
        Tear{"TornInTheMiddle",
             [](const std::filesystem::path& f, uint64_t size) {
                 unsetLength(f);
                 std::filesystem::resize_file(f, size * 2 / 3);
             },
             nullptr},
        Tear{"FirstFrameTorn",
             [](const std::filesystem::path& f, uint64_t) { std::filesystem::resize_file(f, 87); },
             "holds no whole frame"},
        Tear{"MetadataCutShort",
             [](const std::filesystem::path& f, uint64_t) { std::filesystem::resize_file(f, 50); },
             "metadata is cut short"},
        Tear{"Empty",
             [](const std::filesystem::path& f, uint64_t) { std::filesystem::resize_file(f, 0); },
             "is empty"},
        Tear{"NoFlac",
             [](const std::filesystem::path& f, uint64_t) {
                 std::ofstream(f, std::ios::binary) << std::string(5000, 'x');
             },
             "is no FLAC file"}),
    [](const ::testing::TestParamInfo<Tear>& row) { return std::string(row.param.name); });

} // namespace
} // namespace solvane::dsusim
