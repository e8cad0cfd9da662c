#pragma once
// The GUI-free work the main window does with every packet: the greying pass of the first
// draw, the electrode contact monitor, the buffering of samples into blocks with a spectrum
// per active channel slot, and the entrainment output that follows each analysis pass.
// It owns the main window's channel selection, the first-draw flag and the AnalysisState
// record; it reaches the scalp map and the device only through ScalpMapView and
// AveCommandSink. Nothing on the per-packet path allocates.

#include "SpectralAnalysis.h"
#include "ave/EntrainmentController.h"
#include "config/Settings.h"
#include "device/kardemo.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"

#include <cstdint>

namespace solvane {

class AveCommandSink;
class ScalpMapView;

class PacketAnalysis {
public:
    using Packet = int32_t[KARDEMO_PACKET_ELEMENTS];

    PacketAnalysis(const Settings& sharedSettings, ScalpMapView& map, AveCommandSink& commands);

    /// Rebuilds ChannelMap, ChannelCount and PositionInUse from AVEChannel1..AVEChannel4.
    void ApplyChannelSelection();
    /// The selection that AVEChannel1..AVEChannel4 of `chosen` make.
    static ChannelSelection SelectChannels(const Settings& chosen);
    /// Per packet: the greying pass (first call only), the contact check, the spectra.
    void draw(const Packet& nChannels);
    /// Stores the four slot samples, or analyses the full block and updates the output.
    void drawThePieChartsAndGenerateTones(const Packet& nChannels);
    /// Sends whatever AVE command changed and updates the volume shares.
    void UpdateEntrainment();
    /// Sends the two commands that set both AVE volumes to 0.
    void SilenceEntrainment();

    /// The contact monitor's rule for one packet, on the counters of `state`: while a window
    /// fills, each sample of a slot with a position (`positions`, 0 for none) outside the good
    /// range counts for that position, and false is returned. The packet after a full window
    /// is not counted: it judges every slot with a position (`poor`: its position counted
    /// PoorContactSamples or more), clears the counters and returns true.
    static bool JudgeContact(const int16_t (&positions)[4], const Packet& nChannels,
                             AnalysisState& state, bool (&poor)[4]);

    /// Sum of `values[first..last]` accumulated in single precision; 0 for an empty range.
    static float SumSpectrum(int16_t first, int16_t last, const double (&values)[51]);

    // The contact monitor's rule: within each window of ContactWindowPackets packets, a
    // position whose samples fall outside LowestGoodSample..HighestGoodSample at least
    // PoorContactSamples times has poor contact; the packet after the window judges it, so
    // that a verdict is given every ContactWindowPackets + 1 packets.
    static constexpr int16_t ContactWindowPackets = 128;
    static constexpr int16_t PoorContactSamples = 64;
    static constexpr int32_t LowestGoodSample = 5;
    static constexpr int32_t HighestGoodSample = 1020;
    /// The fill a position's circle gets for its verdict (red in the low byte).
    static constexpr uint32_t GoodContactFill = 0x00FF00; // RGB(0, 255, 0)
    static constexpr uint32_t PoorContactFill = 0x0000FF; // RGB(255, 0, 0)
    /// Packet element read by each channel slot.
    static constexpr int SlotElement[4] = {0, 4, 1, 5};

    int16_t FirstDrawDone = 0; ///< -1 once the first draw has greyed the unused positions

    [[nodiscard]] const AnalysisState& state() const noexcept { return state_; }
    [[nodiscard]] AnalysisState& state() noexcept { return state_; }
    [[nodiscard]] const ChannelSelection& selection() const noexcept { return selection_; }

private:
    void CheckElectrodeContact(const Packet& nChannels);

    const Settings& settings_;
    ScalpMapView& map_;
    AveCommandSink& commands_;
    ChannelSelection selection_;
    AnalysisState state_;
    SpectralAnalysis spectra_;
    EntrainmentController entrainment_;
};

} // namespace solvane
