// Source = lsl against the stand-in liblsl (tests/lsl/LslStandIn.c), which serves scripted
// streams without any network: known content arrives as the right packets, the backlog and a
// pause, a stream gone for good, and every way the start can fail.

#include "dsu/DsuSimSupport.h"
#include "dsu/unit/SimulatedDsu.h"
#include "session/SessionFacts.h"
#include "session/SessionPaths.h"
#include "support/TempFolder.h"

#include <dlfcn.h>
#include <edflib.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;

constexpr int Float32 = 1, Double64 = 2, Text = 3, Int16 = 5;
constexpr int SlotElement[4] = {0, 4, 1, 5};

/// The stand-in's script functions, from the same loaded copy the DSU then uses.
struct StandIn {
    void* handle = dlopen(SOLVANE_LSL_STANDIN, RTLD_NOW);
    template <typename F> F* get(const char* name) {
        return reinterpret_cast<F*>(dlsym(handle, name));
    }
    void reset(int version = 116) { get<void(int)>("standin_reset")(version); }
    int add(const char* name, const char* type, double rate, int format, int channels,
            const char* labels, const char* units, const char* source = "amp-1") {
        return get<int(const char*, const char*, const char*, double, int, int, const char*,
                       const char*)>("standin_add_stream")(name, type, source, rate, format,
                                                           channels, labels, units);
    }
    void content(int s, double frequency, double amplitude) {
        get<void(int, double, double)>("standin_content")(s, frequency, amplitude);
    }
    void timeline(int s, double backlog, double before, double pause, double after) {
        get<void(int, double, double, double, double)>("standin_timeline")(s, backlog, before,
                                                                           pause, after);
    }
    double value(const char* name) { return get<double()>(name)(); }
    int count(const char* name) { return get<int()>(name)(); }
    ~StandIn() { dlclose(handle); }
};

struct LslRun {
    TempFolder folder;
    SimulatedDsu dsu{folder.path()};
    int32_t status = 0;
    explicit LslRun(const std::string& ini, const char* library = SOLVANE_LSL_STANDIN) {
        folder.write("dsu-simulator.ini", "[Simulator]\nSource = lsl\nSound = off\nLslLibrary = " +
                                              std::string(library) + "\n" + ini + "\n");
        const std::string log = (folder.path() / "debug.txt").string();
        dsu.setDebugMode(1, log.c_str());
        status = dsu.initialise();
    }
    /// Every packet the stream gives before it falls silent: the stand-in counts the pulls
    /// that found nothing left, and after the first of them the reader has handed on all.
    std::vector<std::vector<int32_t>> packets(StandIn& standIn) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (standIn.count("standin_silent_pulls") == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::vector<std::vector<int32_t>> slots(4);
        int32_t packet[8] = {};
        int32_t count = 0;
        while (dsu.poll(packet, 8, &count) == 0)
            for (int slot = 0; slot < 4; ++slot)
                slots[slot].push_back(packet[SlotElement[slot]]);
        return slots;
    }
    std::string log() const { return folder.read("debug.txt"); }
};

struct Content {
    const char* name;
    double rate;
    int format;
    int channels;
    const char* labels; ///< nullptr: no channel metadata
    const char* units;
    double amplitude; ///< of channel 1, in the stream's unit (channel c has c times it)
    const char* ini;
    int picked[4];     ///< stream channels (from 0) expected in slots 0..3
    double microvolts; ///< per unit
    double gain;
    const char* logged; ///< the labels chosen, as the debug log gives them
    bool decoy;         ///< an FFT stream, also typed EEG, is found first
};

void PrintTo(const Content& row, std::ostream* out) {
    *out << row.name;
}

class LslContent : public ::testing::TestWithParam<Content> {};

// Catches: wrong channel picked, unit or gain not applied, the rate not brought to 256 Hz
// (a 10 Hz rhythm at another frequency), samples lost or the inlet's backlog replayed.
TEST_P(LslContent, ArrivesAsTheRightPacketsWithoutTheBacklog) {
    const Content& c = GetParam();
    StandIn standIn;
    standIn.reset();
    if (c.decoy)
        standIn.add("FFT", "EEG", c.rate, Float32, 125, nullptr, nullptr);
    const int s = standIn.add(c.name, "EEG", c.rate, c.format, c.channels, c.labels, c.units);
    standIn.content(s, 10.0, c.amplitude);
    standIn.timeline(s, 2.0, 4.0, 0.0, 0.0);
    LslRun run(std::string(c.ini) + "\nGain = " + std::to_string(c.gain));
    ASSERT_EQ(run.status, 0) << run.log();
    EXPECT_LE(standIn.value("standin_last_resolve_timeout"), 2.0) << "InitialiseDSU must not wait";
    EXPECT_LE(standIn.value("standin_last_buffer_length"), 10.0) << "a small inlet buffer";
    const auto slots = run.packets(standIn);
    // 4 s at 256 Hz, less what the resampler's filter still holds.
    EXPECT_GE(slots[0].size(), 1024U - 128U);
    EXPECT_LE(slots[0].size(), 1024U);
    for (int slot = 0; slot < 4; ++slot) {
        for (const int32_t value : slots[slot])
            ASSERT_LT(std::abs(value - 512), 400) << "a backlog sample (5000 units) came through";
        const std::vector<int32_t> block(slots[slot].begin() + 512, slots[slot].begin() + 768);
        const auto spectrum = testing::blockSpectrum(block);
        EXPECT_EQ(testing::peakBin(spectrum), 10) << "slot " << slot;
        const double expected = (c.picked[slot] + 1) * c.amplitude * c.microvolts * c.gain;
        EXPECT_NEAR(spectrum[10], expected, 0.03 * expected + 1.0) << "slot " << slot;
    }
    const std::string log = run.log();
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_NE(log.find("host standin-host"), std::string::npos) << log;
    if (c.decoy) {
        EXPECT_NE(log.find("passed over: \"FFT\": it has 125 channels without labels"),
                  std::string::npos)
            << log;
    }
    EXPECT_EQ(run.dsu.terminate("kardemo.SES"), 0);
    EXPECT_EQ(standIn.count("standin_inlets_open"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LslContent,
    ::testing::Values(Content{"Labelled250",
                              250,
                              Float32,
                              8,
                              "Fp1,Fp2,C3,C4,P3,P4,O1,O2",
                              "microvolts,uV,uV,uV,uV,uV,uV,uV",
                              5.0,
                              "Stream = Labelled250\n"
                              "Channels = O1, o2, C3, EEG P4",
                              {6, 7, 2, 5},
                              1.0,
                              3.0,
                              "slots 0-3: O1, O2, C3, P4",
                              false},
                      Content{"Unlabelled500",
                              500,
                              Int16,
                              6,
                              nullptr,
                              nullptr,
                              10.0,
                              "",
                              {0, 1, 2, 3},
                              1.0,
                              2.0,
                              "6 channels: 1, 2, 3, 4, 5, 6; slots 0-3: 1, 2, 3, 4",
                              true},
                      Content{"Millivolts256",
                              256,
                              Double64,
                              4,
                              "T3,T4,O1,O2",
                              "mV,mV,mV,mV",
                              0.01,
                              "Channels = O2, T7, O1, T8",
                              {3, 0, 2, 1},
                              1000.0,
                              2.0,
                              "slots 0-3: O2, T3",
                              false},
                      Content{"Volts1000",
                              1000,
                              Float32,
                              5,
                              "A,B,C,D,E",
                              "volts,V,V,V,V",
                              8e-6,
                              "",
                              {0, 1, 2, 3},
                              1e6,
                              2.0,
                              "slots 0-3: A, B, C, D",
                              false},
                      Content{"Slow125",
                              125,
                              Float32,
                              16,
                              "",
                              "\xc2\xb5V",
                              6.0,
                              "",
                              {0, 1, 2, 3},
                              1.0,
                              2.0,
                              "16 channels: 1, 2,",
                              false}),
    [](const ::testing::TestParamInfo<Content>& row) { return std::string(row.param.name); });

// Catches: a pause ending the run or shifting what was recorded, a gap left unmarked, a stream
// gone silent taken as an error (or its last packets lost), the header not naming the stream.
TEST(LslStream, PausesThenGoesForGoodWithinOneRecording) {
    StandIn standIn;
    standIn.reset();
    const int s =
        standIn.add("Headband", "EEG", 250, Float32, 4, "TP9,AF7,AF8,TP10", nullptr, "muse-42");
    standIn.timeline(s, 0.0, 2.0, 2.0, 2.0);
    LslRun run("");
    ASSERT_EQ(run.status, 0) << run.log();
    const auto slots = run.packets(standIn);
    EXPECT_GE(slots[0].size(), 1024U - 64U);
    int32_t packet[8] = {};
    int32_t count = 0;
    for (int poll = 0; poll < 20; ++poll)
        EXPECT_EQ(run.dsu.poll(packet, 8, &count), SimulatedDsu::NoData);
    const std::string log = run.log();
    EXPECT_NE(log.find("the stream paused for 2.00"), std::string::npos) << log;
    EXPECT_EQ(log.find("has ended"), std::string::npos) << log;
    const uint64_t delivered = run.dsu.delivered();
    const std::filesystem::path kept = run.dsu.sessionFile();
    ASSERT_EQ(run.dsu.terminate("kardemo.SES"), 0);

    edf_hdr_struct header{};
    ASSERT_EQ(edfopen_file_readonly(kept.c_str(), &header, EDFLIB_READ_ALL_ANNOTATIONS), 0);
    EXPECT_EQ(static_cast<uint64_t>(header.datarecords_in_file), (delivered + 255) / 256);
    const std::string recording = header.recording_additional;
    EXPECT_NE(recording.find("Headband"), std::string::npos) << recording;
    EXPECT_NE(recording.find("muse-42"), std::string::npos) << recording;
    bool marked = false;
    for (long long a = 0; a < header.annotations_in_file; ++a) {
        edf_annotation_struct note{};
        edf_get_annotation(header.handle, static_cast<int>(a), &note);
        if (std::string(note.annotation).rfind("Gap 2.00", 0) == 0) {
            marked = true;
            EXPECT_NEAR(static_cast<double>(note.onset) / EDFLIB_TIME_DIMENSION, 2.0, 0.1);
        }
    }
    EXPECT_TRUE(marked);
    edfclose_file(header.handle);
    // The facts keep the stream's name and host in full, beside the header's first characters.
    const auto facts = session::readFacts(session::SessionPaths::ofRecording(kept).facts());
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->source.kind, "lsl");
    EXPECT_EQ(facts->source.stream, "Headband");
    EXPECT_EQ(facts->source.host, "standin-host");
}

struct Fault {
    const char* name;
    const char* library; ///< "standin", "lacking" or another path
    int version;
    const char* type; ///< of the one stream offered, or nullptr for none
    double rate;
    int format;
    int channels;
    const char* labels;
    const char* units;
    const char* ini;
    int32_t status; ///< -(100 x key + fault)
    const char* logged;
};

void PrintTo(const Fault& row, std::ostream* out) {
    *out << row.name;
}

class LslFault : public ::testing::TestWithParam<Fault> {};

// Catches: a failure reported as success, the wrong status, a log that does not say why,
// and a failed start that leaves a reader thread or an inlet behind.
TEST_P(LslFault, FailsInitialiseWithItsStatus) {
    const Fault& f = GetParam();
    StandIn standIn;
    standIn.reset(f.version);
    if (f.type != nullptr) {
        const int s = standIn.add("Amp", f.type, f.rate, f.format, f.channels, f.labels, f.units);
        if (std::string(f.name) == "DoesNotOpen")
            standIn.get<void(int)>("standin_unopenable")(s);
    }
    TempFolder elsewhere;
    const std::string fifo = (elsewhere.path() / "liblsl.so").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string library = std::string(f.library) == "standin"   ? SOLVANE_LSL_STANDIN
                                : std::string(f.library) == "lacking" ? SOLVANE_LSL_STANDIN_LACKING
                                : std::string(f.library) == "fifo"    ? fifo
                                                                      : f.library;
    LslRun run(f.ini, library.c_str());
    EXPECT_EQ(run.status, f.status);
    const std::string log = run.log();
    EXPECT_NE(log.find(f.logged), std::string::npos) << log;
    int32_t packet[8] = {};
    int32_t count = 0;
    EXPECT_LT(run.dsu.poll(packet, 8, &count), 0);
    EXPECT_EQ(standIn.count("standin_inlets_open"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LslFault,
    ::testing::Values(Fault{"LibraryMissing", "/nowhere/liblsl.so", 116, "EEG", 250, Float32, 8,
                            nullptr, nullptr, "", -1413, "liblsl project's release packages"},
                      // A FIFO held the start for ever inside dlopen; a device was read.
                      Fault{"LibraryIsAFifo", "fifo", 116, "EEG", 250, Float32, 8, nullptr, nullptr,
                            "", -1413, "liblsl.so: it is no plain file"},
                      Fault{"LibraryIsADevice", "/dev/zero", 116, "EEG", 250, Float32, 8, nullptr,
                            nullptr, "", -1413, "/dev/zero: it is no plain file"},
                      Fault{"LibraryTooOld", "standin", 113, "EEG", 250, Float32, 8, nullptr,
                            nullptr, "", -1414, "is liblsl 1.13"},
                      Fault{"LacksAFunction", "lacking", 116, "EEG", 250, Float32, 8, nullptr,
                            nullptr, "", -1415, "has no function lsl_child_value_n"},
                      Fault{"NoStreamOfThatName", "standin", 116, "EEG", 250, Float32, 8, nullptr,
                            nullptr, "Stream = Cap", -1316,
                            "the LSL stream named \"Cap\" was not found within 1 s"},
                      Fault{"NoEegStream", "standin", 116, "Markers", 0, Text, 1, nullptr, nullptr,
                            "", -1316, "an LSL stream of type EEG was not found"},
                      Fault{"TextSamples", "standin", 116, "EEG", 250, Text, 8, nullptr, nullptr,
                            "", -1317, "its samples are text"},
                      Fault{"IrregularRate", "standin", 116, "EEG", 0, Float32, 8, nullptr, nullptr,
                            "", -1317, "its rate is irregular"},
                      Fault{"ThreeChannels", "standin", 116, "EEG", 250, Float32, 3, nullptr,
                            nullptr, "", -1317, "3 channels, fewer than four"},
                      Fault{"BandPowerStream", "standin", 116, "EEG", 250, Float32, 125, nullptr,
                            nullptr, "", -1317, "125 channels without labels"},
                      Fault{"UnknownUnit", "standin", 116, "EEG", 250, Float32, 4, "C3,C4,O1,O2",
                            "uV,uV,uV,dB", "", -1318, "O2 of \"Amp\" is in \"dB\""},
                      Fault{"UnknownLabel", "standin", 116, "EEG", 250, Float32, 4, "C3,C4,O1,O2",
                            nullptr, "Channels = C3, C4, O1, Pz", -205,
                            "labelled \"Pz\" (it has C3, C4, O1, O2)"},
                      Fault{"DoesNotOpen", "standin", 116, "EEG", 250, Float32, 4, nullptr, nullptr,
                            "", -1319, "was found but does not send (liblsl error -1)"}),
    [](const ::testing::TestParamInfo<Fault>& row) { return std::string(row.param.name); });

} // namespace
} // namespace solvane::dsusim
