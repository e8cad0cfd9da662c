#include "CytonEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace solvane::testing {

namespace {
constexpr double MicrovoltsPerCount = 4.5 / 24.0 / 8388607.0 * 1e6;
constexpr const char* BannerBoard =
    "OpenBCI V3 8-16 channel\r\nOn Board ADS1299 Device ID: 0x3E\r\n";
constexpr const char* BannerDaisy = "On Daisy ADS1299 Device ID: 0x3E\r\n";
constexpr const char* BannerEnd = "LIS3DH Device ID: 0x33\r\nFirmware: v3.1.2\r\n$$$";
} // namespace

CytonEmulator::CytonEmulator(Options options) : options_(options) {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    device_ = name;
    times_.reserve(1 << 17); // sending allocates nothing (for the allocation test)
    thread_ = std::thread([this] { answer(); });
}

CytonEmulator::~CytonEmulator() {
    hangUp();
}

double CytonEmulator::microvolts(int channel, uint64_t sample, bool daisy) {
    const double rate = daisy ? 125.0 : 250.0;
    return amplitude(channel) *
           std::sin(2.0 * std::numbers::pi * Frequency * static_cast<double>(sample) / rate);
}

void CytonEmulator::writeAll(const uint8_t* data, std::size_t size) {
    while (size > 0 && master_ >= 0) {
        const ssize_t put = ::write(master_, data, size);
        if (put < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
}

void CytonEmulator::packet(uint8_t* bytes, int half) {
    bytes[0] = 0xA0;
    bytes[1] = number_++;
    for (int c = 0; c < 8; ++c) {
        const auto value = static_cast<int32_t>(
            std::lround(microvolts(c + 8 * half, sample_, options_.daisy) / MicrovoltsPerCount));
        const auto raw = static_cast<uint32_t>(value);
        bytes[2 + 3 * c] = static_cast<uint8_t>(raw >> 16);
        bytes[3 + 3 * c] = static_cast<uint8_t>(raw >> 8);
        bytes[4 + 3 * c] = static_cast<uint8_t>(raw);
    }
    for (int a = 26; a < 32; ++a)
        bytes[a] = 0;
    bytes[32] = 0xC0;
}

void CytonEmulator::send(int samples) {
    const std::lock_guard lock(mutex_);
    for (int s = 0; s < samples; ++s) {
        uint8_t bytes[33];
        if (options_.daisy) {
            // Odd sample numbers carry channels 1..8, the even one after it 9..16.
            if ((number_ & 1) == 0)
                ++number_;
            packet(bytes, 0);
            writeAll(bytes, sizeof bytes);
            packet(bytes, 1);
            writeAll(bytes, sizeof bytes);
        } else {
            packet(bytes, 0);
            writeAll(bytes, sizeof bytes);
        }
        times_.push_back(std::chrono::steady_clock::now());
        ++sample_;
    }
}

void CytonEmulator::lose(int packets) {
    const std::lock_guard lock(mutex_);
    for (int p = 0; p < packets; ++p) {
        ++number_;
        if (!options_.daisy || (number_ & 1) != 0)
            ++sample_;
    }
}

void CytonEmulator::garbage(const std::vector<uint8_t>& bytes) {
    const std::lock_guard lock(mutex_);
    writeAll(bytes.data(), bytes.size());
}

void CytonEmulator::dropBytes(int count) {
    const std::lock_guard lock(mutex_);
    uint8_t bytes[33];
    packet(bytes, 0);
    ++sample_;
    writeAll(bytes + count, sizeof bytes - static_cast<std::size_t>(count));
}

void CytonEmulator::hangUp() {
    // The board's thread lets go of the master side first, so that closing it hangs up.
    quit_ = true;
    if (thread_.joinable())
        thread_.join();
    const std::lock_guard lock(mutex_);
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = -1;
    slave_ = -1;
}

std::string CytonEmulator::commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::chrono::steady_clock::time_point> CytonEmulator::writeTimes() const {
    const std::lock_guard lock(mutex_);
    return times_;
}

void CytonEmulator::answer() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point streamStart;
    uint64_t paced = 0;
    while (!quit_) {
        int fd = -1;
        {
            const std::lock_guard lock(mutex_);
            fd = master_;
        }
        if (fd < 0)
            return;
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, options_.paced && streaming_ ? 1 : 10) > 0 &&
            (wait.revents & POLLIN) != 0) {
            char command[64];
            const ssize_t got = ::read(fd, command, sizeof command);
            for (ssize_t i = 0; i < got; ++i) {
                {
                    const std::lock_guard lock(mutex_);
                    commands_ += command[i];
                }
                if (command[i] == 'v') {
                    streaming_ = false;
                    if (options_.banner) {
                        const std::string banner = std::string(BannerBoard) +
                                                   (options_.daisy ? BannerDaisy : "") + BannerEnd;
                        const std::lock_guard lock(mutex_);
                        writeAll(reinterpret_cast<const uint8_t*>(banner.data()), banner.size());
                    }
                } else if (command[i] == 'b') {
                    streaming_ = true;
                    streamStart = Clock::now();
                    paced = 0;
                } else if (command[i] == 's') {
                    streaming_ = false;
                }
            }
        }
        if (options_.paced && streaming_) {
            const double elapsed =
                std::chrono::duration<double>(Clock::now() - streamStart).count();
            const auto due = static_cast<uint64_t>(elapsed * (options_.daisy ? 125.0 : 250.0));
            for (; paced < due; ++paced)
                send(1);
        }
    }
}

} // namespace solvane::testing
