// Where the program's files go, in the cases the installed program's test does not meet: a
// folder that cannot be written but holds solvane.ini stays portable; XDG variables that are
// empty or relative are ignored; the user's library folder is in the data folder.

#include "config/FileLocations.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include <unistd.h>

namespace solvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Root may write into any folder, so as root the test runs itself again as the user nobody.
TEST(FileLocations, ASettingsFileKeepsAFolderPortableAndOnlyAbsoluteXdgPathsCount) {
    if (::geteuid() == 0) {
        EXPECT_EQ(testing::runAgainAsNobody("FileLocations.*"), 0);
        return;
    }
    TempFolder temp;
    const fs::path withSettings = temp.path() / "withSettings";
    const fs::path closed = temp.path() / "closed";
    fs::create_directory(withSettings);
    fs::create_directory(closed);
    temp.write("withSettings/solvane.ini", "");
    for (const fs::path& folder : {withSettings, closed})
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);

    const std::map<std::string, std::string> variables{{"HOME", "/home/u"},
                                                       {"XDG_CONFIG_HOME", ""},
                                                       {"XDG_STATE_HOME", "state"},
                                                       {"XDG_DATA_HOME", "./data"}};
    const auto environment = [&variables](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found != variables.end() ? found->second.c_str() : nullptr;
    };
    const FileLocations portable = FileLocations::forFolder(withSettings, environment);
    EXPECT_TRUE(portable.portable());
    EXPECT_EQ(portable.configFolder(), withSettings);
    const FileLocations installed = FileLocations::forFolder(closed, environment);
    EXPECT_FALSE(installed.portable());
    EXPECT_EQ(installed.configFolder(), "/home/u/.config/solvane");
    EXPECT_EQ(installed.stateFolder(), "/home/u/.local/state/solvane");
    EXPECT_EQ(installed.sessionsFolder(), "/home/u/.local/share/solvane/sessions");
    EXPECT_EQ(installed.libraryFolders(),
              (std::vector<fs::path>{closed, "/home/u/.local/share/solvane/lib"}));

    fs::permissions(withSettings, fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
} // namespace solvane
