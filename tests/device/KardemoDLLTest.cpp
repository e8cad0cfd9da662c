// KardemoDLL with real shared libraries (copies of the tests' device library): each of the
// fourteen functions reached by its own name, and the reports for a library that lacks a
// function and for a file that is none.

#include "device/KardemoDLL.h"
#include "support/FakeLibraryFolder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace solvane {
namespace {

using testing::fakeKardemoCalls;
using testing::placeFakeKardemo;
using testing::TempFolder;

std::string errorOf(KardemoDLL& library) {
    try {
        library.functions();
    } catch (const DeviceLibraryError& error) {
        return error.what();
    }
    return "no error";
}

// Every function answers a status of its own and logs its arguments: a function reached
// under another's name, or handed other arguments than its caller's, shows in both.
TEST(DeviceLibrary, LoadsFromTheProgramFolderAndReachesEveryFunctionByName) {
    TempFolder folder;
    placeFakeKardemo(folder, FAKE_KARDEMO,
                     "SetDebugMode=1\nSetRecordingLength=2\nReadDelay=3\nSetDataTransferMode=4\n"
                     "SetDSUBaudRate=5\nSetDSUPacketLength=6\nSetComPorts=7\nSetScanWaitTime=8\n"
                     "InitialiseDSU=9\nGetP3Data=10\nActiveComPort=11\nTerminateDSU=12\n"
                     "SendCommandToDSU=13\nPortCount=14\nPacketCount=2\nSample=700\n");
    KardemoDLL library(folder.path());
    const KardemoFunctions& dsu = library.functions();
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(library.loadedFrom(), (folder.path() / "libkardemo.so").string());

    int32_t one = 1;
    char debugFile[] = "/x/debug.txt";
    char empty[] = "";
    char session[] = "kardemo.SES";
    char command[] = "WB0000";
    std::array<int32_t, 8> packet{};
    int32_t count = 0;
    int32_t reserved = 0;
    std::array<int32_t, KARDEMO_PORT_SLOTS> ports{};
    const std::vector<int32_t> statuses = {
        dsu.SetDebugMode(&one, 1, debugFile),
        dsu.SetRecordingLength(90),
        dsu.ReadDelay(100),
        dsu.SetDataTransferMode(0, empty, empty),
        dsu.SetDSUBaudRate(&one, 9),
        dsu.SetDSUPacketLength(&one, 14),
        dsu.SetComPorts(&one, 1, 100, 7),
        dsu.SetScanWaitTime(&one, 1500),
        dsu.InitialiseDSU(&one),
        dsu.GetP3Data(packet.data(), 8, &one, &count, &reserved),
        dsu.ActiveComPort(&one),
        dsu.TerminateDSU(1, 1, session),
        dsu.SendCommandToDSU(command, 6),
        dsu.ListActiveCOMPorts(ports.data()),
    };
    EXPECT_EQ(statuses, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(fakeKardemoCalls(folder),
              (std::vector<std::string>{
                  "SetDebugMode(1, 1, /x/debug.txt)", "SetRecordingLength(90)", "ReadDelay(100)",
                  "SetDataTransferMode(0, \"\", \"\")", "SetDSUBaudRate(1, 9)",
                  "SetDSUPacketLength(1, 14)", "SetComPorts(1, 1, 100, 7)",
                  "SetScanWaitTime(1, 1500)", "InitialiseDSU(1)", "GetP3Data(8, 1)",
                  "ActiveComPort(1)", "TerminateDSU(1, 1, kardemo.SES)",
                  "SendCommandToDSU(WB0000, 6)", "ListActiveCOMPorts()"}));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(packet, (std::array<int32_t, 8>{700, 700, 700, 700, 700, 700, 700, 700}));
    EXPECT_EQ(ports[1], 2);
    EXPECT_EQ(ports[500], 501);
}

// ListActiveCOMPorts is the last function the loader resolves.
TEST(DeviceLibrary, ALibraryThatLacksAFunctionIsReportedByName) {
    TempFolder folder;
    placeFakeKardemo(folder, INCOMPLETE_KARDEMO, "");
    KardemoDLL library(folder.path());
    const std::string message = errorOf(library);
    EXPECT_NE(message.find("ListActiveCOMPorts"), std::string::npos) << message;
    EXPECT_NE(message.find((folder.path() / "libkardemo.so").string()), std::string::npos)
        << message;
    EXPECT_FALSE(library.isLoaded());
    // Asking again reports again rather than handing out a half-filled table.
    EXPECT_EQ(errorOf(library), message);
}

TEST(DeviceLibrary, AFileThatIsNoLibraryIsReportedWithItsName) {
    TempFolder folder;
    folder.write("libkardemo.so", "this is not a shared library\n");
    KardemoDLL library(folder.path());
    const std::string message = errorOf(library);
    EXPECT_NE(message.find((folder.path() / "libkardemo.so").string()), std::string::npos)
        << message;
    EXPECT_FALSE(library.isLoaded());
}

TEST(DeviceLibrary, NoLibraryInTheFolderNorOnTheSearchPath) {
    TempFolder folder;
    KardemoDLL library(folder.path());
    const std::string message = errorOf(library);
    EXPECT_NE(message.find("libkardemo.so"), std::string::npos) << message;
    EXPECT_NE(message.find(folder.path().string()), std::string::npos) << message;
}

// Nothing loaded before the search of the empty folders: a library in the process would be
// found again by its name.
TEST(DeviceLibrary, TheFirstFolderThatHoldsTheLibraryIsUsedElseAllAreNamed) {
    TempFolder empty;
    TempFolder other;
    KardemoDLL missing(std::vector<std::filesystem::path>{empty.path(), other.path()});
    const std::string message = errorOf(missing);
    for (const TempFolder* folder : {&empty, &other})
        EXPECT_NE(message.find(folder->path().string()), std::string::npos) << message;

    placeFakeKardemo(other, FAKE_KARDEMO, "");
    TempFolder incomplete;
    placeFakeKardemo(incomplete, INCOMPLETE_KARDEMO, "");
    KardemoDLL library(
        std::vector<std::filesystem::path>{empty.path(), other.path(), incomplete.path()});
    library.functions();
    EXPECT_EQ(library.loadedFrom(), (other.path() / "libkardemo.so").string());
}

} // namespace
} // namespace solvane
