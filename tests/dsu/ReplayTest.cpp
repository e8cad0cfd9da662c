// Replay of recordings: the recordings in data/eeg replay whole, a sine comes back at 256 Hz
// with its frequency and its amplitude times the gain, labels match forgivingly, and a
// recording loops or ends.

#include "DsuSimSupport.h"
#include "dsu/device/SimulatorConfig.h"
#include "dsu/eeg/RecordingSource.h"
#include "dsu/eeg/SignalLabel.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::blockSpectrum;
using testing::peakBin;
using testing::TempFolder;
using testing::TestSignal;
using testing::writeTestRecording;

// Everything the source gives until it ends (at most `limit` samples), [slot][sample].
std::vector<std::vector<int32_t>> drain(SampleSource& source, std::size_t limit) {
    std::vector<std::vector<int32_t>> samples(4);
    int32_t counts[4];
    while (samples[0].size() < limit && source.next(counts))
        for (int slot = 0; slot < 4; ++slot)
            samples[slot].push_back(counts[slot]);
    return samples;
}

struct EegRecording {
    const char* file;
    double seconds;
    const char* firstLabels[4]; // the first four EEG signals, for slots 0..3
};

class EegRecordings : public ::testing::TestWithParam<EegRecording> {};

TEST_P(EegRecordings, ReplayWholeAtTheirOwnScale) {
    const auto folder = testing::eegRecordings();
    const EegRecording& recording = GetParam();
    RecordingSource source(folder / recording.file, {}, SimulatorConfig::DefaultGain, false);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(source.label(slot), recording.firstLabels[slot]);

    const auto samples = drain(source, 1000000);
    EXPECT_NEAR(static_cast<double>(samples[0].size()), recording.seconds * 256, 2.0);
    int32_t counts[4];
    EXPECT_FALSE(source.next(counts));
    for (int slot = 0; slot < 4; ++slot) {
        double sum = 0.0;
        double squares = 0.0;
        int railed = 0;
        for (const int32_t s : samples[slot]) {
            sum += s;
            squares += (s - 512.0) * (s - 512.0);
            railed += (s <= 4 || s >= 1021) ? 1 : 0;
        }
        const double n = static_cast<double>(samples[slot].size());
        const double rmsMicrovolts = std::sqrt(squares / n) / SimulatorConfig::DefaultGain;
        EXPECT_NEAR(sum / n, 512.0, 10.0) << recording.file << " slot " << slot;
        EXPECT_GT(rmsMicrovolts, 5.0) << recording.file << " slot " << slot;
        EXPECT_LT(rmsMicrovolts, 100.0) << recording.file << " slot " << slot;
        EXPECT_LT(railed, n / 100) << recording.file << " slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, EegRecordings,
    ::testing::Values(
        EegRecording{"eegmmidb_S001R01.edf", 61.0, {"Fc5.", "Fc3.", "Fc1.", "Fcz."}},
        EegRecording{"eegmat_Subject00_1.edf", 182.0, {"EEG Fp1", "EEG Fp2", "EEG F3", "EEG F4"}},
        EegRecording{"eegmat_Subject04_2.edf", 62.0, {"EEG Fp1", "EEG Fp2", "EEG F3", "EEG F4"}}),
    [](const ::testing::TestParamInfo<EegRecording>& row) {
        const std::string name = row.param.file;
        return name.substr(0, name.find('.'));
    });

struct SineCase {
    int rate; ///< Hz of the recording
    const char* unit;
    double amplitude; ///< in unit
    double gain;      ///< counts per microvolt
    double expected;  ///< amplitude in counts
    bool bdf = false; ///< a BDF+ recording rather than EDF+
};

class SineReplay : public ::testing::TestWithParam<SineCase> {};

TEST_P(SineReplay, ComesBackAt256HzWithItsFrequencyAndAmplitude) {
    const SineCase& c = GetParam();
    TempFolder folder;
    const auto file = folder.path() / (c.bdf ? "sine.bdf" : "sine.edf");
    const double range = 2.0 * c.amplitude;
    writeTestRecording(file, c.rate, 5,
                       {{"O1", 10.0, c.amplitude, c.unit, range},
                        {"O2", 10.0, c.amplitude, c.unit, range},
                        {"P3", 10.0, c.amplitude, c.unit, range},
                        {"P4", 10.0, c.amplitude, c.unit, range}},
                       c.bdf);
    RecordingSource source(file, {"O1", "O2", "P3", "P4"}, c.gain, false);
    const auto samples = drain(source, 100000);
    ASSERT_NEAR(static_cast<double>(samples[0].size()), 5 * 256, 2.0);
    for (int slot = 0; slot < 4; ++slot) {
        // A whole second away from the ends, where the resampler's filter has settled.
        const std::vector<int32_t> block(samples[slot].begin() + 512, samples[slot].begin() + 768);
        const auto spectrum = blockSpectrum(block);
        EXPECT_EQ(peakBin(spectrum), 10) << "slot " << slot;
        EXPECT_NEAR(spectrum[10], c.expected, 0.01 * c.expected + 0.5) << "slot " << slot;
        EXPECT_NEAR(spectrum[0] / 2.0, 512.0, 0.5) << "slot " << slot;
        EXPECT_LT(spectrum[9] + spectrum[11], 0.01 * c.expected) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SineReplay,
                         ::testing::Values(SineCase{160, "uV", 100.0, 2.0, 200.0},
                                           SineCase{500, "uV", 100.0, 2.0, 200.0},
                                           SineCase{500, "uV", 50.0, 5.0, 250.0},
                                           SineCase{160, "mV", 0.08, 2.0, 160.0},
                                           SineCase{256, "uV", 100.0, 1.5, 150.0},
                                           SineCase{500, "uV", 100.0, 2.0, 200.0, true}));

struct LabelCase {
    const char* written;
    const char* inRecording;
    bool same;
};

class LabelMatching : public ::testing::TestWithParam<LabelCase> {};

TEST_P(LabelMatching, IgnoresCaseDotsPrefixAndOldNames) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(SignalLabel::matches(c.written, c.inRecording), c.same)
        << c.written << " / " << c.inRecording;
}

INSTANTIATE_TEST_SUITE_P(
    Labels, LabelMatching,
    ::testing::Values(LabelCase{"O1", "EEG O1", true}, LabelCase{"fc5", "Fc5.", true},
                      LabelCase{"Cz", "Cz..", true}, LabelCase{"EEG fp1", "Fp1.", true},
                      LabelCase{"T7", "EEG T3", true}, LabelCase{"t4", "T8..", true},
                      LabelCase{"P7", "EEG T5", true}, LabelCase{"T6", "P8..", true},
                      LabelCase{"O1", "O2", false}, LabelCase{"T3", "T4", false},
                      LabelCase{"T5", "T7", false}, LabelCase{"Fp1", "EEG Fp1-Ref", false},
                      LabelCase{"ECG", "ECG ECG", false}, LabelCase{"", "", false}));

struct UnknownLabelCase {
    std::vector<std::string> labels;
    bool numbered; ///< a board's channels, named by their numbers too
    std::vector<std::string> wanted;
    const char* message;
};

class UnknownLabel : public ::testing::TestWithParam<UnknownLabelCase> {};

// Every source refuses a label that names none of its signals with one message, which lists
// what it has: a board's channels by number, with the positions given them.
TEST_P(UnknownLabel, IsRefusedNamingTheSourceAndWhatItHas) {
    const UnknownLabelCase& c = GetParam();
    try {
        SignalLabel::pick(c.wanted, c.labels, "the source", c.numbered);
        ADD_FAILURE() << c.message;
    } catch (const SimulatorConfigError& e) {
        EXPECT_EQ(e.status(), -205);
        EXPECT_EQ(std::string(e.what()), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Labels, UnknownLabel,
    ::testing::Values(UnknownLabelCase{{"O1", "O2", "C3", "C4"},
                                       false,
                                       {"O1", "O2", "C3", "3"},
                                       "Channels: no channel of the source is labelled \"3\" "
                                       "(it has O1, O2, C3, C4)"},
                      UnknownLabelCase{{"1", "2", "C3", "4", "5"},
                                       true,
                                       {"1", "C3", "5", "6"},
                                       "Channels: no channel of the source is labelled \"6\" "
                                       "(it has 1, 2, 3 C3, 4, 5)"}));

TEST(ReplayChannels, NamedLabelsPickTheirSignalsAndTheDefaultSkipsOtherKinds) {
    TempFolder folder;
    const auto file = folder.path() / "mixed.edf";
    writeTestRecording(file, 200, 2,
                       {{"ECG ECG", 1.0, 0.5, "mV", 1.0},
                        {"EEG T3", 2.0, 10.0},
                        {"Fc5.", 3.0, 20.0},
                        {"EOG Left", 4.0, 30.0},
                        {"EEG O2", 5.0, 40.0},
                        {"Cz..", 6.0, 50.0}});
    RecordingSource named(file, {"t7", "fc5", "eeg o2", "T3"}, 2.0, false);
    EXPECT_EQ(named.signal(0), 1);
    EXPECT_EQ(named.signal(1), 2);
    EXPECT_EQ(named.signal(2), 4);
    EXPECT_EQ(named.signal(3), 1);

    RecordingSource byDefault(file, {}, 2.0, false);
    EXPECT_EQ(byDefault.signal(0), 1);
    EXPECT_EQ(byDefault.signal(1), 2);
    EXPECT_EQ(byDefault.signal(2), 4);
    EXPECT_EQ(byDefault.signal(3), 5);
}

TEST(ReplayLoop, StartsAgainAtTheEndOrEnds) {
    TempFolder folder;
    const auto file = folder.path() / "short.edf";
    writeTestRecording(
        file, 160, 2,
        {{"O1", 3.0, 80.0}, {"O2", 5.0, 80.0}, {"P3", 7.0, 80.0}, {"P4", 11.0, 80.0}});

    RecordingSource once(file, {}, 2.0, false);
    const auto single = drain(once, 100000);
    ASSERT_NEAR(static_cast<double>(single[0].size()), 512, 2.0);
    int32_t counts[4];
    EXPECT_FALSE(once.next(counts));
    EXPECT_FALSE(once.next(counts));

    RecordingSource looping(file, {}, 2.0, true);
    const std::size_t length = single[0].size();
    const auto three = drain(looping, 3 * length + 10);
    ASSERT_EQ(three[0].size(), 3 * length + 10);
    EXPECT_EQ(looping.restarts(), 3U);
    for (int slot = 0; slot < 4; ++slot)
        for (std::size_t i = 0; i < 3 * length + 10; ++i)
            ASSERT_EQ(three[slot][i], single[slot][i % length]) << "slot " << slot << " at " << i;
}

} // namespace
} // namespace solvane::dsusim
