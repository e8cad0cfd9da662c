#include "dsu/unit/SimulatedDsu.h"

#include "config/ProfileFile.h"
#include "dsu/common/Text.h"
#include "dsu/eeg/CytonSource.h"
#include "dsu/eeg/LslSource.h"
#include "dsu/eeg/RecordingSource.h"
#include "dsu/eeg/SyntheticSource.h"
#include "dsu/session/SessionEvents.h"
#include "dsu/session/SessionLock.h"
#include "dsu/session/SessionRecovery.h"
#include "dsu/session/SessionSoundFile.h"
#include "dsu/sound/LiveSoundOutput.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

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
std::string timeStamp(std::chrono::system_clock::time_point start) {
    const std::time_t now = std::chrono::system_clock::to_time_t(start);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

/// Replaces `target` with a copy of `source`; `target` is whole or as it was. A file the
/// user may not write stays as it is, as the settings file does: replacing it through its
/// folder would get round its protection.
void copyReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    if (::faccessat(AT_FDCWD, target.c_str(), F_OK, AT_EACCESS) == 0 &&
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw SessionFileError("the session cannot be copied to " + target.string() +
                               ": it is write-protected and stays as it was");
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

/// Room a run needs on its disk to start: a minute of recording.
constexpr unsigned long long LeastRoom = 60ULL * 8192;

[[noreturn]] void cannotRecord(ConfigFault fault, const std::string& why) {
    throw SimulatorConfigError(ConfigKey::Record, fault, "the run cannot be recorded: " + why);
}

bool noRoom(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

void removeQuietly(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

ToneSettings toneSettings(const SimulatedDsu::Output& output) {
    ToneSettings settings;
    settings.volume[0] = output.volume00;
    settings.volume[1] = output.volume01;
    settings.frequency[0] = output.baseFrequency;
    settings.frequency[1] = output.secondFrequency;
    return settings;
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

SimulatedDsu::~SimulatedDsu() {
    if (debugFd_ >= 0)
        ::close(debugFd_);
}

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

// The log is this program's own while it holds a lock on it, and starts afresh with each
// SetDebugMode then. A second program beside it finds the lock taken and adds its lines to
// the end instead, so that neither cuts the other's log short.
void SimulatedDsu::setDebugMode(int32_t mode, const char* debugFile) {
    debugOn_ = false;
    if (mode == 1 && debugFile != nullptr) {
        if (debugFd_ >= 0 && debugPath_ != debugFile) {
            ::close(debugFd_);
            debugFd_ = -1;
        }
        if (debugFd_ < 0) {
            debugPath_ = debugFile;
            // Without waiting: a FIFO of that name would hold the start until a reader came.
            debugFd_ =
                ::open(debugFile, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
            struct stat status {};
            if (debugFd_ >= 0 && (::fstat(debugFd_, &status) != 0 || !S_ISREG(status.st_mode))) {
                ::close(debugFd_);
                debugFd_ = -1;
            }
            debugShared_ = debugFd_ >= 0 && ::flock(debugFd_, LOCK_EX | LOCK_NB) != 0;
        }
        if (debugFd_ >= 0 && !debugShared_)
            (void)::ftruncate(debugFd_, 0);
        debugOn_ = debugFd_ >= 0;
    }
    logCall("SetDebugMode(" + std::to_string(mode) + ")" +
            (debugShared_ && debugOn_ ? ": another program writes this log too; added to its end"
                                      : ""));
}

void SimulatedDsu::logCall(const std::string& text) {
    if (!debugOn_)
        return;
    const std::string line = text + '\n'; // one write: lines of two programs do not mix
    if (::write(debugFd_, line.data(), line.size()) < 0)
        debugOn_ = false;
}

// A run started again without TerminateDSU ends here, kept under its own name.
void SimulatedDsu::endRecording() {
    live_.reset();
    if (!recorder_)
        return;
    logCall("InitialiseDSU: the run before was not terminated");
    bool kept = false;
    (void)finishRun(kept, nullptr);
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
                logCall("InitialiseDSU: " + configFile.string() + ": the key " + inQuotes(key) +
                        " means nothing here and is ignored");
        }
        config_ = SimulatorConfig::fromText(text);
        if (config_.synthetic()) {
            source_ = std::make_unique<SyntheticSource>(config_.seed, config_.gain);
        } else if (config_.cyton()) {
            source_ = std::make_unique<CytonSource>(
                serialDevice(), config_.channels, config_.montage, config_.gain,
                [this](const std::string& line) { logCall(line); });
        } else if (config_.lsl()) {
            const std::string library =
                config_.lslLibrary.empty()
                    ? std::string()
                    : inFolder(places_.configFolder(), config_.lslLibrary).string();
            auto stream = std::make_unique<LslSource>(library, config_.stream, config_.channels,
                                                      config_.gain);
            if (!stream->passedOver().empty())
                logCall("InitialiseDSU: LSL streams passed over: " + stream->passedOver());
            source_ = std::move(stream);
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
    if (config_.record) {
        try {
            startRecording(labels);
        } catch (const SimulatorConfigError& e) {
            logCall("InitialiseDSU failed (status " + std::to_string(e.status()) +
                    "): " + e.what() + " (Record = off in " + configFile.string() +
                    " runs without recording)");
            live_.reset();
            source_.reset();
            return e.status();
        }
    } else {
        session_.clear();
        logCall("InitialiseDSU: Record = off: the run is not recorded");
    }
    ++runs_;
    // The new run's packets count from 0 before its sound file takes its first settings:
    // with the count of the run before, the file began with that run's length of silence
    // and every command of this run sounded that much too late.
    delivered_ = 0;
    startSound();
    playOutput();

    initialised_ = true;
    start_ = Clock::now();
    return 0;
}

void SimulatedDsu::startRecording(const std::string (&labels)[Elements]) {
    session_.clear();
    const auto began = std::chrono::system_clock::now();
    const std::filesystem::path& sessions = places_.sessionsFolder();
    std::error_code error;
    places_.makeFolder(sessions, error);
    if (!error && !std::filesystem::is_directory(sessions, error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (error)
        cannotRecord(ConfigFault::SessionsFolderUnusable,
                     "the folder " + sessions.string() + " cannot be made: " + error.message());
    for (const std::string& line :
         recoverSessions(sessions, [](std::string_view command, ToneSettings&settings) {
             Output output;
             output.volume00 = settings.volume[0];
             output.volume01 = settings.volume[1];
             output.baseFrequency = settings.frequency[0];
             output.secondFrequency = settings.frequency[1];
             if (applyCommand(command, output))
                 settings = toneSettings(output);
         }))
        logCall(line);
    struct statvfs disk {};
    if (::statvfs(sessions.c_str(), &disk) == 0 &&
        static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < LeastRoom)
        cannotRecord(ConfigFault::DiskFull, "the disk of " + sessions.string() + " is full");

    // Two runs that begin in the same second, in this program or another beside it, are told
    // apart by a number; the names still sort in the order of the runs. The lock is the
    // run's claim to its name.
    const std::string stamp = timeStamp(began);
    std::string name = stamp;
    try {
        for (int n = 2;; ++n) {
            if (!std::filesystem::exists(sessions / (name + ".edf"), error) &&
                !std::filesystem::exists(sessions / (name + ".working.edf"), error) &&
                !std::filesystem::exists(sessions / (name + SessionEvents::Suffix), error) &&
                (lock_ = SessionLock::create(sessions / (name + SessionLock::Suffix))))
                break;
            name = stamp + "_" + std::to_string(n);
        }
        events_ = std::make_unique<SessionEvents>(sessions / (name + SessionEvents::Suffix));
        const std::filesystem::path working = sessions / (name + ".working.edf");
        recorder_ = std::make_unique<SessionRecorder>(working, labels, config_.gain,
                                                      source_->description(), began);
        session_ = sessions / (name + ".edf");
        logCall("InitialiseDSU: recording into " + working.string());
    } catch (const SessionFileError& e) {
        recorder_.reset();
        if (events_) {
            removeQuietly(events_->file());
            events_.reset();
        }
        if (lock_) {
            lock_->release();
            lock_.reset();
        }
        cannotRecord(noRoom(e.code()) ? ConfigFault::DiskFull
                                      : ConfigFault::SessionFilesUncreatable,
                     e.what());
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
    const ToneSettings settings = toneSettings(output_);
    if (live_)
        live_->set(settings);
    if (sound_) {
        try {
            sound_->set(settings, delivered_);
        } catch (const SessionFileError& e) {
            dropSound("SendCommandToDSU: the sound is no longer kept: " + std::string(e.what()));
        }
    }
}

// A sound file that could not be written whole is of no use; the events file holds what it
// would have played.
void SimulatedDsu::dropSound(const std::string& why) {
    logCall(why);
    sound_->abandon();
    removeQuietly(sound_->workingFile());
    sound_.reset();
}

bool SimulatedDsu::markEvent(std::string_view trialType, std::string_view value, double duration) {
    return events_ && events_->mark(delivered_, duration, trialType, value);
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
        char text[96];
        std::snprintf(text, sizeof text,
                      "GetP3Data: the stream paused for %.3f s before packet %llu; the run goes on",
                      gap, static_cast<unsigned long long>(delivered_));
        logCall(text);
        if (recorder_ && !recorder_->stopped())
            recorder_->gap(gap);
        markEvent("gap", "stream paused", gap);
    }
    if (recorder_ && !recorder_->stopped()) {
        try {
            recorder_->add(packet);
        } catch (const SessionFileError& e) {
            // The feedback goes on; what was recorded is kept when the run ends.
            logCall("GetP3Data: recording stopped at packet " + std::to_string(delivered_) +
                    ", the run goes on unrecorded: " + e.what());
            if (events_)
                events_->mark(delivered_, -1.0, SessionEvents::StoppedType,
                              noRoom(e.code()) ? "disk full" : "write failed");
            if (sound_)
                dropSound("GetP3Data: the sound is no longer kept either");
        }
    }
    if (sound_) {
        try {
            sound_->follow(delivered_);
        } catch (const SessionFileError& e) {
            dropSound("GetP3Data: the sound is no longer kept: " + std::string(e.what()));
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
    if (recorder_ && !recorder_->stopped())
        recorder_->command(text);
    if (events_ && !(recorder_ && recorder_->stopped()) && !events_->command(delivered_, text))
        logCall("SendCommandToDSU: the events file " + events_->file().string() +
                " takes no more lines");
    if (!applyCommand(text, output_)) {
        logCall("SendCommandToDSU: " + text + " is not a command this DSU knows");
        return -1;
    }
    const bool frequency = text[0] == 'W' && (text[1] == 'E' || text[1] == 'F');
    const int hertz = text[1] == 'E' ? output_.baseFrequency : output_.secondFrequency;
    if (frequency && !ToneSynthesiser::audible(hertz))
        logCall("SendCommandToDSU: " + text + ": " + std::to_string(hertz) + " Hz is outside " +
                std::to_string(ToneSynthesiser::LowestFrequency) + ".." +
                std::to_string(ToneSynthesiser::HighestFrequency) + " Hz: the " +
                (text[1] == 'E' ? "left" : "right") + " channel is silent until it is back");
    playOutput();
    return 0;
}

bool SimulatedDsu::applyCommand(std::string_view text, Output& output) {
    if (text.size() != 6)
        return false;
    int* target = nullptr;
    int value = -1;
    int offset = 0; // frequencies travel as hertz + 32768
    if (text.rfind("WB00", 0) == 0 || text.rfind("WB01", 0) == 0) {
        target = text[3] == '0' ? &output.volume00 : &output.volume01;
        value = hexValue(text.data() + 4, 2);
    } else if (text.rfind("WE", 0) == 0 || text.rfind("WF", 0) == 0) {
        target = text[1] == 'E' ? &output.baseFrequency : &output.secondFrequency;
        value = hexValue(text.data() + 2, 4);
        offset = 32768;
    }
    if (target == nullptr || value < 0)
        return false;
    *target = value - offset;
    return true;
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
    if (recorder_) {
        bool kept = false;
        std::string contents;
        if (!finishRun(kept, &contents))
            status = SessionFileFailed;
        if (name.empty())
            logCall("TerminateDSU: no session file named");
        else if (kept && !keepRecording(inFolder(places_.sessionFileFolder(), name), contents))
            status = SessionFileFailed;
    } else if (initialised_ && config_.record) {
        status = SessionFileFailed;
    }
    session_.clear();
    if (source_)
        source_->stop();
    source_.reset();
    initialised_ = false;
    debugOn_ = false;
    return status;
}

bool SimulatedDsu::finishRun(bool& kept, std::string* contents) {
    bool whole = true;
    kept = recorder_->packets() > 0;
    if (!kept) {
        // A run without a packet is no recording worth keeping, nor a reason to replace the
        // copy of the last one.
        recorder_->abandon();
        removeQuietly(recorder_->workingFile());
        if (sound_) {
            sound_->abandon();
            removeQuietly(sound_->workingFile());
        }
        if (events_)
            removeQuietly(events_->file());
        logCall("TerminateDSU: the run recorded no packet and is not kept; the session file "
                "stays as it was");
    } else {
        if (recorder_->stopped())
            whole = false;
        try {
            recorder_->finish(session_);
            const std::string counts =
                " (" + std::to_string(recorder_->packets()) + " packets, " +
                std::to_string(
                    std::min<uint64_t>(recorder_->annotations(),
                                       recorder_->records() * SessionRecorder::AnnotationSignals)) +
                " annotations)";
            if (contents != nullptr)
                *contents = counts;
            logCall("TerminateDSU: the run is kept in " + session_.string() + counts +
                    (recorder_->stopped() ? ", up to where the recording stopped" : "") +
                    "; every command is in " + (events_ ? events_->file().string() : ""));
        } catch (const SessionFileError& e) {
            logCall("TerminateDSU: " + std::string(e.what()));
            whole = false;
            kept = false;
        }
        if (sound_) {
            try {
                sound_->finish(delivered_, soundFileOf(session_));
            } catch (const SessionFileError& e) {
                logCall("TerminateDSU: " + std::string(e.what()));
                removeQuietly(sound_->workingFile());
                whole = false;
            }
        }
    }
    sound_.reset();
    recorder_.reset();
    events_.reset();
    if (lock_)
        lock_->release();
    lock_.reset();
    return whole;
}

bool SimulatedDsu::keepRecording(const std::filesystem::path& target, const std::string& contents) {
    bool copied = true;
    try {
        copyReplacing(session_, target);
        logCall("TerminateDSU: session written to " + target.string() + contents);
    } catch (const SessionFileError& e) {
        logCall("TerminateDSU: " + std::string(e.what()));
        copied = false;
    }
    std::error_code error;
    if (copied && std::filesystem::exists(soundFileOf(session_), error)) {
        try {
            copyReplacing(soundFileOf(session_), soundFileOf(target));
            logCall("TerminateDSU: sound written to " + soundFileOf(target).string());
        } catch (const SessionFileError& e) {
            logCall("TerminateDSU: " + std::string(e.what()));
            copied = false;
        }
    }
    return copied;
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

std::string SimulatedDsu::serialDevice() {
    if (!config_.serialDevice.empty())
        return config_.serialDevice;
    // The program hands over its setting, which is the port number less one.
    const std::string device = SerialPorts::deviceOf(comPort_ + 1);
    if (device.empty())
        throw SimulatorConfigError(ConfigKey::SerialDevice, ConfigFault::NoSuchPort,
                                   "Com" + std::to_string(comPort_ + 1) +
                                       " names no serial port (Com1..Com100 are /dev/ttyUSB0..99, "
                                       "Com101.. /dev/ttyACM0.., Com201.. /dev/ttyS0..)");
    logCall("InitialiseDSU: Com" + std::to_string(comPort_ + 1) + " is " + device);
    return device;
}

} // namespace solvane::dsusim
