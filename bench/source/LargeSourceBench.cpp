// InitialiseDSU on a 2 GB source (sparse, so that it costs no disk): a file that is no
// recording, a recording whose header gives an infinite physical range, and a valid recording
// (the header of one in data/eeg, its record count raised to fill 2 GB). Each must be judged
// within 0.2 s and without memory growing with the file: the counter maxrss_growth_kB is how
// far the process's peak resident size rose over all iterations.

#include "dsu/device/SimulatedDsu.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using solvane::dsusim::SimulatedDsu;
using solvane::testing::TempFolder;

constexpr std::uintmax_t LargeBytes = std::uintmax_t{2} << 30;

long maxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void overwrite(const std::filesystem::path& file, std::size_t at, const std::string& text) {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// A copy of a recording of data/eeg whose record count is raised to fill LargeBytes, the
// added records sparse (zero).
void writeLargeRecording(const std::filesystem::path& file) {
    const auto original = std::filesystem::path(SOLVANE_EEG_RECORDINGS) / "eegmat_Subject00_1.edf";
    std::filesystem::copy_file(original, file);
    std::ifstream in(file, std::ios::binary);
    std::string head(256, ' ');
    in.read(head.data(), 256);
    const std::uintmax_t headerBytes = std::stoull(head.substr(184, 8));
    const std::uintmax_t records = std::stoull(head.substr(236, 8));
    const std::uintmax_t recordBytes = (std::filesystem::file_size(file) - headerBytes) / records;
    const std::uintmax_t large = (LargeBytes - headerBytes) / recordBytes;
    std::string count = std::to_string(large);
    count.resize(8, ' ');
    overwrite(file, 236, count);
    std::filesystem::resize_file(file, headerBytes + large * recordBytes);
}

void initialiseOn(benchmark::State& state, const std::string& name, int32_t expected,
                  void (*prepare)(const std::filesystem::path&)) {
    TempFolder folder;
    const auto source = folder.path() / name;
    prepare(source);
    folder.write("dsu-simulator.ini", "[Simulator]\nSource = " + source.string() +
                                          "\nChannels = O1, O2, P3, P4\nSound = off\n");
    const long before = maxResidentKilobytes();
    for (auto _ : state) {
        SimulatedDsu dsu(folder.path());
        const int32_t status = dsu.initialise();
        if (status != expected) {
            state.SkipWithError(("InitialiseDSU gave " + std::to_string(status)).c_str());
            break;
        }
        dsu.terminate("bench.SES");
    }
    state.counters["file_MB"] =
        static_cast<double>(std::filesystem::file_size(source)) / (1024.0 * 1024.0);
    state.counters["maxrss_growth_kB"] = static_cast<double>(maxResidentKilobytes() - before);
}

void RefuseLargeNonRecording(benchmark::State& state) {
    initialiseOn(state, "junk.edf", -104, [](const std::filesystem::path& file) {
        std::ofstream(file, std::ios::binary) << "not a recording";
        std::filesystem::resize_file(file, LargeBytes);
    });
}
BENCHMARK(RefuseLargeNonRecording)->Unit(benchmark::kMillisecond);

void RefuseLargeRecordingWithInfiniteRange(benchmark::State& state) {
    initialiseOn(state, "infinite.edf", -129, [](const std::filesystem::path& file) {
        writeLargeRecording(file);
        // The physical maximum of the first signal (22 signals in the header).
        overwrite(file, 256 + 112 * 22, "9e99999 ");
    });
}
BENCHMARK(RefuseLargeRecordingWithInfiniteRange)->Unit(benchmark::kMillisecond);

void AcceptLargeRecording(benchmark::State& state) {
    initialiseOn(state, "large.edf", 0, writeLargeRecording);
}
BENCHMARK(AcceptLargeRecording)->Unit(benchmark::kMillisecond);

} // namespace
