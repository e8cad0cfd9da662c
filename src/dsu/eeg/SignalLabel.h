#pragma once
// Forgiving comparison of the signal labels of a recording with the labels a user writes:
// case does not matter, trailing dots and blanks and an "EEG " prefix are dropped, and the
// old and new 10-20 names of the temporal and parietal positions are the same
// (T3 = T7, T4 = T8, T5 = P7, T6 = P8). Every source picks the four signals of its slots by
// label here, with one message for a label that names none.

#include "dsu/eeg/SampleSource.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

class SignalLabel {
public:
    /// The label in its comparable form: lower case, without prefix, dots or old names.
    static std::string normalised(std::string_view label);
    /// Whether two labels name the same signal.
    static bool matches(std::string_view a, std::string_view b);
    /// Whether a signal is scalp EEG: an "EEG " prefix, or microvolts and no other type
    /// prefix (such as "ECG ", "EOG ", "EMG ").
    static bool isEeg(std::string_view label, std::string_view unit);
    /// The signals `wanted` names for slots 0..3, as indices into `labels`: for each the first
    /// signal whose label matches, or with `numbered` the first whose number (from 1) or label
    /// matches. Throws SimulatorConfigError (key Channels) for a label that names none, with
    /// `owner` ("the recording x.edf") and the signals it has.
    static std::array<int, SampleSource::Slots> pick(const std::vector<std::string>& wanted,
                                                     std::span<const std::string> labels,
                                                     const std::string& owner,
                                                     bool numbered = false);
};

} // namespace solvane::dsusim
