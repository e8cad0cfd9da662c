#pragma once
// Every session in a sessions folder, newest first, with the figures that show whether the
// training works: date and length, source, output 00's mean share and the share of the time
// it led, mean alpha and the seconds of poor contact, and what befell the recording (a full
// disk that stopped it). No widgets.

#include "viewer/SessionAnalysis.h"

#include <filesystem>
#include <string>
#include <vector>

namespace solvane::viewer {

struct SessionSummary {
    std::filesystem::path recording;
    std::string stamp;
    std::string start; ///< "YYYY-MM-DD HH:MM:SS"
    int seconds = 0;
    std::string source;
    double meanShare00 = 0.0;
    double shareLed00 = 0.0;
    double meanAlpha = 0.0;
    int poorSeconds = 0;
    bool live = false;
    /// What befell the recording, in words ("recording stopped: disk full at 78 s"); or empty.
    std::string fault;
    std::string error; ///< why the session cannot be read; empty when it can
};

/// The figures of one read and analysed session.
SessionSummary summarise(const SessionReader& reader, const SessionAnalysis& analysis);

/// The recordings (`*.edf`, `*.working.edf`) in `folder`, newest first (the stamps sort in
/// the order of the runs). Throws SessionError when the folder cannot be read.
std::vector<std::filesystem::path> sessionRecordings(const std::filesystem::path& folder);

/// Reads and summarises every recording in `folder`; one that cannot be read keeps its row,
/// with the reason, and so does a folder that cannot be read.
std::vector<SessionSummary> sessionHistory(const std::filesystem::path& folder);

} // namespace solvane::viewer
