#pragma once
// Where the bundled DSU's EEG comes from, as the set-up offers it: synthetic EEG of a seed, a
// recording and four of its labels, a board on a serial port, or a Lab Streaming Layer
// stream. Read from and written into the [Simulator] keys of dsu-simulator.ini with the
// profile-file code, so that every other line of the file stays as it was.

#include "dsu/device/SimulatorConfig.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace solvane::setup {

class SourceChoice {
public:
    enum class Kind { Synthetic, Recording, Board, Stream };

    Kind kind = Kind::Synthetic;
    uint64_t seed = 1;
    /// The recording as Source names it: relative to the file's folder, or absolute.
    std::string recording;
    /// The recording's signal for each slot, as Channels lists them; empty: the first four
    /// EEG labels.
    std::array<std::string, 4> labels;
    /// A Source word of a board on a serial port (see dsusim::serialBoard).
    std::string board;
    /// The board's device node (SerialDevice); empty: the port chosen in Options.
    std::string serialDevice;
    /// The stream's name (Stream); empty: the first stream of type EEG.
    std::string stream;
    /// The liblsl file (LslLibrary); empty: liblsl on the system's search path.
    std::string lslLibrary;

    /// The choice a configuration holds.
    static SourceChoice of(const dsusim::SimulatorConfig& config);
    /// `text` (the file's, empty when there is none) with this choice in its keys. Keys that
    /// already hold the chosen value are left alone; Channels is emptied (the source's first
    /// four) when a board or a stream replaces another source. Throws SetupError (Refused)
    /// when the result would not read back as this choice or the DSU would refuse it (a
    /// recording is opened as a run opens it); `folder` is that of the file, against which a
    /// recording's relative name is read.
    [[nodiscard]] std::string writtenInto(std::string_view text,
                                          const std::filesystem::path& folder) const;
    /// How a recording at `file` is named in a configuration file in `folder`: relative when
    /// it lies within that folder, so that the two can be moved together.
    static std::string recordingName(const std::filesystem::path& file,
                                     const std::filesystem::path& folder);
    /// Whether the two choices give the DSU the same source.
    [[nodiscard]] bool sameSource(const SourceChoice& other) const;
};

} // namespace solvane::setup
