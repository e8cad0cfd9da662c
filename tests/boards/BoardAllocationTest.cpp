// GetP3Data allocates nothing while a board streams: reading the port, framing, numbering,
// pairing, the rate guard and resampling work in fixed buffers. Replaces the global allocation
// functions, so it has an executable of its own.

#include "BoardEmulator.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/CountingAllocator.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace solvane::dsusim {
namespace {

using testing::BoardEmulator;

// Polls until `wanted` packets have been delivered in all (at most 10 s).
void pollTo(SimulatedDsu& dsu, uint64_t wanted) {
    int32_t packet[8] = {};
    int32_t count = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (dsu.delivered() < wanted && std::chrono::steady_clock::now() < deadline)
        if (dsu.poll(packet, 8, &count) != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Catches an allocation per packet on a board's path (a string, a growing buffer).
TEST(BoardAllocations, NoneWhileStreaming) {
    struct Case {
        const char* name;
        BoardEmulator::Options board;
        const char* source;
    } const cases[] = {{"8 channels", {}, "cyton"},
                       {"16 channels", {.daisy = true}, "cyton"},
                       {"OpenEEG", {.protocol = BoardEmulator::Protocol::OpenEeg}, "openeeg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempFolder folder;
        BoardEmulator board(c.board);
        folder.write("dsu-simulator.ini", std::string("[Simulator]\nSource = ") + c.source +
                                              "\nSerialDevice = " + board.device() +
                                              "\nSound = off\n");
        SimulatedDsu dsu(folder.path());
        dsu.setBoardClock([&board] { return static_cast<double>(board.samples()) / board.rate(); });
        ASSERT_EQ(dsu.initialise(), 0);
        // Each half second sent gives 128 packets, less what the resampler's filter holds.
        auto sendHalfSecond = [&] {
            board.send(static_cast<int>(board.rate()) / 2);
            pollTo(dsu, static_cast<uint64_t>(static_cast<double>(board.samples()) * 256.0 /
                                              board.rate()) -
                            12);
        };
        // The first record makes EDFlib write the file's header.
        for (int piece = 0; piece < 4; ++piece)
            sendHalfSecond();
        const std::size_t before = testing::allocations;
        const uint64_t start = dsu.delivered();
        for (int piece = 0; piece < 16; ++piece)
            sendHalfSecond();
        const std::size_t made = testing::allocations - before;
        EXPECT_GE(dsu.delivered(), start + 16 * 127 - 12);
        EXPECT_EQ(made, 0U);
        EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    }
}

} // namespace
} // namespace solvane::dsusim
