#include "processINIFile.h"

#include "FileLocations.h"
#include "checked/RunTimeError.h"

#include <climits>
#include <cstdint>

namespace solvane {

Settings settings;

namespace processINIFile {

std::string INISection;

namespace {

std::filesystem::path currentSettingsFolder = ".";
std::filesystem::path currentDebugFolder = ".";

constexpr std::size_t LongestValue = 254; // a longer value comes back cut to this length
constexpr std::size_t LongestQuote = 200; // of a value quoted in a message

std::string settingsFolderProblem; // why the settings folder could not be made, or empty

// One key of the file: where it lives, its default text, and which values the program can
// run with.
struct KeyInfo {
    const char* section;
    const char* name;
    const char* defaultText;
    int16_t Settings::*variable;
    int16_t lowest;
    int16_t highest;
    const char* allowed; // plain words for a message; empty: every 16-bit value
};

constexpr KeyInfo Keys[] = {
    {"Kardemo", "DSUSampleRate", "256", &Settings::DSUSampleRate, 1, 256,
     "a whole number from 1 to 256"},
    {"Kardemo", "BMFFTBinSize", "0", &Settings::BMFFTBinSize, INT16_MIN, INT16_MAX, ""},
    {"Kardemo", "ActiveComPort", "0", &Settings::ActiveComPort, INT16_MIN, INT16_MAX, ""},
    // A negative volume would be sent as its low 8 bits, close to full level. Above 255 the
    // low 8 bits are sent, as they always have been.
    {"AVE", "AVEVolume", "12", &Settings::AVEVolume, 0, INT16_MAX,
     "a volume from 0 to 32767 (0 to 100 in the options; of more, the low 8 bits count)"},
    {"AVE", "AVEFrequency", "210", &Settings::AVEFrequency, INT16_MIN, INT16_MAX, ""},
    {"AVE", "AVEDesiredFrequency", "15", &Settings::AVEDesiredFrequency, INT16_MIN, INT16_MAX, ""},
    {"AVE", "AVEChannel1", "1", &Settings::AVEChannel1, 0, 21,
     "a scalp position from 1 to 21, or 0 for none"},
    {"AVE", "AVEChannel2", "0", &Settings::AVEChannel2, 0, 21,
     "a scalp position from 1 to 21, or 0 for none"},
    {"AVE", "AVEChannel3", "0", &Settings::AVEChannel3, 0, 21,
     "a scalp position from 1 to 21, or 0 for none"},
    {"AVE", "AVEChannel4", "0", &Settings::AVEChannel4, 0, 21,
     "a scalp position from 1 to 21, or 0 for none"},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A value in quotes for a message, cut so that a huge value cannot flood the message or a log.
std::string quoted(std::string_view text) {
    if (text.size() <= LongestQuote)
        return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, LongestQuote)) + "...\" (cut; " +
           std::to_string(text.size()) + " characters in all)";
}

std::string refusal(const KeyInfo& key, std::string_view text, const char* allowed) {
    return "The settings file " + SettingsFilePath().string() + " holds " + quoted(text) +
           " for the key " + key.name + " in the section [" + key.section + "]. Allowed is " +
           allowed + ". Correct or delete that line and start Solvane again.";
}

// The settings file's text, or nothing when there is none. A file that is no text the program
// can read (UTF-16, binary, carriage returns alone) is refused and left as it is: sections
// added to it would be in another encoding than the rest.
std::optional<std::string> settingsText(const std::filesystem::path& path) {
    std::optional<std::string> text = ProfileFile::readFileIfPresent(path);
    if (text) {
        if (const auto problem = ProfileFile::textProblem(*text))
            throw ProfileReadError(ProfileReadError::Reason::NotText, "it " + *problem,
                                   "The settings file " + path.string() + " cannot be read: it " +
                                       *problem + ". It is left as it is.");
    }
    return text;
}

// The file's text as a write starts from; a file that cannot be read is not replaced.
std::string currentText(const std::filesystem::path& path) {
    if (!settingsFolderProblem.empty())
        throw ProfileWriteError(settingsFolderProblem);
    try {
        return settingsText(path).value_or(std::string());
    } catch (const ProfileReadError& error) {
        throw ProfileWriteError(error.what());
    }
}

// The key's whole value, or `defaultValue`.
std::string wholeValue(std::string_view section, std::string_view key,
                       std::string_view defaultValue) {
    std::optional<std::string> value;
    if (const auto text = settingsText(SettingsFilePath()))
        value = ProfileFile::findValue(*text, section, key);
    return value ? *value : std::string(defaultValue);
}

} // namespace

void SetProgramFolder(const std::filesystem::path& folder) {
    SetFolders(folder, folder);
}

void SetFolders(const std::filesystem::path& settingsFolder,
                const std::filesystem::path& debugFolder) {
    currentSettingsFolder = settingsFolder;
    currentDebugFolder = debugFolder;
    settingsFolderProblem.clear();
}

void SetSettingsFolderError(const std::error_code& error) {
    settingsFolderProblem.clear();
    if (error)
        settingsFolderProblem = "The folder " + currentSettingsFolder.string() +
                                " for the settings file could not be made: " + error.message() +
                                ".";
}

// Plain concatenation of the folder's text and the name, without separator handling.
std::filesystem::path SettingsFilePath() {
    return std::filesystem::path(currentSettingsFolder.string() + "/" +
                                 FileLocations::SettingsFile);
}

std::filesystem::path DebugFilePath() {
    return std::filesystem::path(currentDebugFolder.string() + "/debug.txt");
}

std::string ReadIniValue(std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
    std::string result = wholeValue(section, key, defaultValue);
    if (result.size() > LongestValue)
        result.resize(LongestValue);
    return result;
}

void WriteIniValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::filesystem::path path = SettingsFilePath();
    const std::string text = currentText(path);
    ProfileFile::writeFile(path, ProfileFile::withValue(text, section, key, value));
}

void WriteIniValues(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values) {
    const std::filesystem::path path = SettingsFilePath();
    std::string text = currentText(path);
    for (const auto& [key, value] : values)
        text = ProfileFile::withValue(text, section, key, value);
    ProfileFile::writeFile(path, text);
}

void LoadSettings() {
    // Converted into a copy first: a refused value leaves every setting as it was.
    Settings loaded = settings;
    for (const KeyInfo& key : Keys) {
        INISection = key.section;
        // A value longer than ReadIniValue returns would be read cut and then saved back so.
        const std::string text = wholeValue(INISection, key.name, key.defaultText);
        if (text.size() > LongestValue)
            throw RunTimeError(RunTimeErrorKind::BadSetting, key.name,
                               refusal(key, text, "a value of at most 254 characters"));
        int16_t value = 0;
        try {
            value = ConvertToInteger(text, key.name);
        } catch (const RunTimeError& error) {
            throw RunTimeError(
                error.kind(), key.name,
                refusal(key, text,
                        *key.allowed != '\0' ? key.allowed : "a number from -32768 to 32767"));
        }
        if (value < key.lowest || value > key.highest)
            throw RunTimeError(RunTimeErrorKind::BadSetting, key.name,
                               refusal(key, text, key.allowed));
        loaded.*key.variable = value;
    }
    settings = loaded;
}

Settings DefaultSettings() {
    Settings defaults;
    for (const KeyInfo& key : Keys)
        defaults.*key.variable = ConvertToInteger(key.defaultText, key.name);
    return defaults;
}

void SaveSettings() {
    // All ten keys go into the text first and the file is replaced once, so that a failure
    // part-way never leaves some keys written and others not.
    const std::filesystem::path path = SettingsFilePath();
    std::string text = currentText(path);
    for (const KeyInfo& key : Keys) {
        INISection = key.section;
        text = ProfileFile::withValue(text, INISection, key.name,
                                      FormatIniInteger(settings.*key.variable));
    }
    ProfileFile::writeFile(path, text);
}

int16_t ConvertToInteger(std::string_view text, const std::string& where) {
    auto mismatch = [&] {
        return RunTimeError(RunTimeErrorKind::TypeMismatch, where,
                            quoted(text) + " is not a number");
    };
    std::size_t pos = 0;
    const std::size_t end = text.size();
    while (pos < end && isBlank(text[pos]))
        ++pos;
    std::size_t last = end;
    while (last > pos && isBlank(text[last - 1]))
        --last;

    bool negative = false;
    if (pos < last && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t integerBegin = pos;
    while (pos < last && isDigit(text[pos]))
        ++pos;
    const std::string_view integerDigits = text.substr(integerBegin, pos - integerBegin);
    std::string_view fractionDigits;
    if (pos < last && text[pos] == '.') {
        ++pos;
        const std::size_t fractionBegin = pos;
        while (pos < last && isDigit(text[pos]))
            ++pos;
        fractionDigits = text.substr(fractionBegin, pos - fractionBegin);
    }
    if (pos != last || (integerDigits.empty() && fractionDigits.empty()))
        throw mismatch();

    // The integer part, with leading zeros ignored; anything of six digits or more is far
    // outside the 16-bit range.
    std::size_t firstSignificant = 0;
    while (firstSignificant < integerDigits.size() && integerDigits[firstSignificant] == '0')
        ++firstSignificant;
    if (integerDigits.size() - firstSignificant > 6)
        throw RunTimeError(RunTimeErrorKind::Overflow, where,
                           quoted(text) + " is outside -32768..32767");
    long long magnitude = 0;
    for (std::size_t i = firstSignificant; i < integerDigits.size(); ++i)
        magnitude = magnitude * 10 + (integerDigits[i] - '0');

    // Round the fraction to the nearest integer, an exact half to the even neighbour.
    if (!fractionDigits.empty()) {
        const char first = fractionDigits[0];
        bool restNonZero = false;
        for (std::size_t i = 1; i < fractionDigits.size(); ++i)
            restNonZero = restNonZero || fractionDigits[i] != '0';
        if (first > '5' || (first == '5' && restNonZero) ||
            (first == '5' && !restNonZero && magnitude % 2 == 1))
            ++magnitude;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT16_MIN || value > INT16_MAX)
        throw RunTimeError(RunTimeErrorKind::Overflow, where,
                           quoted(text) + " is outside -32768..32767");
    return static_cast<int16_t>(value);
}

std::string FormatIniInteger(int16_t value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

} // namespace processINIFile
} // namespace solvane
