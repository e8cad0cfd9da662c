#pragma once
// Forgiving comparison of the signal labels of a recording with the labels a user writes:
// case does not matter, trailing dots and blanks and an "EEG " prefix are dropped, and the
// old and new 10-20 names of the temporal and parietal positions are the same
// (T3 = T7, T4 = T8, T5 = P7, T6 = P8).

#include <string>
#include <string_view>

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
};

} // namespace solvane::dsusim
