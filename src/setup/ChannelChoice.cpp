#include "setup/ChannelChoice.h"

#include "analysis/PacketAnalysis.h"
#include "ave/EntrainmentController.h"
#include "config/processINIFile.h"

namespace solvane::setup {

namespace {

constexpr int16_t Settings::*SlotKeys[ChannelChoice::Slots] = {
    &Settings::AVEChannel1, &Settings::AVEChannel2, &Settings::AVEChannel3, &Settings::AVEChannel4};
constexpr const char* SlotKeyNames[ChannelChoice::Slots] = {"AVEChannel1", "AVEChannel2",
                                                            "AVEChannel3", "AVEChannel4"};

std::string groupName(int output) {
    return output == 0 ? "group 00" : "group 01";
}

// The slots of one group as a person reads them: "slots 0 and 2".
std::string slotsOf(int output) {
    std::string slots;
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot)
        if (ChannelChoice::outputOf(slot) == output)
            slots += (slots.empty() ? "slots " : " and ") + std::to_string(slot);
    return slots;
}

} // namespace

ChannelChoice ChannelChoice::of(const Settings& settings) {
    ChannelChoice choice;
    for (int slot = 0; slot < Slots; ++slot)
        choice.positions[slot] = settings.*SlotKeys[slot];
    return choice;
}

Settings ChannelChoice::appliedTo(Settings settings) const {
    for (int slot = 0; slot < Slots; ++slot)
        settings.*SlotKeys[slot] = positions[slot];
    return settings;
}

int ChannelChoice::outputOf(int slot) {
    float total[5] = {};
    total[slot] = 1.0F;
    float share00 = 0.0F;
    float share01 = 0.0F;
    EntrainmentController::BalanceShares(total, share00, share01);
    return share00 > share01 ? 0 : 1;
}

FeedbackVerdict ChannelChoice::verdict(int16_t volume) const {
    const Settings chosen = appliedTo(Settings{});
    const ChannelSelection selection = PacketAnalysis::SelectChannels(chosen);
    if (!EntrainmentController::Balances(selection))
        return {false, selection.ChannelCount == 0
                           ? "no slot has a channel: the volumes are balanced between two "
                             "groups of channels, and stay at 0 without them"
                           : "only one channel is chosen: the balance needs at least two, one "
                             "in each group, and without it both volumes stay at 0"};

    // The volumes sent for a run in which the EEG of group 00 is the larger, and for one in
    // which that of group 01 is: the same volumes for both means that they follow no EEG.
    int16_t sent[2][2] = {};
    bool fed[2] = {false, false};
    for (int louder = 0; louder < 2; ++louder) {
        float total[5] = {};
        for (int slot = 0; slot < Slots; ++slot) {
            if (selection.ChannelMap[slot] == NoPosition)
                continue;
            fed[outputOf(slot)] = true;
            total[slot] = outputOf(slot) == louder ? 2.0F : 1.0F;
        }
        float share00 = 0.0F;
        float share01 = 0.0F;
        EntrainmentController::BalanceShares(total, share00, share01);
        sent[louder][0] = EntrainmentController::VolumeFor(volume, share00);
        sent[louder][1] = EntrainmentController::VolumeFor(volume, share01);
    }
    if (sent[0][0] != sent[1][0] || sent[0][1] != sent[1][1])
        return {true, {}};
    for (int output = 0; output < 2; ++output) {
        if (!fed[output]) {
            const int other = 1 - output;
            return {false, groupName(output) + " has no channel (" + slotsOf(output) +
                               " feed output 0" + std::to_string(output) + "): output 0" +
                               std::to_string(other) + " gets the whole volume and output 0" +
                               std::to_string(output) + " none, whatever the EEG"};
        }
    }
    if (volume <= 0)
        return {false, "the volume is 0 (Options): nothing is heard, whatever the EEG"};
    return {false, "the volume of " + std::to_string(volume) +
                       " (Options) is too low for the balance to change either output"};
}

std::vector<std::pair<std::string, std::string>>
ChannelChoice::changedKeys(const Settings& current) const {
    std::vector<std::pair<std::string, std::string>> keys;
    for (int slot = 0; slot < Slots; ++slot)
        if (positions[slot] != current.*SlotKeys[slot])
            keys.emplace_back(SlotKeyNames[slot],
                              processINIFile::FormatIniInteger(positions[slot]));
    return keys;
}

} // namespace solvane::setup
