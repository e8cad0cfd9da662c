#pragma once
// The ten settings of the program, each named exactly like its key in solvane.ini.

#include <cstdint>

namespace solvane {

struct Settings {
    // Section "Kardemo"
    int16_t DSUSampleRate = 0; ///< samples per analysis block (Hz); paces the loop
    int16_t BMFFTBinSize = 0;  ///< kept and written back, read by nothing else
    int16_t ActiveComPort = 0; ///< COM port handed to the device library at Start
    // Section "AVE"
    int16_t AVEVolume = 0;           ///< AVE volume in percent
    int16_t AVEFrequency = 0;        ///< base tone frequency (Hz)
    int16_t AVEDesiredFrequency = 0; ///< desired beat frequency (Hz)
    int16_t AVEChannel1 = 0;         ///< scalp position of channel slot 0; 0 = empty
    int16_t AVEChannel2 = 0;         ///< scalp position of channel slot 1; 0 = empty
    int16_t AVEChannel3 = 0;         ///< scalp position of channel slot 2; 0 = empty
    int16_t AVEChannel4 = 0;         ///< scalp position of channel slot 3; 0 = empty

    bool operator==(const Settings&) const = default;
};

/// The program's settings, shared by every part of it; 0 until LoadSettings runs.
extern Settings settings;

} // namespace solvane
