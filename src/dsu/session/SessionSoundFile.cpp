#include "dsu/session/SessionSoundFile.h"

#include "dsu/session/FlacFrames.h"
#include "dsu/session/WriteBuffer.h"
#include "session/SessionError.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

namespace solvane::dsusim {

namespace {

WriteBuffer& bufferOf(void* user) {
    return *static_cast<WriteBuffer*>(user);
}

// libsndfile writes the file through these, so that it reaches the disk a second at a time.
SF_VIRTUAL_IO buffered() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* user) -> sf_count_t { return bufferOf(user).length(); };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        return bufferOf(user).seek(offset, whence);
    };
    io.read = [](void* into, sf_count_t count, void* user) -> sf_count_t {
        return bufferOf(user).read(into, count);
    };
    io.write = [](const void* bytes, sf_count_t count, void* user) -> sf_count_t {
        return bufferOf(user).write(bytes, count);
    };
    io.tell = [](void* user) -> sf_count_t { return bufferOf(user).tell(); };
    return io;
}

} // namespace

ToneSettings toneSettings(const session::AveOutputState& output) noexcept {
    ToneSettings settings;
    settings.volume[0] = output.volume00;
    settings.volume[1] = output.volume01;
    settings.frequency[0] = output.baseFrequency;
    settings.frequency[1] = output.secondFrequency;
    return settings;
}

SessionSoundFile::SessionSoundFile(std::filesystem::path workingFile)
    : working_(std::move(workingFile)) {
    SF_INFO format{};
    format.samplerate = ToneSynthesiser::Rate;
    format.channels = ToneSynthesiser::Channels;
    format.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    output_ = std::make_unique<WriteBuffer>(working_);
    SF_VIRTUAL_IO io = buffered();
    file_ = sf_open_virtual(&io, SFM_WRITE, &format, output_.get());
    if (file_ == nullptr) {
        output_.reset();
        std::error_code ignored;
        std::filesystem::remove(working_, ignored);
        throw session::SessionError("the sound file " + working_.string() +
                                    " cannot be created: " + sf_strerror(nullptr));
    }
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
        if (sf_writef_short(file_, samples_, frames) != frames || output_->error() != 0)
            throw session::SessionError("the sound file " + working_.string() +
                                            " cannot be written: " + reason(),
                                        output_->error());
        written_ += static_cast<uint64_t>(frames);
    }
}

void SessionSoundFile::set(const ToneSettings& settings, uint64_t packet) {
    renderTo(frameOf(packet));
    settings_ = settings;
    synthesiser_.set(settings);
}

void SessionSoundFile::follow(uint64_t packet) {
    // A second after the last write, whatever the commands have rendered meanwhile.
    if (frameOf(packet) < flushed_ + ToneSynthesiser::Rate)
        return;
    renderTo(frameOf(packet));
    flushed_ = written_;
    if (!output_->flush())
        throw session::SessionError("the sound file " + working_.string() +
                                        " cannot be written: " + reason(),
                                    output_->error());
}

std::string SessionSoundFile::reason() const {
    return output_ && output_->error() != 0 ? std::strerror(output_->error()) : sf_strerror(file_);
}

void SessionSoundFile::end(uint64_t packet) {
    ToneSettings last = settings_;
    last.fadingOut = true;
    set(last, packet);
    const uint64_t faded = written_ + ToneSynthesiser::GlideFrames;
    renderTo((faded + ToneSynthesiser::Rate - 1) / ToneSynthesiser::Rate * ToneSynthesiser::Rate);
    const bool closed = file_ != nullptr && sf_close(file_) == 0;
    file_ = nullptr;
    if (!closed || !output_->flush()) {
        const int error = output_->error();
        output_.reset();
        throw session::SessionError(
            "the sound file " + working_.string() + " cannot be completed" +
                (error != 0 ? ": " + std::string(std::strerror(error)) : ""),
            error);
    }
    output_.reset();
}

double SessionSoundFile::keep(const std::filesystem::path& working,
                              const std::filesystem::path& target) {
    const int fd = ::open(working.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw session::SessionError("the sound file " + working.string() +
                                        " cannot be opened: " + std::strerror(error),
                                    error);
    }
    struct stat status {};
    std::string why = "it is no plain file";
    std::optional<uint64_t> frames;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        frames = keepWholeFrames(fd, why);
    ::close(fd);
    if (!frames)
        throw session::SessionError("the sound file " + working.string() +
                                    " cannot be kept: " + why);
    std::error_code error;
    std::filesystem::rename(working, target, error);
    if (error)
        throw session::SessionError("the sound file " + working.string() +
                                        " cannot be renamed to " + target.string() + ": " +
                                        error.message(),
                                    error.value());
    return static_cast<double>(*frames) / ToneSynthesiser::Rate;
}

void SessionSoundFile::abandon() noexcept {
    if (file_ != nullptr)
        sf_close(file_);
    file_ = nullptr;
    if (output_)
        (void)output_->flush();
    output_.reset();
}

} // namespace solvane::dsusim
