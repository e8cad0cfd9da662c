// dsu-simulator.ini, read at every InitialiseDSU: the values it sets, and bad values, which
// fail InitialiseDSU with a status and a debug log line that name the key and why, after which
// polling answers "no data" and nothing else breaks.

#include "DsuSimSupport.h"
#include "dsu/unit/SimulatedDsu.h"
#include "dsu/unit/SimulatorConfig.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;

TEST(SimulatorConfiguration, ReadsEveryKeyForgivingCaseAndBlanks) {
    const SimulatorConfig config = SimulatorConfig::fromText(
        "[other]\nSource=elsewhere.edf\n[SIMULATOR]\n source = rec.bdf \nCHANNELS= O1 , o2,"
        "P3.,EEG P4\nspeed=0\nLoop = 0\nGain=3.5\nSeed=42\nSound=OFF\nsounddevice = USB Audio \n"
        "SoundFile = Off\n");
    EXPECT_EQ(config.source, "rec.bdf");
    EXPECT_FALSE(config.synthetic());
    EXPECT_EQ(config.channels, (std::vector<std::string>{"O1", "o2", "P3.", "EEG P4"}));
    EXPECT_EQ(config.speed, 0.0);
    EXPECT_FALSE(config.loop);
    EXPECT_EQ(config.gain, 3.5);
    EXPECT_EQ(config.seed, 42U);
    EXPECT_FALSE(config.sound);
    EXPECT_EQ(config.soundDevice, "USB Audio");
    EXPECT_FALSE(config.soundFile);

    const SimulatorConfig defaults = SimulatorConfig::fromText(std::nullopt);
    EXPECT_TRUE(defaults.synthetic());
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
        BadValue{"ZeroGain", "Gain = 0", -502, "Gain = \"0\" must be above 0"},
        BadValue{"NegativeGain", "Gain = -2.5", -502, "Gain = \"-2.5\" must be above 0"},
        BadValue{"GainNotANumber", "Gain = high", -501, "Gain = \"high\" is not a number"},
        BadValue{"NegativeSpeed", "Speed = -1", -302, "Speed = \"-1\" is negative"},
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
