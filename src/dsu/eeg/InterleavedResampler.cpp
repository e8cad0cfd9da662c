#include "dsu/eeg/InterleavedResampler.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace solvane::dsusim {

InterleavedResampler::InterleavedResampler(int channels, double inputRate)
    : channels_(channels), ratio_(OutputRate / inputRate) {
    if (!(inputRate > 0.0) || !src_is_valid_ratio(ratio_))
        throw std::runtime_error("a sample rate of " + std::to_string(inputRate) +
                                 " Hz cannot be resampled to 256 Hz");
    int error = 0;
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
    if (state_ == nullptr)
        throw std::runtime_error(std::string("resampler: ") + src_strerror(error));
}

InterleavedResampler::~InterleavedResampler() {
    src_delete(state_);
}

std::size_t InterleavedResampler::outputFor(std::size_t frames) const {
    return static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * ratio_)) + 16;
}

std::size_t InterleavedResampler::push(const float* input, std::size_t frames, float* output,
                                       std::size_t capacity) {
    std::size_t made = 0;
    while (frames > 0 && made < capacity) {
        SRC_DATA data{};
        data.data_in = input;
        data.input_frames = static_cast<long>(frames);
        data.data_out = output + made * static_cast<std::size_t>(channels_);
        data.output_frames = static_cast<long>(capacity - made);
        data.end_of_input = 0;
        data.src_ratio = ratio_;
        if (src_process(state_, &data) != 0)
            break;
        const auto used = static_cast<std::size_t>(data.input_frames_used);
        made += static_cast<std::size_t>(data.output_frames_gen);
        if (used == 0 && data.output_frames_gen == 0)
            break;
        input += used * static_cast<std::size_t>(channels_);
        frames -= used;
    }
    return made;
}

} // namespace solvane::dsusim
