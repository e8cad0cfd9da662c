#include "FileLocations.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace solvane {

namespace {

constexpr const char* Application = "solvane";

bool isAbsolute(const char* text) {
    return text != nullptr && text[0] == '/';
}

std::optional<std::filesystem::path> homeFolder(const FileLocations::Environment& environment) {
    if (const char* home = environment("HOME"); isAbsolute(home))
        return std::filesystem::path(home);
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384U);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && isAbsolute(found->pw_dir))
        return std::filesystem::path(found->pw_dir);
    return std::nullopt;
}

std::filesystem::path baseFolder(const FileLocations::Environment& environment,
                                 const char* variable, const std::filesystem::path& home,
                                 const char* fallback) {
    if (const char* value = environment(variable); isAbsolute(value))
        return value;
    return home / fallback;
}

// As the effective user decides: that is who makes the files.
bool mayMakeFilesIn(const std::filesystem::path& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// A symbolic link counts, wherever it leads: the settings are written through it.
bool present(const std::filesystem::path& file) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(file, ignored));
}

} // namespace

FileLocations FileLocations::forFolder(const std::filesystem::path& folder) {
    return forFolder(folder, [](const char* name) { return std::getenv(name); });
}

FileLocations FileLocations::forFolder(const std::filesystem::path& folder,
                                       const Environment& environment) {
    const std::filesystem::path here = folder.empty() ? std::filesystem::path(".") : folder;
    if (present(here / SettingsFile) || mayMakeFilesIn(here))
        return portableIn(folder);
    const std::optional<std::filesystem::path> home = homeFolder(environment);
    if (!home)
        return portableIn(folder);

    FileLocations places;
    places.portable_ = false;
    places.config_ = baseFolder(environment, "XDG_CONFIG_HOME", *home, ".config") / Application;
    places.state_ = baseFolder(environment, "XDG_STATE_HOME", *home, ".local/state") / Application;
    const std::filesystem::path data =
        baseFolder(environment, "XDG_DATA_HOME", *home, ".local/share") / Application;
    places.sessions_ = data / SessionsFolder;
    places.sessionFile_ = places.sessions_;
    places.libraries_ = {folder, data / "lib"};
    return places;
}

FileLocations FileLocations::portableIn(const std::filesystem::path& folder) {
    FileLocations places;
    places.config_ = folder;
    places.state_ = folder;
    places.sessions_ = folder / SessionsFolder;
    places.sessionFile_ = folder;
    places.libraries_ = {folder};
    return places;
}

void FileLocations::makeFolder(const std::filesystem::path& folder, std::error_code& error) const {
    error.clear();
    if (portable_) {
        std::filesystem::create_directories(folder, error);
        return;
    }
    std::filesystem::path partial;
    for (const std::filesystem::path& part : folder) {
        partial /= part;
        std::error_code ignored;
        if (std::filesystem::is_directory(partial, ignored))
            continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            error.assign(errno, std::generic_category());
            return;
        }
    }
    if (!std::filesystem::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
}

} // namespace solvane
