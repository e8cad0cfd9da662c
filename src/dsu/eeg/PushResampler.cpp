#include "dsu/eeg/PushResampler.h"

#include <stdexcept>
#include <string>

namespace solvane::dsusim {

namespace {
constexpr long MadePerFrame = 8; ///< room for the output of one input frame (256/125 < 3)
}

PushResampler::PushResampler(int channels, double inputRate)
    : channels_(channels), ratio_(OutputRate / inputRate),
      made_(static_cast<std::size_t>(MadePerFrame * channels)),
      ring_(Capacity * static_cast<std::size_t>(channels)) {
    if (channels <= 0 || !(inputRate > 0.0) || !src_is_valid_ratio(ratio_))
        throw std::runtime_error("a rate of " + std::to_string(inputRate) +
                                 " Hz cannot be resampled to 256 Hz");
    int error = 0;
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
    if (state_ == nullptr)
        throw std::runtime_error(std::string("resampler: ") + src_strerror(error));
}

PushResampler::~PushResampler() {
    src_delete(state_);
}

void PushResampler::push(const float* frame) {
    SRC_DATA data{};
    data.data_in = frame;
    data.input_frames = 1;
    data.data_out = made_.data();
    data.output_frames = MadePerFrame;
    data.src_ratio = ratio_;
    for (;;) {
        if (src_process(state_, &data) != 0)
            return;
        keep(data.output_frames_gen);
        data.data_in += data.input_frames_used * channels_;
        data.input_frames -= data.input_frames_used;
        // Done once the frame is taken and the converter had no more to give.
        if ((data.input_frames == 0 && data.output_frames_gen < MadePerFrame) ||
            (data.input_frames_used == 0 && data.output_frames_gen == 0))
            break;
    }
}

void PushResampler::keep(long frames) {
    const auto channels = static_cast<std::size_t>(channels_);
    for (long f = 0; f < frames; ++f) {
        if (count_ == Capacity) {
            first_ = (first_ + 1) % Capacity;
            --count_;
            ++overflowed_;
        }
        const std::size_t at = (first_ + count_) % Capacity;
        for (std::size_t c = 0; c < channels; ++c)
            ring_[at * channels + c] = made_[static_cast<std::size_t>(f) * channels + c];
        ++count_;
    }
}

void PushResampler::finish() {
    const float none[1] = {}; // libsamplerate wants an input buffer even when it is empty
    SRC_DATA data{};
    data.data_in = none;
    data.data_out = made_.data();
    data.output_frames = MadePerFrame;
    data.src_ratio = ratio_;
    data.end_of_input = 1;
    // Bounded: the filter holds well under a second of input.
    for (int round = 0; round < 1000; ++round) {
        if (src_process(state_, &data) != 0 || data.output_frames_gen == 0)
            return;
        keep(data.output_frames_gen);
    }
}

bool PushResampler::pull(float* frame) {
    if (count_ == 0)
        return false;
    const auto channels = static_cast<std::size_t>(channels_);
    for (std::size_t c = 0; c < channels; ++c)
        frame[c] = ring_[first_ * channels + c];
    first_ = (first_ + 1) % Capacity;
    --count_;
    return true;
}

} // namespace solvane::dsusim
