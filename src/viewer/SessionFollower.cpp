#include "viewer/SessionFollower.h"

namespace solvane::viewer {

SessionFollower::SessionFollower(const std::filesystem::path& recording) : reader_(recording) {
    reader_.update();
    analysis_.update(reader_);
}

bool SessionFollower::follow() {
    if (!going() || !reader_.update())
        return false;
    analysis_.update(reader_);
    return true;
}

} // namespace solvane::viewer
