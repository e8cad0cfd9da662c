#pragma once
// The names of a session's files, all in one folder and all from the stamp of the run, the
// local time it began ("2026-12-08_09-30-00", "_2", "_3", ... for further runs in that second):
//   <stamp>.working.edf   the recording while the run goes      <stamp>.edf   once it ended
//   <stamp>.working.flac  its sound while the run goes          <stamp>.flac  once it ended
//   <stamp>_events.tsv    the events, from the start, never renamed
//   <stamp>_facts.json    the run's facts, from the start, never renamed
//   <stamp>.lock          held by the recording process while the run goes

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::session {

class SessionPaths {
public:
    static constexpr std::string_view KeptSuffix = ".edf";
    static constexpr std::string_view WorkingSuffix = ".working.edf";
    static constexpr std::string_view SoundSuffix = ".flac";
    static constexpr std::string_view WorkingSoundSuffix = ".working.flac";
    static constexpr std::string_view EventsSuffix = "_events.tsv";
    static constexpr std::string_view FactsSuffix = "_facts.json";
    static constexpr std::string_view LockSuffix = ".lock";

    SessionPaths(std::filesystem::path folder, std::string stamp);
    /// The session of a recording named <stamp>.edf or <stamp>.working.edf (any other name
    /// counts as a kept recording of its stem).
    static SessionPaths ofRecording(const std::filesystem::path& recording);

    [[nodiscard]] const std::filesystem::path& folder() const noexcept { return folder_; }
    [[nodiscard]] const std::string& stamp() const noexcept { return stamp_; }
    [[nodiscard]] std::filesystem::path kept() const { return named(KeptSuffix); }
    [[nodiscard]] std::filesystem::path working() const { return named(WorkingSuffix); }
    [[nodiscard]] std::filesystem::path sound() const { return named(SoundSuffix); }
    [[nodiscard]] std::filesystem::path workingSound() const { return named(WorkingSoundSuffix); }
    [[nodiscard]] std::filesystem::path events() const { return named(EventsSuffix); }
    [[nodiscard]] std::filesystem::path facts() const { return named(FactsSuffix); }
    [[nodiscard]] std::filesystem::path lock() const { return named(LockSuffix); }

private:
    [[nodiscard]] std::filesystem::path named(std::string_view suffix) const;

    std::filesystem::path folder_;
    std::string stamp_;
};

/// The stamp of a run that began at `start`, in local time: "2026-12-08_09-30-00".
std::string timeStamp(std::chrono::system_clock::time_point start);
/// True when the run of stamp `a` began before that of `b` ("_2" follows its second's first).
bool startedBefore(std::string_view a, std::string_view b);
/// The recordings in `folder` (kept and working), newest first. Throws SessionError when the
/// folder cannot be read.
std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder);

} // namespace solvane::session
