// The set-up's check, through the real bundled libkardemo.so (a copy in a folder of its own)
// and through the fake device library: three seconds of the chosen source with each slot's
// amplitude and contact, the device's own message when the source fails, nothing recorded,
// and the output silenced before the library is terminated.

#include "setup/SourceCheck.h"
#include "device/KardemoDLL.h"
#include "dsu/DsuSimSupport.h"
#include "dsu/device/SimulatedDsu.h"
#include "setup/DeviceLibraryFile.h"
#include "support/FakeKardemo.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <string>

namespace solvane::setup {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using Contact = SlotFigures::Contact;

const Settings Program{256, 0, 0, 12, 210, 15, 19, 21, 15, 0};

struct Source {
    const char* name;
    const char* configuration; ///< the [Simulator] lines checked
    int32_t status;            ///< of InitialiseDSU
    const char* said;          ///< part of the failure; empty when the check passes
    Contact contact[3];        ///< slots 0..2 (slot 3 has no channel)
};

class CheckOfTheBundledDsu : public ::testing::TestWithParam<Source> {};

// Catches: a check that reads the saved file instead of the choice, leaves a session or a
// kardemo.SES behind, loses the device's reason for a failure, or gets the amplitudes or the
// contact of the slots wrong (a railing signal must show poor contact).
struct LibraryFileRow {
    const char* name;
    void (*make)(const fs::path& file);
    bool bundled;
};

class BundledLibraryFile : public ::testing::TestWithParam<LibraryFileRow> {};

// Only our own library carries the check section. A file that is no library, or is cut
// short, is not taken for it, and a FIFO of the library's name is never waited on.
TEST_P(BundledLibraryFile, IsOursOnlyWithTheCheckSection) {
    TempFolder folder;
    const fs::path file = folder.path() / "libkardemo.so";
    GetParam().make(file);
    EXPECT_EQ(DeviceLibraryFile::hasSection(file, dsusim::SimulatedDsu::CheckSection),
              GetParam().bundled);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, BundledLibraryFile,
    ::testing::Values(
        LibraryFileRow{"Bundled", [](const fs::path& f) { fs::copy_file(SOLVANE_KARDEMO, f); },
                       true},
        LibraryFileRow{"CutShort",
                       [](const fs::path& f) {
                           fs::copy_file(SOLVANE_KARDEMO, f);
                           fs::resize_file(f, 64);
                       },
                       false},
        LibraryFileRow{"Text", [](const fs::path& f) { std::ofstream(f) << "no ELF"; }, false},
        LibraryFileRow{"Fifo", [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
                       false},
        LibraryFileRow{"Missing", [](const fs::path&) {}, false}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_P(CheckOfTheBundledDsu, ReadsTheChoiceAndRecordsNothing) {
    const Source& c = GetParam();
    TempFolder folder;
    fs::copy_file(SOLVANE_KARDEMO, folder.path() / "libkardemo.so");
    // What is saved names a recording that is not there: the check must not read it.
    folder.write("dsu-simulator.ini", "[Simulator]\nSource = saved.edf\n");
    testing::writeTestRecording(
        folder.path() / "rest.edf", 256, 4,
        {{"O1", 10.0, 50.0}, {"O2", 10.0, 20.0}, {"P3", 10.0, 5000.0, "uV", 10000.0}});
    KardemoDLL device(folder.path());
    const DeviceLibraryFile library = DeviceLibraryFile::of(device);
    ASSERT_TRUE(library.bundled);
    EXPECT_EQ(library.dsuConfigFolder, folder.path());

    std::atomic<bool> cancel{false};
    SourceCheck check(device, library.bundled, Program);
    const CheckResult result =
        check.run("[Simulator]\nSpeed = 0\n" + std::string(c.configuration) + "\n", cancel);
    EXPECT_EQ(result.initialiseStatus, c.status);
    EXPECT_EQ(result.passed(), *c.said == '\0') << result.failure;
    EXPECT_NE(result.failure.find(c.said), std::string::npos) << result.failure;
    if (result.passed()) {
        EXPECT_EQ(result.packets, SourceCheck::Packets);
        EXPECT_EQ(result.blocks, 2);
        for (int slot = 0; slot < 3; ++slot) {
            EXPECT_GT(result.perSlot[slot].amplitude, 0.0) << "slot " << slot;
            EXPECT_EQ(result.perSlot[slot].contact, c.contact[slot]) << "slot " << slot;
        }
    }
    EXPECT_EQ(result.perSlot[3].position, 0);
    EXPECT_FALSE(fs::exists(folder.path() / "sessions"));
    EXPECT_FALSE(fs::exists(folder.path() / "kardemo.SES"));
    EXPECT_FALSE(fs::exists(folder.path() / "debug.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CheckOfTheBundledDsu,
    ::testing::Values(
        Source{"Synthetic",
               "Source = synthetic",
               0,
               "",
               {Contact::Good, Contact::Good, Contact::Good}},
        Source{"Recording",
               "Source = rest.edf\nChannels = O1, O2, P3, O1",
               0,
               "",
               {Contact::Good, Contact::Good, Contact::Poor}},
        Source{"MissingRecording", "Source = nowhere.edf", -103, "nowhere.edf does not exist", {}},
        Source{"UnknownWord",
               "Source = bluetooth",
               -101,
               "allowed are synthetic, cyton, openeeg, lsl",
               {}}),
    [](const ::testing::TestParamInfo<Source>& row) { return std::string(row.param.name); });

struct Foreign {
    const char* name;
    int32_t initialiseStatus;
    bool packets; ///< whether the device sends any
};

class CheckOfAForeignLibrary : public ::testing::TestWithParam<Foreign> {};

// Catches: texts of ours handed to a device maker's library, a check that leaves the output
// running or the library open when the device fails, and a session file named where the
// program keeps its own.
TEST_P(CheckOfAForeignLibrary, GetsTheProgramsCallsAndEndsSilenced) {
    const Foreign& c = GetParam();
    auto& fake = testing::FakeKardemo::instance();
    fake.reset();
    fake.initialiseStatus = c.initialiseStatus;
    if (c.packets)
        fake.pollScript = [](uint64_t) {
            testing::FakePoll poll;
            poll.status = 0;
            poll.count = 1;
            poll.packet = {512, 512, 512, 512, 530, 512, 512, 512};
            return poll;
        };
    KardemoDLL device(testing::FakeKardemo::functions());
    ASSERT_FALSE(DeviceLibraryFile::of(device).bundled);

    std::atomic<bool> cancel{false};
    SourceCheck check(device, false, Program);
    const CheckResult result = check.run("[Simulator]\nSource = synthetic\n", cancel);
    EXPECT_EQ(result.passed(), c.packets && c.initialiseStatus >= 0) << result.failure;

    const auto names = fake.callNamesWithoutPolls();
    ASSERT_GE(names.size(), 4U);
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"SendCommandToDSU", "SendCommandToDSU", "TerminateDSU"}));
    EXPECT_EQ(fake.commands(), (std::vector<std::string>{"WB0000", "WB0100"}));
    for (const testing::FakeCall& call : fake.calls) {
        if (call.name == "SetDataTransferMode") {
            EXPECT_EQ(call.numbers.at(0), 0);
            EXPECT_EQ(call.texts, (std::vector<std::string>{"", ""}));
        }
        if (call.name == "TerminateDSU") {
            const fs::path session = call.texts.at(0);
            EXPECT_TRUE(session.is_absolute()) << session;
            EXPECT_NE(session.parent_path(), fs::current_path());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, CheckOfAForeignLibrary,
                         ::testing::Values(Foreign{"Streams", 0, true},
                                           Foreign{"RefusesToStart", -7, false}),
                         [](const ::testing::TestParamInfo<Foreign>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
} // namespace solvane::setup
