#pragma once
// The device library as the program reaches it: libkardemo.so, loaded at run time from the
// program's folder first (then from the user's library folder in installed use, see
// FileLocations) and then from the system's library search path, its fourteen functions
// resolved by name. Owns the loaded library (RAII); a test may hand in a table of
// fake functions instead.

#include "KardemoFunctions.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace solvane {

/// The library could not be loaded or lacks a function; the message names the file and why.
class DeviceLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class KardemoDLL {
public:
    static constexpr const char* FileName = "libkardemo.so";

    /// Loads on first use from `programFolder`, then from the search path.
    explicit KardemoDLL(std::filesystem::path programFolder);
    /// Loads on first use from the first of `folders` that holds the file, else from the
    /// search path.
    explicit KardemoDLL(std::vector<std::filesystem::path> folders);
    /// Uses the given functions; nothing is loaded.
    explicit KardemoDLL(const KardemoFunctions& functions);
    ~KardemoDLL();
    KardemoDLL(const KardemoDLL&) = delete;
    KardemoDLL& operator=(const KardemoDLL&) = delete;

    /// The function table, loading the library first if needed. Throws DeviceLibraryError.
    const KardemoFunctions& functions();
    [[nodiscard]] bool isLoaded() const noexcept { return loaded_; }
    /// The file that was loaded (empty for injected functions or before loading).
    [[nodiscard]] const std::string& loadedFrom() const noexcept { return loadedFrom_; }

    /// Sends one AVE command (six characters) if the library is loaded; the status is not
    /// examined.
    void sendCommand(const char* command);

private:
    void load();

    std::vector<std::filesystem::path> folders_;
    void* handle_ = nullptr;
    bool loaded_ = false;
    std::string loadedFrom_;
    KardemoFunctions functions_;
};

} // namespace solvane
