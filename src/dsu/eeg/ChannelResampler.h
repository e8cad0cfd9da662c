#pragma once
// One signal of an open recording, read in physical units, converted to microvolts and
// resampled to 256 Hz with libsamplerate. Buffers are allocated once; next() allocates
// nothing.

#include <samplerate.h>

#include <cstddef>
#include <vector>

namespace solvane::dsusim {

class ChannelResampler {
public:
    /// `handle` and `signal` name the signal in EDFlib; `inputRate` is its rate (Hz) and
    /// `microvoltsPerUnit` converts its physical values. Throws std::runtime_error when the
    /// resampler cannot be made.
    ChannelResampler(int handle, int signal, double inputRate, double microvoltsPerUnit);
    ~ChannelResampler();
    ChannelResampler(const ChannelResampler&) = delete;
    ChannelResampler& operator=(const ChannelResampler&) = delete;

    static constexpr double OutputRate = 256.0; ///< Hz

    /// The next output sample in microvolts; false at the end of the signal.
    bool next(double& microvolts);
    /// Back to the start of the signal.
    void rewind();

private:
    static long supply(void* self, float** data);

    static constexpr std::size_t Chunk = 256; ///< samples read or resampled at a time

    int handle_;
    int signal_;
    double ratio_; ///< output rate / input rate
    double scale_; ///< microvolts per physical unit
    SRC_STATE* state_ = nullptr;
    std::vector<double> raw_;   ///< physical values as read
    std::vector<float> input_;  ///< microvolts handed to the resampler
    std::vector<float> output_; ///< resampled microvolts
    std::size_t outputCount_ = 0;
    std::size_t outputNext_ = 0;
    bool ended_ = false;
};

} // namespace solvane::dsusim
