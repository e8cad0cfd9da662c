#pragma once
// A serial EEG board on a pseudo-terminal, from the boards' public serial protocols. As an
// OpenBCI Cyton: 'v' resets it and it answers with its banner ending in "$$$" (naming the Daisy
// module when it has one), 'b' starts and 's' stops the stream of 33-byte packets. As an
// OpenEEG P2 board: it takes no commands and sends 17-byte packets (0xA5 0x5A, version,
// counter, six 10-bit channels high byte first, switches); its first packet comes as it is
// powered on. The packets carry a known signal (see microvolts()); they are sent when asked
// (send()) or, paced, at the board's rate while streaming. It can also lose samples, damage
// numbers, drop bytes, send garbage and hang up.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace solvane::testing {

class BoardEmulator {
public:
    enum class Protocol { Cyton, OpenEeg };
    struct Options {
        Protocol protocol = Protocol::Cyton;
        bool daisy = false;  ///< a Cyton with a Daisy module
        bool answers = true; ///< a Cyton answers 'v', an OpenEEG board sends at all
        bool paced = false;  ///< streams at its rate by itself
        uint8_t version = 2; ///< of an OpenEEG board's packets
    };
    explicit BoardEmulator(Options options);
    ~BoardEmulator();
    BoardEmulator(const BoardEmulator&) = delete;
    BoardEmulator& operator=(const BoardEmulator&) = delete;

    /// An OpenEEG board's scale, as MicrovoltsPerCount gives it.
    static constexpr double OpenEegMicrovoltsPerCount = 0.5;
    /// The known signal: channel c (0-based) is a 10 Hz sine of 10 (c + 1) uV.
    static constexpr double Frequency = 10.0;
    static double amplitude(int channel) { return 10.0 * (channel + 1); }
    [[nodiscard]] double microvolts(int channel, uint64_t sample) const;

    /// The device node the board is on (the pseudo-terminal's slave side).
    [[nodiscard]] const std::string& device() const { return device_; }
    /// The slave side, open here as long as the board is plugged in.
    [[nodiscard]] int slave() const { return slave_; }
    [[nodiscard]] double rate() const; ///< board samples per second
    [[nodiscard]] int channels() const;

    /// Sends the next `samples` board samples (with a Daisy two packets each).
    void send(int samples);
    /// Skips `packets` sample numbers (they are lost on the way).
    void lose(int packets);
    /// The next packet has its byte `at` XORed with `mask` (its number, its sync, version or
    /// end byte damaged); the numbers go on after it.
    void damage(std::size_t at, uint8_t mask);
    /// Sends `bytes` as they are.
    void garbage(const std::vector<uint8_t>& bytes);
    /// Sends `count` packets that look real but carry random numbers and values (`seed`).
    void falseFrames(int count, uint32_t seed);
    /// Sends the next packet without its first `count` bytes.
    void dropBytes(int count);
    /// Unplugs the board: the pseudo-terminal's master side closes.
    void hangUp();

    /// Board samples sent or lost: the board's own time times its rate.
    [[nodiscard]] uint64_t samples() const;
    /// Bytes sent after the banner.
    [[nodiscard]] uint64_t written() const;
    [[nodiscard]] bool streaming() const { return streaming_; }
    /// Every command byte the board has received.
    [[nodiscard]] std::string commands() const;
    /// Steady-clock time at which board sample k was written (paced streaming only).
    [[nodiscard]] std::vector<std::chrono::steady_clock::time_point> writeTimes() const;

private:
    void answer();
    void writeAll(const uint8_t* data, std::size_t size);
    /// The next packet into `bytes`: a Cyton's half 0 (channels 1..8) or 1; its size.
    std::size_t packet(uint8_t* bytes, int half);
    std::size_t packetBytes(uint8_t* bytes, int half);
    void sendLocked(int samples);

    Options options_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    mutable std::mutex mutex_; ///< guards writes, the counters and commands_
    std::string commands_;
    uint64_t sample_ = 0;      ///< next board sample
    uint8_t number_ = 1;       ///< next sample number on the wire
    std::size_t damageAt_ = 0; ///< byte of the next packet to damage
    uint8_t damage_ = 0;       ///< and its mask
    uint64_t written_ = 0;
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::atomic<bool> streaming_{false};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace solvane::testing
