#pragma once
// The scalp positions of the four channel slots, as the set-up shows and writes them
// (AVEChannel1..AVEChannel4), and whether a run with them gives feedback. The verdict is the
// program's own: the channel selection and the balance of its entrainment output decide, and
// the choice gives feedback when two different balances of the EEG send different volumes.

#include "config/Settings.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace solvane::setup {

struct FeedbackVerdict {
    bool feedback = false;
    /// When there is none: why, e.g. "group 01 has no channel", with what follows from it.
    std::string why;
};

class ChannelChoice {
public:
    static constexpr int Slots = 4;
    static constexpr int16_t NoPosition = 0;

    /// Scalp position of each slot, 1..21, or NoPosition.
    std::array<int16_t, Slots> positions{};

    static ChannelChoice of(const Settings& settings);
    /// `settings` with this choice in AVEChannel1..AVEChannel4.
    [[nodiscard]] Settings appliedTo(Settings settings) const;
    /// Whether the volumes of a run follow the EEG at AVEVolume `volume`.
    [[nodiscard]] FeedbackVerdict verdict(int16_t volume) const;
    /// The output (0 for output 00, 1 for output 01) whose volume slot `slot` raises, as the
    /// program's balance has it.
    static int outputOf(int slot);
    /// The keys (section AVE) and values as the settings file writes them, for the slots
    /// whose position differs from `current`.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>>
    changedKeys(const Settings& current) const;

    bool operator==(const ChannelChoice&) const = default;
};

} // namespace solvane::setup
