// GetP3Data allocates nothing when the EEG comes from an LSL stream (the stand-in liblsl):
// the poll only takes samples out of the reading thread's ring. Replaces the global allocation
// functions, so it has an executable of its own.

#include "dsu/device/SimulatedDsu.h"
#include "support/CountingAllocator.h"
#include "support/TempFolder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace solvane::dsusim {
namespace {

// Catches: an allocation or a copy into a growing buffer on the poll path of a live source.
TEST(LslPollAllocations, NoneAfterTheFirstRecord) {
    void* standIn = dlopen(SOLVANE_LSL_STANDIN, RTLD_NOW);
    ASSERT_NE(standIn, nullptr);
    reinterpret_cast<void (*)(int)>(dlsym(standIn, "standin_reset"))(116);
    const int s = reinterpret_cast<int (*)(const char*, const char*, const char*, double, int, int,
                                           const char*, const char*)>(
        dlsym(standIn, "standin_add_stream"))("Amp", "EEG", "amp-1", 250, 1, 8, nullptr, nullptr);
    reinterpret_cast<void (*)(int, double, double, double, double)>(
        dlsym(standIn, "standin_timeline"))(s, 0.0, 12.0, 0.0, 0.0);
    const auto silentPulls = reinterpret_cast<int (*)()>(dlsym(standIn, "standin_silent_pulls"));

    testing::TempFolder folder;
    folder.write("dsu-simulator.ini", std::string("[Simulator]\nSource = lsl\nSound = off\n"
                                                  "LslLibrary = ") +
                                          SOLVANE_LSL_STANDIN + "\n");
    SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (silentPulls() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    int32_t packet[8] = {};
    int32_t count = 0;
    // The first record makes EDFlib write the file's header.
    for (int n = 0; n < 300; ++n)
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);

    const std::size_t before = testing::allocations;
    for (int n = 0; n < 10 * 256; ++n)
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
    EXPECT_EQ(testing::allocations - before, 0U);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
    dlclose(standIn);
}

} // namespace
} // namespace solvane::dsusim
