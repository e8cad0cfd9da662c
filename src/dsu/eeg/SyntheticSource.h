#pragma once
// Synthetic EEG that a clinician would accept as EEG, the same for the same seed. Per slot:
// a 1/f background (high-passed at 0.5 Hz like an EEG amplifier) and three rhythms made of
// narrow-band noise, so that they come in irregular bursts like real ones: alpha (8-12 Hz,
// largely common to all slots, its envelope also waxing and waning over several seconds),
// theta and beta. The rhythms are scaled by a slowly drifting left/right asymmetry (slots 0
// and 2 against 1 and 3, the two volume groups). Now and then one slot loses contact: its
// samples rail at 0 or 1023 for a few seconds.

#include "dsu/eeg/SampleSource.h"

#include <cstdint>

namespace solvane::dsusim {

class SyntheticSource : public SampleSource {
public:
    SyntheticSource(uint64_t seed, double gain);

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] std::string label(int slot) const override;
    [[nodiscard]] std::string description() const override;

private:
    /// White noise through a two-pole resonator: a rhythm of the given centre and
    /// bandwidth whose amplitude and phase wander like an EEG rhythm's.
    struct Rhythm {
        void tune(double centre, double bandwidth, double rms); ///< Hz, Hz, uV
        double next(double white);
        double a1 = 0.0, a2 = 0.0, scale = 0.0;
        double y1 = 0.0, y2 = 0.0;
    };

    struct Channel {
        double pink[7] = {};      ///< 1/f filter state
        double highPassIn = 0.0;  ///< previous input of the 0.5 Hz high-pass
        double highPassOut = 0.0; ///< previous output of the 0.5 Hz high-pass
        double alphaScale = 1.0;  ///< this slot's share of the alpha
        Rhythm alpha;             ///< this slot's own part of the alpha
        Rhythm theta;
        Rhythm beta;
    };

    double uniform();
    double gaussian();
    void planNextFault(uint64_t earliest);

    uint64_t seed_;
    double gain_; ///< counts per microvolt
    uint64_t random_;
    double spareGaussian_ = 0.0;
    bool hasSpare_ = false;

    uint64_t sample_ = 0; ///< samples produced so far
    Channel channels_[Slots];
    Rhythm commonAlpha_;
    double waxPeriod_;           ///< s, of the slow alpha envelope
    double wanderPhase_[3] = {}; ///< rad, phases of the slow modulations

    uint64_t faultStart_ = 0; ///< sample where the next or current contact fault begins
    uint64_t faultEnd_ = 0;   ///< sample where it ends
    int faultSlot_ = 0;
    int32_t faultLevel_ = 0; ///< 0 or 1023
};

} // namespace solvane::dsusim
