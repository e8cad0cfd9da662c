// The GUI-free core fed a day of packets as fast as it takes them: 256 packets per second
// for 24 hours through PacketAnalysis::draw (contact monitor, blocks, spectra, AVE output)
// with four active channel slots. The resident memory is read from /proc/self/statm after
// every simulated hour and must not grow after the first; the operator new calls are
// counted too, and after the first hour there must be none. Run by scripts/soak, not by the
// test command. Usage: core_soak [hours]

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "checked/RunTimeError.h"
#include "config/Settings.h"
#include "support/NullOutputs.h"
#include "support/RecordingOutputs.h"
#include "support/RunSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace {
uint64_t allocations = 0; // operator new calls so far
} // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using namespace solvane;

class RepaintCountingMap : public testing::NoMap {
public:
    void repaintNow() override { ++repaints; }
    uint64_t repaints = 0;
};

// Read without the C library's buffered files, whose buffers would be allocated on every
// sample and show up as growth under the sanitizers' allocator.
long residentKiB() {
    char text[128] = {};
    const int fd = ::open("/proc/self/statm", O_RDONLY);
    if (fd < 0)
        return -1;
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length <= 0)
        return -1;
    char* end = nullptr;
    std::strtol(text, &end, 10); // total size, not needed
    const long resident = std::strtol(end, nullptr, 10);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// EEG-like 10-bit samples: two rhythms whose strength drifts between the channels, noise,
// and now and then a few seconds of a railing electrode; deterministic.
class PacketSource {
public:
    void next(int32_t (&packet)[8]) {
        const double t = static_cast<double>(n_) / 256.0;
        const double drift = std::sin(2.0 * M_PI * t / 600.0);
        for (int element = 0; element < 8; ++element) {
            const double alpha = (40.0 + 25.0 * drift * (element % 2 == 0 ? 1 : -1)) *
                                 std::sin(2.0 * M_PI * 10.0 * t + element);
            const double beta = 12.0 * std::sin(2.0 * M_PI * 21.0 * t + 2.0 * element);
            const double value = 512.0 + alpha + beta + 30.0 * noise();
            packet[element] =
                static_cast<int32_t>(std::lround(std::fmin(1023.0, std::fmax(0.0, value))));
        }
        // A loose electrode on element 4 for 3 s of every 5 minutes.
        if (n_ % (256 * 300) < 256 * 3)
            packet[4] = 1023;
        ++n_;
    }

private:
    double noise() {
        random_ ^= random_ << 13;
        random_ ^= random_ >> 7;
        random_ ^= random_ << 17;
        return static_cast<double>(random_ % 20001) / 10000.0 - 1.0;
    }
    uint64_t n_ = 0;
    uint64_t random_ = 0x9E3779B97F4A7C15ULL;
};

} // namespace

int main(int argc, char* argv[]) {
    const long hours = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 24;
    constexpr uint64_t PacketsPerHour = 256ULL * 3600;

    Settings day = testing::runSettings(1, 5, 9, 13);
    RepaintCountingMap map;
    testing::CountingSink sink;
    PacketAnalysis analysis(day, map, sink);
    analysis.ApplyChannelSelection();

    PacketSource source;
    int32_t packet[8] = {};
    uint64_t packets = 0;
    long firstHour = 0;
    uint64_t allocationsAfterFirstHour = 0;
    long highest = 0;
    // Printed only at the end: printing during the run would allocate and measure itself.
    constexpr long MostHours = 1000;
    static long resident[MostHours + 1] = {};
    static double secondsAt[MostHours + 1] = {};
    // Touched before the start, so that filling them in is not counted as growth.
    for (long hour = 0; hour <= MostHours; ++hour) {
        resident[hour] = -1;
        secondsAt[hour] = -1.0;
    }
    const long start = residentKiB();
    const auto began = std::chrono::steady_clock::now();
    try {
        for (long hour = 1; hour <= hours && hour <= MostHours; ++hour) {
            for (uint64_t i = 0; i < PacketsPerHour; ++i) {
                source.next(packet);
                analysis.draw(packet);
            }
            packets += PacketsPerHour;
            resident[hour] = residentKiB();
            secondsAt[hour] =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            if (hour == 1) {
                firstHour = resident[hour];
                allocationsAfterFirstHour = allocations;
            }
            if (resident[hour] > highest)
                highest = resident[hour];
        }
    } catch (const std::exception& error) {
        std::printf("FAILED after %llu packets: %s\n", static_cast<unsigned long long>(packets),
                    error.what());
        return 1;
    }
    for (long hour = 1; hour <= hours && hour <= MostHours; ++hour)
        std::printf("hour %2ld: %llu packets, resident %ld KiB, %.1f s\n", hour,
                    static_cast<unsigned long long>(hour * PacketsPerHour), resident[hour],
                    secondsAt[hour]);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%llu packets in %.1f s (%.0f packets per second), %llu AVE commands, %llu "
                "repaints\n",
                static_cast<unsigned long long>(packets), seconds,
                static_cast<double>(packets) / seconds, static_cast<unsigned long long>(sink.sent),
                static_cast<unsigned long long>(map.repaints));
    std::printf("resident memory: %ld KiB at start, %ld KiB after the first hour, %ld KiB at "
                "most after it\n",
                start, firstHour, highest);
    allocationsAfterFirstHour = allocations - allocationsAfterFirstHour;
    std::printf("allocations after the first hour: %llu\n",
                static_cast<unsigned long long>(allocationsAfterFirstHour));
    if (allocationsAfterFirstHour != 0) {
        std::printf("FAILED: the core allocated after the first hour\n");
        return 1;
    }
    if (highest > firstHour) {
        std::printf("FAILED: the resident memory grew after the first hour\n");
        return 1;
    }
    std::printf("flat: no growth after the first hour\n");
    return 0;
}
