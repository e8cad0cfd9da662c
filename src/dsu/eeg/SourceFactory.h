#pragma once
// The one place that makes the DSU's source from what its configuration asks for: synthetic
// EEG, a board on a serial port, an LSL stream or the replay of a recording. Besides the source
// it tells what a run's facts keep of it.

#include "dsu/eeg/SampleSource.h"
#include "dsu/eeg/SourceKind.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace solvane::dsusim {

/// What making a source needs to know; each kind reads its own part.
struct SourceRequest {
    SourceKind kind = SourceKind::Synthetic;
    std::vector<std::string> channels; ///< four labels for slots 0..3, or empty for the default
    double gain = 1.0;                 ///< counts per microvolt
    uint64_t seed = 1;                 ///< of the synthetic EEG
    std::filesystem::path recording;   ///< the recording to replay
    bool loop = true;                  ///< restart the recording at its end
    std::vector<std::string> montage;  ///< a board's scalp position of channels 1, 2 ...
    std::string lslLibrary;            ///< path of liblsl; empty: the system's search
    std::string stream;                ///< LSL stream name; empty: the first of type EEG
};

/// What a run's facts keep of its source, beside its description.
struct SourceOrigin {
    std::string kind;             ///< kindWord() of its kind
    std::optional<uint64_t> seed; ///< synthetic EEG
    std::string port;             ///< a board's device node
    std::string stream;           ///< an LSL stream's name
    std::string host;             ///< and the host that sends it
    std::string recording;        ///< the replayed recording's full path
};

struct MadeSource {
    std::unique_ptr<SampleSource> source;
    SourceOrigin origin;
};

class SourceFactory {
public:
    using Log = std::function<void(const std::string&)>;

    /// Makes the source `request` asks for. `serialDevice` gives a board's device node when a
    /// board is opened; `log` takes the source's lines for the debug log and `boardClock` paces
    /// a board (empty: the steady clock). Throws SimulatorConfigError when the source cannot be
    /// made.
    static MadeSource make(const SourceRequest& request,
                           const std::function<std::string()>& serialDevice, const Log& log,
                           const std::function<double()>& boardClock);
};

} // namespace solvane::dsusim
