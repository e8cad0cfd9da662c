#pragma once
// Turns the AVE settings and the balance of the analysed channel slots into the DSU's AVE
// commands, each sent only when its value differs from the one last sent: the volumes of
// outputs 00 (slots 0 and 2) and 01 (slots 1 and 3), the base frequency ("WE") and the
// second frequency ("WF", which always follows a "WE"). The balance computed at one update
// sets the volume shares used at the next. Silencing sets both volumes to 0 without touching
// what was recorded as sent. The records live in the main window's AnalysisState.

#include "config/Settings.h"
#include "state/AnalysisState.h"
#include "state/ChannelSelection.h"

namespace solvane {

class AveCommandSink;

class EntrainmentController {
public:
    EntrainmentController(const Settings& sharedSettings, const ChannelSelection& selection,
                          AnalysisState& state, AveCommandSink& commands);

    /// Sends whatever AVE command changed, then updates the volume shares from the balance.
    void UpdateEntrainment();
    /// Sends "WB0000" and "WB0100".
    void SilenceEntrainment();

    // The rule by which the volumes follow the EEG, as pure functions for those that judge a
    // choice of channels before any run.
    /// Whether the balance is computed at all: it needs more than one channel.
    static bool Balances(const ChannelSelection& selection) { return selection.ChannelCount > 1; }
    /// The volume shares the slots' totals give output 00 (slots 0 and 2) and output 01 (slots
    /// 1 and 3). False when all four totals are 0: the shares then stay as they are.
    static bool BalanceShares(const float (&total)[5], float& share00, float& share01);
    /// AVEVolume times a share, as a volume command carries it.
    static int16_t VolumeFor(int16_t volume, float share);

private:
    void balanceVolumes();

    const Settings& settings_;
    const ChannelSelection& selection_;
    AnalysisState& state_;
    AveCommandSink& commands_;
};

} // namespace solvane
