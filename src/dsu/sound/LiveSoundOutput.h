#pragma once
// The simulated DSU's AVE output played live on a sound device through PortAudio. The tone
// settings reach the audio callback through one atomic word; the callback runs its own
// ToneSynthesiser and allocates nothing, takes no lock and does no I/O. A change is picked
// up at the start of the next buffer of BufferFrames, so it becomes audible within one
// buffer plus the device's output latency. Closing fades the sound out first.

#include "dsu/sound/ToneSynthesiser.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace solvane::dsusim {

/// No live sound can be played; the message says why. Not a fault of the run.
class SoundOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class LiveSoundOutput {
public:
    static constexpr unsigned long BufferFrames = 240; ///< 5 ms at 48 kHz

    /// Opens and starts the output device whose name contains `device` (any case; an exact
    /// match wins over a partial one, the first partial match over later ones), or the
    /// system's default output when `device` is empty. Plays silence until set() is called.
    /// Throws SimulatorConfigError when no device matches `device`, SoundOutputError when
    /// there is no output device or it cannot be opened.
    explicit LiveSoundOutput(const std::string& device);
    /// Fades out and closes the stream.
    ~LiveSoundOutput();
    LiveSoundOutput(const LiveSoundOutput&) = delete;
    LiveSoundOutput& operator=(const LiveSoundOutput&) = delete;

    /// Plays `settings` from the next buffer on. Never blocks.
    void set(const ToneSettings& settings) noexcept;
    /// The device in use, its rate and its output latency, for the debug log.
    [[nodiscard]] const std::string& description() const noexcept { return description_; }
    /// The longest time so far from set() until the sound system said the change would be
    /// heard (the start of the buffer that carries it at the output), in seconds.
    [[nodiscard]] double slowestChange() const noexcept { return slowest_.load(); }

private:
    friend struct LiveSoundCallback;
    void close() noexcept;

    void* stream_ = nullptr; ///< PaStream
    std::string description_;
    std::atomic<uint64_t> settings_{ToneSettings{}.pack()};
    std::atomic<bool> faded_{false};   ///< set by the callback once a fade-out is complete
    std::atomic<double> posted_{0.0};  ///< stream time of the last set(), s
    std::atomic<double> slowest_{0.0}; ///< see slowestChange()
    // Owned by the callback's thread while the stream runs.
    uint64_t applied_ = ToneSettings{}.pack();
    ToneSynthesiser synthesiser_;
};

} // namespace solvane::dsusim
