#pragma once
// Shared by the simulated DSU's tests: where the EEG recordings are, a writer of small
// test recordings, and the amplitude spectrum of a one-second block computed the way the
// program computes it (no window, mean kept, 2|X_k| / N).

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace solvane::testing {

/// The folder of the real EEG recordings in the source tree (data/eeg).
std::filesystem::path eegRecordings();

/// One signal of a test recording: a sine of `frequency` Hz and `amplitude` in `unit`.
struct TestSignal {
    std::string label;
    double frequency = 10.0; ///< Hz
    double amplitude = 0.0;  ///< peak, in `unit`
    std::string unit = "uV";
    double range = 200.0; ///< physical range +-range, in `unit`
};

/// Writes an EDF+ (or BDF+) file with EDFlib: each signal at `rate` Hz for `seconds` seconds.
void writeTestRecording(const std::filesystem::path& path, int rate, int seconds,
                        const std::vector<TestSignal>& signals, bool bdf = false);

/// Amplitudes of bins 0..49 of a block of 256 samples at 256 Hz (bin k at k Hz).
std::array<double, 50> blockSpectrum(const std::vector<int32_t>& block);

/// The bin of 1..35 with the largest amplitude.
int peakBin(const std::array<double, 50>& spectrum);

} // namespace solvane::testing
