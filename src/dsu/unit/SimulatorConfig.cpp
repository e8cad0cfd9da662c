#include "dsu/unit/SimulatorConfig.h"
#include "dsu/common/Text.h"

#include "config/ProfileFile.h"

#include <charconv>
#include <cmath>

namespace solvane::dsusim {

namespace {

// A line that opens with "[" is meant as a section header; one that is not a single name in
// one pair of brackets ("[Simulator", "[[Simulator]]", "[]") names no section the profile
// reader finds, so the keys below it would be ignored without a word.
void checkSectionHeaders(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3); // an editor's byte-order mark belongs to no line
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t newline = text.find('\n');
        const std::string_view line = trim(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line.front() != '[')
            continue;
        const std::size_t close = line.find(']');
        const std::string_view name =
            close == std::string_view::npos ? std::string_view() : trim(line.substr(1, close - 1));
        if (!name.empty() && name.find('[') == std::string_view::npos)
            continue;
        throw SimulatorConfigError(ConfigKey::ConfigFile, ConfigFault::ConfigMalformed,
                                   "line " + std::to_string(number) + ", " + inQuotes(line) +
                                       ", is no section header: a header is one name in one "
                                       "pair of brackets, such as [" +
                                       std::string(SimulatorConfig::Section) + "]");
    }
}

double number(ConfigKey key, const char* name, std::string_view text) {
    double value = 0.0;
    const auto* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || !std::isfinite(value))
        throw SimulatorConfigError(key, ConfigFault::Malformed,
                                   std::string(name) + " = " + inQuotes(text) + " is not a number");
    return value;
}

bool onOff(ConfigKey key, const char* name, std::string_view text) {
    const std::string word = lower(text);
    if (word != "on" && word != "off")
        throw SimulatorConfigError(key, ConfigFault::Malformed,
                                   std::string(name) + " = " + inQuotes(text) +
                                       " is neither on nor off");
    return word == "on";
}

} // namespace

const SourceWord* SimulatorConfig::sourceWord(std::string_view value) {
    const std::string word = lower(trim(value));
    for (const SourceWord& known : SourceWords)
        if (known.word == word)
            return &known;
    return nullptr;
}

std::string SimulatorConfig::sourceWordList() {
    std::string list;
    for (const SourceWord& known : SourceWords)
        list += (list.empty() ? "" : ", ") + std::string(known.word);
    return list;
}

SourceKind SimulatorConfig::kind() const {
    const SourceWord* word = sourceWord(source);
    return word != nullptr ? word->kind : SourceKind::Recording;
}

SimulatorConfig SimulatorConfig::fromText(const std::optional<std::string>& text,
                                          const std::filesystem::path& folder) {
    SimulatorConfig config;
    if (!text)
        return config;
    checkSectionHeaders(*text);
    auto value = [&text](const char* key) -> std::optional<std::string> {
        auto found = ProfileFile::findValue(*text, Section, key);
        if (found)
            found = std::string(trim(*found));
        return found;
    };

    if (const auto source = value("Source"); source && !source->empty()) {
        config.source = *source;
        // "bluetooth" read as a file name would fail as a missing recording, and the user
        // would look for a file instead of the word.
        std::error_code ignored;
        if (sourceWord(*source) == nullptr && source->find_first_of("./") == std::string::npos &&
            (folder.empty() || !std::filesystem::exists(folder / *source, ignored)))
            throw SimulatorConfigError(ConfigKey::Source, ConfigFault::Malformed,
                                       "Source = " + inQuotes(*source) +
                                           " is no source this DSU knows; allowed are " +
                                           sourceWordList() +
                                           ", or the file name of a recording (EDF, EDF+, BDF "
                                           "or BDF+)");
    }

    if (const auto channels = value("Channels"); channels && !channels->empty()) {
        std::string_view rest = *channels;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view label = trim(rest.substr(0, comma));
            if (label.empty())
                throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::Malformed,
                                           "Channels = " + inQuotes(*channels) +
                                               " has an empty label");
            config.channels.emplace_back(label);
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        if (config.channels.size() != 4)
            throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::WrongCount,
                                       "Channels = " + inQuotes(*channels) + " names " +
                                           std::to_string(config.channels.size()) +
                                           " labels; four are needed (slots 0 to 3)");
    }

    if (const auto speed = value("Speed")) {
        config.speed = number(ConfigKey::Speed, "Speed", *speed);
        if (config.speed != 0.0 && (config.speed < LowestSpeed || config.speed > HighestSpeed))
            throw SimulatorConfigError(
                ConfigKey::Speed, ConfigFault::OutOfRange,
                "Speed = " + inQuotes(*speed) +
                    " cannot give packets at a steady pace; allowed are 0 (as fast as polled) "
                    "and 0.01 to 100 (1 is real time)");
    }

    if (const auto loop = value("Loop")) {
        if (*loop == "1")
            config.loop = true;
        else if (*loop == "0")
            config.loop = false;
        else
            throw SimulatorConfigError(ConfigKey::Loop, ConfigFault::Malformed,
                                       "Loop = " + inQuotes(*loop) + " is neither 0 nor 1");
    }

    if (const auto gain = value("Gain")) {
        config.gainSet = true;
        config.gain = number(ConfigKey::Gain, "Gain", *gain);
        if (!(config.gain >= LowestGain && config.gain <= HighestGain))
            throw SimulatorConfigError(
                ConfigKey::Gain, ConfigFault::OutOfRange,
                "Gain = " + inQuotes(*gain) +
                    " must be 0.001 to 1000 (counts per microvolt), so that the recording's "
                    "header can hold its range of -512 / Gain to 511 / Gain microvolts");
    }

    if (const auto seed = value("Seed")) {
        const auto* end = seed->data() + seed->size();
        const auto [last, error] = std::from_chars(seed->data(), end, config.seed);
        if (seed->empty() || last != end || error == std::errc::invalid_argument)
            throw SimulatorConfigError(ConfigKey::Seed, ConfigFault::Malformed,
                                       "Seed = " + inQuotes(*seed) +
                                           " is not a whole number of 0 or more");
        if (error != std::errc())
            throw SimulatorConfigError(ConfigKey::Seed, ConfigFault::OutOfRange,
                                       "Seed = " + inQuotes(*seed) + " is too large");
    }

    if (const auto sound = value("Sound"))
        config.sound = onOff(ConfigKey::Sound, "Sound", *sound);
    if (const auto device = value("SoundDevice"))
        config.soundDevice = *device;
    if (const auto soundFile = value("SoundFile"))
        config.soundFile = onOff(ConfigKey::SoundFile, "SoundFile", *soundFile);
    if (const auto device = value("SerialDevice"))
        config.serialDevice = *device;
    if (const auto positions = value("Positions"); positions && !positions->empty()) {
        std::string_view rest = *positions;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view label = trim(rest.substr(0, comma));
            if (label.empty() || label.size() > 16)
                throw SimulatorConfigError(ConfigKey::Positions, ConfigFault::Malformed,
                                           "Positions = " + inQuotes(*positions) +
                                               " has an empty label or one of more than 16 "
                                               "characters");
            config.montage.emplace_back(label);
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        if (config.montage.size() > 16)
            throw SimulatorConfigError(ConfigKey::Positions, ConfigFault::WrongCount,
                                       "Positions = " + inQuotes(*positions) + " names " +
                                           std::to_string(config.montage.size()) +
                                           " positions; the board has at most 16 channels");
    }
    if (const auto record = value("Record"))
        config.record = onOff(ConfigKey::Record, "Record", *record);
    if (const auto stream = value("Stream"))
        config.stream = *stream;
    if (const auto library = value("LslLibrary"))
        config.lslLibrary = *library;
    if (const auto scale = value("MicrovoltsPerCount")) {
        config.microvoltsPerCount =
            number(ConfigKey::MicrovoltsPerCount, "MicrovoltsPerCount", *scale);
        if (!(config.microvoltsPerCount > 0.0))
            throw SimulatorConfigError(ConfigKey::MicrovoltsPerCount, ConfigFault::OutOfRange,
                                       "MicrovoltsPerCount = " + inQuotes(*scale) +
                                           " must be above 0 (microvolts per count)");
    }
    // An OpenEEG board's counts go into the packets as they are: their scale is the gain.
    if (config.openEeg())
        config.gain = 1.0 / config.microvoltsPerCount;
    return config;
}

std::vector<std::string> SimulatorConfig::unknownKeys(std::string_view text) {
    static constexpr std::string_view Known[] = {
        "source",       "channels",  "speed",       "loop",       "gain",
        "seed",         "sound",     "sounddevice", "soundfile",  "record",
        "serialdevice", "positions", "stream",      "lsllibrary", "microvoltspercount"};
    std::vector<std::string> unknown;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = trim(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        lower(trim(line.substr(1, close - 1))) == lower(Section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        const std::string key(trim(line.substr(0, equals)));
        bool known = false;
        for (const std::string_view name : Known)
            known = known || lower(key) == name;
        if (!known)
            unknown.push_back(key);
    }
    return unknown;
}

} // namespace solvane::dsusim
