#include "OrdinaryUser.h"

#include "TempFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace solvane::testing {

int runAgainAsNobody(const std::string& filter) {
    namespace fs = std::filesystem;
    const TempFolder copy;
    fs::permissions(copy.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::copy_file("/proc/self/exe", copy.path() / "self");
    const std::string command = "env -u LSAN_OPTIONS setpriv --reuid=65534 --regid=65534 "
                                "--clear-groups " +
                                (copy.path() / "self").string() + " --gtest_filter=" + filter;
    FILE* run = ::popen(command.c_str(), "r");
    if (run == nullptr)
        return -1;
    // Its output is passed on, and read for whether any test ran at all: a filter that
    // matches nothing would pass without checking a thing.
    std::string output;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, run)) > 0;) {
        std::fwrite(chunk, 1, got, stdout);
        output.append(chunk, got);
    }
    const int status = ::pclose(run);
    if (status != 0)
        return status;
    const bool ranAny = output.find("[  PASSED  ] 0 tests") == std::string::npos &&
                        output.find("[  PASSED  ] ") != std::string::npos;
    return ranAny ? 0 : 1;
}

} // namespace solvane::testing
