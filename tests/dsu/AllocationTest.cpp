// GetP3Data allocates nothing, neither while replaying (reading, resampling) nor while making
// synthetic EEG, and neither does writing a record of the session file or a second of its
// sound. Replaces the global allocation functions, so it has an executable of its own.

#include "DsuSimSupport.h"
#include "dsu/device/SimulatedDsu.h"
#include "support/CountingAllocator.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace solvane::dsusim {
namespace {

class PollAllocations : public ::testing::TestWithParam<const char*> {};

TEST_P(PollAllocations, NoneAfterTheFirstRecord) {
    testing::TempFolder folder;
    const std::string source = GetParam();
    if (source != "synthetic") {
        testing::writeTestRecording(
            folder.path() / "sine.edf", 500, 30,
            {{"O1", 10.0, 50.0}, {"O2", 11.0, 50.0}, {"P3", 9.0, 50.0}, {"P4", 12.0, 50.0}});
    }
    folder.write("dsu-simulator.ini",
                 "[Simulator]\nSource = " + source + "\nSpeed = 0\nSound = off\n");
    SimulatedDsu dsu(folder.path());
    ASSERT_EQ(dsu.initialise(), 0);
    int32_t packet[8] = {};
    int32_t count = 0;
    // The first record makes EDFlib write the file's header.
    for (int n = 0; n < 300; ++n)
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);

    const std::size_t before = testing::allocations;
    for (int n = 0; n < 10 * 256; ++n)
        ASSERT_EQ(dsu.poll(packet, 8, &count), 0);
    const std::size_t made = testing::allocations - before;
    EXPECT_EQ(made, 0U);
    EXPECT_EQ(dsu.terminate("kardemo.SES"), 0);
}

INSTANTIATE_TEST_SUITE_P(Sources, PollAllocations, ::testing::Values("synthetic", "sine.edf"),
                         [](const ::testing::TestParamInfo<const char*>& row) {
                             return std::string(row.index == 0 ? "Synthetic" : "Replay");
                         });

} // namespace
} // namespace solvane::dsusim
