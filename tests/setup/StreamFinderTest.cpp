// The streams the set-up offers, through the stand-in liblsl (no network), and what it says
// when there is no usable liblsl: where to get one.

#include "setup/StreamFinder.h"
#include "setup/SetupError.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace solvane::setup {
namespace {

constexpr int Float32 = 1;

struct Library {
    const char* name;
    const char* path;
    const char* said; ///< part of the refusal; empty when the streams are listed
};

class StreamsSeen : public ::testing::TestWithParam<Library> {};

// Catches: a list that misses a stream that is not of type EEG or gets its facts wrong, and a
// missing or unusable liblsl reported without where to get it.
TEST_P(StreamsSeen, AreListedOrTheLibraryIsExplained) {
    const Library& c = GetParam();
    void* standIn = dlopen(SOLVANE_LSL_STANDIN, RTLD_NOW);
    ASSERT_NE(standIn, nullptr);
    reinterpret_cast<void (*)(int)>(dlsym(standIn, "standin_reset"))(116);
    auto add =
        reinterpret_cast<int (*)(const char*, const char*, const char*, double, int, int,
                                 const char*, const char*)>(dlsym(standIn, "standin_add_stream"));
    add("obci_eeg1", "EEG", "board-7", 250.0, Float32, 8, nullptr, nullptr);
    add("muse", "Markers", "band-2", 0.0, Float32, 1, nullptr, nullptr);

    try {
        const std::vector<StreamSummary> streams = StreamFinder::find(c.path, 0.2);
        EXPECT_EQ(*c.said, '\0') << "listed through " << c.path;
        ASSERT_EQ(streams.size(), 2U);
        EXPECT_EQ(streams[0].name, "obci_eeg1");
        EXPECT_EQ(streams[0].type, "EEG");
        EXPECT_EQ(streams[0].sourceId, "board-7");
        EXPECT_EQ(streams[0].channels, 8);
        EXPECT_EQ(streams[0].rate, 250.0);
        EXPECT_EQ(streams[1].name, "muse");
        EXPECT_EQ(streams[1].rate, 0.0);
    } catch (const SetupError& error) {
        const std::string message = error.what();
        EXPECT_NE(*c.said, '\0') << message;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
        EXPECT_NE(message.find("github.com/sccn/liblsl/releases"), std::string::npos) << message;
    }
    dlclose(standIn);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, StreamsSeen,
    ::testing::Values(Library{"StandIn", SOLVANE_LSL_STANDIN, ""},
                      Library{"Missing", "/nonexistent/liblsl.so", "liblsl cannot be loaded"},
                      Library{"LacksAFunction", SOLVANE_LSL_STANDIN_LACKING, "has no function"}),
    [](const ::testing::TestParamInfo<Library>& row) { return std::string(row.param.name); });

} // namespace
} // namespace solvane::setup
