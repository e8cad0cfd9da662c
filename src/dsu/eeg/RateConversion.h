#pragma once
// What every conversion to the DSU's own rate shares, live or replayed: which input rates can
// be brought to it, and the refusal of one that cannot.

#include "dsu/common/Text.h"
#include "dsu/eeg/SampleSource.h"

#include <stdexcept>
#include <string>

namespace solvane::dsusim::rates {

/// The DSU's rate, that of its packets, for every source.
constexpr double Output = SampleSource::SampleRate; ///< Hz
/// Input rates from 1/256 to 256 times the DSU's can be converted (libsamplerate's limits).
constexpr double Lowest = 1.0;      ///< Hz
constexpr double Highest = 65536.0; ///< Hz

inline bool convertible(double rate) {
    return rate >= Lowest && rate <= Highest; // false for NaN too
}

/// Throws std::runtime_error when `rate` cannot be converted; `what` names what has it.
inline void check(double rate, const std::string& what) {
    if (convertible(rate))
        return;
    throw std::runtime_error(what + " has a rate of " + shortNumber(rate) +
                             " Hz, which cannot be resampled to 256 Hz");
}

} // namespace solvane::dsusim::rates
