#include "OrdinaryUser.h"

#include "TempFolder.h"

#include <cstdlib>
#include <filesystem>

namespace solvane::testing {

int runAgainAsNobody(const std::string& filter) {
    namespace fs = std::filesystem;
    const TempFolder copy;
    fs::permissions(copy.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::copy_file("/proc/self/exe", copy.path() / "self");
    return std::system(("env -u LSAN_OPTIONS setpriv --reuid=65534 --regid=65534 "
                        "--clear-groups " +
                        (copy.path() / "self").string() + " --gtest_filter=" + filter)
                           .c_str());
}

} // namespace solvane::testing
