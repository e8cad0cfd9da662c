#pragma once
// The simulated DSU's configuration: section [Simulator] of the optional profile file
// dsu-simulator.ini beside the library. A missing file or key takes its default; a value
// that cannot be used is refused with a SimulatorConfigError that names the key and why.

#include "dsu/common/ConfigError.h"
#include "dsu/eeg/SourceFactory.h"
#include "dsu/eeg/SourceKind.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::dsusim {

struct SimulatorConfig {
    static constexpr const char* FileName = "dsu-simulator.ini";
    static constexpr const char* Section = "Simulator";
    static constexpr double DefaultGain = 2.0; ///< counts per microvolt: +-256 uV before railing
    /// The speeds other than 0 that give packets at a steady pace: at 0.01, 2.56 packets a
    /// second, one well within the program's 5-second stall; at 100, 25,600 a second, one
    /// every 39 us, which a poll loop taking one packet per poll still keeps up with. Slower,
    /// the run looks stalled; faster, packets come in bursts, and beyond about 1e13 the count
    /// of packets due no longer fits in its integer.
    static constexpr double LowestSpeed = 0.01;
    static constexpr double HighestSpeed = 100.0;
    /// Microvolts per count of an OpenEEG board by default: the ModularEEG's analogue boards
    /// are trimmed to the digital board's 250 uV calibration signal, so that -250 uV is count 0
    /// and +250 uV count 1024.
    static constexpr double DefaultMicrovoltsPerCount = 500.0 / 1024.0;

    /// The gains that keep a recording's header exact: its physical minimum and maximum,
    /// -512 / Gain and 511 / Gain microvolts, keep five significant digits in their eight
    /// characters (from -512000 to 511000 down to -0.512 to 0.511). Beyond, the header holds
    /// a number cut short, one with its digits garbled, or 0 for both, and no reader opens it.
    static constexpr double LowestGain = 0.001;
    static constexpr double HighestGain = 1000.0;

    /// Every word Source takes (see dsusim::SourceWords).
    static constexpr const auto& SourceWords = dsusim::SourceWords;

    std::string source = "synthetic";  ///< one of SourceWords or the path of a recording
    std::vector<std::string> channels; ///< four labels for slots 0..3, or empty for the default
    double speed = 1.0;                ///< multiple of real time; 0 as fast as polled
    bool loop = true;                  ///< restart a recording at its end
    double gain = DefaultGain;         ///< counts per microvolt around the centre 512
    uint64_t seed = 1;                 ///< of the synthetic EEG
    bool sound = true;                 ///< play the AVE output live
    std::string soundDevice;           ///< (part of) the output device's name; empty: default
    bool soundFile = true;             ///< keep the AVE output as a sound file of each session
    std::string serialDevice;          ///< the board's device node; empty: the port of Options
    std::vector<std::string> montage;  ///< Positions: scalp position of board channels 1, 2 ...
    bool record = true;                ///< record each run into the sessions folder
    std::string stream;                ///< LSL stream name; empty: the first of type EEG
    std::string lslLibrary;            ///< path of liblsl; empty: the system's search
    bool gainSet = false;              ///< Gain was given
    /// MicrovoltsPerCount: the scale of an OpenEEG board's counts
    double microvoltsPerCount = DefaultMicrovoltsPerCount;

    [[nodiscard]] SourceKind kind() const;
    /// Whether the EEG comes from a board on a serial port.
    [[nodiscard]] bool serialBoard() const { return dsusim::serialBoard(kind()); }
    /// What making the source needs, with the files named relative to `folder` (that of the
    /// configuration) resolved.
    [[nodiscard]] SourceRequest sourceRequest(const std::filesystem::path& folder) const;

    /// The Source word of `value` (any case), or nothing when it names a recording.
    static const SourceWord* sourceWord(std::string_view value);
    /// "synthetic, cyton, openeeg, lsl", for messages.
    static std::string sourceWordList();

    /// The configuration held by a profile text (nothing: the defaults). Throws
    /// SimulatorConfigError for a value that cannot be used, or for a line that opens a
    /// section header but is none. A Source that is no word is the path of a recording when
    /// it holds a dot or a slash, or when `folder` (that of the file; empty: not looked at)
    /// holds a file of that name; otherwise it is a word misspelt, and refused with the list
    /// of the words.
    static SimulatorConfig fromText(const std::optional<std::string>& text,
                                    const std::filesystem::path& folder = {});
    /// Keys of the [Simulator] section of a profile text that mean nothing here (typing
    /// mistakes, most likely), in the order they appear.
    static std::vector<std::string> unknownKeys(std::string_view text);
};

} // namespace solvane::dsusim
