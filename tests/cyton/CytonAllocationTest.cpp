// GetP3Data allocates nothing while the board streams: reading the port, framing, pairing and
// resampling work in fixed buffers. Replaces the global allocation functions, so it has an
// executable of its own.

#include "CytonEmulator.h"
#include "dsu/unit/SimulatedDsu.h"
#include "support/CountingAllocator.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace solvane::dsusim {
namespace {

// Polls until `wanted` packets have been delivered in all (at most 10 s).
void pollTo(SimulatedDsu& dsu, uint64_t wanted) {
    int32_t packet[8] = {};
    int32_t count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (dsu.delivered() < wanted && std::chrono::steady_clock::now() < deadline)
        if (dsu.poll(packet, 8, &count) != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Catches an allocation per packet on the board's path (a string, a growing buffer).
TEST(CytonAllocations, NoneWhileStreaming) {
    for (const bool daisy : {false, true}) {
        SCOPED_TRACE(daisy ? "16 channels" : "8 channels");
        testing::TempFolder folder;
        testing::CytonEmulator board({.daisy = daisy});
        folder.write("dsu-simulator.ini", "[Simulator]\nSource = cyton\nSerialDevice = " +
                                              board.device() + "\nSound = off\n");
        SimulatedDsu dsu(folder.path());
        ASSERT_EQ(dsu.initialise(), 0);
        const int rate = daisy ? 125 : 250;
        // Each half second sent gives 128 packets, less what the resampler's filter holds.
        int pieces = 0;
        auto sendHalfSecond = [&] {
            board.send(rate / 2);
            ++pieces;
            pollTo(dsu, static_cast<uint64_t>(pieces * 128 - 120));
        };
        // The first record makes EDFlib write the file's header.
        for (int piece = 0; piece < 4; ++piece)
            sendHalfSecond();
        const std::size_t before = testing::allocations;
        const uint64_t start = dsu.delivered();
        for (int piece = 0; piece < 16; ++piece)
            sendHalfSecond();
        const std::size_t made = testing::allocations - before;
        EXPECT_GE(dsu.delivered(), start + 16 * 128 - 10);
        EXPECT_EQ(made, 0U);
        EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    }
}

} // namespace
} // namespace solvane::dsusim
