#include "dsu/eeg/SignalLabel.h"
#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"

#include <array>
#include <utility>

namespace solvane::dsusim {

namespace {

bool startsWithType(std::string_view label, std::string_view type) {
    return label.size() > type.size() + 1 && lower(label.substr(0, type.size())) == type &&
           label[type.size()] == ' ';
}

// "1, 2, 3 C3, 4" for a board, whose channels have numbers and may have positions too.
std::string listed(std::span<const std::string> labels, bool numbered) {
    std::string list;
    for (std::size_t s = 0; s < labels.size(); ++s) {
        const std::string number = std::to_string(s + 1);
        std::string entry = labels[s];
        if (numbered)
            entry = labels[s] == number ? number : number + " " + labels[s];
        list += (s == 0 ? "" : ", ") + entry;
    }
    return list;
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

std::array<int, SampleSource::Slots> SignalLabel::pick(const std::vector<std::string>& wanted,
                                                       std::span<const std::string> labels,
                                                       const std::string& owner, bool numbered) {
    std::array<int, SampleSource::Slots> picked{};
    for (std::size_t slot = 0; slot < picked.size(); ++slot) {
        const std::string& label = wanted.at(slot);
        int found = -1;
        for (std::size_t s = 0; s < labels.size() && found < 0; ++s)
            if (matches(label, labels[s]) || (numbered && matches(label, std::to_string(s + 1))))
                found = static_cast<int>(s);
        if (found < 0)
            throw SimulatorConfigError(ConfigKey::Channels, ConfigFault::UnknownLabel,
                                       "Channels: no channel of " + owner + " is labelled " +
                                           inQuotes(label) + " (it has " +
                                           listed(labels, numbered) + ")");
        picked[slot] = found;
    }
    return picked;
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
