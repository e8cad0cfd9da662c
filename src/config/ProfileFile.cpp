#include "ProfileFile.h"

#include "files/FileDescriptor.h"
#include "files/SafeReplace.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

// One line of the text, without its line end; `end` is where the next line starts.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0; // before "\r\n" or "\n"
    std::size_t end = 0;
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t newline = text.find('\n', pos);
        Line line;
        line.begin = pos;
        if (newline == std::string_view::npos) {
            line.contentEnd = text.size();
            line.end = text.size();
        } else {
            line.contentEnd = newline;
            line.end = newline + 1;
        }
        if (line.contentEnd > line.begin && text[line.contentEnd - 1] == '\r')
            --line.contentEnd;
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view content) {
    const std::string_view t = trim(content);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// Key and value of a "key=value" line; comment lines (";" or "#") hold none.
bool keyValue(std::string_view content, std::string_view& key, std::string_view& value) {
    const std::string_view t = trim(content);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[')
        return false;
    const std::size_t equals = t.find('=');
    if (equals == std::string_view::npos)
        return false;
    key = trim(t.substr(0, equals));
    value = trim(t.substr(equals + 1));
    return true;
}

// Editors on Windows often begin a UTF-8 file with a byte-order mark. It belongs to no line:
// the first section starts after it, and a write keeps it where it is.
std::string_view byteOrderMark(std::string_view text) {
    constexpr std::string_view Mark = "\xEF\xBB\xBF";
    return text.starts_with(Mark) ? Mark : std::string_view();
}

// The line end of the last line that ends before `pos`, so that an inserted line matches the
// lines around it in a file whose line ends are mixed; LF when no line ends before `pos`.
std::string lineEndBefore(std::string_view text, std::size_t pos) {
    const std::size_t newline = pos == 0 ? std::string_view::npos : text.rfind('\n', pos - 1);
    if (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r')
        return "\r\n";
    return "\n";
}

// Ends a last line that has no line break. A carriage return already there only lacks its
// line feed: adding a whole break after it would leave a stray "\r" in the line, which the
// next write would then drop, so that writing the same values twice changed the file.
void endLastLine(std::string& text, const std::string& eol) {
    if (text.empty() || text.back() == '\n')
        return;
    text += text.back() == '\r' ? std::string("\n") : eol;
}

std::string systemReason(int error) {
    return std::strerror(error);
}

} // namespace

std::optional<std::string> ProfileFile::findValue(std::string_view text, std::string_view section,
                                                  std::string_view key) {
    text.remove_prefix(byteOrderMark(text).size());
    bool inSection = false;
    for (const Line& line : splitLines(text)) {
        const std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
        if (const auto name = sectionName(content)) {
            if (inSection)
                break; // only the first section of a name counts, as for the writer
            inSection = sameName(*name, section);
            continue;
        }
        std::string_view k;
        std::string_view v;
        if (inSection && keyValue(content, k, v) && sameName(k, key))
            return std::string(v);
    }
    return std::nullopt;
}

std::string ProfileFile::withValue(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value) {
    const std::string_view mark = byteOrderMark(text);
    text.remove_prefix(mark.size());
    const std::vector<Line> lines = splitLines(text);
    const std::string newLine = std::string(key) + "=" + std::string(value);

    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = 0; // after the last non-blank line of the first matching section
    for (const Line& line : lines) {
        const std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
        if (const auto name = sectionName(content)) {
            if (inSection)
                break; // the first matching section has ended
            inSection = sameName(*name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = line.end;
            }
            continue;
        }
        if (!inSection)
            continue;
        std::string_view k;
        std::string_view v;
        if (keyValue(content, k, v) && sameName(k, key)) {
            // Replace the value in place; the rest of the file stays byte for byte.
            std::string result(mark);
            result += text.substr(0, line.begin);
            result += newLine;
            result += text.substr(line.contentEnd);
            return result;
        }
        if (!trim(content).empty())
            insertAt = line.end;
    }

    std::string result;
    if (sectionFound) {
        const std::string eol = lineEndBefore(text, insertAt);
        result = text.substr(0, insertAt);
        endLastLine(result, eol);
        result += newLine + eol;
        result += text.substr(insertAt);
    } else {
        const std::string eol = lineEndBefore(text, text.size());
        result = text;
        endLastLine(result, eol);
        result += "[" + std::string(section) + "]" + eol + newLine + eol;
    }
    return std::string(mark) + result;
}

std::optional<std::string> ProfileFile::readFile(const std::filesystem::path& path) {
    try {
        return readFileIfPresent(path);
    } catch (const ProfileReadError&) {
        return std::nullopt;
    }
}

std::optional<std::string> ProfileFile::readFileIfPresent(const std::filesystem::path& path) {
    const std::string name = path.string();
    auto failed = [&name](int error) {
        return ProfileReadError(ProfileReadError::Reason::Unreadable, systemReason(error),
                                "The file " + name + " could not be read: " + systemReason(error) +
                                    ".");
    };
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw failed(errno);
    }
    const files::FileDescriptor guard(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        throw failed(errno);
    if (!S_ISREG(status.st_mode)) {
        const char* kind = S_ISDIR(status.st_mode)    ? "a folder"
                           : S_ISFIFO(status.st_mode) ? "a FIFO"
                           : S_ISSOCK(status.st_mode) ? "a socket"
                                                      : "a device";
        const std::string why = std::string("it is ") + kind + ", not a plain file";
        throw ProfileReadError(ProfileReadError::Reason::NotAFile, why,
                               "The file " + name + " could not be read: " + why + ".");
    }
    std::string contents;
    char block[4096];
    while (true) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw failed(errno);
        }
        contents.append(block, static_cast<std::size_t>(n));
    }
    return contents;
}

std::optional<std::string> ProfileFile::textProblem(std::string_view text) {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        text.starts_with(std::string_view("\0\0\xFE\xFF", 4)))
        return "is UTF-16 or UTF-32 text (it begins with such a byte-order mark); save it as "
               "UTF-8";
    bool lineFeed = false;
    bool carriageReturn = false; // one that ends a line, not the file
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            return std::string("holds NUL bytes: it is UTF-16 text or no text at all");
        lineFeed = lineFeed || c == '\n';
        carriageReturn = carriageReturn || (c == '\r' && i + 1 < text.size());
        if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || byte == 0x7F)
            return std::string("holds control characters: it is no text");
    }
    if (carriageReturn && !lineFeed)
        return std::string("ends its lines with carriage returns alone; save it with LF or CRLF "
                           "line ends");
    return std::nullopt;
}

void ProfileFile::writeFile(const std::filesystem::path& path, std::string_view contents) {
    try {
        files::replaceFile(path, contents);
    } catch (const files::WriteError& error) {
        throw ProfileWriteError(error.what());
    }
}

} // namespace solvane
