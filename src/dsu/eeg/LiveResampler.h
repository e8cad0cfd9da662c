#pragma once
// Resampling to the DSU's rate of samples that arrive one frame at a time, from a board or a
// live stream, with little delay. Output frame k stands for the time k / 256 s after the first
// input frame; it is the weighted mean of the input frames within ZeroCrossings samples of the
// lower of the two rates around that time, weighted by a Kaiser-windowed sinc, and it is made
// as soon as the last of them has come: 16 ms after its time for input at 250 Hz (a longer
// filter, as libsamplerate's sinc converters use, waits 80 to 190 ms). Over 1-35 Hz the
// amplitude stays within 0.3 % for any input rate from 125 Hz up, and the frequency is exact.
// Input at 256 Hz passes unchanged and at once.
//
// push() and finish() run on one thread, pull() may run on another: the frames made wait in a
// lock-free ring of 32 seconds, and a frame that finds it full (nobody has pulled for that
// long) is dropped and counted, so that the writer never waits. Nothing is allocated after
// construction.

#include "dsu/eeg/SampleRing.h"
#include "dsu/eeg/SampleSource.h"

#include <cstddef>
#include <cstdint>

namespace solvane::dsusim {

class LiveResampler {
public:
    static constexpr int Channels = SampleSource::Slots;
    static constexpr int ZeroCrossings = 4;       ///< of the filter, each side
    static constexpr double KaiserBeta = 5.0;     ///< of its window
    static constexpr std::size_t Capacity = 8192; ///< output frames that may wait (32 s)

    struct Frame {
        float values[Channels];
        float gap; ///< seconds of pause in the input just before this frame, or 0
    };

    /// Input at `inputRate` Hz. Throws std::runtime_error for a rate that cannot be resampled.
    explicit LiveResampler(double inputRate);

    /// The next input frame (Channels values); `gapBefore` is the pause before it, in seconds,
    /// which goes on with the first output frame at or after its time.
    void push(const float* frame, float gapBefore = 0.0F);
    /// No more input: the frames up to the time of the last input frame are made.
    void finish();
    /// The oldest waiting output frame; false when none waits.
    bool pull(Frame& frame) { return ring_.pop(frame); }
    /// Output frames dropped because Capacity were waiting.
    [[nodiscard]] uint64_t dropped() const { return ring_.dropped(); }

private:
    static constexpr std::size_t History = 4096; ///< input frames kept: the filter at 65536 Hz
    static constexpr int TableSteps = 2048;      ///< kernel values per half filter

    /// Makes the output frames whose input has all come (all up to the last input's time once
    /// the input has ended).
    void make();
    [[nodiscard]] const float* input(int64_t index) const;
    void keep(Frame& frame);

    double step_;         ///< input frames per output frame
    double halfWidth_;    ///< of the filter, in input frames
    bool passThrough_;    ///< input at 256 Hz
    bool ended_ = false;  ///< finish() was called
    int64_t newest_ = -1; ///< index of the last input frame
    uint64_t made_ = 0;   ///< output frames made
    float pendingGap_ = 0.0F;
    uint64_t gapAt_ = 0; ///< the output frame the pending gap goes with
    float kernel_[TableSteps + 2] = {};
    float history_[History][Channels] = {};
    SampleRing<Frame, Capacity> ring_;
};

} // namespace solvane::dsusim
