#pragma once
// The simulated DSU's AVE output as sound: a stereo pair of sines, left at the base frequency
// and right at the second frequency, each at the level its volume sets. It renders sample by
// sample from the settings the commands left, so the same settings applied at the same
// samples give the same sound however the rendering is cut into blocks; the live output and
// the session's sound file each run one. Rendering allocates nothing, takes no lock and
// cannot fail, so it may run inside an audio callback.
//
// No clicks: a new level is reached by a raised-cosine glide over GlideFrames, which starts
// and ends without a kink; a new frequency changes only the phase increment, so the wave
// goes on from where it was. A frequency outside the audible range silences its channel by
// the same glide, still at the old frequency.

#include <cstdint>

namespace solvane::dsusim {

/// What the AVE commands have set. Packs into one 64-bit word, so that it can reach an audio
/// callback through a single atomic.
struct ToneSettings {
    int volume[2] = {0, 0};    ///< percent, the payload of WB00 / WB01 (0..255)
    int frequency[2] = {0, 0}; ///< Hz, the payload of WE / WF less 32768
    bool fadingOut = false;    ///< the DSU is shutting down: both channels glide to silence

    [[nodiscard]] uint64_t pack() const noexcept;
    [[nodiscard]] static ToneSettings unpack(uint64_t word) noexcept;
};

class ToneSynthesiser {
public:
    static constexpr int Rate = 48000;             ///< frames per second, live and in the file
    static constexpr int Channels = 2;             ///< left: output 00, right: output 01
    static constexpr int GlideFrames = 1440;       ///< 30 ms
    static constexpr int LowestFrequency = 20;     ///< Hz
    static constexpr int HighestFrequency = 20000; ///< Hz; 0.45 x Rate is higher

    /// The peak level of a volume in percent, as a fraction of full scale: 0 for 0; from
    /// -60 dBFS at 1 to -6 dBFS at 100, 27 dB per tenfold volume; 100 for anything above.
    [[nodiscard]] static double level(int volume) noexcept;
    /// Whether a tone of `frequency` Hz is played (LowestFrequency..HighestFrequency).
    [[nodiscard]] static bool audible(int frequency) noexcept;

    /// Glides towards what `settings` asks for from the next sample on.
    void set(const ToneSettings& settings) noexcept;
    /// Writes `frames` interleaved stereo frames (left, right) in -1..1.
    void render(float* out, int frames) noexcept;
    /// Both channels at rest at level 0.
    [[nodiscard]] bool silent() const noexcept;

private:
    struct Voice {
        double phase = 0.0;       ///< cycles, 0..1
        double increment = 0.0;   ///< cycles per frame
        double gain = 0.0;        ///< the level now
        double from = 0.0;        ///< the level the glide started at
        double target = 0.0;      ///< the level the glide ends at
        int glided = GlideFrames; ///< frames of the glide done
    };
    static void glideTo(Voice& voice, double target) noexcept;

    Voice voices_[Channels];
};

} // namespace solvane::dsusim
