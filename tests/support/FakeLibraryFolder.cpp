#include "FakeLibraryFolder.h"

#include <sstream>

namespace solvane::testing {

void placeFakeKardemo(const TempFolder& folder, const std::filesystem::path& library,
                      const std::string& script) {
    std::filesystem::copy_file(library, folder.path() / "libkardemo.so");
    folder.write("kardemo-script.ini", "[Script]\n" + script);
}

std::vector<std::string> fakeKardemoCalls(const TempFolder& folder) {
    std::istringstream log(folder.read("kardemo-calls.log"));
    std::vector<std::string> calls;
    for (std::string line; std::getline(log, line);)
        if (!line.empty())
            calls.push_back(line);
    return calls;
}

} // namespace solvane::testing
