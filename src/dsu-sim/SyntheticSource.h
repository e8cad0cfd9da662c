#pragma once
// Synthetic EEG that a clinician would accept as EEG, the same for the same seed. Per slot:
// a 1/f background (high-passed at 0.5 Hz like an EEG amplifier), an 8-12 Hz alpha rhythm
// that waxes and wanes, some theta and beta, all scaled by a slowly drifting left/right
// asymmetry (slots 0 and 2 against 1 and 3, the two volume groups). Now and then one slot
// loses contact: its samples rail at 0 or 1023 for a few seconds.

#include "SampleSource.h"

#include <cstdint>

namespace solvane::dsusim {

class SyntheticSource : public SampleSource {
public:
    SyntheticSource(uint64_t seed, double gain);

    bool next(int32_t (&counts)[Slots]) override;
    [[nodiscard]] std::string label(int slot) const override;
    [[nodiscard]] std::string description() const override;

private:
    double uniform();
    double gaussian();
    void planNextFault(uint64_t earliest);

    struct Channel {
        double pink[7] = {};      ///< 1/f filter state
        double highPassIn = 0.0;  ///< previous input of the 0.5 Hz high-pass (uV)
        double highPassOut = 0.0; ///< previous output of the 0.5 Hz high-pass (uV)
        double alphaScale = 1.0;  ///< this slot's share of the common alpha
        double alphaPhase = 0.0;  ///< rad, offset from the common alpha phase
        double thetaPhase = 0.0;  ///< rad
        double betaPhase = 0.0;   ///< rad
    };

    uint64_t seed_;
    double gain_; ///< counts per microvolt
    uint64_t random_;
    double spareGaussian_ = 0.0;
    bool hasSpare_ = false;

    uint64_t sample_ = 0; ///< samples produced so far
    Channel channels_[Slots];
    double alphaPhase_ = 0.0;    ///< rad
    double alphaFrequency_;      ///< Hz, centre of this subject's alpha
    double waxPeriod_;           ///< s, of the alpha envelope
    double wanderPhase_[4] = {}; ///< rad, phases of the slow modulations
    double thetaFrequency_;      ///< Hz
    double betaFrequency_;       ///< Hz

    uint64_t faultStart_ = 0; ///< sample where the next or current contact fault begins
    uint64_t faultEnd_ = 0;   ///< sample where it ends
    int faultSlot_ = 0;
    int32_t faultLevel_ = 0; ///< 0 or 1023
};

} // namespace solvane::dsusim
