#pragma once
// What a practitioner reads off one session, computed from its files alone: when and how long
// it ran and from what source; the protocol (the positions of the two groups, the volume, the
// tones and the beat); the feedback (each output's mean share and the time it led); each
// channel's amplitudes as means over the minutes, in microvolts; and the contact, by the
// program's own rule. The report and the window lay these out. No widgets.

#include "viewer/SessionAnalysis.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace solvane::viewer {

/// Where a session's EEG came from, as the History's filter tells them apart.
enum class SourceKind { Unknown, Synthetic, Recording, Board, Stream };
/// "synthetic EEG", "a recording", "a board", "a stream", "" for Unknown.
const char* kindName(SourceKind kind);
/// From the run's facts, else from the recording header's words.
SourceKind sourceKindOf(const SessionReader& reader);

struct ChannelFigures {
    int slot = 0;
    std::string name; ///< the scalp position as recorded ("O1"), else the signal's label
    bool inUse = true;
    double poorSeconds = 0.0;
};

/// One row of the amplitude table: the means of the seconds [from, to), in microvolts.
struct AmplitudeRow {
    int from = 0;
    int to = 0;
    struct Channel {
        double total = 0.0; ///< 1..35 Hz
        std::array<double, Bands> bands{};
    };
    std::array<Channel, SessionAnalysis::Channels> channel{};
};

struct SessionFigures {
    /// The slots of group 00 (output 00) and of group 01 (output 01).
    static constexpr int GroupSlots[2][2] = {{0, 2}, {1, 3}};

    std::string stamp;
    std::string start; ///< "YYYY-MM-DD HH:MM:SS"; empty while not known
    int seconds = 0;
    bool live = false;
    bool crashed = false;

    SourceKind kind = SourceKind::Unknown;
    std::string source;          ///< in words, in full; empty while not known
    std::string sourceRecording; ///< a replayed recording's path
    std::string sourcePort;      ///< a board's port
    std::string sourceStream;    ///< a stream's name
    std::string sourceHost;      ///< a stream's host
    std::string programVersion;
    std::string libraryVersion;

    std::array<ChannelFigures, SessionAnalysis::Channels> channel{};

    std::optional<int> volume;           ///< AVEVolume at the start
    std::optional<int> desiredFrequency; ///< AVEDesiredFrequency at the start, Hz
    std::optional<int> sampleRate;       ///< DSUSampleRate at the start
    std::optional<int> baseFrequency;    ///< output 00's tone as last commanded, Hz
    std::optional<int> secondFrequency;  ///< output 01's tone as last commanded, Hz
    bool tonesChanged = false;           ///< the tones were not the same all along

    Feedback feedback;

    int rowMinutes = 1; ///< the minutes each amplitude row takes
    std::vector<AmplitudeRow> rows;

    double poorSeconds = 0.0;               ///< any channel in use judged poor
    std::optional<double> goodContactShare; ///< all channels in use good; nothing before a verdict
    double contactWindowSeconds = 0.0;      ///< the time each contact verdict covers

    std::vector<std::string> notes; ///< what is damaged or missing
};

/// The figures of one read and analysed session; the amplitude table takes at most
/// `largestTable` rows, each of as many whole minutes (1, 2, 5, 10, ...) as that needs.
SessionFigures figuresOf(const SessionReader& reader, const SessionAnalysis& analysis,
                         int largestTable = 12);

} // namespace solvane::viewer
