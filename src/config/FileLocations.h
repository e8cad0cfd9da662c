#pragma once
// Where Solvane keeps its files: the one rule, decided from the folder that holds the program
// (and by our simulated DSU from the folder that holds the library, which in portable use is
// the same folder, so that both decide alike).
//
// Portable use, when solvane.ini is already in that folder or the user running the program may
// make files there: every file stays where it always was. solvane.ini and debug.txt beside the
// program; dsu-simulator.ini, the folder "sessions" and the session file the program names
// beside the simulated DSU; the device library beside the program.
//
// Installed use otherwise (the program in /usr/bin, say), in the user's XDG base directories:
//   $XDG_CONFIG_HOME/solvane/  solvane.ini; dsu-simulator.ini, and recordings it names by a
//                              relative path
//   $XDG_STATE_HOME/solvane/   debug.txt
//   $XDG_DATA_HOME/solvane/    sessions/: every recording of the simulated DSU, the session file
//                              the program names and whatever is kept beside them;
//                              lib/: the user's own device library (libkardemo.so), tried after
//                              the program's folder and before the system's search path, on
//                              which the bundled simulated DSU is found
// A variable that is unset, empty or not an absolute path is ignored and its default used:
// $HOME/.config, $HOME/.local/state, $HOME/.local/share. Missing folders are made with mode 0700
// when a file is to go into them. Without any home folder the program stays portable.
//
// Another device library is handed the debug file's path and the session file's name as
// always, and does with them what it does.

#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

namespace solvane {

class FileLocations {
public:
    /// The value of an environment variable, or nullptr when it is not set.
    using Environment = std::function<const char*(const char* name)>;
    /// The settings file, whose presence makes a folder portable.
    static constexpr const char* SettingsFile = "solvane.ini";
    /// The folder of the recordings, inside the data folder.
    static constexpr const char* SessionsFolder = "sessions";

    /// Decides for the program (or library) file in `folder`, reading the process's
    /// environment.
    static FileLocations forFolder(const std::filesystem::path& folder);
    static FileLocations forFolder(const std::filesystem::path& folder,
                                   const Environment& environment);
    /// Portable use in `folder`, whatever the folder allows.
    static FileLocations portableIn(const std::filesystem::path& folder);

    [[nodiscard]] bool portable() const noexcept { return portable_; }
    /// solvane.ini and dsu-simulator.ini.
    [[nodiscard]] const std::filesystem::path& configFolder() const noexcept { return config_; }
    /// debug.txt.
    [[nodiscard]] const std::filesystem::path& stateFolder() const noexcept { return state_; }
    /// The simulated DSU's recordings.
    [[nodiscard]] const std::filesystem::path& sessionsFolder() const noexcept { return sessions_; }
    /// Where a session file named without a folder goes.
    [[nodiscard]] const std::filesystem::path& sessionFileFolder() const noexcept {
        return sessionFile_;
    }
    /// The folders searched for the device library, in this order, before the system's
    /// library search path.
    [[nodiscard]] const std::vector<std::filesystem::path>& libraryFolders() const noexcept {
        return libraries_;
    }

    /// Makes `folder` and its missing parents; in installed use with mode 0700, in portable
    /// use as the umask says. Folders that exist are left as they are.
    void makeFolder(const std::filesystem::path& folder, std::error_code& error) const;

private:
    FileLocations() = default;

    bool portable_ = true;
    std::filesystem::path config_;
    std::filesystem::path state_;
    std::filesystem::path sessions_;
    std::filesystem::path sessionFile_;
    std::vector<std::filesystem::path> libraries_;
};

} // namespace solvane
