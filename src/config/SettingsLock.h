#pragma once
// Who has a settings file open. The program holds a shared lock (flock) on the folder of its
// settings file from before it loads the settings until after it has written them for the last
// time; whoever else would change the file takes the exclusive lock for the write, and gets it
// only while no program holds the folder. The folder is locked, not the file: every save
// replaces the file by rename, and a lock on the old file would not be seen on the new one.
// The lock goes with its process however that ends, a crash included.

#include <filesystem>
#include <optional>

namespace solvane {

class SettingsLock {
public:
    /// The program's hold on the folder of `settingsFile`, shared with other programs; waits
    /// while a write holds the folder. Holds nothing when the folder cannot be opened.
    static SettingsLock whileOpen(const std::filesystem::path& settingsFile);
    /// The hold of a write: exclusive, or nothing when a program has the file open. Holds
    /// nothing (but answers) when the folder cannot be opened: the write then says why.
    static std::optional<SettingsLock> forWriting(const std::filesystem::path& settingsFile);
    /// The folder that is locked: that of the file `settingsFile` is written to.
    static std::filesystem::path lockedFolder(const std::filesystem::path& settingsFile);

    SettingsLock(SettingsLock&& other) noexcept;
    SettingsLock& operator=(SettingsLock&& other) noexcept;
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
    ~SettingsLock();

private:
    explicit SettingsLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace solvane
