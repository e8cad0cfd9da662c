#include "session/SessionFacts.h"

#include "config/ProfileFile.h"
#include "session/FileIo.h"
#include "session/JsonWriter.h"
#include "session/Numbers.h"
#include "session/ReadableFile.h"
#include "session/SessionError.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace solvane::session {

namespace {

constexpr std::size_t LargestFile = 1 << 20;
constexpr int DeepestNesting = 16;

// Reading.

struct Json {
    enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;       ///< of an array, or the values of an object
    std::vector<std::string> keys; ///< of an object, one for each item

    [[nodiscard]] const Json* find(std::string_view name) const {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == name)
                return &items[i];
        return nullptr;
    }
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    Json document() {
        Json value = parse(0);
        blanks();
        if (at_ != text_.size())
            fail("text after the end");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw SessionError("is not JSON as the facts are written (" + what + " at byte " +
                           std::to_string(at_) + ")");
    }
    void blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' ||
                                      text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool take(char c) {
        blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w)
            return false;
        at_ += w.size();
        return true;
    }
    std::string string() {
        if (!take('"'))
            fail("a text was expected");
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\') {
                if (at_ >= text_.size())
                    break;
                c = text_[at_++];
                switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case 'u': {
                    const std::optional<long long> code =
                        at_ + 4 <= text_.size() ? parseHex(text_.substr(at_, 4)) : std::nullopt;
                    if (!code || *code > 0xFF)
                        fail("an escape this file does not use");
                    at_ += 4;
                    c = static_cast<char>(*code);
                    break;
                }
                default:
                    break; // \" \\ \/
                }
            }
            out += c;
        }
        if (!take('"'))
            fail("a text without its end");
        return out;
    }
    static std::optional<long long> parseHex(std::string_view digits) {
        long long value = 0;
        for (const char c : digits) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        return value;
    }
    Json parse(int depth) {
        if (depth > DeepestNesting)
            fail("nesting too deep");
        blanks();
        Json value;
        if (at_ >= text_.size())
            fail("the end of the text");
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            value.kind = Json::Kind::Object;
            if (take('}'))
                return value;
            do {
                blanks();
                std::string name = string();
                if (!take(':'))
                    fail("':' was expected");
                value.keys.push_back(std::move(name));
                value.items.push_back(parse(depth + 1));
            } while (take(','));
            if (!take('}'))
                fail("'}' was expected");
        } else if (c == '[') {
            ++at_;
            value.kind = Json::Kind::Array;
            if (take(']'))
                return value;
            do
                value.items.push_back(parse(depth + 1));
            while (take(','));
            if (!take(']'))
                fail("']' was expected");
        } else if (c == '"') {
            value.kind = Json::Kind::String;
            value.text = string();
        } else if (word("null")) {
        } else if (word("true")) {
            value.kind = Json::Kind::Boolean;
            value.number = 1.0;
        } else if (word("false")) {
            value.kind = Json::Kind::Boolean;
        } else {
            std::size_t end = at_;
            while (end < text_.size() &&
                   std::string_view("+-.0123456789eE").find(text_[end]) != std::string_view::npos)
                ++end;
            const std::optional<double> number = parseDecimal(text_.substr(at_, end - at_));
            if (!number)
                fail("a value was expected");
            value.kind = Json::Kind::Number;
            value.number = *number;
            at_ = end;
        }
        return value;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string textOf(const Json* value) {
    return value != nullptr && value->kind == Json::Kind::String ? value->text : std::string();
}

template <typename Number> std::optional<Number> numberOf(const Json* value) {
    if (value == nullptr || value->kind != Json::Kind::Number)
        return std::nullopt;
    if constexpr (std::is_integral_v<Number>) {
        if (value->number != std::floor(value->number) || std::abs(value->number) > 1e15)
            return std::nullopt;
    }
    return static_cast<Number>(value->number);
}

const Json empty;

const Json& member(const Json& object, std::string_view name) {
    const Json* found = object.find(name);
    return found != nullptr ? *found : empty;
}

/// A member of a record by its JSON name, for the texts and numbers that are written and
/// read back the same way.
template <typename Record, typename Value> struct Field {
    std::string_view name;
    Value Record::*member;
};
using Source = SessionFacts::Source;
using Slot = SessionFacts::Slot;
using SettingsFile = SessionFacts::Settings;

constexpr Field<SessionFacts, std::string> FactTexts[] = {
    {"start", &SessionFacts::start},
    {"program_version", &SessionFacts::programVersion},
    {"library_version", &SessionFacts::libraryVersion}};
constexpr Field<Source, std::string> SourceTexts[] = {
    {"kind", &Source::kind},           {"description", &Source::description},
    {"recording", &Source::recording}, {"port", &Source::port},
    {"stream", &Source::stream},       {"host", &Source::host}};
constexpr Field<Slot, std::string> SlotTexts[] = {{"position_name", &Slot::positionName},
                                                  {"source_label", &Slot::sourceLabel},
                                                  {"label", &Slot::label}};
constexpr Field<SettingsFile, std::string> SettingsTexts[] = {{"file", &SettingsFile::file},
                                                              {"problem", &SettingsFile::problem}};
constexpr Field<SettingsFile, std::optional<int>> SettingsNumbers[] = {
    {"AVEVolume", &SettingsFile::volume},
    {"AVEFrequency", &SettingsFile::baseFrequency},
    {"AVEDesiredFrequency", &SettingsFile::desiredFrequency},
    {"DSUSampleRate", &SettingsFile::sampleRate}};

template <typename Record, std::size_t N>
void writeTexts(JsonWriter& out, const Record& record,
                const Field<Record, std::string> (&fields)[N]) {
    for (const auto& field : fields)
        out.text(field.name, record.*field.member);
}

template <typename Record, std::size_t N>
void readTexts(const Json& object, Record& record, const Field<Record, std::string> (&fields)[N]) {
    for (const auto& field : fields)
        record.*field.member = textOf(object.find(field.name));
}

} // namespace

std::string toJson(const SessionFacts& facts) {
    JsonWriter out;
    out.open('{');
    out.number("format", std::optional<int>(SessionFacts::Format));
    writeTexts(out, facts, FactTexts);
    out.number("gain", std::optional<double>(facts.gain));
    out.key("source");
    out.open('{');
    writeTexts(out, facts.source, SourceTexts);
    out.number("seed", facts.source.seed);
    out.close('}');
    out.key("slots");
    out.open('[');
    for (std::size_t s = 0; s < facts.slot.size(); ++s) {
        const Slot& slot = facts.slot[s];
        out.item();
        out.open('{');
        out.number("slot", std::optional<int>(static_cast<int>(s)));
        out.number("element", std::optional<int>(slot.element));
        out.number("position", slot.position);
        writeTexts(out, slot, SlotTexts);
        out.close('}');
    }
    out.close(']');
    out.key("settings_file");
    out.open('{');
    writeTexts(out, facts.settings, SettingsTexts);
    for (const auto& field : SettingsNumbers)
        out.number(field.name, facts.settings.*field.member);
    out.close('}');
    out.key("faults");
    out.open('[');
    for (const SessionFacts::Fault& fault : facts.faults) {
        out.item();
        out.open('{');
        out.number("onset", std::optional<double>(fault.onset));
        out.text("what", fault.what);
        out.close('}');
    }
    out.close(']');
    out.close('}');
    return out.take();
}

SessionFacts factsFromJson(std::string_view text) {
    const Json root = Parser(text).document();
    if (root.kind != Json::Kind::Object)
        throw SessionError("is not JSON as the facts are written (no object)");
    SessionFacts facts;
    readTexts(root, facts, FactTexts);
    facts.gain = numberOf<double>(root.find("gain")).value_or(0.0);
    const Json& source = member(root, "source");
    readTexts(source, facts.source, SourceTexts);
    facts.source.seed = numberOf<long long>(source.find("seed"));
    const Json& slots = member(root, "slots");
    for (std::size_t s = 0;
         slots.kind == Json::Kind::Array && s < slots.items.size() && s < facts.slot.size(); ++s) {
        const Json& slot = slots.items[s];
        Slot& into = facts.slot[s];
        into.element = numberOf<int>(slot.find("element")).value_or(0);
        into.position = numberOf<int>(slot.find("position"));
        readTexts(slot, into, SlotTexts);
    }
    const Json& settings = member(root, "settings_file");
    readTexts(settings, facts.settings, SettingsTexts);
    for (const auto& field : SettingsNumbers)
        facts.settings.*field.member = numberOf<int>(settings.find(field.name));
    const Json& faults = member(root, "faults");
    for (std::size_t i = 0; faults.kind == Json::Kind::Array && i < faults.items.size(); ++i)
        facts.faults.push_back({numberOf<double>(faults.items[i].find("onset")).value_or(0.0),
                                textOf(faults.items[i].find("what"))});
    return facts;
}

namespace {

/// Writes `text` over the plain file `file` that is there, in its own blocks; false when it
/// cannot be written whole.
bool rewriteInPlace(const std::filesystem::path& file, std::string_view text) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    bool written = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                   writeAt(fd, text.data(), text.size(), 0);
    written = written && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    ::close(fd);
    return written;
}

} // namespace

void writeFacts(const std::filesystem::path& file, const SessionFacts& facts) {
    const std::string text = toJson(facts);
    try {
        ProfileFile::writeFile(file, text);
    } catch (const ProfileWriteError& e) {
        // A full disk has no room for the replacement, and the fault that filled it is what
        // the facts must tell: the facts written at the run's start give up their blocks.
        if (!rewriteInPlace(file, text))
            throw SessionError(e.what());
    }
}

std::optional<SessionFacts> readFacts(const std::filesystem::path& file) {
    std::optional<ReadableFile> opened = ReadableFile::ifPresent(file);
    if (!opened)
        return std::nullopt;
    FileSource source(opened->fd());
    const uint64_t size = source.size();
    if (size > LargestFile)
        throw SessionError(file.string() + " is too large for a run's facts (" +
                           std::to_string(size) + " bytes)");
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!source.readAt(0, text))
        throw SessionError(file.string() + " cannot be read");
    try {
        return factsFromJson(text);
    } catch (const SessionError& e) {
        throw SessionError(file.string() + " " + e.what());
    }
}

} // namespace solvane::session
