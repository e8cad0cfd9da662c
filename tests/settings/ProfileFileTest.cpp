// The profile file format on its own: finding values, writing them back in place, and
// replacing a file on disk.

#include "config/ProfileFile.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace solvane {
namespace {

using testing::TempFolder;

struct ReadRow {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

void PrintTo(const ReadRow& row, std::ostream* out) {
    *out << row.name;
}

class ProfileFileReads : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ProfileFileReads, FindsTheValueOfAKeyInItsSection) {
    const ReadRow& row = GetParam();
    EXPECT_EQ(ProfileFile::findValue(row.text, row.section, row.key), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileFileReads,
    ::testing::Values(
        ReadRow{"plain", "[AVE]\nAVEVolume= 12\n", "AVE", "AVEVolume", "12"},
        ReadRow{"namesIgnoreCase", "[ave]\naVEvOLUME=7\n", "AVE", "AVEVolume", "7"},
        ReadRow{"blanksAroundNamesAndValue", "  [ AVE ]  \n\t AVEVolume \t=\t 7 \t\n", "AVE",
                "AVEVolume", "7"},
        ReadRow{"crlfLineEnds", "[AVE]\r\nAVEVolume= 7\r\nAVEFrequency= 9\r\n", "AVE", "AVEVolume",
                "7"},
        ReadRow{"lastLineWithoutLineEnd", "[AVE]\nAVEVolume=7", "AVE", "AVEVolume", "7"},
        ReadRow{"firstMatchWins", "[AVE]\nAVEVolume=1\nAVEVolume=2\n", "AVE", "AVEVolume", "1"},
        ReadRow{"emptyValueIsPresent", "[AVE]\nAVEVolume=\n", "AVE", "AVEVolume", ""},
        ReadRow{"equalsSignInValue", "[AVE]\nAVEVolume=a=b\n", "AVE", "AVEVolume", "a=b"},
        ReadRow{"keyOfAnotherSection", "[Kardemo]\nAVEVolume=7\n[AVE]\n", "AVE", "AVEVolume",
                std::nullopt},
        ReadRow{"keyBeforeAnySection", "AVEVolume=7\n[AVE]\n", "AVE", "AVEVolume", std::nullopt},
        ReadRow{"commentLinesHoldNoKeys", "[AVE]\n;AVEVolume=7\n#AVEVolume=8\n", "AVE", "AVEVolume",
                std::nullopt},
        ReadRow{"longerKeyDoesNotMatch", "[AVE]\nAVEVolumeX=7\n", "AVE", "AVEVolume", std::nullopt},
        ReadRow{"emptyText", "", "AVE", "AVEVolume", std::nullopt},
        ReadRow{"onlyTheFirstOfTwoSections", "[AVE]\nA=1\n[ave]\nAVEVolume=7\n", "AVE", "AVEVolume",
                std::nullopt},
        ReadRow{"byteOrderMarkSkipped", "\xEF\xBB\xBF[AVE]\nAVEVolume=7\n", "AVE", "AVEVolume",
                "7"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

struct WriteRow {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

void PrintTo(const WriteRow& row, std::ostream* out) {
    *out << row.name;
}

class ProfileFileWrites : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ProfileFileWrites, ChangesOnlyTheLineOfTheKey) {
    const WriteRow& row = GetParam();
    EXPECT_EQ(ProfileFile::withValue(row.before, row.section, row.key, row.value), row.after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileFileWrites,
    ::testing::Values(WriteRow{"newFile", "", "AVE", "AVEVolume", " 12", "[AVE]\nAVEVolume= 12\n"},
                      WriteRow{"replacedInPlace",
                               "; my settings\n[AVE]\nOther = x \navevolume = 40 \n\n[Mine]\nk=v\n",
                               "AVE", "AVEVolume", " 12",
                               "; my settings\n[AVE]\nOther = x \nAVEVolume= 12\n\n[Mine]\nk=v\n"},
                      WriteRow{"onlyTheFirstMatchReplaced", "[AVE]\nAVEVolume=1\nAVEVolume=2\n",
                               "AVE", "AVEVolume", "3", "[AVE]\nAVEVolume=3\nAVEVolume=2\n"},
                      WriteRow{"missingKeyEndsItsSection", "[AVE]\nA=1\n\n[Kardemo]\nB=2\n", "AVE",
                               "AVEVolume", " 12", "[AVE]\nA=1\nAVEVolume= 12\n\n[Kardemo]\nB=2\n"},
                      WriteRow{"missingKeyInEmptySection", "[AVE]\n[Kardemo]\n", "AVE", "AVEVolume",
                               "1", "[AVE]\nAVEVolume=1\n[Kardemo]\n"},
                      WriteRow{"missingSectionEndsTheFile", "[Kardemo]\nB=2\n; end\n", "AVE",
                               "AVEVolume", "1", "[Kardemo]\nB=2\n; end\n[AVE]\nAVEVolume=1\n"},
                      WriteRow{"lastLineWithoutLineEnd", "[AVE]\nA=1", "AVE", "AVEVolume", "1",
                               "[AVE]\nA=1\nAVEVolume=1\n"},
                      WriteRow{"crlfKeptWhenReplacing", "[AVE]\r\nAVEVolume=1\r\nA=2\r\n", "AVE",
                               "AVEVolume", "3", "[AVE]\r\nAVEVolume=3\r\nA=2\r\n"},
                      WriteRow{"crlfUsedWhenAppending", "[AVE]\r\nA=2\r\n", "Kardemo", "B", "3",
                               "[AVE]\r\nA=2\r\n[Kardemo]\r\nB=3\r\n"},
                      WriteRow{"commentedKeyIsNotReplaced", "[AVE]\n;AVEVolume=1\n", "AVE",
                               "AVEVolume", "2", "[AVE]\n;AVEVolume=1\nAVEVolume=2\n"},
                      WriteRow{"byteOrderMarkKept", "\xEF\xBB\xBF[AVE]\nA=1\n", "AVE", "A", "2",
                               "\xEF\xBB\xBF[AVE]\nA=2\n"},
                      WriteRow{"lineEndOfTheSectionsLastLine", "; n\n[AVE]\r\nA=1\r\n[K]\n", "AVE",
                               "B", "2", "; n\n[AVE]\r\nA=1\r\nB=2\r\n[K]\n"},
                      WriteRow{"lineEndOfTheFilesLastLine", "; n\n[AVE]\r\nA=1\r\n", "K", "B", "2",
                               "; n\n[AVE]\r\nA=1\r\n[K]\r\nB=2\r\n"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST(ProfileFileOnDisk, ReplacesTheFileAndLeavesNoTemporaryFile) {
    TempFolder folder;
    folder.write("a.ini", "old contents that are longer than the new ones\n");
    ProfileFile::writeFile(folder.path() / "a.ini", "[AVE]\n");
    EXPECT_EQ(folder.read("a.ini"), "[AVE]\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

// Settings kept elsewhere through a symbolic link (also one that points at a file not yet
// made, through a relative link in another folder): the link stays and its target is written.
TEST(ProfileFileOnDisk, WritesThroughASymbolicLink) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "kept");
    folder.write("kept/a.ini", "old\n");
    std::filesystem::create_symlink(folder.path() / "kept" / "a.ini", folder.path() / "a.ini");
    ProfileFile::writeFile(folder.path() / "a.ini", "[AVE]\n");
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "a.ini"));
    EXPECT_EQ(folder.read("kept/a.ini"), "[AVE]\n");

    std::filesystem::create_symlink("kept/b.ini", folder.path() / "b.ini");
    ProfileFile::writeFile(folder.path() / "b.ini", "[Kardemo]\n");
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "b.ini"));
    EXPECT_EQ(folder.read("kept/b.ini"), "[Kardemo]\n");
}

TEST(ProfileFileOnDisk, MissingFileReadsAsNothing) {
    TempFolder folder;
    EXPECT_EQ(ProfileFile::readFile(folder.path() / "none.ini"), std::nullopt);
    folder.write("crlf.ini", "[A]\r\nk=v\r\n");
    EXPECT_EQ(ProfileFile::readFile(folder.path() / "crlf.ini"), "[A]\r\nk=v\r\n");
}

TEST(ProfileFileOnDisk, AWriteThatFailsNamesTheFileAndTheReason) {
    TempFolder folder;
    // A regular file where the folder should be: no one may write below it, root included.
    folder.write("notAFolder", "x");
    const auto target = folder.path() / "notAFolder" / "a.ini";
    try {
        ProfileFile::writeFile(target, "[AVE]\n");
        FAIL() << "the write should have failed";
    } catch (const ProfileWriteError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(target.string()), std::string::npos) << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    }
}

TEST(ProfileFileOnDisk, AFailedRenameLeavesNoTemporaryFileBehind) {
    TempFolder folder;
    // A non-empty folder under the file's name cannot be replaced by a file.
    std::filesystem::create_directory(folder.path() / "a.ini");
    folder.write("a.ini/keep", "x");
    EXPECT_THROW(ProfileFile::writeFile(folder.path() / "a.ini", "[AVE]\n"), ProfileWriteError);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(folder.read("a.ini/keep"), "x");
}

// Root may write any file: as root, the test checks that a replaced file keeps its owner and
// group, then runs again as the user nobody.
TEST(ProfileFileOnDisk, KeepsToFileModesAsAnOrdinaryUser) {
    namespace fs = std::filesystem;
    TempFolder folder;
    const auto file = [&](const char* name) { return folder.path() / name; };
    struct stat status {};
    if (::geteuid() == 0) {
        if (std::system("command -v setpriv >/dev/null") != 0)
            GTEST_SKIP() << "setpriv (util-linux) is needed to run as an ordinary user";
        folder.write("theirs.ini", "x");
        ASSERT_EQ(::chown(file("theirs.ini").c_str(), 65534, 65534), 0);
        ProfileFile::writeFile(file("theirs.ini"), "y");
        ASSERT_EQ(::stat(file("theirs.ini").c_str(), &status), 0);
        EXPECT_TRUE(status.st_uid == 65534 && status.st_gid == 65534);
        EXPECT_EQ(testing::runAgainAsNobody("*.KeepsToFileModesAsAnOrdinaryUser"), 0);
        return;
    }
    // The process's umask is put back however the test ends, for the tests that run after it.
    struct UmaskFor {
        mode_t before = ::umask(027);
        ~UmaskFor() { ::umask(before); }
    } const thisTest;
    folder.write("protected.ini", "x");
    fs::permissions(file("protected.ini"), fs::perms::owner_read);
    EXPECT_THROW(ProfileFile::writeFile(file("protected.ini"), "y"), ProfileWriteError);
    EXPECT_EQ(folder.read("protected.ini"), "x");
    ProfileFile::writeFile(file("new.ini"), "a");
    ASSERT_EQ(::stat(file("new.ini").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640U);
    // No new file may be made in the folder: the file there is written in place.
    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::remove);
    ProfileFile::writeFile(file("new.ini"), "b");
    EXPECT_EQ(folder.read("new.ini"), "b");
    EXPECT_THROW(ProfileFile::writeFile(file("missing.ini"), "c"), ProfileWriteError);
}

} // namespace
} // namespace solvane
