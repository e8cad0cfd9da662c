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

private:
    void balanceVolumes();

    const Settings& settings_;
    const ChannelSelection& selection_;
    AnalysisState& state_;
    AveCommandSink& commands_;
};

} // namespace solvane
