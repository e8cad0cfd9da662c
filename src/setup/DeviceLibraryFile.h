#pragma once
// The device library that the program loads, as the set-up sees it: which file it is, and
// whether it is the bundled simulated DSU, which reads dsu-simulator.ini and takes a check's
// configuration, or a device maker's library, which gets the program's own calls and nothing
// else.

#include <filesystem>
#include <string_view>

namespace solvane {
class KardemoDLL;
}

namespace solvane::setup {

struct DeviceLibraryFile {
    std::filesystem::path file; ///< as loaded
    bool bundled = false;
    /// Where the bundled DSU reads dsu-simulator.ini and names its recordings from.
    std::filesystem::path dsuConfigFolder;

    /// Loads the library as the program does and describes the file that was loaded. Throws
    /// DeviceLibraryError when it cannot be loaded.
    static DeviceLibraryFile of(KardemoDLL& device);
    /// Whether the ELF file `file` has a section named `name`; false for any other file.
    static bool hasSection(const std::filesystem::path& file, std::string_view name);
};

} // namespace solvane::setup
