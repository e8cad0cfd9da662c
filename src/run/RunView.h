#pragma once
// What a run needs from the main window: its two buttons, message boxes, the per-packet
// method, one pass of the event loop (at once, or first waiting for an event), a sleep and a
// monotonic clock.

#include <cstdint>
#include <string>
#include <string_view>

namespace solvane {

class RunView {
public:
    virtual ~RunView() = default;
    virtual void setActionCaption(std::string_view caption) = 0;
    virtual void setOptionsEnabled(bool enabled) = 0;
    /// A modal message box with an OK button; returns when it is closed.
    virtual void showMessage(const std::string& text) = 0;
    /// The window's per-packet method.
    virtual void draw(const int32_t (&packet)[8]) = 0;
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
