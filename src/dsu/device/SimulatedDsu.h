#pragma once
// The simulated DSU behind our libkardemo.so: packets of eight 10-bit samples at 256 packets
// per second (or as fast as polled), at most one per poll, with EEG from a SampleSource on
// the four channel elements (0, 4, 1, 5) and the centre value on the others. A poll answers at
// once; when no packet is due yet it says so. Each InitialiseDSU reads dsu-simulator.ini from
// its configuration folder and starts recording the run into its sessions folder (both the
// library's own in portable use, see FileLocations) through the SessionStore; a run that
// cannot be recorded does not start. TerminateDSU completes it as that run's own session and
// copies it to the session file the program names, so that every run is kept. The AVE
// commands set the output, which is played live on a sound device and kept as a sound file
// beside each recording; both volumes start at 0 with each InitialiseDSU, while the tones stay
// as last set, as a unit keeps its settings while it is on, and go into each run's files at
// its start. A debug log records set-up, commands and shut-down.

#include "config/FileLocations.h"
#include "device/kardemo.h"
#include "dsu/common/DebugLog.h"
#include "dsu/device/SimulatorConfig.h"
#include "dsu/eeg/SampleSource.h"
#include "dsu/eeg/SourceFactory.h"
#include "dsu/session/SessionStore.h"
#include "session/AveCommand.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

class LiveSoundOutput;
struct ProgramSettings;

class SimulatedDsu {
public:
    static constexpr int PacketsPerSecond = SampleSource::SampleRate;
    static constexpr int Elements = KARDEMO_PACKET_ELEMENTS;
    /// GetP3Data statuses besides 0 (a packet).
    static constexpr int32_t NoData = 1;
    static constexpr int32_t NotInitialised = -1;
    /// TerminateDSU status when the session file could not be written.
    static constexpr int32_t SessionFileFailed = -2;
    /// Where every run's recording is kept, inside the DSU's folder in portable use.
    static constexpr const char* SessionsFolder = FileLocations::SessionsFolder;
    /// SetDataTransferMode's second text that hands a check's configuration over in the
    /// first; the program passes two empty texts.
    static constexpr const char* CheckMarker = "solvane-check";
    /// The ELF section of our libkardemo.so by which a set-up, reading the library's file,
    /// tells that it takes a check's configuration before handing it one; a device maker's
    /// library has none.
    static constexpr const char* CheckSection = ".solvane_dsu";

    /// The one instance behind the C interface, with the folders FileLocations gives the
    /// library's folder.
    static SimulatedDsu& instance();
    /// A DSU that reads its configuration from and records into `folder`.
    explicit SimulatedDsu(const std::filesystem::path& folder);
    explicit SimulatedDsu(FileLocations places);
    ~SimulatedDsu();
    SimulatedDsu(const SimulatedDsu&) = delete;
    SimulatedDsu& operator=(const SimulatedDsu&) = delete;

    void setDebugMode(int32_t mode, const char* debugFile);
    void logCall(const std::string& text);
    /// Takes the port the program chose; with a board as the source, reads the configuration
    /// and opens the board, which the next initialise() then reads. 0, or the negative status
    /// of a port or board that cannot be used (see SimulatorConfigError); other faults of the
    /// configuration are left for initialise() to tell.
    int32_t setComPort(int32_t port);
    /// The clock a board's rate is held to (seconds; empty: the steady clock).
    void setBoardClock(std::function<double()> clock) { boardClock_ = std::move(clock); }
    /// A check of the set-up: the next InitialiseDSU reads `text` in place of
    /// dsu-simulator.ini and runs without recording, live sound or sound file. Nothing (the
    /// program's own call) and TerminateDSU return to the file.
    void setCheckConfiguration(std::optional<std::string> text) { check_ = std::move(text); }
    [[nodiscard]] int32_t activeComPort() const { return comPort_; }
    /// 0, or the negative status of a configuration fault (see SimulatorConfigError).
    int32_t initialise();
    /// Fills `packet` with the next packet if one is due.
    int32_t poll(int32_t* packet, int32_t elements, int32_t* packetCount);
    int32_t sendCommand(const char* command, int32_t length);
    int32_t terminate(const char* sessionFile);
    /// Writes the serial ports present (see SerialPorts) to `ports` (PortSlots slots), or the
    /// virtual Com1 when there is none, and returns the last slot written.
    int32_t listPorts(int32_t* ports);
    static constexpr int32_t PortSlots = 501;
    /// Adds an event of the DSU's own to the events file of the run being recorded, at the
    /// time of the packets delivered so far: `trialType` (e.g. "gap"), `value`, `duration` in
    /// seconds (negative: none). False when no run is recorded or the line cannot be written.
    bool markEvent(std::string_view trialType, std::string_view value, double duration);

    /// The output as the commands left it.
    [[nodiscard]] const session::AveOutputState& output() const { return output_; }
    /// The working file of the run being recorded, or empty.
    [[nodiscard]] std::filesystem::path recordingFile() const { return store_.workingFile(); }
    /// The name the run being recorded is kept under once it ends, or empty.
    [[nodiscard]] const std::filesystem::path& sessionFile() const { return store_.sessionFile(); }
    [[nodiscard]] uint64_t delivered() const { return delivered_; }

    /// The folder that holds the library file.
    static std::filesystem::path libraryFolder();

private:
    using Clock = std::chrono::steady_clock;
    [[nodiscard]] bool packetDue() const;
    /// The board's device node: SerialDevice, or the port the program handed over.
    std::string serialDevice(const SimulatorConfig& config);
    /// Makes the source `config` names. Throws SimulatorConfigError.
    MadeSource makeSource(const SimulatorConfig& config);
    /// Reads the configuration of a run from `file` (or the check's) into config_, telling the
    /// log what it ignores; returns its text. Throws SimulatorConfigError.
    std::optional<std::string> readConfiguration(const std::filesystem::path& file);
    /// The source of the run configured by `text`: the board SetComPorts opened for it, or a
    /// new one. Throws SimulatorConfigError.
    void openSource(const std::optional<std::string>& text);
    /// Live sound where the configuration asks for it and a device plays it.
    void openLiveSound();
    /// What a source tells the log, marked with the call it happens in.
    [[nodiscard]] std::function<void(const std::string&)> sourceLog();
    void endRecording();
    /// Throws SimulatorConfigError (key Record) when the run cannot be recorded.
    void startRecording();
    /// What the run's recording and facts say of it as it begins.
    RunStart runStart(std::chrono::system_clock::time_point began) const;
    /// The recording's labels and the facts' slots: positions chosen, the source's labels.
    void labelSignals(const ProgramSettings& settings, RunStart& run) const;
    /// The commands that set the output in force as a run begins.
    [[nodiscard]] std::vector<std::string> outputInForce() const;
    /// Plays the output as the commands have left it, live and into the sound file.
    void playOutput();

    FileLocations places_;
    SimulatorConfig config_;
    std::optional<std::string> check_; ///< the configuration of a check, instead of the file
    std::unique_ptr<SampleSource> source_;
    SourceOrigin origin_; ///< what the run's facts keep of the source
    SessionStore store_;
    MadeSource board_;                     ///< opened by SetComPorts for the next run
    std::optional<std::string> boardText_; ///< the configuration it was opened with
    std::function<double()> boardClock_;
    const char* call_ = "InitialiseDSU"; ///< the call being served, for the sources' log lines
    bool initialised_ = false;
    bool endLogged_ = false;
    Clock::time_point start_;
    uint64_t delivered_ = 0; ///< packets of this run
    uint64_t runs_ = 0;      ///< InitialiseDSU calls that succeeded
    int32_t comPort_ = 0;
    DebugLog log_;
    session::AveOutputState output_;
    bool toneSet_[2] = {false, false}; ///< base and second frequency received since loading
    std::unique_ptr<LiveSoundOutput> live_;
};

} // namespace solvane::dsusim
