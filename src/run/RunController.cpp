#include "RunController.h"

#include "EventLoop.h"
#include "RunView.h"
#include "config/ProfileFile.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "device/kardemo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace solvane {

namespace {

// Set-up values handed to the device library; their meaning is the library's own.
constexpr int32_t DebugModeOn = 1;
constexpr int32_t RecordingLength = 90;
constexpr int32_t ReadDelayValue = 100;
constexpr int32_t TransferMode = 0;
constexpr int32_t BaudRateCode = 9;
constexpr int32_t PacketLength = 14;
constexpr int32_t FirstComPortArgument = 1;
constexpr int32_t SecondComPortArgument = 100;
constexpr int32_t ScanWaitTime = 1500;
constexpr int32_t PacketElements = KARDEMO_PACKET_ELEMENTS;
constexpr int64_t MicrosecondsPerSecond = 1'000'000;

// The controller whose DSU is open, for the handler that runs when the process ends through
// exit(). Only the user-interface thread touches it.
RunController* openAtExit = nullptr;

void shutDownOpenRunAtExit() {
    if (openAtExit != nullptr)
        openAtExit->shutDownAtExit();
}

// Marks the acquisition loop as running for as long as it is on the stack, also when draw
// throws out of it.
class LoopFlag {
public:
    explicit LoopFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~LoopFlag() { flag_ = false; }
    LoopFlag(const LoopFlag&) = delete;
    LoopFlag& operator=(const LoopFlag&) = delete;

private:
    bool& flag_;
};

} // namespace

RunController::RunController(Settings& sharedSettings, KardemoDLL& device, RunView& view,
                             EventLoop& loop, std::function<void()> silence,
                             std::function<void()> saveSettings)
    : settings_(sharedSettings), device_(device), view_(view), loop_(loop),
      silence_(std::move(silence)), saveSettings_(std::move(saveSettings)) {}

RunController::~RunController() {
    if (openAtExit == this)
        openAtExit = nullptr;
}

void RunController::cmdActionClick() {
    if (RunActive != 0) {
        stopBranch();
        return;
    }
    // Stop was taken in this event pass and the loop has not yet shut the DSU down: a Start
    // now would begin a second run inside the first one. It is ignored.
    if (loopRunning_)
        return;
    view_.setActionCaption("Stop");
    RunActive = -1;
    view_.setOptionsEnabled(false);
    RunAcquisition();
}

void RunController::stopBranch() {
    view_.setActionCaption("Start");
    RunActive = 0;
    view_.setOptionsEnabled(true);
    silence_();
}

bool RunController::requestClose() {
    if (loopRunning_) {
        // The loop sees RunActive 0 when control returns into it and shuts the DSU down;
        // the window closes after that. A Stop (or close) already taken in this event pass
        // has sent the silencing commands.
        if (RunActive != 0)
            stopBranch();
        closePending_ = true;
        return false;
    }
    // Idle, or a start that failed before the DSU was initialised: nothing is running, the
    // window simply closes.
    return true;
}

void RunController::emergencyShutDown() noexcept {
    RunActive = 0;
    if (!deviceOpen_)
        return;
    deviceOpen_ = false;
    openAtExit = nullptr;
    try {
        device_.sendCommand("WB0000");
        device_.sendCommand("WB0100");
        char sessionFile[] = "kardemo.SES";
        device_.functions().TerminateDSU(1, 1, sessionFile);
    } catch (...) {
        // Nothing more can be done for a device that fails while the program is ending.
    }
}

void RunController::shutDownAtExit() noexcept {
    if (!deviceOpen_)
        return;
    RunActive = 0;
    try {
        silence_();
        const std::string saveFailure = shutDown();
        if (!saveFailure.empty())
            std::fprintf(stderr, "Solvane: %s\n", saveFailure.c_str());
    } catch (...) {
        // Nothing more can be done for a device that fails while the process is ending.
    }
}

// The handler is registered once, after the library's first set-up: handlers run in the
// reverse order of their registration, so it runs before whatever the library registered for
// the end of the process while it was being set up (its own state may be gone after that).
void RunController::watchForExit() {
    static const bool registered = std::atexit(&shutDownOpenRunAtExit) == 0;
    if (registered)
        openAtExit = this;
}

void RunController::RunAcquisition() {
    const KardemoFunctions* library = loadedLibrary();
    if (library == nullptr)
        return;
    const KardemoFunctions& dsu = *library;

    std::string debugFile = processINIFile::DebugFilePath().string();
    const DeviceLog deviceLog(debugFile);
    if (!setUpOrReport(dsu, debugFile, deviceLog))
        return;
    int32_t one = 1;
    const int32_t initialised = dsu.InitialiseDSU(&one); // the run goes on whatever it answers
    deviceOpen_ = true;
    watchForExit();
    RunActive = -1;

    const std::optional<DeviceLog::Reading> logAtStall = pollUntilStopped(dsu, deviceLog);

    std::string saveFailure;
    if (deviceOpen_)
        saveFailure = shutDown();
    if (!saveFailure.empty())
        view_.showMessage(saveFailure);
    if (logAtStall)
        view_.showMessage(stallMessage(initialised, debugFile, *logAtStall));
}

const KardemoFunctions* RunController::loadedLibrary() {
    try {
        return &device_.functions();
    } catch (const DeviceLibraryError& error) {
        view_.showMessage(error.what());
        view_.setActionCaption("Start");
        RunActive = 0;
        view_.setOptionsEnabled(true);
        return nullptr;
    }
}

bool RunController::setUpOrReport(const KardemoFunctions& dsu, std::string& debugFile,
                                  const DeviceLog& deviceLog) {
    char noText1[] = "";
    char noText2[] = "";
    const std::string refused =
        SetUpDevice(dsu, debugFile, settings_.ActiveComPort, noText1, noText2);
    if (refused.empty())
        return true;
    // The library's own words for the cause, when it logged any ("... is the dongle plugged
    // in?").
    std::string message = refused;
    const DeviceLog::Reading log = deviceLog.read();
    if (log.written && !log.lastLine.empty())
        message += " The DSU's log " + debugFile + " says: \"" + log.lastLine + "\".";
    view_.showMessage(message);
    return false;
}

std::optional<DeviceLog::Reading> RunController::pollUntilStopped(const KardemoFunctions& dsu,
                                                                  const DeviceLog& deviceLog) {
    int32_t packet[PacketElements] = {};
    int32_t packetCount = 0;
    int32_t reserved = 0;
    int16_t pacingCounter = 0;
    const LoopFlag running(loopRunning_);
    // Wake-ups keep to a grid of WakeMicroseconds from the first poll; an event that ends a
    // wait early leaves the grid as it was, and a wake-up that comes late (a long draw)
    // starts it afresh from then.
    int64_t lastData = loop_.monotonicMicroseconds(); // the first poll counts as data
    int64_t nextWake = lastData + WakeMicroseconds;
    while (RunActive == -1) {
        int32_t one = 1;
        const int32_t status = dsu.GetP3Data(packet, PacketElements, &one, &packetCount, &reserved);
        const int64_t now = loop_.monotonicMicroseconds();
        if (status == 0 && packetCount > 0) {
            lastData = now;
            view_.draw(packet);
            // One short pause per DSUSampleRate + 1 packets keeps the loop from running ahead
            // of a device that delivers in bursts.
            if (pacingCounter > settings_.DSUSampleRate) {
                loop_.sleep(MicrosecondsPerSecond / 1000);
                pacingCounter = 1;
            } else {
                ++pacingCounter;
            }
        } else if (now - lastData >= StallMilliseconds * 1000) {
            // Read before the silencing commands add their lines to the log.
            DeviceLog::Reading logAtStall = deviceLog.read();
            stopBranch();
            return logAtStall;
        } else {
            if (now >= nextWake)
                nextWake += WakeMicroseconds;
            if (now >= nextWake)
                nextWake = now + WakeMicroseconds;
            loop_.processEventsUntil(nextWake);
            continue;
        }
        loop_.processEvents();
    }
    return std::nullopt;
}

std::string RunController::SetUpDevice(const KardemoFunctions& dsu, std::string& debugFile,
                                       int16_t comPort, char* transferText1, char* transferText2) {
    int32_t one = 1;
    dsu.SetDebugMode(&one, DebugModeOn, debugFile.data());
    dsu.SetRecordingLength(RecordingLength);
    dsu.ReadDelay(ReadDelayValue);
    dsu.SetDataTransferMode(TransferMode, transferText1, transferText2);
    one = 1;
    dsu.SetDSUBaudRate(&one, BaudRateCode);
    one = 1;
    dsu.SetDSUPacketLength(&one, PacketLength);
    one = 1;
    int32_t status = dsu.SetComPorts(&one, FirstComPortArgument, SecondComPortArgument, comPort);
    if (status < 0)
        return "Com Port initialisation failure. RC = " + std::to_string(status);
    one = 1;
    status = dsu.SetScanWaitTime(&one, ScanWaitTime);
    if (status < 0)
        return "Invalid wait time";
    return {};
}

std::string RunController::stallMessage(int32_t initialiseStatus, const std::string& debugFile,
                                        const DeviceLog::Reading& log) {
    std::string message = StallMessage;
    const std::string lastLine = "\"" + log.lastLine + "\"";
    if (initialiseStatus < 0) {
        message += " The DSU had refused to start (InitialiseDSU status " +
                   std::to_string(initialiseStatus) + ")";
        if (debugFile.empty())
            message += ".";
        else if (log.written)
            message += "; its log " + debugFile + " says why" +
                       (log.lastLine.empty() ? "." : ": " + lastLine + ".");
        else if (!log.whyNone.empty())
            message += "; there is no log to say why: " + log.whyNone + ".";
        else
            message += "; it wrote no log to " + debugFile + ".";
    } else if (log.written && !log.lastLine.empty()) {
        message += " The last line of the DSU's log " + debugFile + ": " + lastLine + ".";
    } else if (!log.written && !log.whyNone.empty()) {
        message += " The DSU could write no log: " + log.whyNone + ".";
    }
    return message;
}

std::string RunController::shutDown() {
    const KardemoFunctions& dsu = device_.functions();
    int32_t one = 1;
    const int32_t port = dsu.ActiveComPort(&one);
    // A port number that does not fit the setting leaves the setting as it was.
    if (port >= std::numeric_limits<int16_t>::min() && port <= std::numeric_limits<int16_t>::max())
        settings_.ActiveComPort = static_cast<int16_t>(port);

    std::string saveFailure;
    try {
        saveSettings_();
    } catch (const ProfileWriteError& error) {
        saveFailure = error.what();
    }

    char sessionFile[] = "kardemo.SES";
    dsu.TerminateDSU(1, 1, sessionFile);
    deviceOpen_ = false;
    openAtExit = nullptr;
    return saveFailure;
}

} // namespace solvane
