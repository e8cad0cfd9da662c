#pragma once
// Resampling to 256 Hz of samples that arrive one frame at a time (a board, a stream), with
// the same libsamplerate converter the replay's ChannelResampler uses. Each frame pushed in
// is converted at once; the output frames it completes wait in a fixed ring until pulled.
// Buffers are allocated once; push() and pull() allocate nothing.

#include <samplerate.h>

#include <cstddef>
#include <vector>

namespace solvane::dsusim {

class PushResampler {
public:
    static constexpr double OutputRate = 256.0;   ///< Hz
    static constexpr std::size_t Capacity = 1024; ///< output frames that may wait (4 s)

    /// `channels` values a frame at `inputRate` Hz. Throws std::runtime_error when the
    /// resampler cannot be made.
    PushResampler(int channels, double inputRate);
    ~PushResampler();
    PushResampler(const PushResampler&) = delete;
    PushResampler& operator=(const PushResampler&) = delete;

    /// One input frame (`channels` values). Output frames beyond Capacity that were not
    /// pulled are dropped, oldest first.
    void push(const float* frame);
    /// No more input: what the converter's filter still holds comes out too.
    void finish();
    /// The oldest waiting output frame; false when none waits.
    bool pull(float* frame);
    [[nodiscard]] std::size_t waiting() const { return count_; }
    /// Output frames dropped because Capacity were waiting.
    [[nodiscard]] std::size_t overflowed() const { return overflowed_; }

private:
    void keep(long frames);

    int channels_;
    double ratio_;
    SRC_STATE* state_ = nullptr;
    std::vector<float> made_; ///< output of one conversion
    std::vector<float> ring_; ///< Capacity frames
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t overflowed_ = 0;
};

} // namespace solvane::dsusim
