#include "session/Numbers.h"

#include <charconv>
#include <cmath>

namespace solvane::session {

namespace {

std::string_view withoutPlus(std::string_view text) noexcept {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text.remove_prefix(1);
    return text;
}

bool blank(char c) noexcept {
    return c == ' ' || c == '\0';
}

} // namespace

char* writeFixed(char* first, char* last, double value, int decimals) noexcept {
    const auto [end, error] = std::to_chars(first, last, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? end : nullptr;
}

char* writeInteger(char* first, char* last, long long value) noexcept {
    const auto [end, error] = std::to_chars(first, last, value);
    return error == std::errc() ? end : nullptr;
}

std::string fixed(double value, int decimals) {
    char text[352]; // the longest double in fixed notation, with room for the decimals
    char* end = writeFixed(text, text + sizeof text, value, decimals);
    return end == nullptr ? std::string() : std::string(text, end);
}

std::string integerText(long long value) {
    char text[24];
    char* end = writeInteger(text, text + sizeof text, value);
    return std::string(text, end);
}

std::string shortest(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::optional<double> parseDecimal(std::string_view text) noexcept {
    text = withoutPlus(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> parseInteger(std::string_view text) noexcept {
    text = withoutPlus(text);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string_view trimmed(std::string_view text) noexcept {
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace solvane::session
