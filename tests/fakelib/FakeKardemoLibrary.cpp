// The tests' device library: a real libkardemo.so with the fourteen functions, answering from
// a script in "kardemo-script.ini" beside the library file, read when the library is loaded.
// Every call is appended with its arguments to "kardemo-calls.log" in the same folder, one
// line each, so that a test (or a person running the real program on it) sees what the
// program did and in which order. It stands for a working device and for one that misbehaves
// on purpose; built a second time without ListActiveCOMPorts (FAKE_KARDEMO_WITHOUT_PORT_LIST)
// it stands for a library that lacks a function. The script, section [Script]:
//   Status          status of every function (default 0)
//   <Function>      status of that one function, e.g. SetComPorts=0; ActiveComPort answers
//                   it as the port in use
//   PacketCount     count GetP3Data answers (default 1)
//   Sample          value of all eight elements of packet number SampleAtPacket (counted
//                   from 1, default 1); every other packet holds 512 in each element
//   PollDelay       milliseconds every GetP3Data blocks before it answers (default 0)
//   DataPolls       polls that bring data; later polls answer status 0, count 0 (default:
//                   all)
//   PortCount       what ListActiveCOMPorts answers (default 1); it fills all 501 slots with
//                   the port numbers 1..501
// A test in the same process reaches FakeKardemoSetPollHook through dlsym to be called at
// the end of every GetP3Data.

#include "config/ProfileFile.h"
#include "device/kardemo.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using solvane::ProfileFile;

std::filesystem::path libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) != 0 && info.dli_fname != nullptr)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

class Script {
public:
    Script() : folder_(libraryFolder()) {
        text_ = ProfileFile::readFile(folder_ / "kardemo-script.ini").value_or(std::string());
        log_ = std::fopen((folder_ / "kardemo-calls.log").c_str(), "a");
    }
    ~Script() {
        if (log_ != nullptr)
            std::fclose(log_);
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    [[nodiscard]] int32_t number(const char* key, int32_t otherwise) const {
        const std::optional<std::string> text = ProfileFile::findValue(text_, "Script", key);
        return text ? static_cast<int32_t>(std::strtol(text->c_str(), nullptr, 10)) : otherwise;
    }
    [[nodiscard]] int32_t status(const char* function) const {
        return number(function, number("Status", 0));
    }
    void log(const std::string& line) {
        if (log_ == nullptr)
            return;
        std::fputs((line + "\n").c_str(), log_);
        std::fflush(log_);
    }

    int64_t polls = 0;
    int64_t packets = 0;
    void (*pollHook)(int64_t poll, void* context) = nullptr;
    void* pollHookContext = nullptr;

private:
    std::filesystem::path folder_;
    std::string text_;
    std::FILE* log_ = nullptr;
};

Script& script() {
    static Script instance;
    return instance;
}

std::string n(int32_t value) {
    return std::to_string(value);
}

int32_t answer(const char* function, const std::string& arguments) {
    script().log(std::string(function) + "(" + arguments + ")");
    return script().status(function);
}

} // namespace

FAKE_EXPORT void FakeKardemoSetPollHook(void (*hook)(int64_t poll, void* context), void* context) {
    script().pollHook = hook;
    script().pollHookContext = context;
}

FAKE_EXPORT int32_t SetDebugMode(int32_t* one, int32_t mode, char* debugFile) {
    return answer("SetDebugMode", n(*one) + ", " + n(mode) + ", " + debugFile);
}

FAKE_EXPORT int32_t SetRecordingLength(int32_t length) {
    return answer("SetRecordingLength", n(length));
}

FAKE_EXPORT int32_t ReadDelay(int32_t delay) {
    return answer("ReadDelay", n(delay));
}

FAKE_EXPORT int32_t SetDataTransferMode(int32_t mode, char* text1, char* text2) {
    return answer("SetDataTransferMode",
                  n(mode) + ", \"" + std::string(text1) + "\", \"" + std::string(text2) + "\"");
}

FAKE_EXPORT int32_t SetDSUBaudRate(int32_t* one, int32_t baudCode) {
    return answer("SetDSUBaudRate", n(*one) + ", " + n(baudCode));
}

FAKE_EXPORT int32_t SetDSUPacketLength(int32_t* one, int32_t length) {
    return answer("SetDSUPacketLength", n(*one) + ", " + n(length));
}

FAKE_EXPORT int32_t SetComPorts(int32_t* one, int32_t first, int32_t second, int32_t port) {
    return answer("SetComPorts", n(*one) + ", " + n(first) + ", " + n(second) + ", " + n(port));
}

FAKE_EXPORT int32_t SetScanWaitTime(int32_t* one, int32_t waitTime) {
    return answer("SetScanWaitTime", n(*one) + ", " + n(waitTime));
}

FAKE_EXPORT int32_t InitialiseDSU(int32_t* one) {
    return answer("InitialiseDSU", n(*one));
}

FAKE_EXPORT int32_t GetP3Data(int32_t* packet, int32_t elements, int32_t* one, int32_t* packetCount,
                              int32_t* /*reserved*/) {
    Script& s = script();
    const int32_t delay = s.number("PollDelay", 0);
    if (delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    const int32_t status = answer("GetP3Data", n(elements) + ", " + n(*one));
    ++s.polls;
    const int32_t dataPolls = s.number("DataPolls", -1);
    if (dataPolls >= 0 && s.polls > dataPolls) {
        *packetCount = 0;
    } else {
        *packetCount = s.number("PacketCount", 1);
        ++s.packets;
        const int32_t value =
            s.packets == s.number("SampleAtPacket", 1) ? s.number("Sample", 512) : 512;
        for (int32_t i = 0; i < elements && i < KARDEMO_PACKET_ELEMENTS; ++i)
            packet[i] = value;
    }
    if (s.pollHook != nullptr)
        s.pollHook(s.polls, s.pollHookContext);
    return status;
}

FAKE_EXPORT int32_t ActiveComPort(int32_t* one) {
    return answer("ActiveComPort", n(*one));
}

FAKE_EXPORT int32_t TerminateDSU(int32_t first, int32_t second, char* sessionFile) {
    return answer("TerminateDSU", n(first) + ", " + n(second) + ", " + sessionFile);
}

FAKE_EXPORT int32_t SendCommandToDSU(char* command, int32_t length) {
    return answer("SendCommandToDSU", std::string(command, 6) + ", " + n(length));
}

// The loader resolves this one last: a library without it must still be refused.
#ifndef FAKE_KARDEMO_WITHOUT_PORT_LIST
FAKE_EXPORT int32_t ListActiveCOMPorts(int32_t* ports) {
    for (int32_t slot = 0; slot < KARDEMO_PORT_SLOTS; ++slot)
        ports[slot] = slot + 1;
    answer("ListActiveCOMPorts", "");
    return script().number("PortCount", 1);
}
#endif
