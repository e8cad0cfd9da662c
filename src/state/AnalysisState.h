#pragma once
// The main window's analysis record: fixed in size, zero when the window is created, and
// never cleared afterwards (neither Start nor Stop resets it).

#include <cstdint>

namespace solvane {

struct AnalysisState {
    // Sample buffering and spectra
    int16_t SampleBuffer[5][257] =
        {};                    ///< [slot][row]: slot's sample of the row-th packet of the block
    int16_t SampleCount = 0;   ///< packets stored in the current block
    double FFTData[1025] = {}; ///< interleaved complex work array of the transform
    double Spectrum[51] = {};  ///< amplitude of bins 0..49 (sample units); 50 unused
    float SlotTotal[5] = {};   ///< sum of bins 1..35 of each slot's latest block

    // Electrode contact monitor
    int16_t OutOfRangeCount[22] = {}; ///< per scalp position 0..21 (0 never counted)
    int16_t ContactPacketCount = 0;   ///< packets examined in the current window, 0..128

    // Entrainment output
    int16_t LastVolume00 = 0;         ///< volume last sent with "WB00"
    int16_t LastVolume01 = 0;         ///< volume last sent with "WB01"
    int16_t LastBaseFrequency = 0;    ///< AVEFrequency last sent with "WE" (Hz)
    int16_t LastDesiredFrequency = 0; ///< AVEDesiredFrequency at the last "WF" (Hz)
    float VolumeShare00 = 0.0F;       ///< share of AVEVolume given to output 00
    float VolumeShare01 = 0.0F;       ///< share of AVEVolume given to output 01
};

} // namespace solvane
