#include "setup/StreamFinder.h"

#include "dsu/common/ConfigError.h"
#include "dsu/eeg/LslLibrary.h"
#include "setup/SetupError.h"

namespace solvane::setup {

namespace {

constexpr int MaxStreams = 64;

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

} // namespace

std::vector<StreamSummary> StreamFinder::find(const std::string& library, double seconds) {
    try {
        const dsusim::LslLibrary lsl(library);
        dsusim::LslLibrary::StreamInfo found[MaxStreams] = {};
        const int count = lsl.resolve_all(found, MaxStreams, seconds);
        std::vector<StreamSummary> streams;
        for (int i = 0; i < count && i < MaxStreams; ++i) {
            const dsusim::LslLibrary::StreamInfo info = found[i];
            streams.push_back({text(lsl.get_name(info)), text(lsl.get_type(info)),
                               text(lsl.get_hostname(info)), text(lsl.get_source_id(info)),
                               lsl.get_channel_count(info), lsl.get_nominal_srate(info)});
            lsl.destroy_streaminfo(info);
        }
        return streams;
    } catch (const dsusim::SimulatorConfigError& error) {
        throw SetupError(SetupError::Reason::Refused, error.what());
    }
}

} // namespace solvane::setup
