// The debug log: this program's own log starts afresh at each SetDebugMode, one that another
// program holds already is only added to, and a path that is no plain file leaves the log off
// at once instead of holding the start.

#include "dsu/common/DebugLog.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace solvane::dsusim {
namespace {

using testing::TempFolder;

TEST(DebugLogFile, OwnLogStartsAfreshAndOneHeldByAnotherProgramIsOnlyAddedTo) {
    TempFolder folder;
    const std::string file = (folder.path() / "debug.txt").string();
    DebugLog own;
    own.open(file);
    own.write("first run");
    own.open(file);
    own.write("second run");
    EXPECT_EQ(folder.read("debug.txt"), "second run\n");

    // The lock is per open file, so a second log in this process stands for another program.
    DebugLog other;
    other.open(file);
    EXPECT_TRUE(other.shared());
    other.write("other program");
    other.open(file);
    own.write("second run goes on");
    EXPECT_FALSE(own.shared());
    EXPECT_EQ(folder.read("debug.txt"), "second run\nother program\nsecond run goes on\n");

    own.pause();
    own.write("not logged");
    EXPECT_EQ(folder.read("debug.txt"), "second run\nother program\nsecond run goes on\n");
}

TEST(DebugLogFile, APathThatIsNoPlainFileLeavesTheLogOff) {
    TempFolder folder;
    const std::filesystem::path fifo = folder.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::filesystem::create_directory(folder.path() / "folder");
    for (const std::filesystem::path& path :
         {fifo, folder.path() / "folder", folder.path() / "missing" / "debug.txt"}) {
        DebugLog log;
        log.open(path.string()); // a FIFO without a reader would block an open that waits
        EXPECT_FALSE(log.on()) << path;
    }
}

} // namespace
} // namespace solvane::dsusim
