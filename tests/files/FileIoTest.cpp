// Whole reads and writes on a file descriptor: what a caller learns when the file ends first
// or the disk takes nothing.

#include "files/FileIo.h"
#include "files/FileDescriptor.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace solvane::files {
namespace {

struct ReadRow {
    const char* name;
    std::size_t size;
    uint64_t offset;
    bool whole;         ///< all `size` bytes were there
    int errorWhenShort; ///< errno after a false
};

class ReadAt : public ::testing::TestWithParam<ReadRow> {};

// A read that stops at the end of the file must not pass for a whole one, and must say that
// it was the end (errno 0), not a fault of the system, which the EDF reader words otherwise.
TEST_P(ReadAt, TakesExactlyTheBytesAskedOrSaysWhy) {
    const ReadRow& row = GetParam();
    testing::TempFolder folder;
    folder.write("ten", "0123456789");
    const FileDescriptor fd(::open((folder.path() / "ten").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_GE(fd.get(), 0);
    std::string into(row.size, '.');
    errno = EINTR;
    ASSERT_EQ(readAt(fd.get(), into.data(), row.size, row.offset), row.whole);
    if (row.whole)
        EXPECT_EQ(into, std::string("0123456789").substr(row.offset, row.size));
    else
        EXPECT_EQ(errno, row.errorWhenShort);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadAt,
    ::testing::Values(ReadRow{"Whole", 10, 0, true, 0}, ReadRow{"Middle", 4, 3, true, 0},
                      ReadRow{"Nothing", 0, 10, true, 0}, ReadRow{"AcrossTheEnd", 4, 8, false, 0},
                      ReadRow{"PastTheEnd", 1, 10, false, 0},
                      ReadRow{"NegativeOffset", 1, ~uint64_t{0}, false, EINVAL}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

// A disk that takes no byte must fail the write, with a reason a message can name.
TEST(WriteAll, AFullDiskFailsTheWriteWithItsReason) {
    const FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_GE(full.get(), 0) << "/dev/full is needed";
    const std::string text(100'000, 'x');
    EXPECT_FALSE(writeAll(full.get(), text.data(), text.size()));
    EXPECT_EQ(errno, ENOSPC);

    testing::TempFolder folder;
    const FileDescriptor file(
        ::open((folder.path() / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(writeAll(file.get(), text.data(), text.size()));
    EXPECT_EQ(folder.read("out"), text);
}

} // namespace
} // namespace solvane::files
