#include "dsu/eeg/ChannelResampler.h"

#include "dsu/eeg/EdfInputFile.h"
#include "dsu/eeg/RateConversion.h"

#include <stdexcept>
#include <string>

namespace solvane::dsusim {

ChannelResampler::ChannelResampler(EdfInputFile& file, int signal, double inputRate,
                                   double microvoltsPerUnit)
    : file_(&file), signal_(signal), ratio_(rates::Output / inputRate), scale_(microvoltsPerUnit),
      raw_(Chunk), input_(Chunk), output_(Chunk) {
    rates::check(inputRate, "signal " + std::to_string(signal));
    int error = 0;
    state_ = src_callback_new(&ChannelResampler::supply, SRC_SINC_MEDIUM_QUALITY, 1, &error, this);
    if (state_ == nullptr)
        throw std::runtime_error(std::string("resampler: ") + src_strerror(error));
}

ChannelResampler::~ChannelResampler() {
    src_delete(state_);
}

long ChannelResampler::supply(void* self, float** data) {
    auto& resampler = *static_cast<ChannelResampler*>(self);
    const int read = resampler.file_->readPhysical(resampler.signal_, resampler.position_,
                                                   resampler.raw_.data(), static_cast<int>(Chunk));
    if (read <= 0)
        return 0;
    for (int i = 0; i < read; ++i)
        resampler.input_[i] = static_cast<float>(resampler.raw_[i] * resampler.scale_);
    *data = resampler.input_.data();
    return read;
}

bool ChannelResampler::next(double& microvolts) {
    if (outputNext_ == outputCount_) {
        if (ended_)
            return false;
        const long made =
            src_callback_read(state_, ratio_, static_cast<long>(Chunk), output_.data());
        if (made <= 0) {
            ended_ = true;
            return false;
        }
        outputCount_ = static_cast<std::size_t>(made);
        outputNext_ = 0;
    }
    microvolts = output_[outputNext_++];
    return true;
}

void ChannelResampler::rewind() {
    position_ = 0;
    src_reset(state_);
    outputCount_ = 0;
    outputNext_ = 0;
    ended_ = false;
}

} // namespace solvane::dsusim
