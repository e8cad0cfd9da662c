// The AVE output as sound: the session's FLAC file, rendered on the packets' time axis, and the
// live output through PortAudio to a real ALSA device, the file plugin of a configuration of
// the test's own.

#include "dsu/sound/ToneSynthesiser.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;
using Samples = std::vector<double>; ///< one channel
constexpr int Rate = ToneSynthesiser::Rate;

std::size_t at(double seconds) {
    return static_cast<std::size_t>(std::llround(seconds * Rate));
}

/// From the upward zero crossings, interpolated between samples.
double frequency(const Samples& s, std::size_t from, std::size_t to) {
    double first = -1.0;
    double last = 0.0;
    int cycles = -1;
    for (std::size_t i = from; i + 1 < to; ++i) {
        if (s[i] < 0.0 && s[i + 1] >= 0.0) {
            last = static_cast<double>(i) + s[i] / (s[i] - s[i + 1]);
            first = first < 0.0 ? last : first;
            ++cycles;
        }
    }
    return cycles * Rate / (last - first);
}

double peak(const Samples& s, std::size_t from, std::size_t to) {
    double largest = 0.0;
    for (std::size_t i = from; i < to; ++i)
        largest = std::max(largest, std::abs(s[i]));
    return largest;
}

double largestStep(const Samples& s, std::size_t from, std::size_t to) {
    double largest = 0.0;
    for (std::size_t i = from; i + 1 < to; ++i)
        largest = std::max(largest, std::abs(s[i + 1] - s[i]));
    return largest;
}

/// Left and right of interleaved stereo.
std::array<Samples, 2> split(const std::vector<double>& interleaved) {
    std::array<Samples, 2> channels;
    for (std::size_t i = 0; i < interleaved.size(); ++i)
        channels[i % 2].push_back(interleaved[i]);
    return channels;
}

// Second by second: the volume rows of both channels, then a loud stretch with a change of
// both frequencies, then the left silenced and the right given an inaudible frequency.
struct LevelRow {
    int second;
    const char* command; ///< volume for both channels, hex
    double dbfs;         ///< expected peak
};
constexpr LevelRow Levels[] = {{1, "64", -6.0},  {3, "96", -6.0},  {5, "32", -14.128},
                               {7, "0A", -33.0}, {9, "01", -60.0}, {11, "64", -6.0}};

TEST(SessionSound, FollowsTheCommandsOnThePacketsTimeAxis) {
    // By packet; the change of frequencies comes in the middle of a cycle of each tone.
    std::map<int, std::vector<std::string>> commands = {
        {0, {"WE80D2", "WF80E1"}}, {3172, {"WE80C8", "WF80F0"}}, {3328, {"WB0000", "WF800A"}}};
    for (const LevelRow& row : Levels)
        commands[256 * row.second] = {std::string("WB00") + row.command,
                                      std::string("WB01") + row.command};
    std::string files[2];
    for (std::string& file : files) { // twice: the same commands give the same file
        TempFolder folder;
        folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\n");
        SimulatedDsu dsu(folder.path());
        const std::string log = (folder.path() / "debug.txt").string();
        dsu.setDebugMode(1, log.c_str());
        ASSERT_EQ(dsu.initialise(), 0);
        int32_t packet[8] = {};
        int32_t count = 0;
        for (int n = 0; n < 14 * 256; ++n) {
            if (const auto c = commands.find(n); c != commands.end()) {
                for (const std::string& text : c->second)
                    ASSERT_EQ(dsu.sendCommand(text.c_str(), 6), 0);
            }
            ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
        }
        ASSERT_EQ(dsu.terminate("kardemo.SES"), 0);
        file = folder.read("kardemo.flac");
        const std::string logged = folder.read("debug.txt");
        const std::size_t why = logged.find("WF800A: 10 Hz is outside 20..20000 Hz: the right");
        EXPECT_NE(why, std::string::npos) << logged;
        EXPECT_EQ(why, logged.rfind("WF800A: ")) << "said once";
    }
    ASSERT_EQ(files[0], files[1]);

    TempFolder folder;
    folder.write("sound.flac", files[0]);
    SF_INFO info{};
    SNDFILE* sound = sf_open((folder.path() / "sound.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(info.samplerate, Rate);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(info.frames, 15 * Rate) << "whole seconds, the last one with the final fade-out";
    std::vector<short> pcm(static_cast<std::size_t>(info.frames) * 2);
    ASSERT_EQ(sf_readf_short(sound, pcm.data(), info.frames), info.frames);
    sf_close(sound);
    const auto [left, right] = split(std::vector<double>(pcm.begin(), pcm.end()));

    const double tones[2][2] = {{210.0, 200.0}, {225.0, 240.0}};
    for (int c = 0; c < 2; ++c) {
        const Samples& s = c == 0 ? left : right;
        SCOPED_TRACE(c == 0 ? "left" : "right");
        EXPECT_EQ(peak(s, 0, at(1.0)), 0.0) << "silent before the first volume";
        EXPECT_GT(peak(s, at(1.0), at(1.0) + 48), 0.0) << "sounding from packet 256 on";
        EXPECT_NEAR(frequency(s, at(1.05), at(11.05)), tones[c][0], 0.1);
        EXPECT_NEAR(frequency(s, at(12.4), at(13.0)), tones[c][1], 0.1);
        for (const LevelRow& row : Levels)
            EXPECT_NEAR(peak(s, at(row.second + 0.05), at(row.second + 1.0)),
                        32767.0 * std::pow(10.0, row.dbfs / 20.0), 1.0)
                << "volume " << row.command;
        // Glides from silence up and from full level down take 20 to 50 ms.
        EXPECT_LT(peak(s, at(1.0), at(1.015)), 0.75 * peak(s, at(2.0), at(3.0)));
        EXPECT_GT(peak(s, at(13.005), at(13.02)), 0.25 * peak(s, at(12.0), at(13.0)));
        EXPECT_EQ(peak(s, at(13.05), s.size()), 0.0) << "silent after the silencing";
        // No clicks: no step larger than in the loudest steady tone of the highest frequency.
        const double steady = largestStep(s, at(c == 0 ? 1.05 : 12.4), at(c == 0 ? 3.0 : 13.0));
        EXPECT_LE(largestStep(s, 0, s.size()), steady + 2.0);
    }
}

TEST(LiveSound, PlaysOnARealAlsaDeviceAndFadesOutBeforeClosing) {
    TempFolder folder;
    const std::filesystem::path played = folder.path() / "played.raw";
    folder.write("asound.conf", "pcm.default { type null }\n"
                                "pcm.solvane_file { type file slave.pcm { type null } format raw "
                                "file \"" +
                                    played.string() + "\" }\n");
    ASSERT_EQ(setenv("ALSA_CONFIG_PATH", (folder.path() / "asound.conf").c_str(), 1), 0);
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSoundFile = off\n"
                                      "SoundDevice = FILE\n");
    SimulatedDsu dsu(folder.path());
    const std::string log = (folder.path() / "debug.txt").string();
    dsu.setDebugMode(1, log.c_str());
    ASSERT_EQ(dsu.initialise(), 0);
    for (const char* command : {"WE80D2", "WF80E1", "WB0064", "WB0132"})
        ASSERT_EQ(dsu.sendCommand(command, 6), 0);
    // The file plugin's null device takes sound as fast as it comes: wait for 2 s of it.
    auto size = [&played] {
        std::error_code missing;
        const auto bytes = std::filesystem::file_size(played, missing);
        return missing ? 0 : bytes;
    };
    const auto enough = size() + std::size_t{2} * Rate * 2 * sizeof(float);
    for (int wait = 0; wait < 30000 && size() < enough; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(dsu.terminate("kardemo.SES"), 0);
    unsetenv("ALSA_CONFIG_PATH");
    EXPECT_NE(folder.read("debug.txt").find("live sound on \"solvane_file\""), std::string::npos);

    std::ifstream raw(played, std::ios::binary);
    std::vector<float> floats(std::filesystem::file_size(played) / sizeof(float));
    raw.read(reinterpret_cast<char*>(floats.data()),
             static_cast<std::streamsize>(floats.size() * 4));
    ASSERT_GE(floats.size(), 2U * 2 * Rate);
    const auto [left, right] = split(std::vector<double>(floats.begin(), floats.end()));
    std::size_t end = left.size(); // of the sound, before the fade-out
    while (end > 0 && left[end - 1] == 0.0)
        --end;
    ASSERT_GT(end, at(1.1)) << "the tones must sound";
    end -= ToneSynthesiser::GlideFrames;
    for (int c = 0; c < 2; ++c) {
        const Samples& s = c == 0 ? left : right;
        EXPECT_EQ(s.back(), 0.0) << "faded out before the stream closed";
        EXPECT_NEAR(frequency(s, end - at(1.0), end), c == 0 ? 210.0 : 225.0, 0.1);
        EXPECT_NEAR(peak(s, end - at(1.0), end), ToneSynthesiser::level(c == 0 ? 100 : 50), 1e-4);
        EXPECT_LE(largestStep(s, 0, s.size()), largestStep(s, end - at(1.0), end) * 1.01);
    }
}

} // namespace
} // namespace solvane::dsusim
