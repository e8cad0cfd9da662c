#pragma once
// Small text helpers of the simulated DSU's configuration and recording labels.

#include <cctype>
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

} // namespace solvane::dsusim
