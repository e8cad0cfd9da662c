#pragma once
// One session read and analysed, and kept up to date while its run goes: follow() reads what
// its files gained and analyses only the new seconds. No widgets.

#include "viewer/SessionAnalysis.h"

#include <filesystem>

namespace solvane::viewer {

class SessionFollower {
public:
    /// Reads and analyses `recording`. Throws SessionError when it is no session.
    explicit SessionFollower(const std::filesystem::path& recording);

    /// While the run goes (or its recording is still the working file): reads and analyses
    /// what it gained; true when anything changed. Throws SessionError when the recording
    /// became unreadable.
    bool follow();

    [[nodiscard]] const SessionReader& reader() const noexcept { return reader_; }
    [[nodiscard]] const SessionAnalysis& analysis() const noexcept { return analysis_; }
    /// The run goes on, or its recording was never closed and may yet grow.
    [[nodiscard]] bool going() const noexcept { return reader_.live() || reader_.working(); }

private:
    SessionReader reader_;
    SessionAnalysis analysis_;
};

} // namespace solvane::viewer
