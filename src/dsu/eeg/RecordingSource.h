#pragma once
// Replay of a recording (EDF, EDF+, BDF, BDF+): four of its signals, each in its own
// physical range converted to microvolts, resampled to 256 Hz and scaled by the gain into
// counts. At the end it starts again (loop) or ends; a recording that shrinks or cannot be
// read part-way ends, whether it loops or not, and endReason() says why.

#include "dsu/eeg/ChannelResampler.h"
#include "dsu/eeg/EdfInputFile.h"
#include "dsu/eeg/SampleSource.h"

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace solvane::dsusim {

class RecordingSource : public SampleSource {
public:
    /// Opens `path` and picks the signals named by `channels` (four labels, matched
    /// forgivingly), or the first four EEG signals when `channels` is empty. Throws
    /// SimulatorConfigError (key Source or Channels) when that cannot be done.
    RecordingSource(const std::filesystem::path& path, const std::vector<std::string>& channels,
                    double gain, bool loop);

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] std::string label(int slot) const override;
    [[nodiscard]] std::string description() const override;
    [[nodiscard]] std::string endReason() const override;

    /// The recording's signal index for each slot.
    [[nodiscard]] int signal(int slot) const { return signals_[static_cast<std::size_t>(slot)]; }
    /// Times the recording started again from its beginning.
    [[nodiscard]] uint64_t restarts() const noexcept { return restarts_; }

private:
    void rewind();

    std::filesystem::path path_;
    EdfInputFile file_;
    double gain_; ///< counts per microvolt
    bool loop_;
    std::array<int, Slots> signals_{};
    std::unique_ptr<ChannelResampler> resamplers_[Slots];
    uint64_t sinceStart_ = 0; ///< samples produced since the last (re)start
    uint64_t restarts_ = 0;
};

} // namespace solvane::dsusim
