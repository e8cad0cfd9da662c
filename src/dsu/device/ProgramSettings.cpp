#include "dsu/device/ProgramSettings.h"

#include "config/ProfileFile.h"
#include "config/ScalpPositions.h"
#include "session/Numbers.h"

namespace solvane::dsusim {

ProgramSettings ProgramSettings::read(const std::filesystem::path& file) {
    ProgramSettings settings;
    settings.file = file;
    std::optional<std::string> text;
    try {
        text = ProfileFile::readFileIfPresent(file);
        if (!text)
            settings.problem = "it does not exist";
        else if (const auto problem = ProfileFile::textProblem(*text))
            settings.problem = "it " + *problem;
    } catch (const ProfileReadError& e) {
        settings.problem = e.why();
    }
    if (!settings.problem.empty())
        return settings;
    const auto value = [&](const char* section, const char* key) -> std::optional<int> {
        const std::optional<std::string> found = ProfileFile::findValue(*text, section, key);
        if (!found)
            return std::nullopt;
        const std::optional<long long> number = session::parseInteger(session::trimmed(*found));
        if (!number || *number < -32768 || *number > 32767)
            return std::nullopt;
        return static_cast<int>(*number);
    };
    for (int slot = 0; slot < 4; ++slot)
        settings.position[static_cast<std::size_t>(slot)] =
            value("AVE", ("AVEChannel" + std::to_string(slot + 1)).c_str());
    settings.volume = value("AVE", "AVEVolume");
    settings.baseFrequency = value("AVE", "AVEFrequency");
    settings.desiredFrequency = value("AVE", "AVEDesiredFrequency");
    settings.sampleRate = value("Kardemo", "DSUSampleRate");
    return settings;
}

std::optional<std::string> ProgramSettings::positionName(std::optional<int> position) {
    if (!position || *position < 1 || *position > static_cast<int>(ScalpPositionTable.size()))
        return std::nullopt;
    return ScalpPositionTable[static_cast<std::size_t>(*position - 1)];
}

} // namespace solvane::dsusim
