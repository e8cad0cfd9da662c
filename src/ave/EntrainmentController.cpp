#include "EntrainmentController.h"

#include "AveCommandSink.h"
#include "EntrainmentCommands.h"
#include "checked/Checked.h"

#include <cmath>

namespace solvane {

namespace {

constexpr const char* Where = "UpdateEntrainment";

} // namespace

// AVEVolume (in single precision) times a share, formed in double precision and rounded
// toward minus infinity. The range is checked on the double: converting a value outside the
// integer's range would be undefined.
int16_t EntrainmentController::VolumeFor(int16_t volume, float share) {
    const double product = checked::result(
        static_cast<double>(static_cast<float>(volume)) * static_cast<double>(share), Where);
    const double rounded = std::floor(product);
    if (rounded < -32768.0 || rounded > 32767.0)
        checked::throwOverflow(Where);
    return static_cast<int16_t>(rounded);
}

EntrainmentController::EntrainmentController(const Settings& sharedSettings,
                                             const ChannelSelection& selection,
                                             AnalysisState& state, AveCommandSink& commands)
    : settings_(sharedSettings), selection_(selection), state_(state), commands_(commands) {}

void EntrainmentController::UpdateEntrainment() {
    const int16_t volume00 = VolumeFor(settings_.AVEVolume, state_.VolumeShare00);
    const int16_t volume01 = VolumeFor(settings_.AVEVolume, state_.VolumeShare01);

    if (volume00 != state_.LastVolume00) {
        commands_.sendCommand(VolumeCommand(0, volume00).text);
        state_.LastVolume00 = volume00;
    }
    if (volume01 != state_.LastVolume01) {
        commands_.sendCommand(VolumeCommand(1, volume01).text);
        state_.LastVolume01 = volume01;
    }
    bool baseSent = false;
    if (settings_.AVEFrequency != state_.LastBaseFrequency) {
        commands_.sendCommand(BaseFrequencyCommand(settings_.AVEFrequency).text);
        state_.LastBaseFrequency = settings_.AVEFrequency;
        baseSent = true;
    }
    if (settings_.AVEDesiredFrequency != state_.LastDesiredFrequency || baseSent) {
        state_.LastDesiredFrequency = settings_.AVEDesiredFrequency;
        commands_.sendCommand(
            SecondFrequencyCommand(settings_.AVEFrequency, settings_.AVEDesiredFrequency).text);
    }

    if (Balances(selection_))
        balanceVolumes();
}

void EntrainmentController::balanceVolumes() {
    float share00 = 0.0F;
    float share01 = 0.0F;
    if (BalanceShares(state_.SlotTotal, share00, share01)) {
        state_.VolumeShare00 = share00;
        state_.VolumeShare01 = share01;
    }
}

bool EntrainmentController::BalanceShares(const float (&total)[5], float& share00, float& share01) {
    float sum = 0.0F;
    for (int slot = 0; slot < 4; ++slot)
        sum = checked::result(sum + total[slot], Where);
    // Four totals of 0 leave the shares as they are, rather than dividing by zero.
    if (sum == 0.0F)
        return false;
    const float group00 = checked::result(total[2] + total[0], Where);
    const float group01 = checked::result(total[3] + total[1], Where);
    share00 = checked::divide(group00, checked::result(group01 + group00, Where), Where);
    share01 = checked::result(1.0F - share00, Where);
    return true;
}

void EntrainmentController::SilenceEntrainment() {
    commands_.sendCommand("WB0000");
    commands_.sendCommand("WB0100");
}

} // namespace solvane
