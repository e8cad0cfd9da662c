#pragma once
// What the program's settings file (solvane.ini, where FileLocations says the program keeps
// it) holds at the start of a run, as far as the run's files tell it: the scalp position of
// each channel slot, the volume, the frequencies and DSUSampleRate. The DSU only reads it. A
// file that is missing or cannot be read, or a value that is no whole number, leaves what it
// would have given not known.

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace solvane::dsusim {

struct ProgramSettings {
    std::filesystem::path file;
    std::string problem; ///< why the file could not be read; empty when it was
    std::array<std::optional<int>, 4> position; ///< AVEChannel1..4: 1..21, 0 for none
    std::optional<int> volume;
    std::optional<int> baseFrequency;
    std::optional<int> desiredFrequency;
    std::optional<int> sampleRate;

    /// Reads `file` without waiting (a FIFO or a folder is not read) and never throws.
    static ProgramSettings read(const std::filesystem::path& file);
    /// The name of scalp position `position` (1..21), or nothing.
    static std::optional<std::string> positionName(std::optional<int> position);
};

} // namespace solvane::dsusim
