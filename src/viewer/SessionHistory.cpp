#include "viewer/SessionHistory.h"

#include "session/Numbers.h"

namespace solvane::viewer {

SessionSummary summarise(const SessionReader& reader, const SessionAnalysis& analysis) {
    SessionSummary row;
    row.recording = reader.recording();
    row.stamp = reader.paths().stamp();
    row.start = reader.start();
    row.seconds = analysis.seconds();
    row.kind = sourceKindOf(reader);
    row.source = reader.source();
    row.meanShare00 = analysis.meanShare00();
    row.shareLed00 = analysis.shareLed00();
    row.meanAlpha = analysis.meanBand(Alpha);
    row.poorSeconds = analysis.poorSeconds();
    row.goodContactShare = analysis.goodContactShare();
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

bool HistoryFilter::passes(const SessionSummary& row) const {
    return row.error.empty() && row.seconds >= shortestSeconds && (!kind || row.kind == *kind);
}

std::array<std::string, HistoryColumns.size()> historyCells(const SessionSummary& row) {
    using session::fixed;
    return {row.start,
            session::integerText(row.seconds),
            kindName(row.kind),
            row.source,
            fixed(row.meanShare00, 3),
            fixed(row.shareLed00, 3),
            fixed(row.meanAlpha, 2),
            fixed(row.poorSeconds, 1),
            row.goodContactShare ? fixed(*row.goodContactShare, 3) : std::string(),
            row.fault};
}

namespace {

void field(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string historyCsv(const std::vector<SessionSummary>& rows) {
    std::string out;
    for (std::size_t c = 0; c < HistoryColumns.size(); ++c) {
        out += c == 0 ? "" : ",";
        field(out, HistoryColumns[c]);
    }
    out += "\r\n";
    for (const SessionSummary& row : rows) {
        const auto cells = historyCells(row);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            out += c == 0 ? "" : ",";
            field(out, cells[c]);
        }
        out += "\r\n";
    }
    return out;
}

} // namespace solvane::viewer
