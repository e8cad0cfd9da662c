#include "dsu/session/SessionSoundFile.h"
#include "dsu/session/SessionRecorder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace solvane::dsusim {

SessionSoundFile::SessionSoundFile(std::filesystem::path workingFile)
    : working_(std::move(workingFile)) {
    SF_INFO format{};
    format.samplerate = ToneSynthesiser::Rate;
    format.channels = ToneSynthesiser::Channels;
    format.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    file_ = sf_open(working_.c_str(), SFM_WRITE, &format);
    if (file_ == nullptr)
        throw SessionFileError("the sound file " + working_.string() +
                               " cannot be created: " + sf_strerror(nullptr));
}

SessionSoundFile::~SessionSoundFile() {
    abandon();
}

uint64_t SessionSoundFile::frameOf(uint64_t packet) noexcept {
    return (packet * ToneSynthesiser::Rate + PacketsPerSecond - 1) / PacketsPerSecond;
}

void SessionSoundFile::renderTo(uint64_t frame) {
    while (file_ != nullptr && written_ < frame) {
        const int frames = static_cast<int>(std::min<uint64_t>(frame - written_, BlockFrames));
        synthesiser_.render(rendered_, frames);
        for (int i = 0; i < frames * ToneSynthesiser::Channels; ++i)
            samples_[i] = static_cast<short>(std::lrint(rendered_[i] * 32767.0F));
        if (sf_writef_short(file_, samples_, frames) != frames)
            throw SessionFileError("the sound file " + working_.string() +
                                   " cannot be written: " + sf_strerror(file_));
        written_ += static_cast<uint64_t>(frames);
    }
}

void SessionSoundFile::set(const ToneSettings& settings, uint64_t packet) {
    renderTo(frameOf(packet));
    settings_ = settings;
    synthesiser_.set(settings);
}

void SessionSoundFile::follow(uint64_t packet) {
    if (frameOf(packet) >= written_ + ToneSynthesiser::Rate)
        renderTo(frameOf(packet));
}

void SessionSoundFile::finish(uint64_t packet, const std::filesystem::path& target) {
    ToneSettings last = settings_;
    last.fadingOut = true;
    set(last, packet);
    const uint64_t faded = written_ + ToneSynthesiser::GlideFrames;
    renderTo((faded + ToneSynthesiser::Rate - 1) / ToneSynthesiser::Rate * ToneSynthesiser::Rate);
    if (file_ != nullptr && sf_close(file_) != 0) {
        file_ = nullptr;
        throw SessionFileError("the sound file " + working_.string() + " cannot be completed");
    }
    file_ = nullptr;
    std::error_code error;
    std::filesystem::rename(working_, target, error);
    if (error)
        throw SessionFileError("the sound file " + working_.string() + " cannot be renamed to " +
                               target.string() + ": " + error.message());
}

void SessionSoundFile::abandon() noexcept {
    if (file_ != nullptr)
        sf_close(file_);
    file_ = nullptr;
}

} // namespace solvane::dsusim
