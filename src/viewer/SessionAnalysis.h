#pragma once
// The figures of one session, second by second, computed from its samples by the program's
// own analysis (SpectralAnalysis: one-second blocks, no window, 2|X|/N, total over bins 1..35)
// for the four channel slots, the contact monitor's rule per second, and the two volumes and
// frequencies as the commands set them. update() analyses only the seconds added since the
// last call. No widgets.

#include "session/AveCommand.h"
#include "session/SessionError.h"
#include "session/SessionReader.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace solvane::viewer {

/// The usual EEG bands, as bins of a one-second spectrum (bin k is k Hz).
enum Band { Delta, Theta, Alpha, Beta, Bands };
struct BandRange {
    const char* name;
    int first;
    int last;
};
inline constexpr BandRange BandBins[Bands] = {
    {"delta", 1, 3}, {"theta", 4, 7}, {"alpha", 8, 12}, {"beta", 13, 30}};

using session::SessionError;
using session::SessionEvent;
using session::SessionReader;
/// What the commands had set at some moment.
using OutputState = session::AveOutputState;

/// One command as it took effect.
struct OutputStep {
    double time = 0.0; ///< seconds on the packet axis
    OutputState state;
};

struct ChannelSeconds {
    std::string label;
    int element = 0;          ///< the packet element (EDF signal) it reads
    std::vector<float> total; ///< 1..35 Hz per second
    std::vector<std::array<float, Bands>> bands;
    std::vector<std::array<float, 50>> spectrum; ///< bins 0..49 per second
    std::vector<float> contactShare;             ///< share of samples outside the good range
    std::vector<uint8_t> poor;                   ///< 1 when the second had poor contact
    int poorSeconds = 0;
};

class SessionAnalysis {
public:
    static constexpr int Channels = 4;

    SessionAnalysis();
    ~SessionAnalysis();
    SessionAnalysis(SessionAnalysis&&) noexcept;
    SessionAnalysis& operator=(SessionAnalysis&&) noexcept;

    /// Analyses the seconds `reader` holds beyond those already done, and the whole command
    /// timeline again (it is short).
    void update(const SessionReader& reader);

    [[nodiscard]] int seconds() const noexcept { return seconds_; }
    [[nodiscard]] const ChannelSeconds& channel(int slot) const { return channels_.at(slot); }
    [[nodiscard]] const std::vector<OutputStep>& steps() const noexcept { return steps_; }
    /// What the commands had set by the end of each second.
    [[nodiscard]] const std::vector<OutputState>& perSecond() const noexcept { return perSecond_; }
    /// Output 00's share of the two volumes in each second; negative when both are 0.
    [[nodiscard]] const std::vector<float>& share00() const noexcept { return share00_; }
    /// Seconds in which any channel had poor contact.
    [[nodiscard]] int poorSeconds() const noexcept { return poorSeconds_; }

    // Summary figures, over the seconds with sound (either volume above 0) where it applies.
    [[nodiscard]] double meanShare00() const;
    [[nodiscard]] double shareLed00() const; ///< share of those seconds in which 00 was louder
    [[nodiscard]] double meanBand(Band band) const; ///< over all channels and seconds
    [[nodiscard]] OutputState last() const {
        return steps_.empty() ? OutputState{} : steps_.back().state;
    }

private:
    struct Engine;
    void analyseSecond(const SessionReader& reader, int second);

    std::unique_ptr<Engine> engine_;

    std::array<ChannelSeconds, Channels> channels_;
    std::vector<OutputStep> steps_;
    std::vector<OutputState> perSecond_;
    std::vector<float> share00_;
    std::vector<uint8_t> anyPoor_;
    int seconds_ = 0;
    int poorSeconds_ = 0;
};

} // namespace solvane::viewer
