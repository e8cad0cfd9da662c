#include "bids/BidsNames.h"

#include <algorithm>

namespace solvane::bids {

namespace {

bool digits(std::string_view text) noexcept {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// "YYYYMMDDTHHMMSS" from `text` when it is "YYYY-MM-DD<middle>HH<separator>MM<separator>SS".
std::optional<std::string> compact(std::string_view text, char middle, char separator) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != middle ||
        text[13] != separator || text[16] != separator)
        return std::nullopt;
    std::string label;
    for (const auto& [at, length] : {std::pair{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}}) {
        const std::string_view part =
            text.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
        if (!digits(part))
            return std::nullopt;
        label += part;
        if (at == 8)
            label += 'T';
    }
    return label;
}

} // namespace

bool isLabel(std::string_view text) noexcept {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

std::optional<std::string> labelOfStamp(std::string_view stamp) {
    std::optional<std::string> label = compact(stamp.substr(0, 19), '_', '-');
    if (!label || stamp.size() == 19)
        return label;
    const std::string_view number = stamp.substr(20);
    if (stamp[19] != '_' || !digits(number) || number.front() == '0' || number == "1")
        return std::nullopt;
    return *label + "r" + std::string(number);
}

std::optional<std::string> labelOfStart(std::string_view start) {
    return compact(start, ' ', ':');
}

std::string acquisitionTime(std::string_view label) {
    if (label.size() < 15 || label[8] != 'T' || !digits(label.substr(0, 8)) ||
        !digits(label.substr(9, 6)))
        return {};
    const std::string text(label);
    return text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2) + "T" +
           text.substr(9, 2) + ":" + text.substr(11, 2) + ":" + text.substr(13, 2);
}

std::string SessionName::folder() const {
    return "sub-" + subject + "/ses-" + session;
}

std::string SessionName::file(std::string_view suffix) const {
    return "sub-" + subject + "_ses-" + session + "_task-" + task + "_" + std::string(suffix);
}

} // namespace solvane::bids
