// KardemoDLL with real shared libraries: each of the fourteen functions reached by its own
// name, and the reports for a library that lacks a function and for a file that is none.

#include "device/KardemoDLL.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace solvane {
namespace {

using testing::TempFolder;

std::string errorOf(KardemoDLL& library) {
    try {
        library.functions();
    } catch (const DeviceLibraryError& error) {
        return error.what();
    }
    return "no error";
}

TEST(DeviceLibrary, LoadsFromTheProgramFolderAndReachesEveryFunctionByName) {
    KardemoDLL library(FAKE_LIBRARY_FOLDER);
    const KardemoFunctions& dsu = library.functions();
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(library.loadedFrom(), std::string(FAKE_LIBRARY_FOLDER) + "/libkardemo.so");

    int32_t one = 1;
    char debugFile[] = "/x/debug.txt";
    char empty1[] = "";
    char empty2[] = "";
    char session[] = "kardemo.SES";
    char command[] = "WB0000";
    EXPECT_EQ(dsu.SetDebugMode(&one, 1, debugFile), 101012);
    EXPECT_EQ(dsu.SetRecordingLength(90), 91);
    EXPECT_EQ(dsu.ReadDelay(100), 102);
    EXPECT_EQ(dsu.SetDataTransferMode(0, empty1, empty2), 3);
    EXPECT_EQ(dsu.SetDSUBaudRate(&one, 9), 109);
    EXPECT_EQ(dsu.SetDSUPacketLength(&one, 14), 1014);
    EXPECT_EQ(dsu.SetComPorts(&one, 1, 100, 7), 1011007);
    EXPECT_EQ(dsu.SetScanWaitTime(&one, 1500), -1500);
    EXPECT_EQ(dsu.InitialiseDSU(&one), 7);
    EXPECT_EQ(dsu.ActiveComPort(&one), 42);
    EXPECT_EQ(dsu.TerminateDSU(1, 1, session), 1111);
    EXPECT_EQ(dsu.SendCommandToDSU(command, 6), 6000 + 'W');

    int32_t packet[8] = {};
    int32_t count = 0;
    int32_t reserved = 0;
    EXPECT_EQ(dsu.GetP3Data(packet, 8, &one, &count, &reserved), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(packet[0], 100);
    EXPECT_EQ(packet[7], 107);

    std::array<int32_t, KARDEMO_PORT_SLOTS> ports{};
    EXPECT_EQ(dsu.ListActiveCOMPorts(ports.data()), 1);
    EXPECT_EQ(ports[1], 3);
    EXPECT_EQ(ports[500], 9);
}

TEST(DeviceLibrary, ALibraryThatLacksAFunctionIsReportedByName) {
    KardemoDLL library(INCOMPLETE_LIBRARY_FOLDER);
    const std::string message = errorOf(library);
    EXPECT_NE(message.find("TerminateDSU"), std::string::npos) << message;
    EXPECT_NE(message.find(std::string(INCOMPLETE_LIBRARY_FOLDER) + "/libkardemo.so"),
              std::string::npos)
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

    KardemoDLL library(std::vector<std::filesystem::path>{empty.path(), FAKE_LIBRARY_FOLDER,
                                                          INCOMPLETE_LIBRARY_FOLDER});
    library.functions();
    EXPECT_EQ(library.loadedFrom(), std::string(FAKE_LIBRARY_FOLDER) + "/libkardemo.so");
}

} // namespace
} // namespace solvane
