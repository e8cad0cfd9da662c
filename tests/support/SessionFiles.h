#pragma once
// Sessions for the tests and benchmarks, written by the session library's own writers (the
// recording, the events file and the facts), as the bundled DSU writes them, from samples,
// commands and facts the test chooses. Elements are labelled "Element 0" .. "Element 7" unless
// the test names them, the gain is 2 counts per microvolt and the run starts at 2026-12-08
// 14:30:05 local time.

#include "session/EventsFile.h"
#include "session/RecordingWriter.h"
#include "session/SessionFacts.h"
#include "session/SessionPaths.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace solvane::testing {

class SessionFiles {
public:
    /// Sample `packet` of `element` (digital, 0..1023) over the whole run.
    using Samples = std::function<int(int element, long packet)>;

    /// Starts the working files of the session `stamp` in `folder`; `labels` names elements
    /// 0, 1, ... in the recording.
    SessionFiles(const std::filesystem::path& folder, const std::string& stamp, Samples samples,
                 const std::string& source = "synthetic EEG, seed 1",
                 const std::vector<std::string>& labels = {});

    /// Adds `seconds` of packets; each whole second reaches the recording.
    void add(int seconds) { addPackets(seconds * 256L); }
    /// Adds `count` packets.
    void addPackets(long count);
    /// A command before the next packet, into the events file and the recording.
    void command(const std::string& text);
    /// An event of another type before the next packet, into the events file only.
    void mark(const std::string& type, const std::string& value, double duration = -1.0);
    /// Writes the run's facts beside it.
    void facts(const session::SessionFacts& facts) const;
    /// Ends the run: the recording is completed and takes its kept name, which is returned.
    std::filesystem::path finish();

    [[nodiscard]] const session::SessionPaths& paths() const noexcept { return paths_; }
    [[nodiscard]] uint64_t packets() const noexcept { return packets_; }

private:
    session::SessionPaths paths_;
    Samples samples_;
    std::unique_ptr<session::RecordingWriter> recording_;
    std::unique_ptr<session::EventsWriter> events_;
    uint64_t packets_ = 0;
};

} // namespace solvane::testing
