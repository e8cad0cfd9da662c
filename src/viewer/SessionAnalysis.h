#pragma once
// The figures of one session, second by second, computed from its samples by the program's
// own analysis (SpectralAnalysis: one-second blocks, no window, 2|X|/N, total over bins 1..35)
// for the four channel slots, the contact monitor's own rule (PacketAnalysis::JudgeContact,
// on the positions the run's facts name), and the two volumes and frequencies as the commands
// set them. update() analyses only the seconds added since the last call. No widgets.

#include "session/AveCommand.h"
#include "session/SessionError.h"
#include "session/SessionReader.h"
#include "state/AnalysisState.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    int element = 0;                 ///< the packet element (EDF signal) it reads
    double microvoltsPerCount = 1.0; ///< from the recording's header
    std::vector<float> total;        ///< 1..35 Hz per second, in counts as the program has it
    std::vector<std::array<float, Bands>> bands;
    std::vector<std::array<float, 50>> spectrum; ///< bins 0..49 per second
    /// Per second, the share of samples outside the contact rule's good range (not a verdict).
    std::vector<float> outOfRangeShare;
};

/// How the two outputs went, over the time with sound (either volume above 0), from the
/// moments the commands took effect.
struct Feedback {
    double soundSeconds = 0.0;
    double ledSeconds[2] = {}; ///< output 00 louder, output 01 louder
    double equalSeconds = 0.0; ///< both alike and above 0
    double meanShare[2] = {};  ///< each output's mean share of the two volumes
};

class SessionAnalysis {
public:
    static constexpr int Channels = 4;
    /// Packets from one contact verdict to the next: the counted window and the judging packet.
    static constexpr int ContactWindow = 129;

    SessionAnalysis();
    ~SessionAnalysis();
    SessionAnalysis(SessionAnalysis&&) noexcept;
    SessionAnalysis& operator=(SessionAnalysis&&) noexcept;

    /// Analyses the whole seconds `reader` holds beyond those already done (not the padding
    /// after a finished run's last packet), and the whole command timeline again (it is short).
    void update(const SessionReader& reader);

    [[nodiscard]] int seconds() const noexcept { return seconds_; }
    [[nodiscard]] const ChannelSeconds& channel(int slot) const { return channels_.at(slot); }
    [[nodiscard]] const std::vector<OutputStep>& steps() const noexcept { return steps_; }
    /// What the commands had set by the end of each second.
    [[nodiscard]] const std::vector<OutputState>& perSecond() const noexcept { return perSecond_; }
    /// Output 00's share of the two volumes in each second; negative when both are 0.
    [[nodiscard]] const std::vector<float>& share00() const noexcept { return share00_; }

    /// The scalp position (1..21) the contact rule judges each slot by, 0 for a slot not in
    /// use; slots of a run whose facts do not name a position stand for positions of their own.
    [[nodiscard]] const std::array<int16_t, Channels>& positions() const noexcept {
        return positions_;
    }
    [[nodiscard]] bool inUse(int slot) const { return positions_.at(slot) != 0; }
    /// The contact verdicts, one every ContactWindow packets from the run's start: 1 where
    /// the slot had poor contact.
    [[nodiscard]] const std::vector<std::array<uint8_t, Channels>>& contact() const noexcept {
        return contact_;
    }
    /// Seconds judged poor for `slot`.
    [[nodiscard]] double poorSeconds(int slot) const;
    /// Seconds in which any slot in use was judged poor.
    [[nodiscard]] double poorSeconds() const;
    /// The spans of those verdicts, from and to in seconds from the run's start.
    [[nodiscard]] std::vector<std::pair<double, double>> poorSpans() const;
    /// The share of the judged time in which every slot in use had good contact; nothing
    /// before the first verdict.
    [[nodiscard]] std::optional<double> goodContactShare() const;

    [[nodiscard]] Feedback feedback() const;
    [[nodiscard]] double meanShare00() const { return feedback().meanShare[0]; }
    /// The share of the time with sound in which output 00 was louder.
    [[nodiscard]] double shareLed00() const;
    [[nodiscard]] double meanBand(Band band) const; ///< over the slots in use and seconds, uV
    [[nodiscard]] OutputState last() const {
        return steps_.empty() ? OutputState{} : steps_.back().state;
    }

private:
    struct Engine;
    void analyseSecond(const SessionReader& reader, int second);
    void judgeContact(const SessionReader& reader, int second);

    std::unique_ptr<Engine> engine_;

    std::array<ChannelSeconds, Channels> channels_;
    std::vector<OutputStep> steps_;
    std::vector<OutputState> perSecond_;
    std::vector<float> share00_;
    std::array<int16_t, Channels> positions_{};
    AnalysisState contactState_;
    std::vector<std::array<uint8_t, Channels>> contact_;
    int seconds_ = 0;
};

} // namespace solvane::viewer
