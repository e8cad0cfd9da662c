// libFuzzer target for the profile-file reader and writer (ProfileFile::findValue and
// ProfileFile::withValue). The input is the text of a profile file.
//
// On any text, reading and writing never crash or hang, whatever the names and values. For
// the names and values the format can hold, the writer must also keep its promises:
//   - a section name holds no line break and no ']', and has no blanks at either end;
//   - a key holds no line break and no '=', has no blanks at either end and does not start
//     with ';', '#' or '[' (such a line is a comment or a section header);
//   - a value holds no line break and has no blanks at either end.
// For such names and values, withValue followed by findValue gives the value back; writing
// the same value twice gives the same text as writing it once; every other key keeps its
// value; and every line the writer does not own survives byte for byte: the writer changes
// only the line that held the key, or inserts the key's line (after a section header when
// the section is new) between two lines or at the end, completing the last line's break first.

#include "config/ProfileFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using solvane::ProfileFile;

namespace {

struct Name {
    std::string section;
    std::string key;
};

[[noreturn]] void fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "profile file fuzzer: %s\ntext (%zu bytes): \"%.*s\"\n", what, text.size(),
                 static_cast<int>(text.size()), text.data());
    std::abort();
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(std::string text) {
    while (!text.empty() && isBlank(text.back()))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && isBlank(text[first]))
        ++first;
    return text.substr(first);
}

// `raw` made into a name or value the format can hold, by dropping what it cannot.
std::string representable(std::string_view raw, std::string_view forbidden,
                          std::string_view forbiddenFirst) {
    std::string out;
    for (const char c : raw)
        if (c != '\n' && c != '\r' && forbidden.find(c) == std::string_view::npos)
            out += c;
    out = trimmed(out);
    while (!out.empty() && forbiddenFirst.find(out.front()) != std::string_view::npos)
        out = trimmed(out.substr(1));
    return out;
}

std::string sectionFrom(std::string_view raw) {
    return representable(raw, "]", "");
}
std::string keyFrom(std::string_view raw) {
    return representable(raw, "=", ";#[");
}
std::string valueFrom(std::string_view raw) {
    return representable(raw, "", "");
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t newline = text.find('\n', pos);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// Names to read and write: the program's own keys, and the names found in the text itself,
// so that seeds taken from real settings files steer the fuzzer towards real files.
std::vector<Name> namesFor(std::string_view text) {
    std::vector<Name> names = {
        {"Kardemo", "DSUSampleRate"}, {"Kardemo", "ActiveComPort"}, {"AVE", "AVEVolume"},
        {"AVE", "AVEChannel4"},       {"kardemo", "dsusamplerate"},
    };
    std::string section = "Kardemo";
    for (const std::string_view line : linesOf(text)) {
        if (names.size() >= 12)
            break;
        const std::string t = trimmed(std::string(line));
        if (!t.empty() && t.front() == '[') {
            const std::size_t close = t.find(']');
            section = sectionFrom(t.substr(1, close == std::string::npos ? t.size() : close - 1));
            continue;
        }
        const std::size_t equals = t.find('=');
        if (equals != std::string::npos)
            names.push_back({section, keyFrom(t.substr(0, equals))});
    }
    return names;
}

// Values to write: plain settings values and the values found in the text.
std::vector<std::string> valuesFor(std::string_view text) {
    std::vector<std::string> values = {"256", "-5", "0"};
    for (const std::string_view line : linesOf(text)) {
        if (values.size() >= 6)
            break;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            values.push_back(valueFrom(line.substr(equals + 1)));
    }
    return values;
}

bool isKeyLine(std::string_view line, std::string_view key) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::string t = trimmed(std::string(line));
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[')
        return false;
    const std::size_t equals = t.find('=');
    if (equals == std::string::npos)
        return false;
    std::string name = trimmed(t.substr(0, equals));
    while (!name.empty() && name.back() == '\r')
        name = trimmed(name.substr(0, name.size() - 1));
    return sameName(name, key);
}

// `after` must be `before` with the key's line replaced, or with the key's line (and a new
// section header) inserted at a line boundary; nothing else may differ.
void checkOtherLinesKept(std::string_view before, std::string_view after, const Name& name,
                         const std::string& value) {
    const std::size_t n = before.size();
    const std::size_t m = after.size();
    std::size_t p = 0;
    while (p < n && p < m && before[p] == after[p])
        ++p;
    std::size_t q = 0;
    while (q < n - p && q < m - p && before[n - 1 - q] == after[m - 1 - q])
        ++q;
    const std::string_view removed = before.substr(p, n - p - q);
    const std::string_view added = after.substr(p, m - p - q);
    const std::string keyLine = name.key + "=" + value;

    if (removed.find('\n') == std::string_view::npos &&
        added.find('\n') == std::string_view::npos) {
        if (removed.empty() && added.empty())
            return;
        const std::size_t lineStart = p == 0 ? 0 : before.rfind('\n', p - 1) + 1;
        const std::size_t beforeEnd = before.find('\n', lineStart);
        const std::size_t afterEnd = after.find('\n', lineStart);
        const std::string_view oldLine = before.substr(lineStart, beforeEnd - lineStart);
        const std::string_view newLine = after.substr(lineStart, afterEnd - lineStart);
        if (!isKeyLine(oldLine, name.key))
            fail("a line that does not hold the key was changed", before);
        if (newLine != keyLine && newLine != keyLine + "\r")
            fail("the key's line was not replaced by key=value", before);
        return;
    }
    if (!removed.empty())
        fail("the writer removed more than one line's content", before);
    if (p != 0 && p != n && before[p - 1] != '\n')
        fail("the writer inserted inside a line", before);
    for (const std::string eol : {"\n", "\r\n"}) {
        for (const std::string& lead : {std::string(), eol, std::string("\n")}) {
            if (added == lead + keyLine + eol)
                return;
            if (p == n && added == lead + "[" + name.section + "]" + eol + keyLine + eol)
                return;
        }
    }
    fail("the writer inserted something other than the key's line", before);
}

void checkWrite(std::string_view text, const std::vector<Name>& names, const Name& name,
                const std::string& value) {
    const std::string written = ProfileFile::withValue(text, name.section, name.key, value);
    if (ProfileFile::findValue(written, name.section, name.key) != value)
        fail("a value written does not read back", text);
    if (ProfileFile::withValue(written, name.section, name.key, value) != written)
        fail("writing the same value twice changed the text", text);
    checkOtherLinesKept(text, written, name, value);
    for (const Name& other : names) {
        if (sameName(other.section, name.section) && sameName(other.key, name.key))
            continue;
        if (ProfileFile::findValue(text, other.section, other.key) !=
            ProfileFile::findValue(written, other.section, other.key))
            fail("writing one key changed the value of another", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Names and values straight from the bytes, line breaks and all: no crash, no hang.
    const std::size_t third = size / 3;
    const std::string_view rawSection = text.substr(0, third % 17);
    const std::string_view rawKey = text.substr(third, third % 13);
    (void)ProfileFile::findValue(text, rawSection, rawKey);
    (void)ProfileFile::withValue(text, rawSection, rawKey, text.substr(2 * third));

    const std::vector<Name> names = namesFor(text);
    const std::vector<std::string> values = valuesFor(text);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].key.empty() && names[i].section.empty())
            continue;
        checkWrite(text, names, names[i], values[i % values.size()]);
    }
    return 0;
}
