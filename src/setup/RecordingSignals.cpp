#include "setup/RecordingSignals.h"

#include "dsu/common/ConfigError.h"
#include "dsu/eeg/EdfInputFile.h"
#include "dsu/eeg/SignalLabel.h"
#include "setup/SetupError.h"

namespace solvane::setup {

std::vector<RecordingSignal> RecordingSignals::of(const std::filesystem::path& file) {
    try {
        const dsusim::EdfInputFile recording(file);
        std::vector<RecordingSignal> signals;
        for (int s = 0; s < recording.signalCount(); ++s) {
            const auto& signal = recording.signal(s);
            signals.push_back({recording.label(s), signal.unit, recording.sampleRate(s),
                               dsusim::SignalLabel::isEeg(signal.label, signal.unit)});
        }
        return signals;
    } catch (const dsusim::SimulatorConfigError& error) {
        throw SetupError(SetupError::Reason::Refused, error.what());
    }
}

std::array<std::string, 4> RecordingSignals::forSlots(const std::vector<RecordingSignal>& available,
                                                      const std::array<std::string, 4>& wanted) {
    std::array<std::string, 4> chosen;
    bool all = true;
    for (std::size_t slot = 0; slot < chosen.size(); ++slot) {
        for (const RecordingSignal& signal : available)
            if (chosen[slot].empty() && !wanted[slot].empty() &&
                dsusim::SignalLabel::matches(wanted[slot], signal.label))
                chosen[slot] = signal.label;
        all = all && !chosen[slot].empty();
    }
    if (all)
        return chosen;
    chosen = {};
    std::size_t slot = 0;
    for (const RecordingSignal& signal : available)
        if (signal.eeg && slot < chosen.size())
            chosen[slot++] = signal.label;
    return chosen;
}

} // namespace solvane::setup
