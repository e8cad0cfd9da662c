#include "dsu/device/SimulatorConfig.h"
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

/// A number that `allowed` accepts; else refused as out of range, `why` following the value.
double numberWithin(ConfigKey key, const char* name, std::string_view text, bool (*allowed)(double),
                    const char* why) {
    const double value = number(key, name, text);
    if (!allowed(value))
        throw SimulatorConfigError(key, ConfigFault::OutOfRange,
                                   std::string(name) + " = " + inQuotes(text) + " " + why);
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

/// The comma-separated labels of `text`, each refused (with `why`) when empty or longer than
/// `longest` characters.
std::vector<std::string> labels(ConfigKey key, const char* name, const std::string& text,
                                std::size_t longest, const char* why) {
    std::vector<std::string> list;
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view label = trim(rest.substr(0, comma));
        if (label.empty() || label.size() > longest)
            throw SimulatorConfigError(key, ConfigFault::Malformed,
                                       std::string(name) + " = " + inQuotes(text) + " " + why);
        list.emplace_back(label);
        if (comma == std::string_view::npos)
            return list;
        rest.remove_prefix(comma + 1);
    }
}

/// The values of the [Simulator] section of a profile text, without blanks around them.
struct SectionValues {
    std::string_view text;
    std::optional<std::string> operator()(const char* key) const {
        auto found = ProfileFile::findValue(text, SimulatorConfig::Section, key);
        if (found)
            found = std::string(trim(*found));
        return found;
    }
};

// "bluetooth" read as a file name would fail as a missing recording, and the user would look
// for a file instead of the word.
void readSource(const SectionValues& value, const std::filesystem::path& folder,
                SimulatorConfig& config) {
    const auto source = value("Source");
    if (!source || source->empty())
        return;
    config.source = *source;
    std::error_code ignored;
    if (findSourceWord(*source) == nullptr && source->find_first_of("./") == std::string::npos &&
        (folder.empty() || !std::filesystem::exists(folder / *source, ignored)))
        throw SimulatorConfigError(ConfigKey::Source, ConfigFault::Malformed,
                                   "Source = " + inQuotes(*source) +
                                       " is no source this DSU knows; allowed are " +
                                       SimulatorConfig::sourceWordList() +
                                       ", or the file name of a recording (EDF, EDF+, BDF or "
                                       "BDF+)");
}

void readChannels(const SectionValues& value, SimulatorConfig& config) {
    const auto channels = value("Channels");
    if (!channels || channels->empty())
        return;
    config.channels =
        labels(ConfigKey::Channels, "Channels", *channels, std::string::npos, "has an empty label");
    if (config.channels.size() != 4)
        throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::WrongCount,
                                   "Channels = " + inQuotes(*channels) + " names " +
                                       std::to_string(config.channels.size()) +
                                       " labels; four are needed (slots 0 to 3)");
}

void readSeed(const std::string& seed, SimulatorConfig& config) {
    const auto* end = seed.data() + seed.size();
    const auto [last, error] = std::from_chars(seed.data(), end, config.seed);
    if (seed.empty() || last != end || error == std::errc::invalid_argument)
        throw SimulatorConfigError(ConfigKey::Seed, ConfigFault::Malformed,
                                   "Seed = " + inQuotes(seed) +
                                       " is not a whole number of 0 or more");
    if (error != std::errc())
        throw SimulatorConfigError(ConfigKey::Seed, ConfigFault::OutOfRange,
                                   "Seed = " + inQuotes(seed) + " is too large");
}

// Speed, Loop, Gain and Seed.
void readPace(const SectionValues& value, SimulatorConfig& config) {
    if (const auto speed = value("Speed"))
        config.speed = numberWithin(
            ConfigKey::Speed, "Speed", *speed,
            [](double v) {
                return v == 0.0 ||
                       (v >= SimulatorConfig::LowestSpeed && v <= SimulatorConfig::HighestSpeed);
            },
            "cannot give packets at a steady pace; allowed are 0 (as fast as polled) and 0.01 "
            "to 100 (1 is real time)");
    if (const auto loop = value("Loop")) {
        if (*loop != "0" && *loop != "1")
            throw SimulatorConfigError(ConfigKey::Loop, ConfigFault::Malformed,
                                       "Loop = " + inQuotes(*loop) + " is neither 0 nor 1");
        config.loop = *loop == "1";
    }
    if (const auto gain = value("Gain")) {
        config.gainSet = true;
        config.gain = numberWithin(
            ConfigKey::Gain, "Gain", *gain,
            [](double v) {
                return v >= SimulatorConfig::LowestGain && v <= SimulatorConfig::HighestGain;
            },
            "must be 0.001 to 1000 (counts per microvolt), so that the recording's header can "
            "hold its range of -512 / Gain to 511 / Gain microvolts");
    }
    if (const auto seed = value("Seed"))
        readSeed(*seed, config);
}

// Sound, SoundDevice, SoundFile, SerialDevice, Positions, Record, Stream and LslLibrary.
void readOutputsAndDevices(const SectionValues& value, SimulatorConfig& config) {
    if (const auto sound = value("Sound"))
        config.sound = onOff(ConfigKey::Sound, "Sound", *sound);
    if (const auto device = value("SoundDevice"))
        config.soundDevice = *device;
    if (const auto soundFile = value("SoundFile"))
        config.soundFile = onOff(ConfigKey::SoundFile, "SoundFile", *soundFile);
    if (const auto device = value("SerialDevice"))
        config.serialDevice = *device;
    if (const auto positions = value("Positions"); positions && !positions->empty()) {
        config.montage = labels(ConfigKey::Positions, "Positions", *positions, 16,
                                "has an empty label or one of more than 16 characters");
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
}

std::filesystem::path inFolder(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path path(name);
    return path.is_relative() ? folder / path : path;
}

} // namespace

const SourceWord* SimulatorConfig::sourceWord(std::string_view value) {
    return findSourceWord(value);
}

std::string SimulatorConfig::sourceWordList() {
    std::string list;
    for (const SourceWord& known : SourceWords)
        list += (list.empty() ? "" : ", ") + std::string(known.word);
    return list;
}

SourceKind SimulatorConfig::kind() const {
    return sourceKind(source);
}

SourceRequest SimulatorConfig::sourceRequest(const std::filesystem::path& folder) const {
    SourceRequest request;
    request.kind = kind();
    request.channels = channels;
    request.gain = gain;
    request.seed = seed;
    request.recording = inFolder(folder, source);
    request.loop = loop;
    request.montage = montage;
    request.lslLibrary = lslLibrary.empty() ? std::string() : inFolder(folder, lslLibrary).string();
    request.stream = stream;
    return request;
}

SimulatorConfig SimulatorConfig::fromText(const std::optional<std::string>& text,
                                          const std::filesystem::path& folder) {
    SimulatorConfig config;
    if (!text)
        return config;
    checkSectionHeaders(*text);
    const SectionValues value{*text};
    readSource(value, folder, config);
    readChannels(value, config);
    readPace(value, config);
    readOutputsAndDevices(value, config);
    if (const auto scale = value("MicrovoltsPerCount"))
        config.microvoltsPerCount = numberWithin(
            ConfigKey::MicrovoltsPerCount, "MicrovoltsPerCount", *scale,
            [](double v) { return v > 0.0; }, "must be above 0 (microvolts per count)");
    // Counts that go into the packets as they are have their scale for a gain.
    if (ownCounts(config.kind()))
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
