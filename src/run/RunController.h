#pragma once
// Starting and stopping a run: the Start/Stop button's two branches, the DSU set-up through
// the device library, the acquisition loop that polls for packets and hands each one to the
// window's draw, and the orderly shut-down (port in use stored, settings saved, library
// terminated). A run that gets no packet for StallMilliseconds ends the same orderly way and
// says so, so that the AVE output never goes on unattended on a DSU that has gone quiet. A poll
// that brings no packet is followed by an event pass that waits for the next wake-up, a few
// dozen a second whatever the library or DSUSampleRate say, and ends at once on a user event;
// each wake-up takes all the packets the library has kept since the last, one poll (and one
// event pass) each. Everything runs on the one user-interface
// thread; the Stop click is handled inside the loop's event pass. Should the process end through
// exit() while the DSU is open (the toolkit does that when the display goes away), the output is
// silenced and the library shut down on the way out.

#include "config/Settings.h"
#include "run/DeviceLog.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace solvane {

class EventLoop;
class KardemoDLL;
class RunView;
struct KardemoFunctions;

class RunController {
public:
    /// `loop` gives the acquisition loop its event passes, pauses and clock; `silence` is the
    /// entrainment output's SilenceEntrainment; `saveSettings` writes the settings file (it
    /// may throw ProfileWriteError, which is reported and does not stop the shut-down).
    RunController(Settings& sharedSettings, KardemoDLL& device, RunView& view, EventLoop& loop,
                  std::function<void()> silence, std::function<void()> saveSettings);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    /// The Start/Stop button: Stop when a run is active (or a start failed), else Start. A
    /// Start while a stopped run is still shutting down is ignored.
    void cmdActionClick();
    /// The main window is being closed: a run in progress is stopped the orderly way, its
    /// shut-down follows when control returns into the loop. True when the window may close
    /// at once; false when it must wait for the running loop to end (see closePending()).
    bool requestClose();
    [[nodiscard]] bool closePending() const noexcept { return closePending_; }
    /// After a run-time error: the AVE output is silenced and the library terminated, if the
    /// DSU was initialised and not yet terminated. Safe to call at any time.
    void emergencyShutDown() noexcept;
    /// The process is ending through exit() (see the class summary): if the DSU is open, the
    /// Stop branch's silencing and the orderly shut-down, without touching the window.
    void shutDownAtExit() noexcept;

    int16_t RunActive = 0; ///< -1 while a run is active or a start failed, else 0
    /// A run without a packet for this long, counted from its first poll or its last packet,
    /// is stopped.
    static constexpr int64_t StallMilliseconds = 5000;
    static constexpr const char* StallMessage =
        "No data came from the DSU for 5 seconds. The run was stopped.";
    /// Time between two wake-ups while the library has no packet (µs): 40 a second, within
    /// the 32 to 64 that keep the processor idle and never leave a packet longer than 1/32 s
    /// in the library.
    static constexpr int64_t WakeMicroseconds = 25'000;
    /// StallMessage, and when InitialiseDSU answered a negative status, a sentence with that
    /// status and the debug log handed to the library: the log's last line when the library
    /// wrote it during the run, else why there is none (nothing when `debugFile` is empty).
    /// After a good start, the log's last line if it was written, which names the cause
    /// when the library gave one ("the board's port ... has gone").
    static std::string stallMessage(int32_t initialiseStatus, const std::string& debugFile,
                                    const DeviceLog::Reading& log);
    [[nodiscard]] bool loopRunning() const noexcept { return loopRunning_; }

    /// The device library's set-up before InitialiseDSU, as a Start makes it: debug log into
    /// `debugFile`, `comPort` to SetComPorts, the two texts to SetDataTransferMode (the
    /// program passes two empty ones). The message the program shows when the library refuses
    /// the port or the wait time, or empty.
    static std::string SetUpDevice(const KardemoFunctions& dsu, std::string& debugFile,
                                   int16_t comPort, char* transferText1, char* transferText2);

private:
    void RunAcquisition();
    /// The device library's functions; nothing when it cannot be loaded (the reason has been
    /// shown and the window is Idle again).
    const KardemoFunctions* loadedLibrary();
    /// SetUpDevice; false when the library refused, which has been shown with the log's words.
    bool setUpOrReport(const KardemoFunctions& dsu, std::string& debugFile,
                       const DeviceLog& deviceLog);
    /// The acquisition loop, until the run is stopped: the log as the stall found it when the
    /// run stopped for want of packets, else nothing.
    std::optional<DeviceLog::Reading> pollUntilStopped(const KardemoFunctions& dsu,
                                                       const DeviceLog& deviceLog);
    void stopBranch();
    /// ActiveComPort, SaveSettings, TerminateDSU; the text of a failed save, or empty.
    std::string shutDown();
    void watchForExit();

    Settings& settings_;
    KardemoDLL& device_;
    RunView& view_;
    EventLoop& loop_;
    std::function<void()> silence_;
    std::function<void()> saveSettings_;
    bool deviceOpen_ = false; ///< InitialiseDSU called and TerminateDSU not yet
    bool loopRunning_ = false;
    bool closePending_ = false;
};

} // namespace solvane
