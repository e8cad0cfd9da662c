#pragma once
// Saving what the set-up chose: AVEChannel1..AVEChannel4 into the program's settings file
// through the program's own settings code, and the source into the bundled DSU's
// dsu-simulator.ini through the same profile-file code. Only keys whose value changes are
// written; every other line of either file stays as it was, byte for byte. Nothing is written
// while Solvane has the settings file open (it would write its own settings over the change
// when a run stops or it closes), nor when either file is write-protected, which it stays.

#include "config/FileLocations.h"
#include "config/Settings.h"
#include "setup/ChannelChoice.h"
#include "setup/SourceChoice.h"

#include <filesystem>
#include <optional>
#include <string>

namespace solvane::setup {

class SetupWriter {
public:
    /// `places` are the program's (processINIFile's folders must be set from them);
    /// `dsuConfigFile` is dsu-simulator.ini, empty without the bundled DSU.
    SetupWriter(FileLocations places, std::filesystem::path dsuConfigFile);

    /// The settings the program would load now. Where it would refuse the file, `problem`
    /// says why and the defaults are given; an unreadable file throws SetupError.
    static Settings currentSettings(std::string& problem);
    /// dsu-simulator.ini's text, empty when there is none. Throws SetupError (Unreadable) for
    /// a file that is there but cannot be read as a profile.
    [[nodiscard]] std::string currentSourceText() const;
    /// Why a write would be refused now because Solvane has the settings file open, or empty.
    [[nodiscard]] static std::string programOpen();

    /// Writes the channels and, when given, the source. Returns what changed, in words.
    /// Throws SetupError: ProgramOpen, Unwritable (nothing changed, or only the channels, as
    /// it says), Unreadable or Refused.
    std::string write(const ChannelChoice& channels, const std::optional<SourceChoice>& source);

    [[nodiscard]] const std::filesystem::path& dsuConfigFile() const { return dsuConfigFile_; }

private:
    FileLocations places_;
    std::filesystem::path dsuConfigFile_;
};

} // namespace solvane::setup
