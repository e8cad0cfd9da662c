// The fourteen C entry points of our libkardemo.so, forwarding to the simulated DSU. No
// exception leaves the library: a failure becomes a negative status.

#include "device/kardemo.h"
#include "dsu/device/SimulatedDsu.h"

#include <optional>
#include <string>
#include <string_view>

#define KARDEMO_EXPORT extern "C" __attribute__((visibility("default")))

using solvane::dsusim::SimulatedDsu;

namespace {

// Read by the set-up from the library's file (see SimulatedDsu::CheckSection).
[[gnu::used, gnu::section(".solvane_dsu")]] const char CheckProtocol[] = "check 1";
static_assert(std::string_view(".solvane_dsu") == SimulatedDsu::CheckSection);

constexpr int32_t Failed = -1;

SimulatedDsu& dsu() {
    return SimulatedDsu::instance();
}
std::string number(int32_t value) {
    return std::to_string(value);
}

template <typename Call> int32_t guarded(Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return Failed;
    }
}

} // namespace

KARDEMO_EXPORT int32_t SetDebugMode(int32_t* /*one*/, int32_t mode, char* debugFile) {
    return guarded([&] {
        dsu().setDebugMode(mode, debugFile);
        return 0;
    });
}

KARDEMO_EXPORT int32_t SetRecordingLength(int32_t length) {
    return guarded([&] {
        dsu().logCall("SetRecordingLength(" + number(length) + ")");
        return 0;
    });
}

KARDEMO_EXPORT int32_t ReadDelay(int32_t delay) {
    return guarded([&] {
        dsu().logCall("ReadDelay(" + number(delay) + ")");
        return 0;
    });
}

KARDEMO_EXPORT int32_t SetDataTransferMode(int32_t mode, char* text1, char* text2) {
    return guarded([&] {
        const bool check = text1 != nullptr && text2 != nullptr &&
                           std::string_view(text2) == SimulatedDsu::CheckMarker;
        dsu().logCall("SetDataTransferMode(" + number(mode) + ")" +
                      (check ? ": the configuration of a check" : ""));
        dsu().setCheckConfiguration(check ? std::optional<std::string>(text1) : std::nullopt);
        return 0;
    });
}

KARDEMO_EXPORT int32_t SetDSUBaudRate(int32_t* /*one*/, int32_t baudCode) {
    return guarded([&] {
        dsu().logCall("SetDSUBaudRate(" + number(baudCode) + ")");
        return 0;
    });
}

KARDEMO_EXPORT int32_t SetDSUPacketLength(int32_t* /*one*/, int32_t length) {
    return guarded([&] {
        dsu().logCall("SetDSUPacketLength(" + number(length) + ")");
        return 0;
    });
}

KARDEMO_EXPORT int32_t SetComPorts(int32_t* /*one*/, int32_t first, int32_t second, int32_t port) {
    return guarded([&] {
        dsu().logCall("SetComPorts(" + number(first) + ", " + number(second) + ", " + number(port) +
                      ")");
        return dsu().setComPort(port);
    });
}

KARDEMO_EXPORT int32_t SetScanWaitTime(int32_t* /*one*/, int32_t waitTime) {
    return guarded([&] {
        dsu().logCall("SetScanWaitTime(" + number(waitTime) + ")");
        return 0;
    });
}

KARDEMO_EXPORT int32_t InitialiseDSU(int32_t* /*one*/) {
    return guarded([] { return dsu().initialise(); });
}

KARDEMO_EXPORT int32_t GetP3Data(int32_t* packet, int32_t elements, int32_t* /*one*/,
                                 int32_t* packetCount, int32_t* /*reserved*/) {
    return guarded([&] { return dsu().poll(packet, elements, packetCount); });
}

KARDEMO_EXPORT int32_t ActiveComPort(int32_t* /*one*/) {
    return guarded([] {
        const int32_t port = dsu().activeComPort();
        dsu().logCall("ActiveComPort: " + number(port));
        return port;
    });
}

KARDEMO_EXPORT int32_t TerminateDSU(int32_t /*first*/, int32_t /*second*/, char* sessionFile) {
    return guarded([&] { return dsu().terminate(sessionFile); });
}

KARDEMO_EXPORT int32_t SendCommandToDSU(char* command, int32_t length) {
    return guarded([&] { return dsu().sendCommand(command, length); });
}

KARDEMO_EXPORT int32_t ListActiveCOMPorts(int32_t* ports) {
    return guarded([&] { return dsu().listPorts(ports); });
}
