#include "dsu/device/SimulatedDsu.h"

#include "config/ProfileFile.h"
#include "dsu/common/Text.h"
#include "dsu/device/ProgramSettings.h"
#include "dsu/eeg/SerialPort.h"
#include "dsu/session/SessionSoundFile.h"
#include "dsu/sound/LiveSoundOutput.h"
#include "session/EventsFile.h"
#include "session/Numbers.h"
#include "session/RecordingWriter.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

namespace solvane::dsusim {

namespace {

constexpr int SlotElement[SampleSource::Slots] = {0, 4, 1, 5};

std::filesystem::path inFolder(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path path(name);
    return path.is_relative() ? folder / path : path;
}

/// The program's version where the program says it (ours does), else empty.
std::string programVersion() {
    const void* version = ::dlsym(RTLD_DEFAULT, "solvane_program_version");
    return version != nullptr ? static_cast<const char*>(version) : std::string();
}

// The text of dsu-simulator.ini, or nothing when there is none. A file that is there but
// cannot be used fails the start: falling back to the defaults would record synthetic EEG
// where a recording was asked for, unnoticed.
std::optional<std::string> configText(const std::filesystem::path& file) {
    std::optional<std::string> text;
    try {
        text = ProfileFile::readFileIfPresent(file);
    } catch (const ProfileReadError& e) {
        const ConfigFault fault = e.reason() == ProfileReadError::Reason::NotAFile
                                      ? ConfigFault::ConfigNotAFile
                                      : ConfigFault::ConfigUnreadable;
        throw SimulatorConfigError(ConfigKey::ConfigFile, fault,
                                   e.reason() == ProfileReadError::Reason::NotAFile
                                       ? e.why()
                                       : "it cannot be read: " + e.why());
    }
    if (text) {
        if (const auto problem = ProfileFile::textProblem(*text))
            throw SimulatorConfigError(ConfigKey::ConfigFile, ConfigFault::ConfigNotText,
                                       "it " + *problem);
    }
    return text;
}

/// `began` as the facts give a run's start: local time to a tenth of a millisecond.
std::string startText(std::chrono::system_clock::time_point began) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(began);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long long tenths = std::chrono::duration_cast<std::chrono::microseconds>(
                                 began - std::chrono::system_clock::from_time_t(seconds))
                                 .count() /
                             100;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%04lld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  tenths);
    return text;
}

} // namespace

SimulatedDsu& SimulatedDsu::instance() {
    static SimulatedDsu dsu(FileLocations::forFolder(libraryFolder()));
    return dsu;
}

SimulatedDsu::SimulatedDsu(const std::filesystem::path& folder)
    : SimulatedDsu(FileLocations::portableIn(folder)) {}

SimulatedDsu::SimulatedDsu(FileLocations places)
    : places_(std::move(places)),
      store_(places_, [this](const std::string& line) { logCall(line); }) {}

SimulatedDsu::~SimulatedDsu() = default;

std::filesystem::path SimulatedDsu::libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SimulatedDsu::libraryFolder), &info) != 0 &&
        info.dli_fname != nullptr)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

void SimulatedDsu::setDebugMode(int32_t mode, const char* debugFile) {
    log_.pause();
    if (mode == 1 && debugFile != nullptr)
        log_.open(debugFile);
    logCall("SetDebugMode(" + std::to_string(mode) + ")" +
            (log_.shared() && log_.on() ? ": another program writes this log too; added to its end"
                                        : ""));
}

void SimulatedDsu::logCall(const std::string& text) {
    log_.write(text);
}

// A run started again without TerminateDSU ends here, kept under its own name.
void SimulatedDsu::endRecording() {
    live_.reset();
    if (!store_.recording())
        return;
    logCall("InitialiseDSU: the run before was not terminated");
    (void)store_.finish({});
}

std::function<void(const std::string&)> SimulatedDsu::sourceLog() {
    return [this](const std::string& line) { logCall(std::string(call_) + ": " + line); };
}

// The program shows its own message at once for a SetComPorts that fails, where a failed
// InitialiseDSU would leave it waiting for data that never come: so the board is opened and
// heard from here.
int32_t SimulatedDsu::setComPort(int32_t port) {
    call_ = "SetComPorts";
    comPort_ = port;
    board_ = {};
    boardText_.reset();
    const std::filesystem::path configFile = places_.configFolder() / SimulatorConfig::FileName;
    std::optional<std::string> text;
    SimulatorConfig config;
    try {
        text = check_ ? check_ : configText(configFile);
        config = SimulatorConfig::fromText(text, places_.configFolder());
    } catch (const SimulatorConfigError&) {
        return 0;
    }
    if (!config.serialBoard())
        return 0;
    if (source_) { // a run not terminated holds the port
        source_->stop();
        source_.reset();
        initialised_ = false;
    }
    try {
        board_ = makeSource(config);
        boardText_ = text;
    } catch (const SimulatorConfigError& e) {
        if (e.key() != ConfigKey::SerialDevice)
            return 0;
        logCall("SetComPorts failed (status " + std::to_string(e.status()) + "): " + e.what());
        return e.status();
    }
    return 0;
}

int32_t SimulatedDsu::initialise() {
    call_ = "InitialiseDSU";
    endRecording();
    source_.reset();
    initialised_ = false;
    endLogged_ = false;
    output_.volume00 = 0;
    output_.volume01 = 0;
    const std::filesystem::path configFile =
        check_ ? std::filesystem::path("the configuration to check")
               : places_.configFolder() / SimulatorConfig::FileName;
    try {
        const std::optional<std::string> text = readConfiguration(configFile);
        openSource(text);
        openLiveSound();
    } catch (const SimulatorConfigError& e) {
        logCall("InitialiseDSU failed (status " + std::to_string(e.status()) +
                "): " + configFile.string() + ": " + e.what());
        return e.status();
    } catch (const std::exception& e) {
        logCall("InitialiseDSU failed: " + std::string(e.what()));
        return NotInitialised;
    }

    std::ostringstream settings;
    settings << "InitialiseDSU: " << source_->description() << ", speed " << config_.speed
             << ", gain " << config_.gain << " counts/uV";
    logCall(settings.str());

    if (config_.record) {
        try {
            startRecording();
        } catch (const SimulatorConfigError& e) {
            logCall("InitialiseDSU failed (status " + std::to_string(e.status()) +
                    "): " + e.what() + " (Record = off in " + configFile.string() +
                    " runs without recording)");
            live_.reset();
            source_.reset();
            return e.status();
        }
    } else {
        logCall("InitialiseDSU: Record = off: the run is not recorded");
    }
    ++runs_;
    initialised_ = true;
    start_ = Clock::now();
    delivered_ = 0;
    // The run's own sound starts at its first packet, with the tones the unit plays.
    playOutput();
    return 0;
}

std::optional<std::string> SimulatedDsu::readConfiguration(const std::filesystem::path& file) {
    std::optional<std::string> text = check_ ? check_ : configText(file);
    if (text) {
        for (const std::string& key : SimulatorConfig::unknownKeys(*text))
            logCall("InitialiseDSU: " + file.string() + ": the key " + inQuotes(key) +
                    " means nothing here and is ignored");
    }
    config_ = SimulatorConfig::fromText(text, places_.configFolder());
    if (check_) {
        // A check looks at the source only: it leaves no session and makes no sound.
        config_.record = false;
        config_.sound = false;
        config_.soundFile = false;
        logCall("InitialiseDSU: a check of the set-up; nothing is recorded or played");
    }
    if (config_.gainSet && ownCounts(config_.kind()))
        logCall("InitialiseDSU: Gain does not apply to Source = " +
                std::string(kindWord(config_.kind())) +
                ", whose counts go into the packets as they are; MicrovoltsPerCount gives "
                "their scale");
    return text;
}

void SimulatedDsu::openSource(const std::optional<std::string>& text) {
    // The board SetComPorts opened, unless the configuration has changed since.
    MadeSource made;
    if (board_.source && boardText_ == text) {
        made = std::move(board_);
    } else {
        board_ = {}; // it holds the port
        made = makeSource(config_);
    }
    source_ = std::move(made.source);
    origin_ = std::move(made.origin);
}

MadeSource SimulatedDsu::makeSource(const SimulatorConfig& config) {
    return SourceFactory::make(
        config.sourceRequest(places_.configFolder()), [&] { return serialDevice(config); },
        sourceLog(), boardClock_);
}

void SimulatedDsu::openLiveSound() {
    if (!config_.sound)
        return;
    try {
        live_ = std::make_unique<LiveSoundOutput>(config_.soundDevice);
        logCall("InitialiseDSU: live sound on " + live_->description());
    } catch (const SoundOutputError& e) {
        logCall("InitialiseDSU: no live sound: " + std::string(e.what()));
    }
}

void SimulatedDsu::startRecording() {
    // A gain the recording's header cannot hold would make a file no reader opens.
    if (const std::optional<std::string> problem =
            session::RecordingWriter::gainProblem(config_.gain))
        throw SimulatorConfigError(ConfigKey::Gain, ConfigFault::OutOfRange,
                                   "Gain = " + session::shortest(config_.gain) + ": " + *problem);
    store_.begin(runStart(std::chrono::system_clock::now()));
}

RunStart SimulatedDsu::runStart(std::chrono::system_clock::time_point began) const {
    RunStart run;
    const ProgramSettings settings =
        ProgramSettings::read(places_.configFolder() / FileLocations::SettingsFile);
    labelSignals(settings, run);
    run.recording.gain = config_.gain;
    run.recording.source = source_->description();
    run.recording.start = began;

    session::SessionFacts& facts = run.facts;
    facts.start = startText(began);
    facts.programVersion = programVersion();
    facts.libraryVersion = SOLVANE_VERSION;
    facts.gain = config_.gain;
    facts.source.kind = origin_.kind;
    facts.source.description = source_->description();
    facts.source.recording = origin_.recording;
    facts.source.port = origin_.port;
    facts.source.stream = origin_.stream;
    facts.source.host = origin_.host;
    if (origin_.seed)
        facts.source.seed = static_cast<long long>(*origin_.seed);
    facts.settings.file = settings.file.string();
    facts.settings.problem = settings.problem;
    facts.settings.volume = settings.volume;
    facts.settings.baseFrequency = settings.baseFrequency;
    facts.settings.desiredFrequency = settings.desiredFrequency;
    facts.settings.sampleRate = settings.sampleRate;

    run.sound = config_.soundFile;
    run.state = outputInForce();
    return run;
}

void SimulatedDsu::labelSignals(const ProgramSettings& settings, RunStart& run) const {
    session::RecordingSetup& recording = run.recording;
    for (int e = 0; e < Elements; ++e) {
        recording.labels[static_cast<std::size_t>(e)] = "Element " + std::to_string(e);
        recording.transducers[static_cast<std::size_t>(e)] = "simulated DSU";
    }
    // The EEG signals are labelled with the positions chosen for their slots; the source's own
    // labels stay beside them, in the transducer field and in the facts.
    for (int slot = 0; slot < SampleSource::Slots; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const auto element = static_cast<std::size_t>(SlotElement[slot]);
        const std::string own = source_->label(slot);
        const std::optional<std::string> position =
            ProgramSettings::positionName(settings.position[s]);
        recording.labels[element] = position ? "EEG " + *position : own;
        recording.transducers[element] = "simulated DSU, from " + own;
        session::SessionFacts::Slot& fact = run.facts.slot[s];
        fact.element = SlotElement[slot];
        fact.position = settings.position[s];
        fact.positionName = position.value_or("");
        fact.sourceLabel = own;
        fact.label = recording.labels[element];
    }
}

std::vector<std::string> SimulatedDsu::outputInForce() const {
    // The tones kept from the run before; the volumes are 0 again, so none is in force.
    using Target = session::AveCommand::Target;
    const std::pair<Target, int> parts[] = {{Target::BaseFrequency, output_.baseFrequency},
                                            {Target::SecondFrequency, output_.secondFrequency},
                                            {Target::Volume00, output_.volume00},
                                            {Target::Volume01, output_.volume01}};
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        const bool inForce = i < 2 ? toneSet_[i] : parts[i].second != 0;
        if (inForce)
            commands.emplace_back(session::encode({parts[i].first, parts[i].second}).view());
    }
    return commands;
}

void SimulatedDsu::playOutput() {
    const ToneSettings settings = toneSettings(output_);
    if (live_)
        live_->set(settings);
    store_.sound(settings);
}

bool SimulatedDsu::markEvent(std::string_view trialType, std::string_view value, double duration) {
    return store_.mark(trialType, value, duration);
}

bool SimulatedDsu::packetDue() const {
    if (config_.speed <= 0.0)
        return true;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    return delivered_ < static_cast<uint64_t>(elapsed * PacketsPerSecond * config_.speed);
}

int32_t SimulatedDsu::poll(int32_t* packet, int32_t elements, int32_t* packetCount) {
    call_ = "GetP3Data";
    if (packetCount != nullptr)
        *packetCount = 0;
    if (!initialised_ || packet == nullptr || elements < Elements)
        return NotInitialised;
    const bool live = source_->live();
    if (!live && !packetDue())
        return NoData;

    int32_t counts[SampleSource::Slots];
    if (!source_->next(counts)) {
        if (!live && !endLogged_) {
            endLogged_ = true;
            const std::string reason = source_->endReason();
            logCall("GetP3Data: the recording has ended after " + std::to_string(delivered_) +
                    " packets" + (reason.empty() ? "" : ": " + reason));
        }
        return NoData;
    }
    for (int e = 0; e < Elements; ++e)
        packet[e] = SampleSource::Centre;
    for (int slot = 0; slot < SampleSource::Slots; ++slot)
        packet[SlotElement[slot]] = counts[slot];
    ++delivered_;
    if (const double gap = source_->gapBefore(); gap > 0.0) {
        logCall("GetP3Data: the stream paused for " + session::fixed(gap, 3) + " s before packet " +
                std::to_string(delivered_) + "; the run goes on");
        store_.gap(gap);
        markEvent(session::EventType::Gap, "stream paused", gap);
    }
    store_.packet(packet);
    if (packetCount != nullptr)
        *packetCount = 1;
    return 0;
}

int32_t SimulatedDsu::sendCommand(const char* command, int32_t length) {
    if (command == nullptr || length != 6 || strnlen(command, 6) < 6) {
        logCall("SendCommandToDSU: refused a command that is not 6 characters long");
        return -1;
    }
    const std::string text(command, 6);
    logCall("SendCommandToDSU(" + text + ")");
    store_.command(text);
    const std::optional<session::AveCommand> decoded = session::decode(text);
    if (!decoded) {
        logCall("SendCommandToDSU: " + text + " is not a command this DSU knows");
        return -1;
    }
    output_.apply(*decoded);
    using Target = session::AveCommand::Target;
    const bool base = decoded->target == Target::BaseFrequency;
    const bool frequency = base || decoded->target == Target::SecondFrequency;
    if (frequency)
        toneSet_[base ? 0 : 1] = true;
    const int hertz = decoded->value;
    if (frequency && !ToneSynthesiser::audible(hertz))
        logCall("SendCommandToDSU: " + text + ": " + std::to_string(hertz) + " Hz is outside " +
                std::to_string(ToneSynthesiser::LowestFrequency) + ".." +
                std::to_string(ToneSynthesiser::HighestFrequency) + " Hz: the " +
                (base ? "left" : "right") + " channel is silent until it is back");
    playOutput();
    return 0;
}

int32_t SimulatedDsu::terminate(const char* sessionFile) {
    call_ = "TerminateDSU";
    board_ = {};
    logCall("TerminateDSU: " + std::to_string(delivered_) + " packets delivered");
    if (live_) {
        const std::string slowest = session::fixed(1000.0 * live_->slowestChange(), 1) + " ms";
        live_.reset();
        logCall("TerminateDSU: the live sound has faded out and is closed; each command was "
                "heard within " +
                slowest);
    }
    int32_t status = 0;
    const std::string name = sessionFile != nullptr ? sessionFile : "";
    if (store_.recording()) {
        if (name.empty())
            logCall("TerminateDSU: no session file named");
        if (!store_.finish(name.empty() ? std::filesystem::path()
                                        : inFolder(places_.sessionFileFolder(), name)))
            status = SessionFileFailed;
    } else if (initialised_ && config_.record) {
        status = SessionFileFailed;
    }
    if (source_)
        source_->stop();
    source_.reset();
    initialised_ = false;
    log_.pause();
    check_.reset();
    return status;
}

int32_t SimulatedDsu::listPorts(int32_t* ports) {
    if (ports == nullptr)
        return -1;
    const std::vector<SerialPorts::Port> present = SerialPorts::present();
    if (present.empty()) {
        logCall("ListActiveCOMPorts: no serial port; the synthetic source's virtual Com1");
        ports[0] = 1;
        return 0;
    }
    int32_t last = -1;
    for (const SerialPorts::Port& port : present) {
        if (last + 1 >= PortSlots)
            break;
        ports[++last] = port.number;
        logCall("ListActiveCOMPorts: Com" + std::to_string(port.number) + " is " + port.device);
    }
    return last;
}

std::string SimulatedDsu::serialDevice(const SimulatorConfig& config) {
    if (!config.serialDevice.empty())
        return config.serialDevice;
    // The program hands over its setting, which is the port number less one.
    std::string device = SerialPorts::deviceOf(comPort_ + 1);
    if (device.empty())
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   "Com" + std::to_string(comPort_ + 1) +
                                       " names no serial port (Com1..Com100 are /dev/ttyUSB0..99, "
                                       "Com101.. /dev/ttyACM0.., Com201.. /dev/ttyS0..)");
    logCall(std::string(call_) + ": Com" + std::to_string(comPort_ + 1) + " is " + device);
    return device;
}

} // namespace solvane::dsusim
