#include "dsu/eeg/SignalLabel.h"
#include "dsu/common/Text.h"

#include <array>
#include <utility>

namespace solvane::dsusim {

namespace {

bool startsWithType(std::string_view label, std::string_view type) {
    return label.size() > type.size() + 1 && lower(label.substr(0, type.size())) == type &&
           label[type.size()] == ' ';
}

} // namespace

std::string SignalLabel::normalised(std::string_view label) {
    label = trim(label);
    while (!label.empty() && (label.back() == '.' || label.back() == ' '))
        label.remove_suffix(1);
    if (startsWithType(label, "eeg"))
        label = trim(label.substr(4));
    std::string name = lower(label);
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> OldNames{{
        {"t3", "t7"},
        {"t4", "t8"},
        {"t5", "p7"},
        {"t6", "p8"},
    }};
    for (const auto& [oldName, newName] : OldNames)
        if (name == oldName)
            return std::string(newName);
    return name;
}

bool SignalLabel::matches(std::string_view a, std::string_view b) {
    const std::string x = normalised(a);
    return !x.empty() && x == normalised(b);
}

bool SignalLabel::isEeg(std::string_view label, std::string_view unit) {
    label = trim(label);
    if (startsWithType(label, "eeg"))
        return true;
    const std::string u = lower(trim(unit));
    const bool microvolts = u == "uv" || u == "\xb5v" || u == "\xc2\xb5v" || u == "\xce\xbcv";
    return microvolts && label.find(' ') == std::string_view::npos;
}

} // namespace solvane::dsusim
