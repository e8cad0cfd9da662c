// A whole resting recording from data/eeg replayed by the simulated DSU, as dsu-simulator.ini
// beside the program would have it, through the program's own per-packet analysis: the contact
// monitor finds good contact throughout, and the spectra of the blocks peak in the alpha band.

#include "DsuSimSupport.h"
#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/NullOutputs.h"
#include "support/RunSettings.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <set>

namespace solvane::dsusim {
namespace {

using solvane::testing::NoCommands;
using solvane::testing::runSettings;

constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t Red = 0x0000FF;

class ContactColours : public testing::NoMap {
public:
    void setFillColour(int element, uint32_t colour) override {
        greens += colour == Green ? 1 : 0;
        reds += colour == Red ? 1 : 0;
        if (colour == Red)
            redElements.insert(element);
    }
    int greens = 0;
    int reds = 0;
    std::set<int> redElements;
};

class ToTheDsu : public AveCommandSink {
public:
    explicit ToTheDsu(SimulatedDsu& dsu) : dsu_(dsu) {}
    void sendCommand(const char* command) override { dsu_.sendCommand(command, 6); }

private:
    SimulatedDsu& dsu_;
};

TEST(ReplayThroughTheAnalysis, RestingRecordingHasGoodContactAndAnAlphaPeak) {
    const auto recordings = testing::eegRecordings();
    testing::TempFolder folder;
    std::filesystem::copy_file(recordings / "eegmat_Subject00_1.edf",
                               folder.path() / "eegmat_Subject00_1.edf");
    folder.write("dsu-simulator.ini",
                 "[Simulator]\nSource = eegmat_Subject00_1.edf\nChannels = O1, O2, P3, P4\n"
                 "Speed = 0\nLoop = 0\n");
    SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);

    // The program's analysis with all four slots selected at the positions of the replayed
    // signals (O1 19, O2 21, P3 15, P4 17), and one per slot, so that each slot's spectrum
    // can be read after every pass.
    const Settings all = runSettings(19, 21, 15, 17);
    ContactColours contact;
    ToTheDsu commands(dsu);
    PacketAnalysis program(all, contact, commands);
    program.ApplyChannelSelection();

    std::array<Settings, 4> single = {runSettings(19, 0, 0, 0), runSettings(0, 21, 0, 0),
                                      runSettings(0, 0, 15, 0), runSettings(0, 0, 0, 17)};
    ContactColours ignoredMap;
    NoCommands ignoredCommands;
    std::array<std::unique_ptr<PacketAnalysis>, 4> perSlot;
    for (int slot = 0; slot < 4; ++slot) {
        perSlot[slot] = std::make_unique<PacketAnalysis>(single[slot], ignoredMap, ignoredCommands);
        perSlot[slot]->ApplyChannelSelection();
    }

    std::array<std::array<double, 36>, 4> total{};
    int passes = 0;
    int alphaPeaks[4] = {};
    int32_t packet[8] = {};
    int32_t count = 0;
    int packets = 0;
    while (dsu.poll(packet, 8, &count) == 0 && count == 1) {
        ++packets;
        program.draw(packet);
        for (int slot = 0; slot < 4; ++slot) {
            PacketAnalysis& analysis = *perSlot[slot];
            const int16_t before = analysis.state().SampleCount;
            analysis.draw(packet);
            if (before != 256 || analysis.state().SampleCount != 0)
                continue;
            passes += slot == 0 ? 1 : 0;
            int peak = 1;
            for (int k = 1; k <= 35; ++k) {
                total[slot][k] += analysis.state().Spectrum[k];
                if (analysis.state().Spectrum[k] > analysis.state().Spectrum[peak])
                    peak = k;
            }
            alphaPeaks[slot] += (peak >= 8 && peak <= 12) ? 1 : 0;
        }
    }
    ASSERT_EQ(dsu.terminate("kardemo.SES"), 0);

    EXPECT_NEAR(packets, 182 * 256, 2);
    EXPECT_EQ(passes, packets / 257);
    EXPECT_EQ(contact.reds, 0);
    EXPECT_EQ(contact.greens, 4 * (packets / 129));
    for (int slot = 0; slot < 4; ++slot) {
        int peak = 1;
        for (int k = 1; k <= 35; ++k)
            if (total[slot][k] > total[slot][peak])
                peak = k;
        EXPECT_GE(peak, 8) << "slot " << slot;
        EXPECT_LE(peak, 12) << "slot " << slot;
        EXPECT_GT(alphaPeaks[slot], passes * 2 / 5) << "slot " << slot;
    }
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "kardemo.SES"));
}

// The synthetic EEG's contact faults are what the contact monitor exists for: each one turns
// its own position red for a few seconds, and only that one.
TEST(SyntheticThroughTheAnalysis, ContactFaultsTurnTheirPositionRed) {
    testing::TempFolder folder;
    folder.write("dsu-simulator.ini", "[Simulator]\nSpeed = 0\nSeed = 11\n");
    SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);
    const Settings all = runSettings(19, 21, 15, 17);
    ContactColours contact;
    NoCommands commands;
    PacketAnalysis program(all, contact, commands);
    program.ApplyChannelSelection();

    int32_t packet[8] = {};
    int32_t count = 0;
    int faultyPackets[4] = {};
    for (int n = 0; n < 400 * 256; ++n) {
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
        program.draw(packet);
        const int element[4] = {0, 4, 1, 5};
        for (int slot = 0; slot < 4; ++slot)
            faultyPackets[slot] += (packet[element[slot]] == 0 || packet[element[slot]] == 1023);
    }
    ASSERT_EQ(dsu.terminate("kardemo.SES"), 0);

    const int position[4] = {19, 21, 15, 17};
    for (int slot = 0; slot < 4; ++slot) {
        const bool red = contact.redElements.count(position[slot] - 1) > 0;
        EXPECT_EQ(red, faultyPackets[slot] >= 2 * 256) << "slot " << slot;
    }
    EXPECT_FALSE(contact.redElements.empty());
    // A fault of 2 to 5 s spans 3 to 10 verdicts (one per 129 packets) of its position.
    EXPECT_GE(contact.reds, 3);
    EXPECT_GT(contact.greens, 10 * contact.reds);
}

} // namespace
} // namespace solvane::dsusim
