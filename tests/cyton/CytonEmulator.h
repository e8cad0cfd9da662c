#pragma once
// An OpenBCI Cyton board on a pseudo-terminal, from the board's public serial protocol: 'v'
// resets it and it answers with its banner ending in "$$$" (naming the Daisy module when it
// has one), 'b' starts and 's' stops the stream of 33-byte packets. The packets carry a known
// signal (see microvolts()); they are sent when asked (send()) or, paced, at 250 packets per
// second while streaming. It can also lose samples, drop bytes, send garbage and hang up.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace solvane::testing {

class CytonEmulator {
public:
    struct Options {
        bool daisy = false;
        bool banner = true; ///< answers 'v' at all
        bool paced = false; ///< streams at 250 packets/s by itself
    };
    explicit CytonEmulator(Options options);
    ~CytonEmulator();
    CytonEmulator(const CytonEmulator&) = delete;
    CytonEmulator& operator=(const CytonEmulator&) = delete;

    /// The device node the board is on (the pseudo-terminal's slave side).
    [[nodiscard]] const std::string& device() const { return device_; }
    /// The slave side, open here as long as the board is plugged in.
    [[nodiscard]] int slave() const { return slave_; }

    /// The known signal: channel c (0-based) of board sample k is a 10 Hz sine of 10 (c + 1) uV
    /// at the board's rate (250 Hz, with a Daisy 125 Hz).
    static double microvolts(int channel, uint64_t sample, bool daisy);
    static constexpr double Frequency = 10.0;
    static double amplitude(int channel) { return 10.0 * (channel + 1); }

    /// Sends the next `samples` board samples (with a Daisy two packets each).
    void send(int samples);
    /// Skips `packets` sample numbers (they are lost on the radio link).
    void lose(int packets);
    /// Sends `bytes` as they are.
    void garbage(const std::vector<uint8_t>& bytes);
    /// Sends the next packet without its first `count` bytes.
    void dropBytes(int count);
    /// Unplugs the board: the pseudo-terminal's master side closes.
    void hangUp();

    [[nodiscard]] bool streaming() const { return streaming_; }
    /// Every command byte the board has received.
    [[nodiscard]] std::string commands() const;
    /// Steady-clock time at which board sample k was written (paced streaming only).
    [[nodiscard]] std::vector<std::chrono::steady_clock::time_point> writeTimes() const;

private:
    void answer();
    void writeAll(const uint8_t* data, std::size_t size);
    void packet(uint8_t* bytes, int half); ///< the next packet: half 0 (channels 1..8) or 1

    Options options_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    mutable std::mutex mutex_; ///< guards writes, the counters and commands_
    std::string commands_;
    uint64_t sample_ = 0; ///< next board sample
    uint8_t number_ = 1;  ///< next sample number on the wire
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::atomic<bool> streaming_{false};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace solvane::testing
