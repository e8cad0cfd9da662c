#pragma once
// The settings of a run as a new settings file gives them (256 packets per second, volume 12,
// a 210 Hz tone and a 15 Hz beat), with the channel slots a test chooses.

#include "config/Settings.h"

#include <cstdint>

namespace solvane::testing {

/// `c1`..`c4`: the scalp positions of channel slots 0..3 (0 = empty).
inline Settings runSettings(int16_t c1, int16_t c2 = 0, int16_t c3 = 0, int16_t c4 = 0) {
    Settings s;
    s.DSUSampleRate = 256;
    s.AVEVolume = 12;
    s.AVEFrequency = 210;
    s.AVEDesiredFrequency = 15;
    s.AVEChannel1 = c1;
    s.AVEChannel2 = c2;
    s.AVEChannel3 = c3;
    s.AVEChannel4 = c4;
    return s;
}

} // namespace solvane::testing
