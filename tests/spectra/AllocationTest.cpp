// Nothing is allocated per packet or per block once every plan exists, counted by this
// executable's own allocation functions.

#include "analysis/FFTX1.h"
#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "support/CountingAllocator.h"
#include "support/NullOutputs.h"
#include "support/RecordingOutputs.h"

#include <gtest/gtest.h>

#include <fftw3.h>

#include <cmath>

namespace solvane {
namespace {

using testing::CountingSink;
using testing::NoMap;

TEST(AllocationCounting, SeesEveryKindOfAllocation) {
    std::size_t before = solvane::testing::allocations;
    int* volatile kept = new int(1); // volatile: the allocation may not be elided
    delete kept;
    EXPECT_GT(solvane::testing::allocations, before);
    // Under AddressSanitizer its runtime owns the C allocator; only operator new is counted.
    if (solvane::testing::CountsCAllocations) {
        before = solvane::testing::allocations;
        void* memory = fftw_malloc(64);
        fftw_free(memory);
        EXPECT_GT(solvane::testing::allocations, before);
    }
}

// Four active slots, commands going out at every pass, the sample rate changed once: after
// the first blocks at each rate, whole blocks run without a single allocation.
TEST(Allocation, NoneInTheSteadyStateThroughDraw) {
    Settings settings;
    settings.DSUSampleRate = 256;
    settings.AVEVolume = 100;
    settings.AVEFrequency = 210;
    settings.AVEChannel1 = 1;
    settings.AVEChannel2 = 2;
    settings.AVEChannel3 = 3;
    settings.AVEChannel4 = 4;
    NoMap map;
    CountingSink sink;
    PacketAnalysis analysis(settings, map, sink);
    analysis.ApplyChannelSelection();

    int packetNumber = 0;
    auto feedBlocks = [&](int blocks) {
        for (int i = 0; i < blocks * (settings.DSUSampleRate + 1); ++i) {
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

    feedBlocks(2);
    std::size_t before = solvane::testing::allocations;
    const auto sentBefore = sink.sent;
    feedBlocks(10);
    EXPECT_EQ(solvane::testing::allocations, before)
        << "solvane::testing::allocations in 10 blocks of 257 packets";
    EXPECT_GE(sink.sent - sentBefore, 20) << "commands went out at every pass";

    settings.DSUSampleRate = 200;
    feedBlocks(1); // makes the plan for 200 points
    before = solvane::testing::allocations;
    feedBlocks(10);
    EXPECT_EQ(solvane::testing::allocations, before)
        << "solvane::testing::allocations in 10 blocks of 201 packets";
}

TEST(Allocation, NonePerTransformOnceThePlanExists) {
    FFTX1 fft;
    EXPECT_TRUE(fft.hasPlan(256)) << "the plan for 256 points is made with the component";
    EXPECT_FALSE(fft.hasPlan(100));
    double data[2 * 256] = {};
    std::size_t before = solvane::testing::allocations;
    for (int i = 0; i < 100; ++i) {
        data[0] = i;
        fft.FFT(data[0], 256);
    }
    EXPECT_EQ(solvane::testing::allocations, before);

    fft.FFT(data[0], 100);
    EXPECT_TRUE(fft.hasPlan(100));
    before = solvane::testing::allocations;
    for (int i = 0; i < 100; ++i)
        fft.FFT(data[0], 100);
    EXPECT_EQ(solvane::testing::allocations, before);
}

} // namespace
} // namespace solvane
