#include "session/SessionFacts.h"

#include "config/ProfileFile.h"
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

// Writing.

void quote(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                constexpr char Hex[] = "0123456789abcdef";
                out += "\\u00";
                out += Hex[(c >> 4) & 0xF];
                out += Hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

class Writer {
public:
    void open(char bracket) {
        out_ += bracket;
        ++depth_;
        first_ = true;
    }
    void close(char bracket) {
        --depth_;
        if (!first_) { // an empty object or array stays on its line: []
            out_ += '\n';
            indent();
        }
        out_ += bracket;
        first_ = false;
    }
    void key(std::string_view name) {
        item();
        quote(out_, name);
        out_ += ": ";
    }
    /// The next element of an array.
    void item() {
        if (!first_)
            out_ += ',';
        out_ += '\n';
        indent();
        first_ = false;
    }
    void text(std::string_view name, const std::string& value) {
        key(name);
        if (value.empty())
            out_ += "null";
        else
            quote(out_, value);
    }
    template <typename Number>
    void number(std::string_view name, const std::optional<Number>& value) {
        key(name);
        if (!value)
            out_ += "null";
        else if constexpr (std::is_floating_point_v<Number>)
            out_ += std::isfinite(*value) ? shortest(*value) : "null";
        else
            out_ += integerText(*value);
    }
    std::string take() { return std::move(out_) + "\n"; }

private:
    void indent() { out_.append(static_cast<std::size_t>(2 * depth_), ' '); }
    std::string out_;
    int depth_ = 0;
    bool first_ = true;
};

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

} // namespace

std::string toJson(const SessionFacts& facts) {
    Writer out;
    out.open('{');
    out.number("format", std::optional<int>(SessionFacts::Format));
    out.text("start", facts.start);
    out.text("program_version", facts.programVersion);
    out.text("library_version", facts.libraryVersion);
    out.number("gain", std::optional<double>(facts.gain));
    out.key("source");
    out.open('{');
    out.text("kind", facts.source.kind);
    out.text("description", facts.source.description);
    out.text("recording", facts.source.recording);
    out.text("port", facts.source.port);
    out.text("stream", facts.source.stream);
    out.text("host", facts.source.host);
    out.number("seed", facts.source.seed);
    out.close('}');
    out.key("slots");
    out.open('[');
    for (std::size_t s = 0; s < facts.slot.size(); ++s) {
        const SessionFacts::Slot& slot = facts.slot[s];
        out.item();
        out.open('{');
        out.number("slot", std::optional<int>(static_cast<int>(s)));
        out.number("element", std::optional<int>(slot.element));
        out.number("position", slot.position);
        out.text("position_name", slot.positionName);
        out.text("source_label", slot.sourceLabel);
        out.text("label", slot.label);
        out.close('}');
    }
    out.close(']');
    out.key("settings_file");
    out.open('{');
    out.text("file", facts.settings.file);
    out.text("problem", facts.settings.problem);
    out.number("AVEVolume", facts.settings.volume);
    out.number("AVEFrequency", facts.settings.baseFrequency);
    out.number("AVEDesiredFrequency", facts.settings.desiredFrequency);
    out.number("DSUSampleRate", facts.settings.sampleRate);
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
    facts.start = textOf(root.find("start"));
    facts.programVersion = textOf(root.find("program_version"));
    facts.libraryVersion = textOf(root.find("library_version"));
    facts.gain = numberOf<double>(root.find("gain")).value_or(0.0);
    const Json& source = member(root, "source");
    facts.source.kind = textOf(source.find("kind"));
    facts.source.description = textOf(source.find("description"));
    facts.source.recording = textOf(source.find("recording"));
    facts.source.port = textOf(source.find("port"));
    facts.source.stream = textOf(source.find("stream"));
    facts.source.host = textOf(source.find("host"));
    facts.source.seed = numberOf<long long>(source.find("seed"));
    const Json& slots = member(root, "slots");
    for (std::size_t s = 0;
         slots.kind == Json::Kind::Array && s < slots.items.size() && s < facts.slot.size(); ++s) {
        const Json& slot = slots.items[s];
        SessionFacts::Slot& into = facts.slot[s];
        into.element = numberOf<int>(slot.find("element")).value_or(0);
        into.position = numberOf<int>(slot.find("position"));
        into.positionName = textOf(slot.find("position_name"));
        into.sourceLabel = textOf(slot.find("source_label"));
        into.label = textOf(slot.find("label"));
    }
    const Json& settings = member(root, "settings_file");
    facts.settings.file = textOf(settings.find("file"));
    facts.settings.problem = textOf(settings.find("problem"));
    facts.settings.volume = numberOf<int>(settings.find("AVEVolume"));
    facts.settings.baseFrequency = numberOf<int>(settings.find("AVEFrequency"));
    facts.settings.desiredFrequency = numberOf<int>(settings.find("AVEDesiredFrequency"));
    facts.settings.sampleRate = numberOf<int>(settings.find("DSUSampleRate"));
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
    bool written = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    for (std::size_t at = 0; written && at < text.size();) {
        const ssize_t n = ::pwrite(fd, text.data() + at, text.size() - at, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        at += written ? static_cast<std::size_t>(n) : 0;
    }
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
