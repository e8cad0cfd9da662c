#pragma once
// The AVE output of a session as a sound file: FLAC, 48 kHz, 16-bit stereo, written through
// libsndfile, rendered by a ToneSynthesiser of its own on the session's time axis. Settings
// received with packet n take effect at the first frame at or after n / 256 s, where the
// recording's annotation of the command stands, so sound and EEG line up in any editor. The
// file depends only on the settings and the packet numbers they came with: the same commands
// give the same file. It follows the packets a second at a time, and goes to the disk with one
// write a second; end() fades the sound out at the last packet and ends the file with the
// second in which the fade-out ends. keep() gives the file its kept name once it is valid to
// its last frame, whether it was ended, stopped by a fault or left by a process that was
// killed: what reached the disk is kept, never rendered again.

#include "device/kardemo.h"
#include "dsu/sound/ToneSynthesiser.h"
#include "session/AveCommand.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

struct sf_private_tag;

namespace solvane::dsusim {

/// What the sound plays for the output the commands have set.
ToneSettings toneSettings(const session::AveOutputState& output) noexcept;

class WriteBuffer;

class SessionSoundFile {
public:
    static constexpr int PacketsPerSecond = KARDEMO_PACKET_RATE;

    /// Creates `workingFile` (replacing one of that name). Throws session::SessionError.
    explicit SessionSoundFile(std::filesystem::path workingFile);
    /// An unfinished file is closed and left under its working name.
    ~SessionSoundFile();
    SessionSoundFile(const SessionSoundFile&) = delete;
    SessionSoundFile& operator=(const SessionSoundFile&) = delete;

    /// Plays `settings` from the time of `packet` on (no earlier than what is written).
    /// Throws session::SessionError.
    void set(const ToneSettings& settings, uint64_t packet);
    /// Renders the sound up to the time of `packet` once a second of it is due.
    /// Throws session::SessionError.
    void follow(uint64_t packet);
    /// Fades out at the time of `packet`, completes and closes the file under its working
    /// name. Throws session::SessionError; the file is then closed as far as it got.
    void end(uint64_t packet);
    /// Closes the file as it is and leaves it under its working name.
    void abandon() noexcept;

    /// Makes the sound file `working` valid to its last whole frame (see FlacFrames.h) and
    /// renames it to `target`; its length in seconds. Throws session::SessionError, saying
    /// why, when it holds no whole frame or cannot be renamed; it then stays as it was.
    static double keep(const std::filesystem::path& working, const std::filesystem::path& target);

    [[nodiscard]] const std::filesystem::path& workingFile() const noexcept { return working_; }

private:
    static constexpr int BlockFrames = 1024;
    [[nodiscard]] static uint64_t frameOf(uint64_t packet) noexcept;
    void renderTo(uint64_t frame);
    /// Why the file could not be written, in words.
    [[nodiscard]] std::string reason() const;

    std::filesystem::path working_;
    std::unique_ptr<WriteBuffer> output_;
    sf_private_tag* file_ = nullptr;
    uint64_t written_ = 0; ///< frames
    uint64_t flushed_ = 0; ///< frames rendered when the file was last written
    ToneSynthesiser synthesiser_;
    ToneSettings settings_;
    float rendered_[BlockFrames * ToneSynthesiser::Channels] = {};
    short samples_[BlockFrames * ToneSynthesiser::Channels] = {};
};

} // namespace solvane::dsusim
