#pragma once
// Resampling of a live multichannel signal to 256 Hz as its samples come: blocks of
// interleaved frames are pushed in and the resampled frames that are ready come out. The same
// libsamplerate converter as the replay's ChannelResampler, fed by the caller instead of by a
// file; nothing is allocated after construction.

#include <samplerate.h>

#include <cstddef>

namespace solvane::dsusim {

class InterleavedResampler {
public:
    static constexpr double OutputRate = 256.0; ///< Hz

    /// `channels` interleaved channels at `inputRate` Hz. Throws std::runtime_error when the
    /// rate cannot be resampled to 256 Hz or the resampler cannot be made.
    InterleavedResampler(int channels, double inputRate);
    ~InterleavedResampler();
    InterleavedResampler(const InterleavedResampler&) = delete;
    InterleavedResampler& operator=(const InterleavedResampler&) = delete;

    /// Output frames that `frames` input frames can make at most.
    [[nodiscard]] std::size_t outputFor(std::size_t frames) const;
    /// Resamples `frames` frames of `input`; writes up to `capacity` frames to `output` and
    /// returns how many. Input that finds no room is dropped (give outputFor(frames)).
    std::size_t push(const float* input, std::size_t frames, float* output, std::size_t capacity);

private:
    int channels_;
    double ratio_; ///< output rate / input rate
    SRC_STATE* state_ = nullptr;
};

} // namespace solvane::dsusim
