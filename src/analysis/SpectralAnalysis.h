#pragma once
// Buffering of the four channel slots' samples into blocks and the amplitude spectrum of each
// active slot per block. A block is DSUSampleRate + 1 packets: the first DSUSampleRate are
// stored, the next one only triggers the analysis pass and is dropped. The pass transforms
// each active slot's block, keeps the amplitudes of bins 0..49 and the slot's total over bins
// 1..35 (1 to 35 Hz, since a block covers one second). Works on the main window's
// AnalysisState; no widgets, and nothing allocated per packet or per block.

#include "FFTX1.h"
#include "config/Settings.h"
#include "device/kardemo.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"

#include <cstdint>

namespace solvane {

class SpectralAnalysis {
public:
    using Packet = int32_t[KARDEMO_PACKET_ELEMENTS];

    SpectralAnalysis(const Settings& sharedSettings, const ChannelSelection& selection,
                     AnalysisState& state);

    /// Stores the packet's four slot samples while the block fills; once it is full, runs the
    /// analysis pass instead. True when a pass ran (the caller then updates the output). A
    /// DSUSampleRate outside 1..256 throws RunTimeError (BadSetting) before anything changes.
    bool takePacket(const Packet& nChannels);
    /// The store path: the four slot samples, each checked to fit 16 bits, into the next row.
    void storePacket(const Packet& nChannels);
    /// The analysis pass over the stored block; resets SampleCount when a slot is active.
    void analyseBlock();

    /// Sum of `values[first..last]` accumulated in single precision; 0 for an empty range.
    static float SumSpectrum(int16_t first, int16_t last, const double (&values)[51]);

private:
    void analyseSlot(int slot);

    const Settings& settings_;
    const ChannelSelection& selection_;
    AnalysisState& state_;
    FFTX1 FFTX1_;
};

} // namespace solvane
