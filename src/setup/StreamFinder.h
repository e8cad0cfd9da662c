#pragma once
// The Lab Streaming Layer streams this machine sees, looked for through the user's liblsl as
// the bundled DSU loads it (the same library, the same search), for choosing one by name.

#include <string>
#include <vector>

namespace solvane::setup {

struct StreamSummary {
    std::string name;
    std::string type;
    std::string host;
    std::string sourceId;
    int channels = 0;
    double rate = 0.0; ///< nominal, Hz; 0 for an irregular stream
};

class StreamFinder {
public:
    static constexpr double LookSeconds = 1.0; ///< as long as the DSU looks for its stream
    /// The streams found within `seconds` through `library` (empty: liblsl on the system's
    /// search path), in the order liblsl lists them. Throws SetupError (Refused) with the DSU's
    /// words, which say where to get liblsl, when no usable liblsl can be loaded.
    static std::vector<StreamSummary> find(const std::string& library,
                                           double seconds = LookSeconds);
};

} // namespace solvane::setup
