#pragma once
// The acquisition loop's event passes, sleep and clock in the running program: Qt's event
// dispatcher on the user-interface thread, a wake-up timer that ends a waiting pass at its
// deadline, and std::chrono::steady_clock unless a test gives another clock.

#include "run/EventLoop.h"

#include <QTimer>

#include <functional>

namespace solvane {

class WindowEventLoop final : public EventLoop {
public:
    WindowEventLoop();

    /// The clock that monotonicMicroseconds() reads and the passes are timed on.
    void setClock(std::function<int64_t()> monotonicMicroseconds);

    void processEvents() override;
    void processEventsUntil(int64_t deadline) override;
    void sleep(int64_t microseconds) override;
    int64_t monotonicMicroseconds() override;

    /// A pass that asks the display connection, the signal pipe and the timers costs a system
    /// call. Between two wake-ups of the acquisition loop the passes after packets take only
    /// the events posted since (the repaints draw asks for); input that comes meanwhile wakes
    /// the next wait at once, and a termination signal is read in the next pass. A pass asks
    /// the sources all the same once the last one that did is this old (µs on the clock), so
    /// that input during a burst of packets, or from a library that always has a packet, is
    /// acted on well within 20 ms, a poll that renders a second of sound included.
    static constexpr int64_t SourcesPassMicroseconds = 5'000;

private:
    std::function<int64_t()> clock_;
    QTimer wakeTimer_; ///< ends a waiting event pass at its deadline
    /// When a pass last asked the event sources (µs on the clock); see processEvents.
    int64_t lastSourcesPass_ = 0;
};

} // namespace solvane
