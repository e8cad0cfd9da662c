#include "DsuSimSupport.h"
#include "support/DirectDft.h"

#include <edflib.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace solvane::testing {

std::filesystem::path eegRecordings() {
    return SOLVANE_EEG_RECORDINGS;
}

void writeTestRecording(const std::filesystem::path& path, int rate, int seconds,
                        const std::vector<TestSignal>& signals, bool bdf) {
    const int count = static_cast<int>(signals.size());
    const int handle = edfopen_file_writeonly(
        path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS, count);
    const int digitalMaximum = bdf ? 8388607 : 32767;
    if (handle < 0)
        throw std::runtime_error("cannot create " + path.string());
    for (int s = 0; s < count; ++s) {
        const TestSignal& signal = signals[static_cast<std::size_t>(s)];
        edf_set_samplefrequency(handle, s, rate);
        edf_set_physical_maximum(handle, s, signal.range);
        edf_set_physical_minimum(handle, s, -signal.range);
        edf_set_digital_maximum(handle, s, digitalMaximum);
        edf_set_digital_minimum(handle, s, -digitalMaximum - 1);
        edf_set_label(handle, s, signal.label.c_str());
        edf_set_physical_dimension(handle, s, signal.unit.c_str());
    }
    std::vector<double> record(static_cast<std::size_t>(rate * count));
    for (int second = 0; second < seconds; ++second) {
        for (int s = 0; s < count; ++s) {
            const TestSignal& signal = signals[static_cast<std::size_t>(s)];
            for (int i = 0; i < rate; ++i) {
                const double t = second + static_cast<double>(i) / rate;
                record[static_cast<std::size_t>(s * rate + i)] =
                    signal.amplitude * std::sin(2.0 * std::numbers::pi * signal.frequency * t);
            }
        }
        if (edf_blockwrite_physical_samples(handle, record.data()) != 0)
            throw std::runtime_error("cannot write " + path.string());
    }
    edfclose_file(handle);
}

std::array<double, 50> blockSpectrum(const std::vector<int32_t>& block) {
    const int n = static_cast<int>(block.size());
    std::vector<double> interleaved(2 * block.size());
    for (std::size_t t = 0; t < block.size(); ++t)
        interleaved[2 * t] = block[t];
    const auto transform = directDft(interleaved, n, 50);
    std::array<double, 50> spectrum{};
    for (std::size_t k = 0; k < spectrum.size(); ++k)
        spectrum[k] = static_cast<double>(2.0L * std::abs(transform[k]) / n);
    return spectrum;
}

int peakBin(const std::array<double, 50>& spectrum) {
    int best = 1;
    for (int k = 2; k <= 35; ++k)
        if (spectrum[static_cast<std::size_t>(k)] > spectrum[static_cast<std::size_t>(best)])
            best = k;
    return best;
}

} // namespace solvane::testing
