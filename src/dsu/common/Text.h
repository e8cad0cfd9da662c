#pragma once
// Small text helpers of the simulated DSU's configuration, recording labels and messages.

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace solvane::dsusim {

/// `text` without white space at either end.
inline std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0)
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0)
        text.remove_suffix(1);
    return text;
}

/// `text` in lower case (ASCII letters only).
inline std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

/// `value` as printf's "%g" writes it, for a message: at most six significant digits, no
/// trailing zeros ("250", "0.5", "1e-09").
inline std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

/// The most characters of a value that a message or the debug log repeats.
inline constexpr std::size_t LongestQuote = 200;

/// `text` for a message: whole up to LongestQuote characters, else cut there with a note of
/// its length, so that a huge value (a path, a name, a key) cannot flood the log.
inline std::string shortened(std::string_view text) {
    if (text.size() <= LongestQuote)
        return std::string(text);
    return std::string(text.substr(0, LongestQuote)) + "... (cut; " + std::to_string(text.size()) +
           " characters in all)";
}

/// `text` in quotes for a message, cut as by shortened().
inline std::string inQuotes(std::string_view text) {
    if (text.size() <= LongestQuote)
        return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, LongestQuote)) + "...\" (cut; " +
           std::to_string(text.size()) + " characters in all)";
}

} // namespace solvane::dsusim
