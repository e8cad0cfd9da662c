#include "dsu/eeg/LiveResampler.h"

#include "dsu/eeg/RateConversion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace solvane::dsusim {

namespace {

/// The modified Bessel function of the first kind, order 0 (the Kaiser window's).
double besselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 40; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

} // namespace

LiveResampler::LiveResampler(double inputRate) {
    rates::check(inputRate, "the input");
    step_ = inputRate / rates::Output;
    // The filter's zero crossings fall on the samples of the lower rate: the input's own
    // samples when it is slower (interpolation), the output's when it is faster (it then
    // also keeps what the output cannot hold from folding back).
    halfWidth_ = ZeroCrossings * std::max(1.0, step_);
    passThrough_ = inputRate == rates::Output;
    for (int i = 0; i <= TableSteps + 1; ++i) {
        const double u = std::min(1.0, static_cast<double>(i) / TableSteps);
        const double x = std::numbers::pi * ZeroCrossings * u;
        const double sinc = u == 0.0 ? 1.0 : std::sin(x) / x;
        kernel_[i] = static_cast<float>(sinc * besselI0(KaiserBeta * std::sqrt(1.0 - u * u)) /
                                        besselI0(KaiserBeta));
    }
}

const float* LiveResampler::input(int64_t index) const {
    // Before the first frame and after the last the signal is taken to stay as it was, so
    // that a board's large offset does not ring at either end.
    index = std::clamp<int64_t>(index, 0, newest_);
    return history_[static_cast<std::size_t>(index) % History];
}

void LiveResampler::push(const float* frame, float gapBefore) {
    if (ended_)
        return;
    ++newest_;
    float* slot = history_[static_cast<std::size_t>(newest_) % History];
    for (int c = 0; c < Channels; ++c)
        slot[c] = frame[c];
    if (gapBefore > 0.0F) {
        pendingGap_ += gapBefore;
        gapAt_ = static_cast<uint64_t>(std::ceil(static_cast<double>(newest_) / step_));
    }
    make();
}

void LiveResampler::finish() {
    if (ended_)
        return;
    ended_ = true;
    make();
}

void LiveResampler::make() {
    if (newest_ < 0)
        return;
    for (;; ++made_) {
        Frame frame{};
        if (passThrough_) {
            if (static_cast<int64_t>(made_) > newest_)
                return;
            const float* in = input(static_cast<int64_t>(made_));
            for (int c = 0; c < Channels; ++c)
                frame.values[c] = in[c];
            keep(frame);
            continue;
        }
        const double at = static_cast<double>(made_) * step_; // in input frames
        const auto first = static_cast<int64_t>(std::floor(at - halfWidth_)) + 1;
        const auto last = static_cast<int64_t>(std::ceil(at + halfWidth_)) - 1;
        if (ended_ ? at > static_cast<double>(newest_) : last > newest_)
            return;
        double sum[Channels] = {};
        double weights = 0.0;
        for (int64_t j = first; j <= last; ++j) {
            const double u = std::abs(static_cast<double>(j) - at) / halfWidth_ * TableSteps;
            const auto i = static_cast<int>(u);
            const double w = kernel_[i] + (u - i) * (kernel_[i + 1] - kernel_[i]);
            const float* in = input(j);
            for (int c = 0; c < Channels; ++c)
                sum[c] += w * in[c];
            weights += w;
        }
        // Dividing by the weights keeps a constant input constant whatever the output's
        // position between the input samples.
        for (int c = 0; c < Channels; ++c)
            frame.values[c] = static_cast<float>(sum[c] / weights);
        keep(frame);
    }
}

void LiveResampler::keep(Frame& frame) {
    if (pendingGap_ > 0.0F && made_ >= gapAt_) {
        frame.gap = pendingGap_;
        pendingGap_ = 0.0F;
    }
    if (!ring_.push(frame) && frame.gap > 0.0F)
        pendingGap_ += frame.gap; // the next frame kept tells the pause
}

} // namespace solvane::dsusim
