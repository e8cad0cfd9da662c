#pragma once
// The signals of a recording that the bundled DSU can replay, for choosing four of them: read
// from the recording's header by the DSU's own reader, so that a file the DSU refuses is
// refused here with the same words.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace solvane::setup {

struct RecordingSignal {
    std::string label;
    std::string unit;
    double rate = 0.0; ///< samples per second
    bool eeg = false;  ///< scalp EEG, as the DSU tells it when it picks signals by itself
};

class RecordingSignals {
public:
    /// The ordinary signals of `file` in file order. Throws SetupError (Refused) with the
    /// DSU's reason when it is no recording the DSU can read.
    static std::vector<RecordingSignal> of(const std::filesystem::path& file);
    /// The signal for each slot: those of `wanted` that the recording has (matched as the DSU
    /// matches labels), and where one is missing the DSU's own default, its first four EEG
    /// signals; empty labels where the recording has too few.
    static std::array<std::string, 4> forSlots(const std::vector<RecordingSignal>& available,
                                               const std::array<std::string, 4>& wanted);
};

} // namespace solvane::setup
