#include "dsu/eeg/SourceFactory.h"

#include "dsu/eeg/CytonSource.h"
#include "dsu/eeg/LslSource.h"
#include "dsu/eeg/OpenEegSource.h"
#include "dsu/eeg/RecordingSource.h"
#include "dsu/eeg/SyntheticSource.h"

namespace solvane::dsusim {

MadeSource SourceFactory::make(const SourceRequest& request,
                               const std::function<std::string()>& serialDevice, const Log& log,
                               const std::function<double()>& boardClock) {
    MadeSource made;
    SourceOrigin& origin = made.origin;
    origin.kind = std::string(kindWord(request.kind));
    switch (request.kind) {
    case SourceKind::Synthetic:
        made.source = std::make_unique<SyntheticSource>(request.seed, request.gain);
        origin.seed = request.seed;
        break;
    case SourceKind::Cyton:
        origin.port = serialDevice();
        made.source = std::make_unique<CytonSource>(origin.port, request.channels, request.montage,
                                                    request.gain, log, boardClock);
        break;
    case SourceKind::OpenEeg:
        origin.port = serialDevice();
        made.source = std::make_unique<OpenEegSource>(origin.port, request.channels,
                                                      request.montage, log, boardClock);
        break;
    case SourceKind::Lsl: {
        auto stream = std::make_unique<LslSource>(request.lslLibrary, request.stream,
                                                  request.channels, request.gain, log);
        if (!stream->passedOver().empty() && log)
            log("LSL streams passed over: " + stream->passedOver());
        origin.stream = stream->streamName();
        origin.host = stream->host();
        made.source = std::move(stream);
        break;
    }
    case SourceKind::Recording:
        made.source = std::make_unique<RecordingSource>(request.recording, request.channels,
                                                        request.gain, request.loop);
        origin.recording = std::filesystem::absolute(request.recording).string();
        break;
    }
    return made;
}

} // namespace solvane::dsusim
