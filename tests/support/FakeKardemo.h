#pragma once
// An in-process stand-in for the device library: the same fourteen functions, recording every
// call with its arguments and answering from a script. There is one instance, because the
// program holds plain C function pointers.

#include "device/KardemoFunctions.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace solvane::testing {

struct FakeCall {
    std::string name;
    std::vector<int32_t> numbers;   ///< integer arguments in order ("one" arguments as read)
    std::vector<std::string> texts; ///< text arguments in order
};

/// What one GetP3Data call answers.
struct FakePoll {
    int32_t status = 1;
    int32_t count = 0;
    std::array<int32_t, 8> packet{};
};

class FakeKardemo {
public:
    static FakeKardemo& instance();
    /// Forgets every call and restores the default script.
    void reset();
    /// The table of the fourteen fake functions.
    [[nodiscard]] static KardemoFunctions functions();

    // The script. Statuses default to 0, GetP3Data to "no data".
    int32_t setComPortsStatus = 0;
    int32_t setScanWaitTimeStatus = 0;
    int32_t initialiseStatus = 0;
    int32_t activeComPortResult = 0;
    /// Answer of the n-th GetP3Data call (n from 0); called before onPoll.
    std::function<FakePoll(uint64_t n)> pollScript;
    /// Called inside every GetP3Data, after pollScript (e.g. to press Stop at some point).
    std::function<void(uint64_t n)> onPoll;
    /// Called inside every function, once the call is recorded, with the function's name.
    std::function<void(const std::string& name)> onCall;
    /// Slots written by ListActiveCOMPorts (from slot 0) and the count it answers.
    std::vector<int32_t> ports;
    int32_t portCount = -1;

    // What happened.
    std::vector<FakeCall> calls;
    uint64_t polls = 0;         ///< GetP3Data calls
    uint64_t packetsHanded = 0; ///< polls that answered status 0 with a count above 0

    [[nodiscard]] std::vector<std::string> callNames() const;
    /// Texts handed to SendCommandToDSU, in order.
    [[nodiscard]] std::vector<std::string> commands() const;
    /// Calls other than GetP3Data, in order (polls would drown the rest).
    [[nodiscard]] std::vector<std::string> callNamesWithoutPolls() const;

private:
    FakeKardemo() { reset(); }
};

} // namespace solvane::testing
