#pragma once
// What the acquisition loop needs of the program around it, beside the window: one pass of
// the event loop (at once, or first waiting for an event), a sleep and a monotonic clock.

#include <cstdint>

namespace solvane {

class EventLoop {
public:
    virtual ~EventLoop() = default;
    /// Dispatches the pending user-interface events once.
    virtual void processEvents() = 0;
    /// One event pass that first waits, until the clock reads `deadline` at the latest, for
    /// an event to come: input, a repaint, a signal or whatever else the window listens to.
    /// It returns as soon as that event has been dispatched, or at the deadline.
    virtual void processEventsUntil(int64_t deadline) = 0;
    /// Pauses the thread for `microseconds`.
    virtual void sleep(int64_t microseconds) = 0;
    /// Microseconds on a clock that never goes back; only differences between two readings
    /// are used.
    virtual int64_t monotonicMicroseconds() = 0;
};

} // namespace solvane
