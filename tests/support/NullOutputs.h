#pragma once
// A scalp map and an AVE output that take every call and do nothing with it, for tests and
// benchmarks that look at other results of the analysis.

#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"

#include <cstdint>

namespace solvane::testing {

class NoMap : public ScalpMapView {
public:
    void setFillColour(int /*element*/, uint32_t /*colour*/) override {}
    void setFillTransparent(int /*element*/) override {}
    void setTextColour(int /*element*/, uint32_t /*colour*/) override {}
    void repaintNow() override {}
};

class NoCommands : public AveCommandSink {
public:
    void sendCommand(const char* /*command*/) override {}
};

} // namespace solvane::testing
