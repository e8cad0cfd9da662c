#include "dsu/sound/LiveSoundOutput.h"
#include "dsu/common/ConfigError.h"
#include "dsu/common/Text.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <cstdio>

namespace solvane::dsusim {

namespace {

constexpr int FadeWaits = 100; // of 5 ms: the longest wait for the fade-out before closing

void quietAlsa(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
               const char* /*format*/, ...) {}
void quietJack(const char* /*message*/) {}

/// While PortAudio looks for devices, the sound libraries below it report every device they
/// could not open on the standard error stream (a machine without a sound card, or without a
/// JACK server, gets dozens of lines at each start); what matters reaches our debug log. ALSA's
/// reports are back on afterwards; JACK has no way back to its own, so its stay quiet.
class QuietSoundLibraries {
public:
    QuietSoundLibraries() {
        snd_lib_error_set_handler(quietAlsa);
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
    }
    ~QuietSoundLibraries() { snd_lib_error_set_handler(nullptr); }
    QuietSoundLibraries(const QuietSoundLibraries&) = delete;
    QuietSoundLibraries& operator=(const QuietSoundLibraries&) = delete;
};

std::string paText(PaError error) {
    return Pa_GetErrorText(error);
}

/// The output device whose name is or contains `wanted` (any case), or paNoDevice.
PaDeviceIndex findDevice(const std::string& wanted, std::string& names) {
    const std::string key = lower(wanted);
    PaDeviceIndex partial = paNoDevice;
    for (PaDeviceIndex d = 0; d < Pa_GetDeviceCount(); ++d) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(d);
        if (info == nullptr || info->maxOutputChannels < ToneSynthesiser::Channels)
            continue;
        const std::string name = lower(info->name);
        if (name == key)
            return d;
        if (partial == paNoDevice && name.find(key) != std::string::npos)
            partial = d;
        names += (names.empty() ? "\"" : ", \"") + std::string(info->name) + "\"";
    }
    return partial;
}

} // namespace

struct LiveSoundCallback {
    static int play(const void* /*input*/, void* output, unsigned long frames,
                    const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags /*flags*/,
                    void* user) noexcept {
        auto& self = *static_cast<LiveSoundOutput*>(user);
        const uint64_t word = self.settings_.load(std::memory_order_acquire);
        if (word != self.applied_) {
            self.synthesiser_.set(ToneSettings::unpack(word));
            self.applied_ = word;
            const double heard = time->outputBufferDacTime - self.posted_.load();
            if (time->outputBufferDacTime > 0.0 && heard > self.slowest_.load())
                self.slowest_.store(heard);
        }
        self.synthesiser_.render(static_cast<float*>(output), static_cast<int>(frames));
        if (self.synthesiser_.silent() && ToneSettings::unpack(word).fadingOut)
            self.faded_.store(true, std::memory_order_release);
        return paContinue;
    }
};

LiveSoundOutput::LiveSoundOutput(const std::string& device) {
    QuietSoundLibraries quiet;
    if (const PaError error = Pa_Initialize(); error != paNoError)
        throw SoundOutputError("the sound system cannot be started: " + paText(error));
    try {
        PaDeviceIndex index = Pa_GetDefaultOutputDevice();
        if (!device.empty()) {
            std::string names;
            index = findDevice(device, names);
            if (index == paNoDevice)
                throw SimulatorConfigError(
                    ConfigKey::SoundDevice, ConfigFault::NoSuchDevice,
                    "SoundDevice = " + inQuotes(device) + " names no sound output device; " +
                        (names.empty() ? "there is none" : "there are " + names));
        }
        if (index == paNoDevice)
            throw SoundOutputError("there is no sound output device");
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        const PaStreamParameters parameters{index, ToneSynthesiser::Channels, paFloat32,
                                            info->defaultLowOutputLatency, nullptr};
        PaStream* stream = nullptr;
        if (const PaError error =
                Pa_OpenStream(&stream, nullptr, &parameters, ToneSynthesiser::Rate, BufferFrames,
                              paClipOff, &LiveSoundCallback::play, this);
            error != paNoError)
            throw SoundOutputError("the sound output device \"" + std::string(info->name) +
                                   "\" cannot be opened: " + paText(error));
        stream_ = stream;
        if (const PaError error = Pa_StartStream(stream); error != paNoError)
            throw SoundOutputError("the sound output device \"" + std::string(info->name) +
                                   "\" cannot be started: " + paText(error));
        const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream);
        char latency[32];
        std::snprintf(latency, sizeof latency, "%.1f ms",
                      streamInfo != nullptr ? 1000.0 * streamInfo->outputLatency : 0.0);
        description_ =
            "\"" + std::string(info->name) + "\" (" + Pa_GetHostApiInfo(info->hostApi)->name +
            ") at " + std::to_string(ToneSynthesiser::Rate) + " Hz, " + latency + " output latency";
    } catch (...) {
        if (stream_ != nullptr)
            Pa_CloseStream(stream_);
        stream_ = nullptr;
        Pa_Terminate();
        throw;
    }
}

LiveSoundOutput::~LiveSoundOutput() {
    close();
}

void LiveSoundOutput::set(const ToneSettings& settings) noexcept {
    posted_.store(Pa_GetStreamTime(stream_));
    settings_.store(settings.pack(), std::memory_order_release);
}

void LiveSoundOutput::close() noexcept {
    if (stream_ == nullptr)
        return;
    ToneSettings last = ToneSettings::unpack(settings_.load());
    last.fadingOut = true;
    set(last);
    for (int wait = 0; wait < FadeWaits && !faded_.load(std::memory_order_acquire) &&
                       Pa_IsStreamActive(stream_) == 1;
         ++wait)
        Pa_Sleep(5);
    // Stopping plays what is already queued, the end of the fade-out.
    Pa_StopStream(stream_);
    Pa_CloseStream(stream_);
    stream_ = nullptr;
    Pa_Terminate();
}

} // namespace solvane::dsusim
