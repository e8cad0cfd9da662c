// The real recorder, the bundled DSU, keeps a session of each source kind, and the session
// library's reader gives back the packets it delivered, the commands it received and the
// run's facts. A second run in the same DSU stands alone: it begins with the tones in force.

#include "DsuSimSupport.h"
#include "dsu/device/SimulatedDsu.h"
#include "session/SessionPaths.h"
#include "session/SessionReader.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;
using Packet = std::array<int32_t, 8>;

struct Kind {
    const char* name;
    std::string ini;  ///< dsu-simulator.ini beyond Speed and Sound
    const char* kind; ///< in the facts
};

void PrintTo(const Kind& row, std::ostream* out) {
    *out << row.name;
}

class SessionRoundTrip : public ::testing::TestWithParam<Kind> {};

// Catches a session that does not give back what the run was (a sample, a command or its time,
// a label, a fact lost or changed on the way through the files), and a second run whose files
// do not say which tones were playing.
TEST_P(SessionRoundTrip, GivesBackTheRunAndTheNextRunStandsAlone) {
    const Kind& row = GetParam();
    TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSound = off\n" + row.ini);
    folder.write("solvane.ini", "[Kardemo]\nDSUSampleRate= 256\n[AVE]\nAVEVolume= 60\n"
                                "AVEChannel1= 19\nAVEChannel2= 21\nAVEChannel3= 15\n"
                                "AVEChannel4= 0\n");
    SimulatedDsu dsu(folder.path());
    const std::map<int, std::string> commands = {
        {0, "WE80D2"}, {1, "WF80E1"}, {300, "WB0032"}, {600, "WB0119"}};
    std::vector<Packet> delivered;
    const auto run = [&](int packets, const std::map<int, std::string>& sent) {
        EXPECT_EQ(dsu.initialise(), 0);
        const std::filesystem::path kept = dsu.sessionFile();
        for (int n = 0; n < packets; ++n) {
            if (const auto c = sent.find(n); c != sent.end()) {
                EXPECT_EQ(dsu.sendCommand(c->second.c_str(), 6), 0);
            }
            Packet packet{};
            int32_t count = 0;
            EXPECT_EQ(dsu.poll(packet.data(), 8, &count), 0);
            delivered.push_back(packet);
        }
        EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
        return kept;
    };
    const auto before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const std::filesystem::path first = run(700, commands);
    const auto after = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());

    const session::SessionReader session(first);
    ASSERT_EQ(session.records(), 3);
    EXPECT_TRUE(session.notes().empty()) << session.notes().front();
    for (std::size_t p = 0; p < 3 * 256; ++p)
        for (int e = 0; e < 8; ++e)
            ASSERT_EQ(session.samples(e)[p], p < delivered.size() ? delivered[p][e] : 512)
                << "packet " << p << " element " << e;
    std::map<int, std::string> read;
    for (const session::SessionEvent& event : session.events())
        read[static_cast<int>(event.packet())] = event.value;
    EXPECT_EQ(read, commands);
    EXPECT_EQ(session.label(0), "EEG O1");
    EXPECT_EQ(session.label(4), "EEG O2");
    EXPECT_EQ(session.label(1), "EEG P3");

    ASSERT_TRUE(session.facts());
    const session::SessionFacts& facts = *session.facts();
    EXPECT_EQ(facts.source.kind, row.kind);
    EXPECT_EQ(session.source(), facts.source.description);
    EXPECT_EQ(facts.gain, 2.0);
    EXPECT_EQ(facts.slot[0].position, 19);
    EXPECT_EQ(facts.slot[0].positionName, "O1");
    EXPECT_EQ(facts.slot[3].position, 0);
    // Slot 3 has no position chosen: its signal keeps the source's own label.
    EXPECT_EQ(facts.slot[3].sourceLabel, session.label(5));
    EXPECT_EQ(facts.settings.volume, 60);
    EXPECT_FALSE(facts.settings.baseFrequency.has_value());
    EXPECT_FALSE(facts.libraryVersion.empty());
    // The start in local time, read back as such, to a tenth of a millisecond.
    std::tm local{};
    const char* fraction = ::strptime(facts.start.c_str(), "%Y-%m-%dT%H:%M:%S", &local);
    ASSERT_NE(fraction, nullptr) << facts.start;
    local.tm_isdst = -1;
    EXPECT_GE(std::mktime(&local), before) << facts.start;
    EXPECT_LE(std::mktime(&local), after) << facts.start;
    const std::string tenths(fraction);
    EXPECT_TRUE(tenths.size() == 5 && tenths[0] == '.' &&
                tenths.find_first_not_of("0123456789", 1) == std::string::npos)
        << facts.start;
    if (std::string(row.kind) == "synthetic") {
        EXPECT_EQ(facts.source.seed, 7);
    } else {
        EXPECT_EQ(facts.source.recording,
                  (testing::eegRecordings() / "eegmat_Subject00_1.edf").string());
    }

    const session::SessionReader second(run(300, {}));
    ASSERT_GE(second.events().size(), 2U);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(second.events()[i].type, session::EventType::State);
        EXPECT_EQ(second.events()[i].onset, 0.0);
    }
    EXPECT_EQ(second.events()[0].value, "WE80D2");
    EXPECT_EQ(second.events()[1].value, "WF80E1");
    ASSERT_GE(second.annotations().size(), 2U);
    EXPECT_EQ(second.annotations()[1].text, "WF80E1");
    EXPECT_EQ(second.annotations()[1].onset, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SessionRoundTrip,
    ::testing::Values(Kind{"Synthetic", "Seed = 7\n", "synthetic"},
                      Kind{"Recording",
                           "Source = " +
                               (testing::eegRecordings() / "eegmat_Subject00_1.edf").string() +
                               "\nChannels = O1, O2, P3, P4\n",
                           "recording"}),
    [](const ::testing::TestParamInfo<Kind>& row) { return std::string(row.param.name); });

} // namespace
} // namespace solvane::dsusim
