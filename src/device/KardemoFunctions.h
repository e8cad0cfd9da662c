#pragma once
// The fourteen entry points of the device library as one table of function pointers:
// filled by name from the loaded libkardemo.so, or by a test's fake.

#include "kardemo.h"

namespace solvane {

struct KardemoFunctions {
    decltype(&::SetDebugMode) SetDebugMode = nullptr;
    decltype(&::SetRecordingLength) SetRecordingLength = nullptr;
    decltype(&::ReadDelay) ReadDelay = nullptr;
    decltype(&::SetDataTransferMode) SetDataTransferMode = nullptr;
    decltype(&::SetDSUBaudRate) SetDSUBaudRate = nullptr;
    decltype(&::SetDSUPacketLength) SetDSUPacketLength = nullptr;
    decltype(&::SetComPorts) SetComPorts = nullptr;
    decltype(&::SetScanWaitTime) SetScanWaitTime = nullptr;
    decltype(&::InitialiseDSU) InitialiseDSU = nullptr;
    decltype(&::GetP3Data) GetP3Data = nullptr;
    decltype(&::ActiveComPort) ActiveComPort = nullptr;
    decltype(&::TerminateDSU) TerminateDSU = nullptr;
    decltype(&::SendCommandToDSU) SendCommandToDSU = nullptr;
    decltype(&::ListActiveCOMPorts) ListActiveCOMPorts = nullptr;
};

} // namespace solvane
