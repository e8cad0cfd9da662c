#include "BoardEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

namespace solvane::testing {

namespace {
constexpr double CytonMicrovoltsPerCount = 4.5 / 24.0 / 8388607.0 * 1e6;
constexpr const char* BannerBoard =
    "OpenBCI V3 8-16 channel\r\nOn Board ADS1299 Device ID: 0x3E\r\n";
constexpr const char* BannerDaisy = "On Daisy ADS1299 Device ID: 0x3E\r\n";
constexpr const char* BannerEnd = "LIS3DH Device ID: 0x33\r\nFirmware: v3.1.2\r\n$$$";
} // namespace

BoardEmulator::BoardEmulator(Options options) : options_(options) {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    device_ = name;
    // Raw from the start, as a serial line is: a cooked terminal would echo what the board
    // sends before its port is set up.
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    times_.reserve(1 << 17); // sending allocates nothing (for the allocation test)
    const bool openEeg = options_.protocol == Protocol::OpenEeg;
    // An OpenEEG board streams from power-on; its first packet waits in the port.
    if (openEeg && options_.answers && !options_.paced)
        send(1);
    streaming_ = openEeg && options_.answers && options_.paced;
    thread_ = std::thread([this] { answer(); });
}

BoardEmulator::~BoardEmulator() {
    hangUp();
}

double BoardEmulator::rate() const {
    if (options_.protocol == Protocol::OpenEeg)
        return 256.0;
    return options_.daisy ? 125.0 : 250.0;
}

int BoardEmulator::channels() const {
    if (options_.protocol == Protocol::OpenEeg)
        return 6;
    return options_.daisy ? 16 : 8;
}

double BoardEmulator::microvolts(int channel, uint64_t sample) const {
    return amplitude(channel) *
           std::sin(2.0 * std::numbers::pi * Frequency * static_cast<double>(sample) / rate());
}

void BoardEmulator::writeAll(const uint8_t* data, std::size_t size) {
    while (size > 0 && master_ >= 0) {
        const ssize_t put = ::write(master_, data, size);
        if (put < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
        written_ += static_cast<uint64_t>(put);
    }
}

std::size_t BoardEmulator::packet(uint8_t* bytes, int half) {
    const std::size_t size = packetBytes(bytes, half);
    bytes[damageAt_] ^= damage_;
    damage_ = 0;
    return size;
}

std::size_t BoardEmulator::packetBytes(uint8_t* bytes, int half) {
    const uint8_t number = number_++;
    if (options_.protocol == Protocol::OpenEeg) {
        bytes[0] = 0xA5;
        bytes[1] = 0x5A;
        bytes[2] = options_.version;
        bytes[3] = number;
        for (int c = 0; c < 6; ++c) {
            const long value =
                512 + std::lround(microvolts(c, sample_) / OpenEegMicrovoltsPerCount);
            bytes[4 + 2 * c] = static_cast<uint8_t>(value >> 8);
            bytes[5 + 2 * c] = static_cast<uint8_t>(value);
        }
        bytes[16] = 0;
        return 17;
    }
    bytes[0] = 0xA0;
    bytes[1] = number;
    for (int c = 0; c < 8; ++c) {
        const auto value = static_cast<int32_t>(
            std::lround(microvolts(c + 8 * half, sample_) / CytonMicrovoltsPerCount));
        const auto raw = static_cast<uint32_t>(value);
        bytes[2 + 3 * c] = static_cast<uint8_t>(raw >> 16);
        bytes[3 + 3 * c] = static_cast<uint8_t>(raw >> 8);
        bytes[4 + 3 * c] = static_cast<uint8_t>(raw);
    }
    for (int a = 26; a < 32; ++a)
        bytes[a] = 0;
    bytes[32] = 0xC0;
    return 33;
}

void BoardEmulator::send(int samples) {
    const std::lock_guard lock(mutex_);
    sendLocked(samples);
}

void BoardEmulator::sendLocked(int samples) {
    for (int s = 0; s < samples; ++s) {
        uint8_t bytes[33];
        times_.push_back(std::chrono::steady_clock::now());
        if (options_.daisy) {
            // Odd sample numbers carry channels 1..8, the even one after it 9..16.
            if ((number_ & 1) == 0)
                ++number_;
            writeAll(bytes, packet(bytes, 0));
            writeAll(bytes, packet(bytes, 1));
        } else {
            writeAll(bytes, packet(bytes, 0));
        }
        ++sample_;
    }
}

void BoardEmulator::lose(int packets) {
    const std::lock_guard lock(mutex_);
    for (int p = 0; p < packets; ++p) {
        ++number_;
        if (!options_.daisy || (number_ & 1) != 0)
            ++sample_;
    }
}

void BoardEmulator::damage(std::size_t at, uint8_t mask) {
    const std::lock_guard lock(mutex_);
    damageAt_ = at;
    damage_ = mask;
}

void BoardEmulator::garbage(const std::vector<uint8_t>& bytes) {
    const std::lock_guard lock(mutex_);
    writeAll(bytes.data(), bytes.size());
}

void BoardEmulator::falseFrames(int count, uint32_t seed) {
    const std::lock_guard lock(mutex_);
    std::mt19937 random(seed);
    for (int f = 0; f < count; ++f) {
        uint8_t bytes[33];
        const uint8_t keep = number_;
        const std::size_t size = packetBytes(bytes, 0);
        number_ = keep;
        for (std::size_t b = options_.protocol == Protocol::OpenEeg ? 3 : 1; b + 1 < size; ++b)
            bytes[b] = static_cast<uint8_t>(random());
        writeAll(bytes, size);
    }
}

void BoardEmulator::dropBytes(int count) {
    const std::lock_guard lock(mutex_);
    uint8_t bytes[33];
    const std::size_t size = packet(bytes, 0);
    ++sample_;
    writeAll(bytes + count, size - static_cast<std::size_t>(count));
}

void BoardEmulator::hangUp() {
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

uint64_t BoardEmulator::samples() const {
    const std::lock_guard lock(mutex_);
    return sample_;
}

uint64_t BoardEmulator::written() const {
    const std::lock_guard lock(mutex_);
    return written_;
}

std::string BoardEmulator::commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::chrono::steady_clock::time_point> BoardEmulator::writeTimes() const {
    const std::lock_guard lock(mutex_);
    return times_;
}

void BoardEmulator::answer() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point streamStart = Clock::now();
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
                const std::lock_guard lock(mutex_);
                commands_ += command[i];
                if (options_.protocol == Protocol::OpenEeg)
                    continue;
                if (command[i] == 'v') {
                    streaming_ = false;
                    if (options_.answers) {
                        const std::string banner = std::string(BannerBoard) +
                                                   (options_.daisy ? BannerDaisy : "") + BannerEnd;
                        writeAll(reinterpret_cast<const uint8_t*>(banner.data()), banner.size());
                        written_ = 0; // the count starts with the stream
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
            const auto due = static_cast<uint64_t>(elapsed * rate());
            for (; paced < due; ++paced)
                send(1);
        }
    }
}

} // namespace solvane::testing
