#include "SpectralAnalysis.h"

#include "checked/Checked.h"

#include <cfloat>
#include <cmath>
#include <string>

namespace solvane {

namespace {

constexpr const char* Where = "drawThePieChartsAndGenerateTones";

// Packet element read by each channel slot.
constexpr int SlotElement[4] = {0, 4, 1, 5};

constexpr int TransformPoints = 256;
constexpr int SpectrumBins = 50;
constexpr int16_t FirstTotalBin = 1;
constexpr int16_t LastTotalBin = 35;

// A double narrowed to single precision, checked first: a value beyond the single range does
// not round to anything (and converting it would be undefined).
float toSingle(double value, const char* where) {
    checked::result(value, where);
    if (std::fabs(value) > static_cast<double>(FLT_MAX))
        checked::throwFloatFault(where, HUGE_VAL);
    return static_cast<float>(value);
}

} // namespace

SpectralAnalysis::SpectralAnalysis(const Settings& sharedSettings,
                                   const ChannelSelection& selection, AnalysisState& state)
    : settings_(sharedSettings), selection_(selection), state_(state) {}

bool SpectralAnalysis::takePacket(const Packet& nChannels) {
    // The settings file refuses such a rate at load; a rate set any other way must not
    // outgrow the sample rows or the transform.
    if (settings_.DSUSampleRate < 1 || settings_.DSUSampleRate > FFTX1::MaxPoints)
        throw RunTimeError(RunTimeErrorKind::BadSetting, "DSUSampleRate",
                           "DSUSampleRate is " + std::to_string(settings_.DSUSampleRate) +
                               "; it must lie in 1..256");
    if (state_.SampleCount < settings_.DSUSampleRate) {
        storePacket(nChannels);
        return false;
    }
    analyseBlock();
    return true;
}

void SpectralAnalysis::storePacket(const Packet& nChannels) {
    const int16_t row = state_.SampleCount;
    for (int slot = 0; slot < 4; ++slot)
        checked::at(state_.SampleBuffer[slot], row, Where) =
            checked::to16(nChannels[SlotElement[slot]], Where);
    state_.SampleCount = checked::to16(row + 1L, Where);
}

void SpectralAnalysis::analyseBlock() {
    for (int slot = 0; slot < 4; ++slot)
        if (selection_.ChannelMap[slot] != 0)
            analyseSlot(slot);
}

void SpectralAnalysis::analyseSlot(int slot) {
    // All 256 points are filled whatever the block length; an N-point transform reads only
    // the first N of them.
    const int16_t(&samples)[257] = state_.SampleBuffer[slot];
    for (int i = 0; i < TransformPoints; ++i) {
        state_.FFTData[2 * i] = samples[i];
        state_.FFTData[2 * i + 1] = 0.0;
    }
    const int32_t n = settings_.DSUSampleRate;
    FFTX1_.FFT(state_.FFTData[0], n);

    const double points = n;
    for (int k = 0; k < SpectrumBins; ++k) {
        const double re = state_.FFTData[2 * k];
        const double im = state_.FFTData[2 * k + 1];
        const double power = checked::result(
            checked::result(re * re, Where) + checked::result(im * im, Where), Where);
        const double twice = checked::result(2.0 * checked::result(std::sqrt(power), Where), Where);
        state_.Spectrum[k] = checked::divide(twice, points, Where);
    }
    state_.SampleCount = 0;
    state_.SlotTotal[slot] = SumSpectrum(FirstTotalBin, LastTotalBin, state_.Spectrum);
}

float SpectralAnalysis::SumSpectrum(int16_t first, int16_t last, const double (&values)[51]) {
    float sum = 0.0F;
    for (long i = first; i <= last; ++i)
        sum = toSingle(static_cast<double>(sum) + checked::at(values, i, "SumSpectrum"),
                       "SumSpectrum");
    return sum;
}

} // namespace solvane
