#include "ProfileFile.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
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

std::string lineEndOf(std::string_view text) {
    const std::size_t newline = text.find('\n');
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
    bool inSection = false;
    for (const Line& line : splitLines(text)) {
        const std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
        if (const auto name = sectionName(content)) {
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
    const std::vector<Line> lines = splitLines(text);
    const std::string eol = lineEndOf(text);
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
            std::string result(text.substr(0, line.begin));
            result += newLine;
            result += text.substr(line.contentEnd);
            return result;
        }
        if (!trim(content).empty())
            insertAt = line.end;
    }

    std::string result;
    if (sectionFound) {
        result = std::string(text.substr(0, insertAt));
        endLastLine(result, eol);
        result += newLine + eol;
        result += text.substr(insertAt);
        return result;
    }
    result = std::string(text);
    endLastLine(result, eol);
    result += "[" + std::string(section) + "]" + eol + newLine + eol;
    return result;
}

std::optional<std::string> ProfileFile::readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return contents.str();
}

std::optional<std::string> ProfileFile::readFileIfPresent(const std::filesystem::path& path) {
    const std::string name = path.string();
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw ProfileReadError("The file " + name + " could not be read: " + systemReason(errno) +
                               ".");
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
            const int error = errno;
            ::close(fd);
            throw ProfileReadError("The file " + name +
                                   " could not be read: " + systemReason(error) + ".");
        }
        contents.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return contents;
}

void ProfileFile::writeFile(const std::filesystem::path& path, std::string_view contents) {
    // A file kept elsewhere through a symbolic link is replaced where the link points, so
    // that the link stays and what it points at gets the new contents.
    std::filesystem::path resolved = path;
    std::error_code linkError;
    for (int hop = 0; hop < 40 && std::filesystem::is_symlink(resolved, linkError); ++hop) {
        const std::filesystem::path link = std::filesystem::read_symlink(resolved, linkError);
        if (linkError)
            break;
        resolved = link.is_absolute() ? link : resolved.parent_path() / link;
    }
    const std::string target = resolved.string();
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        throw ProfileWriteError("The file " + target +
                                " could not be written: " + systemReason(errno) + ".");

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw ProfileWriteError("The file " + target +
                                " could not be written: " + systemReason(error) + ".");
    };

    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        fail(errno);
    // mkstemp creates the file readable by its owner only: the replacement keeps the old
    // file's permissions, and a new file is an ordinary file for everyone who may read the
    // folder.
    struct stat old {};
    (void)::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw ProfileWriteError("The file " + target +
                                " could not be written: " + systemReason(error) + ".");
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw ProfileWriteError("The file " + target +
                                " could not be written: " + systemReason(error) + ".");
    }
}

} // namespace solvane
