#pragma once
// Where the simulated DSU's EEG comes from: one sample per channel slot (0..3) at 256 Hz, in
// 10-bit counts (0..1023, 512 for 0 uV). Implementations: SyntheticSource, RecordingSource, the
// serial boards and LslSource, each made by SourceFactory.

#include "device/kardemo.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace solvane::dsusim {

class SampleSource {
public:
    static constexpr int Slots = 4;
    static constexpr int SampleRate = KARDEMO_PACKET_RATE; ///< Hz
    static constexpr int32_t Centre = 512;
    static constexpr int32_t Highest = 1023;

    virtual ~SampleSource() = default;
    SampleSource() = default;
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;

    /// The next sample of each slot; false when the source has ended (nothing written). A
    /// live source answers false while its next sample has not arrived yet.
    virtual bool next(int32_t (&counts)[Slots]) = 0;
    /// Whether the samples come at the source's own pace (a board, a stream): the DSU then
    /// delivers each packet as soon as next() has it, whatever Speed says, and a false from
    /// next() means "not yet" rather than the end.
    [[nodiscard]] virtual bool live() const { return false; }
    /// Called when the run ends, before the source is destroyed: a live source stops its
    /// device here (its destructor must do so too).
    virtual void stop() {}
    /// Seconds of pause a live source had just before the sample next() gave last (a stream
    /// that stopped for a while and came back); 0 when none.
    [[nodiscard]] virtual double gapBefore() const { return 0.0; }
    /// The signal label of a slot, at most 16 characters.
    [[nodiscard]] virtual std::string label(int slot) const = 0;
    /// One line for the debug log and the session file.
    [[nodiscard]] virtual std::string description() const = 0;
    /// Once next() has answered false for good: why the source ended, when it ended early
    /// (a recording damaged part-way); empty for an ordinary end.
    [[nodiscard]] virtual std::string endReason() const { return {}; }

    /// A voltage in counts around the centre, clipped to 0..1023 as the converter would.
    static int32_t toCounts(double microvolts, double gain) {
        const double counts = std::round(Centre + microvolts * gain);
        if (!(counts > 0.0)) // also NaN
            return 0;
        if (counts > Highest)
            return Highest;
        return static_cast<int32_t>(counts);
    }
};

} // namespace solvane::dsusim
