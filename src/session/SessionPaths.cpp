#include "session/SessionPaths.h"

#include "session/Numbers.h"
#include "session/SessionError.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace solvane::session {

namespace {

constexpr std::size_t SecondLength = 19; // "2026-12-08_09-30-00"

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

/// The second a stamp names and the number of its run in that second (1 for the first).
std::pair<std::string_view, long long> order(std::string_view stamp) {
    const std::string_view second = stamp.substr(0, std::min(stamp.size(), SecondLength));
    long long number = 1;
    if (stamp.size() > SecondLength + 1 && stamp[SecondLength] == '_')
        number = parseInteger(stamp.substr(SecondLength + 1)).value_or(1);
    return {second, number};
}

} // namespace

SessionPaths::SessionPaths(std::filesystem::path folder, std::string stamp)
    : folder_(std::move(folder)), stamp_(std::move(stamp)) {}

SessionPaths SessionPaths::ofRecording(const std::filesystem::path& recording) {
    const std::string name = recording.filename().string();
    std::string stamp = recording.stem().string();
    if (endsWith(name, WorkingSuffix))
        stamp = name.substr(0, name.size() - WorkingSuffix.size());
    else if (endsWith(name, KeptSuffix))
        stamp = name.substr(0, name.size() - KeptSuffix.size());
    return {recording.parent_path(), stamp};
}

std::filesystem::path SessionPaths::named(std::string_view suffix) const {
    return folder_ / (stamp_ + std::string(suffix));
}

std::string timeStamp(std::chrono::system_clock::time_point start) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(start);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

bool startedBefore(std::string_view a, std::string_view b) {
    return order(a) < order(b);
}

std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        if (entry->is_regular_file(ignored) &&
            entry->path().extension() == SessionPaths::KeptSuffix)
            found.push_back(entry->path());
    }
    if (error)
        throw SessionError("the sessions folder " + folder.string() +
                               " cannot be read: " + error.message(),
                           error.value());
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return startedBefore(SessionPaths::ofRecording(b).stamp(),
                             SessionPaths::ofRecording(a).stamp());
    });
    return found;
}

} // namespace solvane::session
