#include "setup/SetupWriter.h"

#include "checked/RunTimeError.h"
#include "config/ProfileFile.h"
#include "config/SettingsLock.h"
#include "config/processINIFile.h"
#include "files/SafeReplace.h"
#include "setup/SetupError.h"

namespace solvane::setup {

namespace {

constexpr const char* ChannelSection = "AVE";

std::string programOpenMessage() {
    return "Close Solvane first. It is open on the settings file " +
           processINIFile::SettingsFilePath().string() +
           ", and it writes its settings back when a run stops and when it closes, which would "
           "undo the channels saved here. Nothing was saved.";
}

// A file that is there and that the user may not write; its protection is kept.
bool writeProtected(const std::filesystem::path& file) {
    return files::writeProtected(files::replacedFile(file));
}

[[noreturn]] void protectedFile(const std::filesystem::path& file) {
    throw SetupError(SetupError::Reason::Unwritable,
                     "The file " + file.string() +
                         " is write-protected and stays as it is; nothing was saved. Allow "
                         "writing it (chmod u+w) to save this set-up.");
}

} // namespace

SetupWriter::SetupWriter(FileLocations places, std::filesystem::path dsuConfigFile)
    : places_(std::move(places)), dsuConfigFile_(std::move(dsuConfigFile)) {}

Settings SetupWriter::currentSettings(std::string& problem) {
    problem.clear();
    const Settings before = settings;
    Settings current;
    try {
        processINIFile::LoadSettings();
        current = settings;
    } catch (const RunTimeError& error) {
        problem = error.what();
        current = processINIFile::DefaultSettings();
    } catch (const ProfileReadError& error) {
        settings = before;
        throw SetupError(SetupError::Reason::Unreadable, error.what());
    }
    settings = before;
    return current;
}

std::string SetupWriter::currentSourceText() const {
    if (dsuConfigFile_.empty())
        return {};
    try {
        const std::optional<std::string> text = ProfileFile::readFileIfPresent(dsuConfigFile_);
        if (text) {
            if (const auto problem = ProfileFile::textProblem(*text))
                throw SetupError(SetupError::Reason::Unreadable,
                                 "The file " + dsuConfigFile_.string() + " cannot be read: it " +
                                     *problem + ". It is left as it is.");
        }
        return text.value_or(std::string());
    } catch (const ProfileReadError& error) {
        throw SetupError(SetupError::Reason::Unreadable, error.what());
    }
}

std::string SetupWriter::programOpen() {
    const std::optional<SettingsLock> lock =
        SettingsLock::forWriting(processINIFile::SettingsFilePath());
    return lock ? std::string() : programOpenMessage();
}

std::string SetupWriter::write(const ChannelChoice& channels,
                               const std::optional<SourceChoice>& source) {
    std::error_code folderError;
    places_.makeFolder(places_.configFolder(), folderError);
    processINIFile::SetSettingsFolderError(folderError);
    const std::filesystem::path settingsFile = processINIFile::SettingsFilePath();

    const std::optional<SettingsLock> lock = SettingsLock::forWriting(settingsFile);
    if (!lock)
        throw SetupError(SetupError::Reason::ProgramOpen, programOpenMessage());

    // A file the program refuses gets all four keys: which of them it holds cannot be told.
    std::string problem;
    Settings current = currentSettings(problem);
    if (!problem.empty())
        current.AVEChannel1 = current.AVEChannel2 = current.AVEChannel3 = current.AVEChannel4 = -1;
    const auto keys = channels.changedKeys(current);

    const std::string sourceBefore = source ? currentSourceText() : std::string();
    const std::string sourceAfter =
        source ? source->writtenInto(sourceBefore, dsuConfigFile_.parent_path()) : sourceBefore;
    const bool sourceChanges = source && sourceAfter != sourceBefore;

    if (!keys.empty() && writeProtected(settingsFile))
        protectedFile(settingsFile);
    if (sourceChanges && writeProtected(dsuConfigFile_))
        protectedFile(dsuConfigFile_);

    std::string done;
    if (!keys.empty()) {
        try {
            processINIFile::WriteIniValues(ChannelSection, keys);
        } catch (const ProfileWriteError& error) {
            throw SetupError(SetupError::Reason::Unwritable,
                             std::string(error.what()) + " Nothing was saved.");
        }
        done = "The channels are saved in " + settingsFile.string() + ".";
    }
    if (sourceChanges) {
        try {
            ProfileFile::writeFile(dsuConfigFile_, sourceAfter);
        } catch (const ProfileWriteError& error) {
            throw SetupError(SetupError::Reason::Unwritable,
                             std::string(error.what()) +
                                 (done.empty() ? " Nothing was saved."
                                               : " The channels were saved; the source was not."));
        }
        done += (done.empty() ? "" : " ") + std::string("The source is saved in ") +
                dsuConfigFile_.string() + ".";
    }
    return done.empty() ? "Nothing to save: the files already hold this set-up." : done;
}

} // namespace solvane::setup
