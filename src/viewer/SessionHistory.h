#pragma once
// Every session in a sessions folder, newest first, with the figures that show whether the
// training works: date and length, source, output 00's mean share and the share of the time
// it was louder, mean alpha and the contact, and what befell the recording (a full disk that
// stopped it); a filter that leaves out the short tries and other sources, and the table as
// CSV for a spreadsheet. No widgets.

#include "viewer/SessionAnalysis.h"
#include "viewer/SessionFigures.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace solvane::viewer {

struct SessionSummary {
    std::filesystem::path recording;
    std::string stamp;
    std::string start; ///< "YYYY-MM-DD HH:MM:SS"
    int seconds = 0;
    SourceKind kind = SourceKind::Unknown;
    std::string source;
    double meanShare00 = 0.0;
    double shareLed00 = 0.0;
    double meanAlpha = 0.0; ///< uV, over the channels in use
    double poorSeconds = 0.0;
    std::optional<double> goodContactShare;
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

/// Which sessions the History compares.
struct HistoryFilter {
    int shortestSeconds = 60;       ///< shorter ones are tries, not sessions
    std::optional<SourceKind> kind; ///< nothing: every kind
    [[nodiscard]] bool passes(const SessionSummary& row) const;
};

/// The History table's columns, in plain words with their units.
inline constexpr std::array<const char*, 10> HistoryColumns = {
    "start",
    "length (s)",
    "source kind",
    "source",
    "output 00 share of the volume (mean)",
    "output 00 louder (share of time)",
    "alpha 8-12 Hz (uV, mean)",
    "poor contact (s)",
    "good contact on all channels (share of time)",
    "what befell the recording"};

/// The cells of one row, numbers with a point whatever the locale; empty where not known.
std::array<std::string, HistoryColumns.size()> historyCells(const SessionSummary& row);

/// The rows as CSV with a header line of HistoryColumns: comma-separated, CRLF line ends, a
/// field quoted when it holds a comma, a quote or a line end.
std::string historyCsv(const std::vector<SessionSummary>& rows);

} // namespace solvane::viewer
