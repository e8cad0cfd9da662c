#include "viewer/SessionHistory.h"

#include "session/Numbers.h"

namespace solvane::viewer {

SessionSummary summarise(const SessionReader& reader, const SessionAnalysis& analysis) {
    SessionSummary row;
    row.recording = reader.recording();
    row.stamp = reader.paths().stamp();
    row.start = reader.start();
    row.seconds = analysis.seconds();
    row.source = reader.source();
    row.meanShare00 = analysis.meanShare00();
    row.shareLed00 = analysis.shareLed00();
    row.meanAlpha = analysis.meanBand(Alpha);
    row.poorSeconds = analysis.poorSeconds();
    row.live = reader.live();
    const std::string_view sound = session::SessionFacts::Fault::SoundOnly;
    for (const session::SessionFacts::Fault& fault : reader.faults())
        row.fault += (row.fault.empty() ? "" : "; ") +
                     (fault.what.starts_with(sound)
                          ? "sound file stopped: " + fault.what.substr(sound.size())
                          : "recording stopped: " + fault.what) +
                     " at " + session::shortest(fault.onset) + " s";
    return row;
}

std::vector<std::filesystem::path> sessionRecordings(const std::filesystem::path& folder) {
    return session::recordingsIn(folder);
}

std::vector<SessionSummary> sessionHistory(const std::filesystem::path& folder) {
    std::vector<SessionSummary> rows;
    std::vector<std::filesystem::path> recordings;
    try {
        recordings = sessionRecordings(folder);
    } catch (const SessionError& e) {
        SessionSummary row;
        row.recording = folder;
        row.error = e.what(); // a folder that cannot be read is said so, not shown empty
        rows.push_back(row);
    }
    for (const auto& recording : recordings) {
        try {
            SessionReader reader(recording);
            reader.update();
            SessionAnalysis analysis;
            analysis.update(reader);
            rows.push_back(summarise(reader, analysis));
        } catch (const SessionError& e) {
            SessionSummary row;
            row.recording = recording;
            row.stamp = session::SessionPaths::ofRecording(recording).stamp();
            row.error = e.what();
            rows.push_back(row);
        }
    }
    return rows;
}

} // namespace solvane::viewer
