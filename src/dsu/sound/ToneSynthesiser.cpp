#include "dsu/sound/ToneSynthesiser.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace solvane::dsusim {

namespace {

constexpr int FrequencyOffset = 32768; // frequencies travel as hertz + 32768

} // namespace

uint64_t ToneSettings::pack() const noexcept {
    uint64_t word = 0;
    for (int c = 0; c < 2; ++c) {
        word |= static_cast<uint64_t>(volume[c] & 0xFF) << (8 * c);
        word |= static_cast<uint64_t>((frequency[c] + FrequencyOffset) & 0xFFFF) << (16 + 16 * c);
    }
    return word | (fadingOut ? uint64_t{1} << 48 : 0);
}

ToneSettings ToneSettings::unpack(uint64_t word) noexcept {
    ToneSettings settings;
    for (int c = 0; c < 2; ++c) {
        settings.volume[c] = static_cast<int>((word >> (8 * c)) & 0xFF);
        settings.frequency[c] =
            static_cast<int>((word >> (16 + 16 * c)) & 0xFFFF) - FrequencyOffset;
    }
    settings.fadingOut = ((word >> 48) & 1) != 0;
    return settings;
}

double ToneSynthesiser::level(int volume) noexcept {
    if (volume <= 0)
        return 0.0;
    const int percent = volume > 100 ? 100 : volume;
    return std::pow(10.0, (-6.0 + 27.0 * std::log10(percent / 100.0)) / 20.0);
}

bool ToneSynthesiser::audible(int frequency) noexcept {
    return frequency >= LowestFrequency && frequency <= HighestFrequency;
}

void ToneSynthesiser::glideTo(Voice& voice, double target) noexcept {
    if (target == voice.target)
        return;
    voice.from = voice.gain;
    voice.target = target;
    voice.glided = 0;
}

void ToneSynthesiser::set(const ToneSettings& settings) noexcept {
    for (int c = 0; c < Channels; ++c) {
        Voice& voice = voices_[c];
        const int frequency = settings.frequency[c];
        const bool playable = audible(frequency);
        // An inaudible frequency is never played: the old one fades out instead.
        if (playable)
            voice.increment = static_cast<double>(frequency) / Rate;
        glideTo(voice, playable && !settings.fadingOut ? level(settings.volume[c]) : 0.0);
    }
}

void ToneSynthesiser::render(float* out, int frames) noexcept {
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < Channels; ++c) {
            Voice& voice = voices_[c];
            if (voice.glided < GlideFrames) {
                ++voice.glided;
                const double done =
                    0.5 - 0.5 * std::cos(std::numbers::pi * voice.glided / GlideFrames);
                voice.gain = voice.from + (voice.target - voice.from) * done;
            }
            // A channel at rest costs no sine: with the default settings both stay silent for
            // the whole run.
            const bool atRest = voice.gain == 0.0 && voice.glided >= GlideFrames;
            out[Channels * i + c] =
                atRest ? 0.0F
                       : static_cast<float>(voice.gain *
                                            std::sin(2.0 * std::numbers::pi * voice.phase));
            voice.phase += voice.increment;
            voice.phase -= std::floor(voice.phase);
        }
    }
}

bool ToneSynthesiser::silent() const noexcept {
    return std::all_of(std::begin(voices_), std::end(voices_), [](const Voice& voice) {
        return voice.gain == 0.0 && voice.glided == GlideFrames;
    });
}

} // namespace solvane::dsusim
