// Saving a set-up into copies of real settings files: only the chosen keys change, whatever the
// files hold around them; a write-protected file stays as it is and the user is told; and
// nothing is written while a program holds the settings folder, also not once it has crashed.

#include "config/SettingsLock.h"
#include "config/processINIFile.h"
#include "dsu/DsuSimSupport.h"
#include "setup/SetupError.h"
#include "setup/SetupWriter.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace solvane::setup {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// solvane.ini as the program leaves it, then edited by hand in an editor on Windows: CRLF,
// a comment, a key of another program, a value without the blank the program writes.
const std::string EditedSettings = "; my settings\r\n"
                                   "[Kardemo]\r\n"
                                   "DSUSampleRate= 256\r\n"
                                   "BMFFTBinSize= 0\r\n"
                                   "ActiveComPort= 0\r\n"
                                   "[AVE]\r\n"
                                   "AVEVolume=30\r\n"
                                   "AVEFrequency= 210\r\n"
                                   "AVEDesiredFrequency= 15\r\n"
                                   "; left ear\r\n"
                                   "AVEChannel1=1\r\n"
                                   "AVEChannel2= 0\r\n"
                                   "AVEChannel3= 0\r\n"
                                   "AVEChannel4= 0\r\n"
                                   "Theme= dark\r\n";

SourceChoice synthetic(uint64_t seed) {
    SourceChoice choice;
    choice.seed = seed;
    return choice;
}

SourceChoice recording() {
    SourceChoice choice;
    choice.kind = SourceChoice::Kind::Recording;
    choice.recording = "rest.edf";
    choice.labels = {"O1", "O2", "P3", "P4"};
    return choice;
}

SourceChoice board() {
    SourceChoice choice;
    choice.kind = SourceChoice::Kind::Board;
    choice.board = "cyton";
    choice.serialDevice = "/dev/ttyUSB0";
    return choice;
}

struct RoundTrip {
    const char* name;
    std::optional<std::string> settingsBefore; ///< nothing: no file yet
    std::array<int16_t, 4> positions;
    std::optional<std::string> sourceBefore;
    std::optional<SourceChoice> source;
    std::string settingsAfter;
    std::string sourceAfter;
};

class WriteRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// Catches: all ten keys rewritten in the program's format, lines of unchosen keys touched, CRLF
// or the byte-order mark lost, comments and unknown keys dropped, a key that keeps its value
// written again, a board left with the channel labels of the recording before it.
TEST_P(WriteRoundTrip, OnlyTheChosenKeysChange) {
    const RoundTrip& c = GetParam();
    TempFolder folder;
    processINIFile::SetProgramFolder(folder.path());
    if (c.settingsBefore)
        folder.write("solvane.ini", *c.settingsBefore);
    if (c.sourceBefore)
        folder.write("dsu-simulator.ini", *c.sourceBefore);
    testing::writeTestRecording(folder.path() / "rest.edf", 256, 1,
                                {{"O1"}, {"O2"}, {"P3"}, {"P4"}});

    SetupWriter writer(FileLocations::portableIn(folder.path()),
                       folder.path() / "dsu-simulator.ini");
    ChannelChoice channels;
    channels.positions = c.positions;
    writer.write(channels, c.source);
    EXPECT_EQ(folder.read("solvane.ini"), c.settingsAfter);
    EXPECT_EQ(folder.read("dsu-simulator.ini"), c.sourceAfter);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

const std::string Bom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Files, WriteRoundTrip,
    ::testing::Values(
        RoundTrip{"CrlfCommentsAndUnknownKeys",
                  EditedSettings,
                  {1, 21, 0, 19},
                  {},
                  {},
                  replaced(replaced(EditedSettings, "AVEChannel2= 0", "AVEChannel2= 21"),
                           "AVEChannel4= 0", "AVEChannel4= 19"),
                  ""},
        RoundTrip{"NothingChangesNothingIsWritten",
                  EditedSettings,
                  {1, 0, 0, 0},
                  {},
                  {},
                  EditedSettings,
                  ""},
        RoundTrip{"ByteOrderMarkAndMissingKeys",
                  Bom + "[AVE]\nAVEVolume= 12\n\n[Other]\nx=1\n",
                  {1, 2, 0, 0},
                  {},
                  {},
                  Bom + "[AVE]\nAVEVolume= 12\nAVEChannel2= 2\n\n[Other]\nx=1\n",
                  ""},
        RoundTrip{"FreshInstall",
                  {},
                  {19, 21, 0, 0},
                  {},
                  synthetic(1),
                  "[AVE]\nAVEChannel1= 19\nAVEChannel2= 21\n",
                  "[Simulator]\nSource=synthetic\nSeed=1\n"},
        RoundTrip{"RecordingIntoAHandWrittenFile",
                  {},
                  {1, 0, 0, 0},
                  Bom + "; replay\r\n[Simulator]\r\nSource = synthetic\r\nSeed = 5\r\n"
                        "Speed = 2\r\nColour = red\r\n",
                  recording(),
                  "",
                  Bom + "; replay\r\n[Simulator]\r\nSource=rest.edf\r\nSeed = 5\r\n"
                        "Speed = 2\r\nColour = red\r\nChannels=O1, O2, P3, P4\r\n"},
        RoundTrip{"BoardAfterARecording",
                  {},
                  {1, 0, 0, 0},
                  "[Simulator]\nSource = rest.edf\nChannels = O1, O2, P3, P4\nLoop = 0\n",
                  board(),
                  "",
                  "[Simulator]\nSource=cyton\nChannels=\nLoop = 0\nSerialDevice=/dev/ttyUSB0\n"},
        RoundTrip{"SameSeedAgain",
                  {},
                  {1, 0, 0, 0},
                  "[Simulator]\nsource = Synthetic\nSeed = 7\n",
                  synthetic(7),
                  "",
                  "[Simulator]\nsource = Synthetic\nSeed = 7\n"}),
    [](const ::testing::TestParamInfo<RoundTrip>& row) { return std::string(row.param.name); });

struct Refused {
    const char* name;
    const char* recording;
    std::array<std::string, 4> labels;
    const char* said;
};

class WriteRefused : public ::testing::TestWithParam<Refused> {};

// Catches a source saved that a run would refuse (or read otherwise than chosen), which showed
// only as five seconds without data, and a refused save that wrote one of the files.
TEST_P(WriteRefused, ASourceARunWouldRefuseWritesNeitherFile) {
    const Refused& c = GetParam();
    TempFolder folder;
    processINIFile::SetProgramFolder(folder.path());
    folder.write("solvane.ini", EditedSettings);
    testing::writeTestRecording(folder.path() / "rest.edf", 256, 1,
                                {{"O1"}, {"O2"}, {"P3"}, {"P4"}});
    SourceChoice source = recording();
    source.recording = c.recording;
    source.labels = c.labels;
    SetupWriter writer(FileLocations::portableIn(folder.path()),
                       folder.path() / "dsu-simulator.ini");
    ChannelChoice channels;
    channels.positions = {1, 2, 0, 0};
    try {
        writer.write(channels, source);
        FAIL() << "saved";
    } catch (const SetupError& error) {
        EXPECT_NE(std::string(error.what()).find(c.said), std::string::npos) << error.what();
    }
    EXPECT_EQ(folder.read("solvane.ini"), EditedSettings);
    EXPECT_FALSE(fs::exists(folder.path() / "dsu-simulator.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, WriteRefused,
    ::testing::Values(
        Refused{"ACommaInALabel", "rest.edf", {"O1", "O2", "P3, P4", "O1"}, "names 5 labels"},
        Refused{"NoSuchSignal", "rest.edf", {"O1", "O2", "Cz", "P4"}, "\"Cz\""},
        Refused{"NoSuchFile", "gone.edf", {"O1", "O2", "P3", "P4"}, "gone.edf"}),
    [](const ::testing::TestParamInfo<Refused>& row) { return std::string(row.param.name); });

struct Protected {
    const char* name;
    const char* file; ///< the write-protected one
};

class WriteProtected : public ::testing::TestWithParam<Protected> {};

// Catches: a protected file replaced through its folder (root and the rename would allow it),
// the other file written although the save failed, a failure without the file's name.
// Root may write any file, so as root the test runs again as the user nobody.
TEST_P(WriteProtected, StaysAsItWasAndTheMessageSaysSo) {
    if (::geteuid() == 0) {
        EXPECT_EQ(testing::runAgainAsNobody("*WriteProtected*"), 0);
        return;
    }
    const Protected& c = GetParam();
    TempFolder folder;
    processINIFile::SetProgramFolder(folder.path());
    const std::string source = "[Simulator]\nSource = synthetic\n";
    folder.write("solvane.ini", EditedSettings);
    folder.write("dsu-simulator.ini", source);
    fs::permissions(folder.path() / c.file, fs::perms::owner_read | fs::perms::group_read);

    SetupWriter writer(FileLocations::portableIn(folder.path()),
                       folder.path() / "dsu-simulator.ini");
    ChannelChoice channels;
    channels.positions = {1, 2, 0, 0};
    try {
        writer.write(channels, synthetic(9));
        FAIL() << "a write-protected file was written";
    } catch (const SetupError& error) {
        EXPECT_EQ(error.reason(), SetupError::Reason::Unwritable);
        const std::string message = error.what();
        EXPECT_NE(message.find((folder.path() / c.file).string()), std::string::npos) << message;
        EXPECT_NE(message.find("write-protected"), std::string::npos) << message;
        EXPECT_NE(message.find("nothing was saved"), std::string::npos) << message;
    }
    EXPECT_EQ(folder.read("solvane.ini"), EditedSettings);
    EXPECT_EQ(folder.read("dsu-simulator.ini"), source);
    EXPECT_EQ(fs::status(folder.path() / c.file).permissions(),
              fs::perms::owner_read | fs::perms::group_read);
}

INSTANTIATE_TEST_SUITE_P(Files, WriteProtected,
                         ::testing::Values(Protected{"Settings", "solvane.ini"},
                                           Protected{"Source", "dsu-simulator.ini"}),
                         [](const ::testing::TestParamInfo<Protected>& row) {
                             return std::string(row.param.name);
                         });

// A process that holds the settings as the program does, until it is killed.
class ProgramHolding {
public:
    explicit ProgramHolding(const fs::path& settingsFile) {
        int ready[2] = {};
        if (::pipe(ready) != 0)
            throw std::runtime_error("no pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const SettingsLock lock = SettingsLock::whileOpen(settingsFile);
            (void)::write(ready[1], "r", 1);
            while (true)
                ::pause();
        }
        char answer = 0;
        ::close(ready[1]);
        (void)::read(ready[0], &answer, 1);
        ::close(ready[0]);
    }
    ~ProgramHolding() { crash(); }
    ProgramHolding(const ProgramHolding&) = delete;
    ProgramHolding& operator=(const ProgramHolding&) = delete;

    /// Ends the process the way a crash does, without any clean-up of its own.
    void crash() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

enum class Program { None, Open, Crashed };

class WhileAProgramHolds : public ::testing::TestWithParam<Program> {};

// Catches: a write while the program is open (it would write its settings back at the end of
// a run or when it closes), and a lock that outlives a program that crashed.
TEST_P(WhileAProgramHolds, TheSetUpWritesOnlyWithoutIt) {
    TempFolder folder;
    processINIFile::SetProgramFolder(folder.path());
    folder.write("solvane.ini", EditedSettings);
    std::optional<ProgramHolding> program;
    if (GetParam() != Program::None)
        program.emplace(folder.path() / "solvane.ini");
    if (GetParam() == Program::Crashed)
        program->crash();

    SetupWriter writer(FileLocations::portableIn(folder.path()),
                       folder.path() / "dsu-simulator.ini");
    ChannelChoice channels;
    channels.positions = {1, 21, 0, 0};
    const bool open = GetParam() == Program::Open;
    EXPECT_EQ(SetupWriter::programOpen().empty(), !open);
    try {
        writer.write(channels, synthetic(3));
        EXPECT_FALSE(open) << "written while the program holds the settings";
    } catch (const SetupError& error) {
        EXPECT_TRUE(open) << error.what();
        EXPECT_EQ(error.reason(), SetupError::Reason::ProgramOpen);
        EXPECT_NE(std::string(error.what()).find("Close Solvane first"), std::string::npos);
    }
    EXPECT_EQ(folder.read("solvane.ini") == EditedSettings, open);
    EXPECT_EQ(fs::exists(folder.path() / "dsu-simulator.ini"), !open);
}

INSTANTIATE_TEST_SUITE_P(Programs, WhileAProgramHolds,
                         ::testing::Values(Program::None, Program::Open, Program::Crashed),
                         [](const ::testing::TestParamInfo<Program>& row) {
                             return std::string(row.param == Program::None   ? "None"
                                                : row.param == Program::Open ? "Open"
                                                                             : "Crashed");
                         });

} // namespace
} // namespace solvane::setup
