#include "dsu/unit/SimulatedDsu.h"

#include "config/ProfileFile.h"
#include "dsu/eeg/RecordingSource.h"
#include "dsu/eeg/SyntheticSource.h"
#include "dsu/session/SessionSoundFile.h"
#include "dsu/sound/LiveSoundOutput.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>

namespace solvane::dsusim {

namespace {

constexpr int SlotElement[SampleSource::Slots] = {0, 4, 1, 5};

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

std::filesystem::path inFolder(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path path(name);
    return path.is_relative() ? folder / path : path;
}

/// The start of a run in local time, as a file name: 2026-12-08_09-30-00.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

/// Replaces `target` with a copy of `source`; `target` is whole or as it was.
void copyReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::filesystem::path part = target;
    part += ".part";
    std::error_code error;
    std::filesystem::copy_file(source, part, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error)
        std::filesystem::rename(part, target, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        throw SessionFileError("the session cannot be copied to " + target.string() + ": " +
                               error.message());
    }
}

/// The sound file that goes beside a recording or session file: the same name, but .flac.
std::filesystem::path soundFileOf(std::filesystem::path file) {
    return file.replace_extension(".flac");
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

} // namespace

SimulatedDsu& SimulatedDsu::instance() {
    static SimulatedDsu dsu(FileLocations::forFolder(libraryFolder()));
    return dsu;
}

SimulatedDsu::SimulatedDsu(const std::filesystem::path& folder)
    : SimulatedDsu(FileLocations::portableIn(folder)) {}

SimulatedDsu::SimulatedDsu(FileLocations places) : places_(std::move(places)) {}

SimulatedDsu::~SimulatedDsu() = default;

std::filesystem::path SimulatedDsu::libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SimulatedDsu::libraryFolder), &info) != 0 &&
        info.dli_fname != nullptr)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

std::filesystem::path SimulatedDsu::recordingFile() const {
    return recorder_ ? recorder_->workingFile() : std::filesystem::path();
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

void SimulatedDsu::endRecording() {
    live_.reset();
    if (sound_) {
        sound_->abandon();
        logCall("InitialiseDSU: its unfinished sound stays in " + sound_->workingFile().string());
        sound_.reset();
    }
    if (!recorder_)
        return;
    logCall("InitialiseDSU: the unfinished session stays in " + recorder_->workingFile().string());
    recorder_->abandon();
    recorder_.reset();
}

int32_t SimulatedDsu::initialise() {
    endRecording();
    source_.reset();
    initialised_ = false;
    endLogged_ = false;
    output_.volume00 = 0;
    output_.volume01 = 0;
    const std::filesystem::path configFile = places_.configFolder() / SimulatorConfig::FileName;
    try {
        const std::optional<std::string> text = configText(configFile);
        if (text) {
            for (const std::string& key : SimulatorConfig::unknownKeys(*text))
                logCall("InitialiseDSU: " + configFile.string() + ": the key \"" + key +
                        "\" means nothing here and is ignored");
        }
        config_ = SimulatorConfig::fromText(text);
        if (config_.synthetic()) {
            source_ = std::make_unique<SyntheticSource>(config_.seed, config_.gain);
        } else {
            source_ =
                std::make_unique<RecordingSource>(inFolder(places_.configFolder(), config_.source),
                                                  config_.channels, config_.gain, config_.loop);
        }
        if (config_.sound) {
            try {
                live_ = std::make_unique<LiveSoundOutput>(config_.soundDevice);
                logCall("InitialiseDSU: live sound on " + live_->description());
            } catch (const SoundOutputError& e) {
                logCall("InitialiseDSU: no live sound: " + std::string(e.what()));
            }
        }
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

    std::string labels[Elements];
    for (int e = 0; e < Elements; ++e)
        labels[e] = "Element " + std::to_string(e);
    for (int slot = 0; slot < SampleSource::Slots; ++slot)
        labels[SlotElement[slot]] = source_->label(slot);
    ++runs_;
    startRecording(labels);
    startSound();
    playOutput();

    initialised_ = true;
    start_ = Clock::now();
    delivered_ = 0;
    return 0;
}

void SimulatedDsu::startRecording(const std::string (&labels)[Elements]) {
    session_.clear();
    const std::filesystem::path& sessions = places_.sessionsFolder();
    std::error_code error;
    places_.makeFolder(sessions, error);
    if (error) {
        logCall("InitialiseDSU: the run is not recorded: the folder " + sessions.string() +
                " cannot be made: " + error.message());
        return;
    }
    // Two runs that begin in the same second are told apart by a number; the names still sort
    // in the order of the runs.
    const std::string stamp = timeStamp();
    std::string name = stamp;
    for (int n = 2; std::filesystem::exists(sessions / (name + ".edf"), error) ||
                    std::filesystem::exists(sessions / (name + ".working.edf"), error);
         ++n)
        name = stamp + "_" + std::to_string(n);
    const std::filesystem::path working = sessions / (name + ".working.edf");
    try {
        recorder_ = std::make_unique<SessionRecorder>(working, labels, config_.gain,
                                                      source_->description());
        session_ = sessions / (name + ".edf");
        logCall("InitialiseDSU: recording into " + working.string());
    } catch (const SessionFileError& e) {
        logCall("InitialiseDSU: the run is not recorded: " + std::string(e.what()));
    }
}

void SimulatedDsu::startSound() {
    if (!config_.soundFile || !recorder_)
        return;
    const std::filesystem::path working = soundFileOf(recorder_->workingFile());
    try {
        sound_ = std::make_unique<SessionSoundFile>(working);
        logCall("InitialiseDSU: sound into " + working.string());
    } catch (const SessionFileError& e) {
        logCall("InitialiseDSU: the sound is not kept: " + std::string(e.what()));
    }
}

void SimulatedDsu::playOutput() {
    ToneSettings settings;
    settings.volume[0] = output_.volume00;
    settings.volume[1] = output_.volume01;
    settings.frequency[0] = output_.baseFrequency;
    settings.frequency[1] = output_.secondFrequency;
    if (live_)
        live_->set(settings);
    if (sound_) {
        try {
            sound_->set(settings, delivered_);
        } catch (const SessionFileError& e) {
            logCall("SendCommandToDSU: the sound is no longer kept: " + std::string(e.what()));
            sound_.reset();
        }
    }
}

bool SimulatedDsu::packetDue() const {
    if (config_.speed <= 0.0)
        return true;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    return delivered_ < static_cast<uint64_t>(elapsed * PacketsPerSecond * config_.speed);
}

int32_t SimulatedDsu::poll(int32_t* packet, int32_t elements, int32_t* packetCount) {
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
            logCall("GetP3Data: the recording has ended after " + std::to_string(delivered_) +
                    " packets");
        }
        return NoData;
    }
    for (int e = 0; e < Elements; ++e)
        packet[e] = SampleSource::Centre;
    for (int slot = 0; slot < SampleSource::Slots; ++slot)
        packet[SlotElement[slot]] = counts[slot];
    ++delivered_;
    if (recorder_) {
        try {
            recorder_->add(packet);
        } catch (const SessionFileError& e) {
            logCall("GetP3Data: recording stopped: " + std::string(e.what()));
            recorder_->abandon();
            recorder_.reset();
        }
    }
    if (sound_) {
        try {
            sound_->follow(delivered_);
        } catch (const SessionFileError& e) {
            logCall("GetP3Data: the sound is no longer kept: " + std::string(e.what()));
            sound_.reset();
        }
    }
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
    if (recorder_)
        recorder_->command(text);
    int* target = nullptr;
    int value = -1;
    int offset = 0; // frequencies travel as hertz + 32768
    if (text.rfind("WB00", 0) == 0 || text.rfind("WB01", 0) == 0) {
        target = text[3] == '0' ? &output_.volume00 : &output_.volume01;
        value = hexValue(command + 4, 2);
    } else if (text.rfind("WE", 0) == 0 || text.rfind("WF", 0) == 0) {
        target = text[1] == 'E' ? &output_.baseFrequency : &output_.secondFrequency;
        value = hexValue(command + 2, 4);
        offset = 32768;
    }
    if (target == nullptr || value < 0) {
        logCall("SendCommandToDSU: " + text + " is not a command this DSU knows");
        return -1;
    }
    *target = value - offset;
    if (offset != 0 && !ToneSynthesiser::audible(*target))
        logCall("SendCommandToDSU: " + text + ": " + std::to_string(*target) + " Hz is outside " +
                std::to_string(ToneSynthesiser::LowestFrequency) + ".." +
                std::to_string(ToneSynthesiser::HighestFrequency) + " Hz: the " +
                (text[1] == 'E' ? "left" : "right") + " channel is silent until it is back");
    playOutput();
    return 0;
}

int32_t SimulatedDsu::terminate(const char* sessionFile) {
    logCall("TerminateDSU: " + std::to_string(delivered_) + " packets delivered");
    if (live_) {
        char slowest[80];
        std::snprintf(slowest, sizeof slowest, "%.1f ms", 1000.0 * live_->slowestChange());
        live_.reset();
        logCall("TerminateDSU: the live sound has faded out and is closed; each command was "
                "heard within " +
                std::string(slowest));
    }
    int32_t status = 0;
    const std::string name = sessionFile != nullptr ? sessionFile : "";
    if (!keepSound(name.empty() ? std::filesystem::path()
                                : inFolder(places_.sessionFileFolder(), name)))
        status = SessionFileFailed;
    if (recorder_) {
        try {
            if (name.empty()) {
                recorder_->abandon();
                logCall("TerminateDSU: no session file named; the session stays in " +
                        recorder_->workingFile().string());
            } else {
                const std::filesystem::path target = inFolder(places_.sessionFileFolder(), name);
                keepRecording(target);
                logCall("TerminateDSU: session written to " + target.string() + " (" +
                        std::to_string(recorder_->packets()) + " packets, " +
                        std::to_string(recorder_->annotations()) + " annotations)");
            }
        } catch (const SessionFileError& e) {
            logCall("TerminateDSU: " + std::string(e.what()));
            status = SessionFileFailed;
        }
        recorder_.reset();
    } else if (initialised_) {
        status = SessionFileFailed;
    }
    session_.clear();
    if (source_)
        source_->stop();
    source_.reset();
    initialised_ = false;
    if (debugLog_.is_open())
        debugLog_.close();
    return status;
}

void SimulatedDsu::keepRecording(const std::filesystem::path& target) {
    // A run without a packet is no recording worth keeping; the named file still gets it.
    if (recorder_->packets() == 0) {
        recorder_->finish(target);
        return;
    }
    recorder_->finish(session_);
    logCall("TerminateDSU: the run is kept in " + session_.string());
    copyReplacing(session_, target);
}

bool SimulatedDsu::keepSound(const std::filesystem::path& target) {
    if (!sound_)
        return true;
    bool kept = true;
    try {
        if (target.empty()) {
            sound_->abandon();
            logCall("TerminateDSU: the sound stays in " + sound_->workingFile().string());
        } else if (delivered_ == 0 || session_.empty()) {
            sound_->finish(delivered_, soundFileOf(target));
        } else {
            sound_->finish(delivered_, soundFileOf(session_));
            copyReplacing(soundFileOf(session_), soundFileOf(target));
            logCall("TerminateDSU: sound written to " + soundFileOf(target).string());
        }
    } catch (const SessionFileError& e) {
        logCall("TerminateDSU: " + std::string(e.what()));
        kept = false;
    }
    sound_.reset();
    return kept;
}

int32_t SimulatedDsu::listPorts(int32_t* ports) {
    if (ports == nullptr)
        return -1;
    ports[0] = 1; // one virtual port, Com1
    return 0;
}

} // namespace solvane::dsusim
