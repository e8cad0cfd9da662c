#include "KardemoDLL.h"

#include <dlfcn.h>

#include <cstring>
#include <system_error>

namespace solvane {

namespace {

std::string lastDlError() {
    const char* text = dlerror();
    return text != nullptr ? std::string(text) : std::string("unknown reason");
}

template <typename Fn>
void resolve(void* handle, const char* name, Fn& slot, const std::string& file) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr)
        throw DeviceLibraryError("The device library " + file + " lacks the function " + name +
                                 ".");
    slot = reinterpret_cast<Fn>(symbol);
}

} // namespace

KardemoDLL::KardemoDLL(std::filesystem::path programFolder)
    : KardemoDLL(std::vector<std::filesystem::path>{std::move(programFolder)}) {}

KardemoDLL::KardemoDLL(std::vector<std::filesystem::path> folders) : folders_(std::move(folders)) {}

KardemoDLL::KardemoDLL(const KardemoFunctions& functions) : loaded_(true), functions_(functions) {}

KardemoDLL::~KardemoDLL() {
    if (handle_ != nullptr)
        dlclose(handle_);
}

const KardemoFunctions& KardemoDLL::functions() {
    if (!loaded_)
        load();
    return functions_;
}

void KardemoDLL::sendCommand(const char* command) {
    if (!loaded_ || functions_.SendCommandToDSU == nullptr)
        return;
    char text[7] = {};
    std::strncpy(text, command, 6);
    functions_.SendCommandToDSU(text, 6);
}

void KardemoDLL::load() {
    // A library beside the program wins; only without one in any of the folders does the
    // search path decide.
    bool haveLocal = false;
    std::string file = FileName;
    std::string searched;
    for (const std::filesystem::path& folder : folders_) {
        if (folder.empty())
            continue;
        std::error_code ignored;
        if (std::filesystem::exists(folder / FileName, ignored)) {
            haveLocal = true;
            file = (folder / FileName).string();
            break;
        }
        searched += "in " + folder.string() + " nor ";
    }

    dlerror();
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const std::string reason = lastDlError();
        if (haveLocal)
            throw DeviceLibraryError("The device library " + file +
                                     " could not be loaded: " + reason);
        throw DeviceLibraryError("The device library " + file + " was found neither " + searched +
                                 "on the system's library search path (" + reason + ").");
    }

    KardemoFunctions table;
    try {
        resolve(handle, "SetDebugMode", table.SetDebugMode, file);
        resolve(handle, "SetRecordingLength", table.SetRecordingLength, file);
        resolve(handle, "ReadDelay", table.ReadDelay, file);
        resolve(handle, "SetDataTransferMode", table.SetDataTransferMode, file);
        resolve(handle, "SetDSUBaudRate", table.SetDSUBaudRate, file);
        resolve(handle, "SetDSUPacketLength", table.SetDSUPacketLength, file);
        resolve(handle, "SetComPorts", table.SetComPorts, file);
        resolve(handle, "SetScanWaitTime", table.SetScanWaitTime, file);
        resolve(handle, "InitialiseDSU", table.InitialiseDSU, file);
        resolve(handle, "GetP3Data", table.GetP3Data, file);
        resolve(handle, "ActiveComPort", table.ActiveComPort, file);
        resolve(handle, "TerminateDSU", table.TerminateDSU, file);
        resolve(handle, "SendCommandToDSU", table.SendCommandToDSU, file);
        resolve(handle, "ListActiveCOMPorts", table.ListActiveCOMPorts, file);
    } catch (...) {
        dlclose(handle);
        throw;
    }
    handle_ = handle;
    functions_ = table;
    loaded_ = true;
    loadedFrom_ = file;
}

} // namespace solvane
