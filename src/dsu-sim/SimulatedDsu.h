#pragma once
// The simulated DSU behind our libkardemo.so: packets of eight 10-bit samples at 256 packets
// per second in real time, at most one per poll, EEG-like content on the four channel
// elements (0, 4, 1, 5), the AVE output state kept from the commands it receives, a debug
// log of set-up, commands and shut-down, and a session file written at termination.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace solvane::dsusim {

class SimulatedDsu {
public:
    static constexpr int PacketsPerSecond = 256;
    static constexpr int Elements = 8;

    /// The one instance behind the C interface.
    static SimulatedDsu& instance();

    void setDebugMode(int32_t mode, const char* debugFile);
    void logCall(const std::string& text);
    void setComPort(int32_t port) { comPort_ = port; }
    [[nodiscard]] int32_t activeComPort() const { return comPort_; }
    int32_t initialise();
    /// Fills `packet` with the next packet if one is due (waiting up to 1 ms for it).
    int32_t poll(int32_t* packet, int32_t elements, int32_t* packetCount);
    int32_t sendCommand(const char* command, int32_t length);
    int32_t terminate(const char* sessionFile);
    int32_t listPorts(int32_t* ports);

    /// Output state as the commands left it.
    struct Output {
        int volume00 = 0;
        int volume01 = 0;
        int baseFrequency = 0;   ///< Hz
        int secondFrequency = 0; ///< Hz
    };
    [[nodiscard]] const Output& output() const { return output_; }

    /// The folder that holds the library file.
    static std::filesystem::path libraryFolder();

private:
    SimulatedDsu() = default;
    void makePacket(int32_t* packet);
    double noise();

    using Clock = std::chrono::steady_clock;
    bool initialised_ = false;
    Clock::time_point start_;
    uint64_t delivered_ = 0;
    uint64_t random_ = 0x2545F4914F6CDD1DULL;
    int32_t comPort_ = 0;
    std::ofstream debugLog_;
    Output output_;
    std::vector<std::string> commands_;
};

} // namespace solvane::dsusim
