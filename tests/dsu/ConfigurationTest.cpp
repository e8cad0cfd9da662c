// dsu-simulator.ini, read at every InitialiseDSU: the values it sets, and bad values, which
// fail InitialiseDSU with a status and a debug log line that name the key and why, after which
// polling answers "no data" and nothing else breaks.

#include "DsuSimSupport.h"
#include "dsu/device/SimulatedDsu.h"
#include "dsu/device/SimulatorConfig.h"
#include "support/TempFolder.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;

TEST(SimulatorConfiguration, ReadsEveryKeyForgivingCaseAndBlanks) {
    const SimulatorConfig config = SimulatorConfig::fromText(
        "[other]\nSource=elsewhere.edf\n[SIMULATOR]\n source = rec.bdf \nCHANNELS= O1 , o2,"
        "P3.,EEG P4\nspeed=0\nLoop = 0\nGain=3.5\nSeed=42\nSound=OFF\nsounddevice = USB Audio \n"
        "SoundFile = Off\n");
    EXPECT_EQ(config.source, "rec.bdf");
    EXPECT_EQ(config.kind(), SourceKind::Recording);
    EXPECT_EQ(config.channels, (std::vector<std::string>{"O1", "o2", "P3.", "EEG P4"}));
    EXPECT_EQ(config.speed, 0.0);
    EXPECT_FALSE(config.loop);
    EXPECT_EQ(config.gain, 3.5);
    EXPECT_EQ(config.seed, 42U);
    EXPECT_FALSE(config.sound);
    EXPECT_EQ(config.soundDevice, "USB Audio");
    EXPECT_FALSE(config.soundFile);

    const SimulatorConfig defaults = SimulatorConfig::fromText(std::nullopt);
    EXPECT_EQ(defaults.kind(), SourceKind::Synthetic);
    EXPECT_TRUE(defaults.channels.empty());
    EXPECT_EQ(defaults.speed, 1.0);
    EXPECT_TRUE(defaults.loop);
    EXPECT_EQ(defaults.gain, SimulatorConfig::DefaultGain);
    EXPECT_TRUE(defaults.sound);
    EXPECT_TRUE(defaults.soundDevice.empty());
    EXPECT_TRUE(defaults.soundFile);
}

TEST(SimulatorConfiguration, WithoutAFileTheDsuStreamsSyntheticEeg) {
    TempFolder folder;
    SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);
    int32_t packet[8] = {};
    int32_t count = 0;
    // Real time: the first packet is due 1/256 s after the start. A poll answers at once, so
    // the caller waits between polls as the program does; a second is far beyond the due time.
    int32_t status = SimulatedDsu::NoData;
    for (int poll = 0; poll < 1000 && status != 0; ++poll) {
        status = dsu.poll(packet, 8, &count);
        if (status != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
}

// Catches a misspelt word taken for a missing recording, and a recording whose name has no
// dot that was replayed before and would now be refused.
TEST(SimulatorConfiguration, AWordItDoesNotKnowIsRefusedUnlessAFileHasThatName) {
    TempFolder folder;
    const std::string ini = "[Simulator]\nSource = bluetooth\n";
    try {
        SimulatorConfig::fromText(ini, folder.path());
        FAIL() << "an unknown word was taken";
    } catch (const SimulatorConfigError& error) {
        EXPECT_EQ(error.status(), -101);
        EXPECT_NE(std::string(error.what()).find("allowed are synthetic, cyton, openeeg, lsl"),
                  std::string::npos)
            << error.what();
    }
    folder.write("bluetooth", "");
    EXPECT_EQ(SimulatorConfig::fromText(ini, folder.path()).source, "bluetooth");
}

struct BadValue {
    const char* name;
    const char* ini;    ///< the [Simulator] lines
    int32_t status;     ///< -(100 x key + fault)
    const char* logged; ///< must appear in the debug log line
};

class BadConfiguration : public ::testing::TestWithParam<BadValue> {};

TEST_P(BadConfiguration, FailsInitialiseNamingTheKeyAndThenAnswersNoData) {
    const BadValue& c = GetParam();
    TempFolder folder;
    testing::writeTestRecording(folder.path() / "test.edf", 256, 2,
                                {{"O1", 10.0, 50.0}, {"O2", 10.0, 50.0}, {"Cz", 10.0, 50.0}});
    folder.write("not-eeg.edf", "this is not a recording\n");
    folder.write("dsu-simulator.ini", std::string("[Simulator]\n") + c.ini + "\n");

    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    EXPECT_EQ(dsu.initialise(), c.status);

    int32_t packet[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    int32_t count = 5;
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_LT(dsu.poll(packet, 8, &count), 0);
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(packet[0], 7);
    EXPECT_EQ(dsu.sendCommand("WB0010", 6), 0);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "kardemo.SES"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / SimulatedDsu::SessionsFolder))
        << "a run that failed to start leaves no recording";

    const std::string text = folder.read("debug.txt");
    const std::string line = "InitialiseDSU failed (status " + std::to_string(c.status) + ")";
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_NE(text.find(c.logged), std::string::npos) << text;
}

const std::string HugeGain = "Gain = " + std::string(300, '7') + "x";
const std::string HugeSource = "Source = " + std::string(100000, 'x') + ".edf";

INSTANTIATE_TEST_SUITE_P(
    Values, BadConfiguration,
    ::testing::Values(
        BadValue{"MissingRecording", "Source = nowhere.edf", -103, "nowhere.edf does not exist"},
        BadValue{"NotARecording", "Source = not-eeg.edf", -104, "not-eeg.edf"},
        BadValue{"UnknownLabel", "Source = test.edf\nChannels = O1, O2, Pz, Cz", -205,
                 "labelled \"Pz\""},
        BadValue{"ThreeLabels", "Source = test.edf\nChannels = O1, O2, Cz", -206, "names 3 labels"},
        BadValue{"EmptyLabel", "Source = test.edf\nChannels = O1, , Cz, O2", -201, "empty label"},
        BadValue{"TooFewEegSignals", "Source = test.edf", -206, "has 3 EEG signals"},
        BadValue{"ZeroGain", "Gain = 0", -502, "Gain = \"0\" must be 0.001 to 1000"},
        BadValue{"NegativeGain", "Gain = -2.5", -502, "Gain = \"-2.5\" must be 0.001 to 1000"},
        // Gains that wrote a physical maximum of "./,),(-*" (or 0 to 0) into the header.
        BadValue{"GainTooSmallForTheHeader", "Gain = 1e-9", -502,
                 "Gain = \"1e-9\" must be 0.001 to 1000 (counts per microvolt)"},
        BadValue{"GainTooLargeForTheHeader", "Gain = 1000.5", -502,
                 "Gain = \"1000.5\" must be 0.001 to 1000"},
        BadValue{"GainNotANumber", "Gain = high", -501, "Gain = \"high\" is not a number"},
        BadValue{"NegativeSpeed", "Speed = -1", -302, "Speed = \"-1\" cannot give packets"},
        // Speeds that gave a burst and then nothing, or no packet at all, ending in a stall.
        BadValue{"HugeSpeed", "Speed = 1e17", -302, "0.01 to 100"},
        BadValue{"LargestSpeed", "Speed = 1e308", -302, "0.01 to 100"},
        BadValue{"TinySpeed", "Speed = 1e-300", -302, "0.01 to 100"},
        BadValue{"InfiniteSpeed", "Speed = inf", -301, "is not a number"},
        // A huge value was copied whole into the debug log.
        BadValue{"HugeValueIsCutInTheLog", HugeGain.c_str(), -501,
                 "777...\" (cut; 301 characters in all) is not a number"},
        // A 5 MB Source gave a line of 5 million characters.
        BadValue{"HugeSourceIsCutInTheLog", HugeSource.c_str(), -103, "xxx... (cut; "},
        BadValue{"SpeedNotANumber", "Speed = 1x", -301, "Speed = \"1x\" is not a number"},
        BadValue{"LoopNotABoolean", "Loop = yes", -401, "Loop = \"yes\" is neither 0 nor 1"},
        BadValue{"NegativeSeed", "Seed = -4", -601, "Seed = \"-4\""},
        BadValue{"HugeSeed", "Seed = 99999999999999999999999", -602, "too large"},
        BadValue{"SoundNotOnOrOff", "Sound = 1", -701, "Sound = \"1\" is neither on nor off"},
        BadValue{"NoSuchSoundDevice", "SoundDevice = no such card", -807,
                 "SoundDevice = \"no such card\" names no sound output device"},
        BadValue{"SoundFileNotOnOrOff", "SoundFile = yes", -901, "\"yes\" is neither on nor off"},
        BadValue{"RecordNotOnOrOff", "Record = no", -1001, "\"no\" is neither on nor off"}),
    [](const ::testing::TestParamInfo<BadValue>& row) { return std::string(row.param.name); });

// The file itself: what is no plain file, cannot be read or is no 8-bit text with LF or CRLF
// line ends fails the start with a status of its own. These fell back to the defaults without
// a word (a recording asked for, synthetic EEG recorded), and a FIFO blocked the start for ever.
struct BadFile {
    const char* name;
    enum Kind { Text, Fifo, Folder, Device, Unreadable } kind;
    std::string contents; ///< of a Text or Unreadable file
    int32_t status;
    const char* logged; ///< in the debug log (not checked for Unreadable, whose child has none)
};

class BadConfigurationFile : public ::testing::TestWithParam<BadFile> {};

// Runs initialise in a child process that, when run as root, gives up root first: root may
// read a file of mode 000. Returns the status, or 1 when the child could not report it.
int32_t initialiseAsOrdinaryUser(const std::filesystem::path& folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(255);
        SimulatedDsu dsu(folder);
        const int32_t status = -dsu.initialise();
        ::_exit(status / 100 == 15 ? status % 100 : 254);
    }
    int wstatus = 0;
    if (child < 0 || ::waitpid(child, &wstatus, 0) != child || !WIFEXITED(wstatus) ||
        WEXITSTATUS(wstatus) >= 100)
        return 1;
    return -(1500 + WEXITSTATUS(wstatus));
}

TEST_P(BadConfigurationFile, FailsInitialiseAtOnce) {
    const BadFile& c = GetParam();
    TempFolder folder;
    const std::filesystem::path file = folder.path() / "dsu-simulator.ini";
    switch (c.kind) {
    case BadFile::Text:
        folder.write("dsu-simulator.ini", c.contents);
        break;
    case BadFile::Fifo:
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        break;
    case BadFile::Folder:
        std::filesystem::create_directory(file);
        break;
    case BadFile::Device:
        std::filesystem::create_symlink("/dev/zero", file);
        break;
    case BadFile::Unreadable:
        folder.write("dsu-simulator.ini", c.contents);
        std::filesystem::permissions(file, std::filesystem::perms::none);
        std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
        EXPECT_EQ(initialiseAsOrdinaryUser(folder.path()), c.status);
        return;
    }
    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    EXPECT_EQ(dsu.initialise(), c.status);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    const std::string text = folder.read("debug.txt");
    EXPECT_NE(text.find(c.logged), std::string::npos) << text;
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    Files, BadConfigurationFile,
    ::testing::Values(
        BadFile{"Fifo", BadFile::Fifo, "", -1524, "it is a FIFO, not a plain file"},
        BadFile{"Folder", BadFile::Folder, "", -1524, "it is a folder, not a plain file"},
        BadFile{"Device", BadFile::Device, "", -1524, "it is a device, not a plain file"},
        BadFile{"Unreadable", BadFile::Unreadable, "[Simulator]\nSpeed = 0\n", -1523, ""},
        BadFile{"Utf16", BadFile::Text, "\xFF\xFE[\0S\0i\0m\0]\0\n\0"s, -1525, "UTF-16"},
        BadFile{"Binary", BadFile::Text,
                "\x7F"
                "ELF\x02\x01\x01\0\0\0"s,
                -1525, "it holds"},
        BadFile{"CarriageReturnsAlone", BadFile::Text, "[Simulator]\rSource = x.edf\r", -1525,
                "carriage returns alone"},
        // Section headers that named no section: every key was ignored without a word, and a
        // recording asked for became synthetic EEG.
        BadFile{"HeaderWithoutItsBracket", BadFile::Text, "[Simulator\nSource = x.edf\n", -1526,
                "line 1, \"[Simulator\", is no section header"},
        BadFile{"HeaderInTwoBrackets", BadFile::Text,
                "; mine\r\n[[Simulator]]\r\nSource = x.edf\r\n", -1526,
                "line 2, \"[[Simulator]]\", is no section header"},
        BadFile{"EmptyHeader", BadFile::Text, "[Simulator]\nSpeed = 0\n[ ]\n", -1526,
                "line 3, \"[ ]\""}),
    [](const ::testing::TestParamInfo<BadFile>& row) { return std::string(row.param.name); });

TEST(SimulatorConfiguration, UnknownKeysAreLoggedAndIgnored) {
    TempFolder folder;
    folder.write("dsu-simulator.ini",
                 "[Other]\nColour = red\n[simulator]\n; Gain = 3\nGian = 0\n Speed = 0\n");
    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    EXPECT_EQ(dsu.initialise(), 0);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    const std::string text = folder.read("debug.txt");
    EXPECT_NE(text.find("the key \"Gian\" means nothing here"), std::string::npos) << text;
    EXPECT_EQ(text.find("Colour"), std::string::npos) << text;
    EXPECT_EQ(text.find("\"Speed\""), std::string::npos) << text;
    EXPECT_EQ(text.find("\"; Gain"), std::string::npos) << text;
}

// Catches a Gain range wide enough to let a header through that readers refuse or misread:
// at both ends of the range the recording opens and its physical minimum and maximum read
// back as -512 / Gain and 511 / Gain to within 1e-4.
TEST(SimulatorConfiguration, GainsAtTheEndsOfTheirRangeKeepTheRecordingsHeaderExact) {
    for (const double gain : {SimulatorConfig::LowestGain, SimulatorConfig::HighestGain}) {
        TempFolder folder;
        folder.write("dsu-simulator.ini",
                     "[Simulator]\nSpeed = 0\nSound = off\nGain = " + std::to_string(gain) + "\n");
        SimulatedDsu dsu(folder.path());
        ASSERT_EQ(dsu.initialise(), 0) << gain;
        int32_t packet[8] = {};
        int32_t count = 0;
        for (int n = 0; n < 256; ++n)
            ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
        const std::filesystem::path kept = dsu.sessionFile();
        ASSERT_EQ(dsu.terminate("kardemo.SES"), 0);
        edf_hdr_struct header{};
        ASSERT_EQ(edfopen_file_readonly(kept.c_str(), &header, EDFLIB_DO_NOT_READ_ANNOTATIONS), 0)
            << gain;
        EXPECT_NEAR(header.signalparam[0].phys_min, -512.0 / gain, 1e-4 * 512.0 / gain);
        EXPECT_NEAR(header.signalparam[0].phys_max, 511.0 / gain, 1e-4 * 511.0 / gain);
        edfclose_file(header.handle);
    }
}

// Catches a start held for ever: the debug file was opened for writing the way that waits
// for a reader when it is a FIFO.
TEST(SimulatorConfiguration, ADebugFileThatIsAFifoIsNotWritten) {
    TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\n");
    const std::filesystem::path log = folder.path() / "debug.txt";
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    SimulatedDsu dsu(folder.path());
    dsu.setDebugMode(1, log.c_str());
    EXPECT_EQ(dsu.initialise(), 0);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
}

TEST(BadConfiguration, IsReadAgainAtTheNextInitialise) {
    TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nGain = 0\n");
    SimulatedDsu dsu(folder.path());
    EXPECT_EQ(dsu.initialise(), -502);
    folder.write("dsu-simulator.ini", "[Simulator]\nGain = 1\nSpeed = 0\n");
    EXPECT_EQ(dsu.initialise(), 0);
    int32_t packet[8] = {};
    int32_t count = 0;
    EXPECT_EQ(dsu.poll(packet, 8, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
}

} // namespace
} // namespace solvane::dsusim
