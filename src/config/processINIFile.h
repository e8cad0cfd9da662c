#pragma once
// The settings file solvane.ini in the program's folder (or the user's configuration folder,
// see FileLocations): the two low-level operations on one key and the two whole-file
// operations that move all ten settings between the file and `settings`.

#include "ProfileFile.h"
#include "Settings.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace solvane {

namespace processINIFile {

/// Section name handed to ReadIniValue and WriteIniValue by LoadSettings and SaveSettings.
extern std::string INISection;

/// The folder whose solvane.ini is used and the folder of the device library's debug file:
/// SetProgramFolder sets both to the program's own folder; the program sets them at start-up
/// as FileLocations decides.
void SetProgramFolder(const std::filesystem::path& folder);
void SetFolders(const std::filesystem::path& settingsFolder,
                const std::filesystem::path& debugFolder);
/// Why the settings folder set last could not be made (no error: it is there). A save then
/// reports that, not the file that cannot be written inside it.
void SetSettingsFolderError(const std::error_code& error);
/// The settings folder + "/solvane.ini"
std::filesystem::path SettingsFilePath();
/// The debug folder + "/debug.txt"
std::filesystem::path DebugFilePath();

/// The key's value in the section (at most 254 characters), or `defaultValue` when the file,
/// the section or the key is missing. Throws ProfileReadError for a file that is there but
/// cannot be read.
std::string ReadIniValue(std::string_view section, std::string_view key,
                         std::string_view defaultValue);
/// Sets the key in the section, creating file, section and key as needed. Throws
/// ProfileWriteError.
void WriteIniValue(std::string_view section, std::string_view key, std::string_view value);
/// Sets several keys of the section in one write of the file, each as WriteIniValue does;
/// every other line stays as it was. Throws ProfileWriteError.
void WriteIniValues(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values);

/// Reads all ten settings into `settings`. Throws RunTimeError (TypeMismatch, Overflow or
/// BadSetting) naming the file, the key, the text found and what is allowed, or
/// ProfileReadError; nothing is changed in the file then.
void LoadSettings();
/// The ten settings as LoadSettings gives them for a file without any of the keys.
Settings DefaultSettings();
/// Writes all ten settings from `settings` in one write of the file (ProfileFile::writeFile).
/// Throws ProfileWriteError; `settings` stays as it is.
void SaveSettings();

/// The text of a settings value converted to a 16-bit integer: blanks around the number
/// ignored, optional sign, a fraction rounded to the nearest integer with halves to even.
/// Throws RunTimeError: TypeMismatch for text that is no number, Overflow outside
/// -32768..32767. `where` names the value in the message.
int16_t ConvertToInteger(std::string_view text, const std::string& where);

/// The value text as written: one blank before a value of zero or more, "-" before a
/// negative one.
std::string FormatIniInteger(int16_t value);

} // namespace processINIFile
} // namespace solvane
