// Nothing is allocated per packet, counted by this executable's own allocation functions
// (it replaces them, so it is an executable of its own): not by the bundled DSU's GetP3Data
// on any of its sources, with the session file it writes, and not by the program's analysis
// per packet or per block once every plan exists. Every case runs the same loop.

#include "BoardEmulator.h"
#include "analysis/FFTX1.h"
#include "analysis/PacketAnalysis.h"
#include "dsu/DsuSimSupport.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/CountingAllocator.h"
#include "support/NullOutputs.h"
#include "support/RecordingOutputs.h"
#include "support/RunSettings.h"
#include "support/TempFolder.h"

#include <dlfcn.h>
#include <fftw3.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace solvane {
namespace {

using dsusim::SimulatedDsu;
using testing::BoardEmulator;

/// The allocations `times` calls of `step` make.
template <typename Step> std::size_t allocationsIn(int times, const Step& step) {
    const std::size_t before = testing::allocations;
    for (int i = 0; i < times; ++i)
        step();
    return testing::allocations - before;
}

TEST(AllocationCounting, SeesEveryKindOfAllocation) {
    EXPECT_GT(allocationsIn(1,
                            [] {
                                int* volatile kept = new int(1); // may not be elided
                                delete kept;
                            }),
              0U);
    // Under AddressSanitizer its runtime owns the C allocator; only operator new is counted.
    if (testing::CountsCAllocations) {
        EXPECT_GT(allocationsIn(1, [] { fftw_free(fftw_malloc(64)); }), 0U);
    }
}

// The stand-in liblsl with one 8-channel EEG stream of 12 s at 250 Hz, loaded for as long as
// the object lives.
class LslStream {
public:
    LslStream() : standIn_(dlopen(SOLVANE_LSL_STANDIN, RTLD_NOW)) {
        if (standIn_ == nullptr)
            throw std::runtime_error(dlerror());
        function<void(int)>("standin_reset")(116);
        const int s = function<int(const char*, const char*, const char*, double, int, int,
                                   const char*, const char*)>("standin_add_stream")(
            "Amp", "EEG", "amp-1", 250, 1, 8, nullptr, nullptr);
        function<void(int, double, double, double, double)>("standin_timeline")(s, 0.0, 12.0, 0.0,
                                                                                0.0);
    }
    ~LslStream() { dlclose(standIn_); }
    LslStream(const LslStream&) = delete;
    LslStream& operator=(const LslStream&) = delete;

    /// Waits (at most 20 s) until the DSU's reading thread has taken the whole stream.
    void waitUntilTaken() {
        const auto silentPulls = function<int()>("standin_silent_pulls");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (silentPulls() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

private:
    template <typename Signature> Signature* function(const char* name) {
        return reinterpret_cast<Signature*>(dlsym(standIn_, name));
    }
    void* standIn_;
};

enum class Feed { Synthetic, Recording, Lsl, Board };

struct Source {
    const char* name;
    Feed feed;
    const char* source; ///< the value of the Source key
    BoardEmulator::Options board{};
};

void PrintTo(const Source& c, std::ostream* out) {
    *out << c.name;
}

class PollAllocations : public ::testing::TestWithParam<Source> {};

// Catches an allocation or a copy into a growing buffer on the poll path of a source: making
// synthetic EEG, reading and resampling a recording, taking a live stream's samples out of the
// reading thread's ring, reading a board's port (framing, numbering, pairing, the rate guard,
// resampling), and writing a record of the session file.
TEST_P(PollAllocations, NoneAfterTheFirstRecord) {
    const Source& c = GetParam();
    testing::TempFolder folder;
    std::string keys = std::string("Source = ") + c.source + "\nSound = off\n";
    std::optional<LslStream> stream;
    std::optional<BoardEmulator> board;
    switch (c.feed) {
    case Feed::Recording:
        testing::writeTestRecording(
            folder.path() / c.source, 500, 30,
            {{"O1", 10.0, 50.0}, {"O2", 11.0, 50.0}, {"P3", 9.0, 50.0}, {"P4", 12.0, 50.0}});
        [[fallthrough]];
    case Feed::Synthetic:
        keys += "Speed = 0\n";
        break;
    case Feed::Lsl:
        stream.emplace();
        keys += std::string("LslLibrary = ") + SOLVANE_LSL_STANDIN + "\n";
        break;
    case Feed::Board:
        board.emplace(c.board);
        keys += "SerialDevice = " + board->device() + "\n";
        break;
    }
    folder.write("dsu-simulator.ini", "[Simulator]\n" + keys);
    SimulatedDsu dsu(folder.path());
    if (board)
        dsu.setBoardClock(
            [&board] { return static_cast<double>(board->samples()) / board->rate(); });
    ASSERT_EQ(dsu.initialise(), 0);
    if (stream)
        stream->waitUntilTaken();

    int32_t packet[8] = {};
    int32_t count = 0;
    // A poll; from a board, half a second sent and polled (at most 10 s) until its 128 packets
    // are delivered, less what the resampler's filter holds.
    const auto step = [&] {
        if (!board) {
            dsu.poll(packet, 8, &count);
            return;
        }
        board->send(static_cast<int>(board->rate()) / 2);
        const auto wanted =
            static_cast<uint64_t>(static_cast<double>(board->samples()) * 256.0 / board->rate()) -
            12;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (dsu.delivered() < wanted && std::chrono::steady_clock::now() < deadline)
            if (dsu.poll(packet, 8, &count) != 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    // The first record makes EDFlib write the file's header.
    allocationsIn(board ? 4 : 300, step);
    const uint64_t start = dsu.delivered();
    EXPECT_EQ(allocationsIn(board ? 16 : 10 * 256, step), 0U);
    EXPECT_GE(dsu.delivered() - start, board ? 16 * 127 - 12 : 10 * 256) << "packets delivered";
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PollAllocations,
    ::testing::Values(
        Source{"Synthetic", Feed::Synthetic, "synthetic"},
        Source{"Replay", Feed::Recording, "sine.edf"}, Source{"Lsl", Feed::Lsl, "lsl"},
        Source{"Cyton8Channels", Feed::Board, "cyton"},
        Source{"Cyton16Channels", Feed::Board, "cyton", {.daisy = true}},
        Source{"OpenEeg", Feed::Board, "openeeg", {.protocol = BoardEmulator::Protocol::OpenEeg}}),
    [](const ::testing::TestParamInfo<Source>& row) { return std::string(row.param.name); });

// Four active slots, commands going out at every pass, the sample rate changed once: after
// the first blocks at each rate, whole blocks run without a single allocation.
TEST(AnalysisAllocations, NoneInTheSteadyStateThroughDraw) {
    Settings settings = testing::runSettings(1, 2, 3, 4);
    settings.AVEVolume = 100;
    testing::NoMap map;
    testing::CountingSink sink;
    PacketAnalysis analysis(settings, map, sink);
    analysis.ApplyChannelSelection();

    int packetNumber = 0;
    const auto block = [&] {
        for (int i = 0; i < settings.DSUSampleRate + 1; ++i) {
            ++packetNumber;
            const auto sample =
                static_cast<int32_t>(512 + std::lround(200 * std::sin(0.3 * packetNumber) *
                                                       std::sin(0.0011 * packetNumber)));
            const int32_t packet[8] = {sample,        600 - sample / 2, 0, 0,
                                       1024 - sample, sample / 3,       0, 0};
            // A new frequency per packet: every pass sends commands.
            settings.AVEFrequency = static_cast<int16_t>(200 + packetNumber % 50);
            analysis.draw(packet);
        }
    };

    allocationsIn(2, block);
    const auto sentBefore = sink.sent;
    EXPECT_EQ(allocationsIn(10, block), 0U) << "in 10 blocks of 257 packets";
    EXPECT_GE(sink.sent - sentBefore, 20U) << "commands went out at every pass";

    settings.DSUSampleRate = 200;
    allocationsIn(1, block); // makes the plan for 200 points
    EXPECT_EQ(allocationsIn(10, block), 0U) << "in 10 blocks of 201 packets";
}

TEST(AnalysisAllocations, NonePerTransformOnceThePlanExists) {
    FFTX1 fft;
    EXPECT_TRUE(fft.hasPlan(256)) << "the plan for 256 points is made with the component";
    EXPECT_FALSE(fft.hasPlan(100));
    double data[2 * 256] = {};
    EXPECT_EQ(allocationsIn(100, [&] { fft.FFT(data[0], 256); }), 0U);
    fft.FFT(data[0], 100);
    EXPECT_TRUE(fft.hasPlan(100));
    EXPECT_EQ(allocationsIn(100, [&] { fft.FFT(data[0], 100); }), 0U);
}

} // namespace
} // namespace solvane
