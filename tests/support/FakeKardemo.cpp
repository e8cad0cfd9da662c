#include "FakeKardemo.h"

#include <algorithm>
#include <cstring>

namespace solvane::testing {

namespace {

FakeKardemo& fake() {
    return FakeKardemo::instance();
}

void record(std::string name, std::vector<int32_t> numbers, std::vector<std::string> texts = {}) {
    fake().calls.push_back({std::move(name), std::move(numbers), std::move(texts)});
    if (fake().onCall)
        fake().onCall(fake().calls.back().name);
}

std::string text(const char* s) {
    return s != nullptr ? std::string(s) : std::string("<null>");
}
int32_t value(const int32_t* p) {
    return p != nullptr ? *p : INT32_MIN;
}

int32_t fakeSetDebugMode(int32_t* one, int32_t mode, char* debugFile) {
    record("SetDebugMode", {value(one), mode}, {text(debugFile)});
    return 0;
}
int32_t fakeSetRecordingLength(int32_t length) {
    record("SetRecordingLength", {length});
    return 0;
}
int32_t fakeReadDelay(int32_t delay) {
    record("ReadDelay", {delay});
    return 0;
}
int32_t fakeSetDataTransferMode(int32_t mode, char* text1, char* text2) {
    record("SetDataTransferMode", {mode}, {text(text1), text(text2)});
    return 0;
}
int32_t fakeSetDSUBaudRate(int32_t* one, int32_t baudCode) {
    record("SetDSUBaudRate", {value(one), baudCode});
    return 0;
}
int32_t fakeSetDSUPacketLength(int32_t* one, int32_t length) {
    record("SetDSUPacketLength", {value(one), length});
    return 0;
}
int32_t fakeSetComPorts(int32_t* one, int32_t first, int32_t second, int32_t port) {
    record("SetComPorts", {value(one), first, second, port});
    return fake().setComPortsStatus;
}
int32_t fakeSetScanWaitTime(int32_t* one, int32_t waitTime) {
    record("SetScanWaitTime", {value(one), waitTime});
    return fake().setScanWaitTimeStatus;
}
int32_t fakeInitialiseDSU(int32_t* one) {
    record("InitialiseDSU", {value(one)});
    return fake().initialiseStatus;
}
int32_t fakeGetP3Data(int32_t* packet, int32_t elements, int32_t* one, int32_t* packetCount,
                      int32_t* reserved) {
    FakeKardemo& f = fake();
    record("GetP3Data", {elements, value(one), reserved != nullptr ? 1 : 0});
    const uint64_t n = f.polls++;
    FakePoll answer;
    if (f.pollScript)
        answer = f.pollScript(n);
    if (answer.status == 0 && answer.count > 0) {
        std::copy_n(answer.packet.begin(), std::min<int32_t>(elements, 8), packet);
        ++f.packetsHanded;
    }
    *packetCount = answer.count;
    if (f.onPoll)
        f.onPoll(n);
    return answer.status;
}
int32_t fakeActiveComPort(int32_t* one) {
    record("ActiveComPort", {value(one)});
    return fake().activeComPortResult;
}
int32_t fakeTerminateDSU(int32_t first, int32_t second, char* sessionFile) {
    record("TerminateDSU", {first, second}, {text(sessionFile)});
    return 0;
}
int32_t fakeSendCommandToDSU(char* command, int32_t length) {
    record("SendCommandToDSU", {length}, {text(command)});
    return 0;
}
int32_t fakeListActiveCOMPorts(int32_t* ports) {
    FakeKardemo& f = fake();
    record("ListActiveCOMPorts", {});
    for (std::size_t i = 0; i < f.ports.size() && i < 501; ++i)
        ports[i] = f.ports[i];
    return f.portCount;
}

} // namespace

FakeKardemo& FakeKardemo::instance() {
    static FakeKardemo instance;
    return instance;
}

void FakeKardemo::reset() {
    setComPortsStatus = 0;
    setScanWaitTimeStatus = 0;
    initialiseStatus = 0;
    activeComPortResult = 0;
    pollScript = nullptr;
    onPoll = nullptr;
    onCall = nullptr;
    ports.clear();
    portCount = -1;
    calls.clear();
    polls = 0;
    packetsHanded = 0;
}

KardemoFunctions FakeKardemo::functions() {
    KardemoFunctions table;
    table.SetDebugMode = fakeSetDebugMode;
    table.SetRecordingLength = fakeSetRecordingLength;
    table.ReadDelay = fakeReadDelay;
    table.SetDataTransferMode = fakeSetDataTransferMode;
    table.SetDSUBaudRate = fakeSetDSUBaudRate;
    table.SetDSUPacketLength = fakeSetDSUPacketLength;
    table.SetComPorts = fakeSetComPorts;
    table.SetScanWaitTime = fakeSetScanWaitTime;
    table.InitialiseDSU = fakeInitialiseDSU;
    table.GetP3Data = fakeGetP3Data;
    table.ActiveComPort = fakeActiveComPort;
    table.TerminateDSU = fakeTerminateDSU;
    table.SendCommandToDSU = fakeSendCommandToDSU;
    table.ListActiveCOMPorts = fakeListActiveCOMPorts;
    return table;
}

std::vector<std::string> FakeKardemo::callNames() const {
    std::vector<std::string> names;
    for (const FakeCall& call : calls)
        names.push_back(call.name);
    return names;
}

std::vector<std::string> FakeKardemo::callNamesWithoutPolls() const {
    std::vector<std::string> names;
    for (const FakeCall& call : calls)
        if (call.name != "GetP3Data")
            names.push_back(call.name);
    return names;
}

std::vector<std::string> FakeKardemo::commands() const {
    std::vector<std::string> result;
    for (const FakeCall& call : calls)
        if (call.name == "SendCommandToDSU")
            result.push_back(call.texts.at(0));
    return result;
}

} // namespace solvane::testing
