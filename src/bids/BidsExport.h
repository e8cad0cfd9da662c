#pragma once
// Exports recorded sessions into a BIDS dataset, read through the session library: all the
// kept sessions of a sessions folder, or those named, optionally only those that began within
// a range of dates, as the sessions of one subject. The dataset's own files are made when
// they are missing and never replaced, so that what a user changed in them stays; the
// participants and sessions tables gain the rows they lack. Each session is written into a
// hidden folder inside the dataset and renamed into place when it is whole, so that a session
// is in the dataset entirely or not at all. A session already in the dataset (the same
// recording under its label) is left byte for byte as it is; one that cannot be read, is
// still being recorded or is damaged is reported and left out.

#include "bids/BidsNames.h"
#include "bids/BidsSidecars.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace solvane::bids {

struct ExportOptions {
    /// The sessions folder whose kept sessions are exported when none are named.
    std::filesystem::path sessions;
    /// The recordings (<stamp>.edf) to export; empty for all the kept ones of `sessions`.
    std::vector<std::filesystem::path> recordings;
    std::string from;           ///< "YYYY-MM-DD": only runs begun that day or later; empty: any
    std::string to;             ///< "YYYY-MM-DD": only runs begun that day or earlier
    std::string subject = "01"; ///< the participant's label
    SidecarSettings sidecar;
};

/// What became of one session.
struct ExportedSession {
    enum class Outcome { Exported, AlreadyThere, Skipped };
    std::filesystem::path recording;
    Outcome outcome = Outcome::Skipped;
    std::string folder; ///< the session's folder in the dataset ("sub-01/ses-..."), if it has one
    std::string reason; ///< why it was left out; for one exported, what of it is damaged
};

class BidsExport {
public:
    /// Throws ExportError when an option cannot be used (a label with other characters than
    /// letters and digits, a date that is none, a line frequency out of 1..1000 Hz).
    BidsExport(std::filesystem::path dataset, ExportOptions options);

    /// The recordings to export, oldest first for the sessions folder. Throws ExportError
    /// when the sessions folder cannot be read.
    [[nodiscard]] std::vector<std::filesystem::path> selection() const;

    /// Exports the selection, session by session; `progress` hears of each and stops the
    /// export by returning false. Throws ExportError when the dataset cannot be written at
    /// all (not a folder, a folder of other files, another export writing into it).
    std::vector<ExportedSession>
    run(const std::function<bool(const ExportedSession&)>& progress = {});

private:
    [[nodiscard]] bool inRange(const std::string& label) const;
    /// Nothing when the session began outside the dates asked.
    std::optional<ExportedSession> exportSession(const std::filesystem::path& recording,
                                                 std::vector<std::string>& labels);
    /// A session whose folder `target` is in the dataset already: AlreadyThere when it holds
    /// the same recording (the tables get the rows they lack), else Skipped.
    ExportedSession keptAlready(ExportedSession result, const std::filesystem::path& target,
                                const std::string& label, const TsvRow& row);
    /// Writes the session into a hidden folder of the dataset and renames it to `target`, its
    /// sound into stimuli/; throws, leaving nothing behind, when any of it fails.
    void placeSession(const session::SessionReader& reader, const std::filesystem::path& recording,
                      const SessionName& name, const std::filesystem::path& target);
    /// Adds the subject and the session `label` with `row` to the tables that lack them.
    void addRows(const std::string& label, TsvRow row);

    std::filesystem::path dataset_;
    ExportOptions options_;
};

} // namespace solvane::bids
