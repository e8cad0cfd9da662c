#pragma once
// AVE outputs that keep what they are sent: every command text in order, or only how many
// there were, for runs that must allocate nothing or that last for hours.

#include "ave/AveCommandSink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace solvane::testing {

class RecordingSink : public AveCommandSink {
public:
    void sendCommand(const char* command) override { sent.emplace_back(command); }
    /// The commands sent since the last take, which forgets them.
    std::vector<std::string> take() {
        std::vector<std::string> result;
        result.swap(sent);
        return result;
    }
    std::vector<std::string> sent;
};

class CountingSink : public AveCommandSink {
public:
    void sendCommand(const char* /*command*/) override { ++sent; }
    uint64_t sent = 0;
};

} // namespace solvane::testing
