#include "viewer/SessionHistory.h"

#include <algorithm>

namespace solvane::viewer {

SessionSummary summarise(const SessionReader& reader, const SessionAnalysis& analysis) {
    SessionSummary row;
    row.recording = reader.paths().edf;
    row.stamp = reader.paths().stamp;
    row.start = reader.start();
    row.seconds = analysis.seconds();
    row.source = reader.source();
    row.meanShare00 = analysis.meanShare00();
    row.shareLed00 = analysis.shareLed00();
    row.meanAlpha = analysis.meanBand(Alpha);
    row.poorSeconds = analysis.poorSeconds();
    row.live = reader.live();
    return row;
}

std::vector<std::filesystem::path> sessionRecordings(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error) || entry.path().extension() != ".edf")
            continue;
        found.push_back(entry.path());
    }
    // By stamp, newest first; "_2", "_3" runs follow their second's first run.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const SessionPaths pa(a);
        const SessionPaths pb(b);
        const auto key = [](const SessionPaths& p) {
            const std::string& s = p.stamp;
            const std::size_t mark = s.size() > 19 ? 19 : s.size();
            const std::string number = s.size() > 20 ? s.substr(20) : "1";
            return std::make_pair(s.substr(0, mark), std::atoi(number.c_str()));
        };
        return key(pa) > key(pb);
    });
    return found;
}

std::vector<SessionSummary> sessionHistory(const std::filesystem::path& folder) {
    std::vector<SessionSummary> rows;
    for (const auto& recording : sessionRecordings(folder)) {
        try {
            SessionReader reader(recording);
            reader.update();
            SessionAnalysis analysis;
            analysis.update(reader);
            rows.push_back(summarise(reader, analysis));
        } catch (const SessionError& e) {
            SessionSummary row;
            row.recording = recording;
            row.stamp = SessionPaths(recording).stamp;
            row.error = e.what();
            rows.push_back(row);
        }
    }
    return rows;
}

} // namespace solvane::viewer
