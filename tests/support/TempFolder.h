#pragma once
// A fresh empty folder for one test, removed with everything in it when the test ends.

#include <filesystem>
#include <string>

namespace solvane::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    /// Writes `contents` to `name` in the folder, byte for byte.
    void write(const std::string& name, const std::string& contents) const;
    /// The contents of `name` in the folder ("" when missing).
    [[nodiscard]] std::string read(const std::string& name) const;

private:
    std::filesystem::path path_;
};

} // namespace solvane::testing
