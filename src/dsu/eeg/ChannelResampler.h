#pragma once
// One signal of an open recording, read in physical units, converted to microvolts and
// resampled to 256 Hz with libsamplerate's sinc converter, whose long filter (and its delay)
// costs a replay nothing. Buffers are allocated once; next() allocates nothing.

#include <samplerate.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace solvane::dsusim {

class EdfInputFile;

class ChannelResampler {
public:
    /// `signal` of `file` (which must outlive the resampler); `inputRate` is its rate (Hz) and
    /// `microvoltsPerUnit` converts its physical values. Each resampler reads from its own
    /// position, so two may share a signal. Throws std::runtime_error when the resampler
    /// cannot be made.
    ChannelResampler(EdfInputFile& file, int signal, double inputRate, double microvoltsPerUnit);
    ~ChannelResampler();
    ChannelResampler(const ChannelResampler&) = delete;
    ChannelResampler& operator=(const ChannelResampler&) = delete;

    /// The next output sample in microvolts; false at the end of the signal.
    bool next(double& microvolts);
    /// Back to the start of the signal.
    void rewind();

private:
    static long supply(void* self, float** data);

    static constexpr std::size_t Chunk = 256; ///< samples read or resampled at a time

    EdfInputFile* file_;
    int signal_;
    int64_t position_ = 0; ///< the next sample of the signal to read
    double ratio_;         ///< output rate / input rate
    double scale_;         ///< microvolts per physical unit
    SRC_STATE* state_ = nullptr;
    std::vector<double> raw_;   ///< physical values as read
    std::vector<float> input_;  ///< microvolts handed to the resampler
    std::vector<float> output_; ///< resampled microvolts
    std::size_t outputCount_ = 0;
    std::size_t outputNext_ = 0;
    bool ended_ = false;
};

} // namespace solvane::dsusim
