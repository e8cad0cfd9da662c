// Where the program's files go: portable beside the program where its folder allows, else in
// the user's XDG base directories, read from the environment as the XDG rules say.

#include "config/FileLocations.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace solvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using Variables = std::map<std::string, std::string>;

FileLocations::Environment environmentOf(const Variables& variables) {
    return [&variables](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found != variables.end() ? found->second.c_str() : nullptr;
    };
}

unsigned modeOf(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Root may write into any folder, so as root the test runs itself again as the user nobody.
TEST(FileLocations, PortableWhereTheFolderAllowsElseTheUsersXdgFolders) {
    if (::geteuid() == 0) {
        TempFolder copy;
        fs::permissions(copy.path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::copy_file("/proc/self/exe", copy.path() / "self");
        EXPECT_EQ(std::system(("env -u LSAN_OPTIONS setpriv --reuid=65534 --regid=65534 "
                               "--clear-groups " +
                               (copy.path() / "self").string() + " --gtest_filter=FileLocations.*")
                                  .c_str()),
                  0);
        return;
    }
    TempFolder temp;
    const fs::path open = temp.path() / "open";
    const fs::path withSettings = temp.path() / "withSettings";
    const fs::path closed = temp.path() / "closed";
    const fs::path home = temp.path() / "home";
    for (const fs::path& folder : {open, withSettings, closed, home})
        fs::create_directory(folder);
    temp.write("withSettings/solvane.ini", "");
    fs::permissions(withSettings, fs::perms::owner_write, fs::perm_options::remove);
    fs::permissions(closed, fs::perms::owner_write, fs::perm_options::remove);

    const Variables homeOnly{{"HOME", home.string()}};
    for (const fs::path& folder : {open, withSettings}) {
        const FileLocations places = FileLocations::forFolder(folder, environmentOf(homeOnly));
        EXPECT_TRUE(places.portable()) << folder;
        EXPECT_EQ(places.configFolder(), folder);
        EXPECT_EQ(places.stateFolder(), folder);
        EXPECT_EQ(places.sessionsFolder(), folder / "sessions");
        EXPECT_EQ(places.sessionFileFolder(), folder);
        EXPECT_EQ(places.libraryFolders(), std::vector<fs::path>{folder});
    }

    struct Row {
        const char* name;
        Variables variables;
        fs::path config, state, data;
    };
    const Row rows[] = {
        {"unset: the defaults below HOME", homeOnly, home / ".config/solvane",
         home / ".local/state/solvane", home / ".local/share/solvane"},
        {"absolute paths",
         {{"HOME", home.string()},
          {"XDG_CONFIG_HOME", "/c"},
          {"XDG_STATE_HOME", "/s"},
          {"XDG_DATA_HOME", "/d"}},
         "/c/solvane",
         "/s/solvane",
         "/d/solvane"},
        {"empty or relative: ignored",
         {{"HOME", home.string()},
          {"XDG_CONFIG_HOME", ""},
          {"XDG_STATE_HOME", "state"},
          {"XDG_DATA_HOME", "./data"}},
         home / ".config/solvane",
         home / ".local/state/solvane",
         home / ".local/share/solvane"},
    };
    for (const Row& row : rows) {
        const FileLocations places = FileLocations::forFolder(closed, environmentOf(row.variables));
        EXPECT_FALSE(places.portable()) << row.name;
        EXPECT_EQ(places.configFolder(), row.config) << row.name;
        EXPECT_EQ(places.stateFolder(), row.state) << row.name;
        EXPECT_EQ(places.sessionsFolder(), row.data / "sessions") << row.name;
        EXPECT_EQ(places.sessionFileFolder(), row.data / "sessions") << row.name;
        EXPECT_EQ(places.libraryFolders(), (std::vector<fs::path>{closed, row.data / "lib"}))
            << row.name;
    }

    // Each folder made is the user's alone; one that is there keeps its mode.
    fs::permissions(home, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    const unsigned homeMode = modeOf(home);
    const FileLocations places = FileLocations::forFolder(closed, environmentOf(homeOnly));
    std::error_code error;
    places.makeFolder(places.sessionsFolder(), error);
    EXPECT_FALSE(error) << error.message();
    for (const char* made :
         {".local", ".local/share", ".local/share/solvane", ".local/share/solvane/sessions"})
        EXPECT_EQ(modeOf(home / made), 0700U) << made;
    EXPECT_EQ(modeOf(home), homeMode);
    temp.write("home/file", "");
    places.makeFolder(home / "file", error);
    EXPECT_EQ(error, std::errc::not_a_directory);

    fs::permissions(withSettings, fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(closed, fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
} // namespace solvane
