#include "setup/SourceChoice.h"

#include "config/ProfileFile.h"
#include "dsu/common/Text.h"
#include "dsu/eeg/RecordingSource.h"
#include "setup/SetupError.h"

#include <optional>
#include <utility>
#include <vector>

namespace solvane::setup {

namespace {

using dsusim::SimulatorConfig;
using dsusim::SourceKind;

std::string joined(const std::array<std::string, 4>& labels) {
    if (labels[0].empty())
        return {};
    std::string text;
    for (const std::string& label : labels)
        text += (text.empty() ? "" : ", ") + label;
    return text;
}

std::string trimmed(std::string_view text) {
    return std::string(dsusim::trim(text));
}

} // namespace

SourceChoice SourceChoice::of(const SimulatorConfig& config) {
    SourceChoice choice;
    choice.seed = config.seed;
    const dsusim::SourceWord* word = SimulatorConfig::sourceWord(config.source);
    if (word == nullptr) {
        choice.kind = Kind::Recording;
        choice.recording = config.source;
        if (config.channels.size() == choice.labels.size())
            std::copy(config.channels.begin(), config.channels.end(), choice.labels.begin());
        return choice;
    }
    switch (word->kind) {
    case SourceKind::Synthetic:
        choice.kind = Kind::Synthetic;
        break;
    case SourceKind::Cyton:
    case SourceKind::OpenEeg:
        choice.kind = Kind::Board;
        choice.board = std::string(word->word);
        choice.serialDevice = config.serialDevice;
        break;
    case SourceKind::Lsl:
        choice.kind = Kind::Stream;
        choice.stream = config.stream;
        choice.lslLibrary = config.lslLibrary;
        break;
    case SourceKind::Recording: // no word names one
        break;
    }
    return choice;
}

bool SourceChoice::sameSource(const SourceChoice& other) const {
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Kind::Synthetic:
        return seed == other.seed;
    case Kind::Recording:
        return recording == other.recording && labels == other.labels;
    case Kind::Board:
        return board == other.board && serialDevice == other.serialDevice;
    case Kind::Stream:
        return stream == other.stream && lslLibrary == other.lslLibrary;
    }
    return false;
}

std::string SourceChoice::recordingName(const std::filesystem::path& file,
                                        const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(file, error);
    const std::filesystem::path base = std::filesystem::weakly_canonical(folder, error);
    const std::filesystem::path relative = absolute.lexically_relative(base);
    if (!error && !relative.empty() && *relative.begin() != "..")
        return relative.string();
    return absolute.string();
}

std::string SourceChoice::writtenInto(std::string_view text,
                                      const std::filesystem::path& folder) const {
    const char* const Section = SimulatorConfig::Section;
    const std::optional<std::string> before = ProfileFile::findValue(text, Section, "Source");

    std::vector<std::pair<const char*, std::string>> keys;
    switch (kind) {
    case Kind::Synthetic:
        keys = {{"Source", "synthetic"}, {"Seed", std::to_string(seed)}};
        break;
    case Kind::Recording:
        keys = {{"Source", recording}, {"Channels", joined(labels)}};
        break;
    case Kind::Board:
        keys = {{"Source", board}, {"SerialDevice", serialDevice}};
        break;
    case Kind::Stream:
        keys = {{"Source", "lsl"}, {"Stream", stream}, {"LslLibrary", lslLibrary}};
        break;
    }
    // The channels of another source mean nothing to a board or a stream, and would refuse it.
    const bool sameKindBefore =
        before && dsusim::lower(trimmed(*before)) == dsusim::lower(keys.front().second);
    const bool sameStream = kind != Kind::Stream ||
                            ProfileFile::findValue(text, Section, "Stream").value_or("") == stream;
    if ((kind == Kind::Board || kind == Kind::Stream) && !(sameKindBefore && sameStream))
        keys.emplace_back("Channels", "");

    std::string result(text);
    for (const auto& [key, value] : keys) {
        const std::optional<std::string> current = ProfileFile::findValue(result, Section, key);
        // Source's words are read in any case; a word as the user wrote it stays.
        const bool same = current && (std::string_view(key) == "Source"
                                          ? dsusim::lower(trimmed(*current)) == dsusim::lower(value)
                                          : trimmed(*current) == value);
        if (!same && (current || !value.empty()))
            result = ProfileFile::withValue(result, Section, key, value);
    }

    try {
        const SimulatorConfig config = SimulatorConfig::fromText(result, folder);
        if (!of(config).sameSource(*this))
            throw SetupError(SetupError::Reason::Refused,
                             "The source cannot be written as chosen: a name or label holds a "
                             "line break or a comma, or blanks at its ends.");
        // A recording is opened as a run opens it, so that what is saved is what a run reads.
        if (kind == Kind::Recording) {
            const std::filesystem::path file(config.source);
            const dsusim::RecordingSource replay(file.is_relative() ? folder / file : file,
                                                 config.channels, config.gain, config.loop);
        }
    } catch (const dsusim::SimulatorConfigError& error) {
        throw SetupError(SetupError::Reason::Refused,
                         std::string("The bundled DSU would refuse this source: ") + error.what() +
                             ".");
    }
    return result;
}

} // namespace solvane::setup
