#include "SimulatedDsu.h"

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

namespace solvane::dsusim {

namespace {

constexpr int32_t NoData = 1;
constexpr int32_t NotInitialised = -1;
constexpr int Centre = 512;
constexpr int Slots[4] = {0, 4, 1, 5};

int hexValue(const char* text, int digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

SimulatedDsu& SimulatedDsu::instance() {
    static SimulatedDsu dsu;
    return dsu;
}

std::filesystem::path SimulatedDsu::libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SimulatedDsu::libraryFolder), &info) != 0 &&
        info.dli_fname != nullptr)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

void SimulatedDsu::setDebugMode(int32_t mode, const char* debugFile) {
    if (debugLog_.is_open())
        debugLog_.close();
    if (mode == 1 && debugFile != nullptr)
        debugLog_.open(debugFile, std::ios::out | std::ios::trunc);
    logCall("SetDebugMode(" + std::to_string(mode) + ")");
}

void SimulatedDsu::logCall(const std::string& text) {
    if (debugLog_.is_open())
        debugLog_ << text << '\n' << std::flush;
}

int32_t SimulatedDsu::initialise() {
    initialised_ = true;
    start_ = Clock::now();
    delivered_ = 0;
    commands_.clear();
    logCall("InitialiseDSU: streaming 256 packets per second");
    return 0;
}

int32_t SimulatedDsu::poll(int32_t* packet, int32_t elements, int32_t* packetCount) {
    if (packetCount != nullptr)
        *packetCount = 0;
    if (!initialised_ || packet == nullptr || elements < Elements)
        return NotInitialised;

    auto due = [this] {
        const auto elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        return static_cast<uint64_t>(elapsed * PacketsPerSecond);
    };
    if (delivered_ >= due()) {
        // Wait up to 1 ms for the next packet rather than let the caller spin.
        const auto next = start_ + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(
                                           static_cast<double>(delivered_ + 1) / PacketsPerSecond));
        const auto limit = Clock::now() + std::chrono::milliseconds(1);
        std::this_thread::sleep_until(next < limit ? next : limit);
        if (delivered_ >= due())
            return NoData;
    }
    makePacket(packet);
    ++delivered_;
    if (packetCount != nullptr)
        *packetCount = 1;
    return 0;
}

double SimulatedDsu::noise() {
    // xorshift64*: deterministic, cheap
    random_ ^= random_ >> 12U;
    random_ ^= random_ << 25U;
    random_ ^= random_ >> 27U;
    const uint64_t r = random_ * 2685821657736338717ULL;
    return static_cast<double>(r >> 11U) / static_cast<double>(1ULL << 53U) * 2.0 - 1.0;
}

void SimulatedDsu::makePacket(int32_t* packet) {
    const double t = static_cast<double>(delivered_) / PacketsPerSecond;
    for (int e = 0; e < Elements; ++e)
        packet[e] = Centre;
    for (int slot = 0; slot < 4; ++slot) {
        const double alpha = 30.0 * std::sin(2.0 * std::numbers::pi * 10.0 * t + slot);
        const double value = Centre + alpha + 15.0 * noise();
        packet[Slots[slot]] = static_cast<int32_t>(std::lround(value));
    }
}

int32_t SimulatedDsu::sendCommand(const char* command, int32_t length) {
    if (command == nullptr || length != 6 || std::strlen(command) < 6)
        return -1;
    const std::string text(command, 6);
    commands_.push_back(text);
    logCall("SendCommandToDSU(" + text + ")");
    if (text.rfind("WB00", 0) == 0)
        output_.volume00 = hexValue(command + 4, 2);
    else if (text.rfind("WB01", 0) == 0)
        output_.volume01 = hexValue(command + 4, 2);
    else if (text.rfind("WE", 0) == 0)
        output_.baseFrequency = hexValue(command + 2, 4) - 32768;
    else if (text.rfind("WF", 0) == 0)
        output_.secondFrequency = hexValue(command + 2, 4) - 32768;
    else
        return -1;
    return 0;
}

int32_t SimulatedDsu::terminate(const char* sessionFile) {
    logCall("TerminateDSU: " + std::to_string(delivered_) + " packets delivered");
    if (sessionFile != nullptr && *sessionFile != '\0') {
        std::filesystem::path path(sessionFile);
        if (path.is_relative())
            path = libraryFolder() / path;
        std::ofstream session(path, std::ios::out | std::ios::trunc);
        session << "packets " << delivered_ << '\n';
        for (const std::string& command : commands_)
            session << "command " << command << '\n';
    }
    initialised_ = false;
    if (debugLog_.is_open())
        debugLog_.close();
    return 0;
}

int32_t SimulatedDsu::listPorts(int32_t* ports) {
    if (ports == nullptr)
        return -1;
    ports[0] = 1; // one virtual port, Com1
    return 0;
}

} // namespace solvane::dsusim
