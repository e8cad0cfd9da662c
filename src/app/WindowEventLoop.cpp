#include "app/WindowEventLoop.h"

#include "app/TerminationSignals.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace solvane {

namespace {

// One pass over every event source. Input that a pass reads from the display connection is
// handed to the window only by the pass after it (the dispatcher looks for window-system
// events before it reads the connection), so a pass that dispatched anything is followed by
// one more at once: a key or click is acted on in the pass that reads it, not one pass later.
void sourcesPass(QEventLoop::ProcessEventsFlags flags) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr)
        return;
    if (dispatcher->processEvents(flags))
        dispatcher->processEvents(QEventLoop::AllEvents);
}

} // namespace

WindowEventLoop::WindowEventLoop()
    : clock_([] {
          return std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
              .count();
      }) {
    // Its expiry only has to wake the event dispatcher: the waiting pass then returns.
    wakeTimer_.setSingleShot(true);
    wakeTimer_.setTimerType(Qt::PreciseTimer);
}

void WindowEventLoop::setClock(std::function<int64_t()> monotonicMicroseconds) {
    clock_ = std::move(monotonicMicroseconds);
}

void WindowEventLoop::processEvents() {
    const int64_t now = clock_();
    if (now - lastSourcesPass_ < SourcesPassMicroseconds && !TerminationSignals::waiting()) {
        QCoreApplication::sendPostedEvents();
        return;
    }
    lastSourcesPass_ = now;
    sourcesPass(QEventLoop::AllEvents);
}

void WindowEventLoop::processEventsUntil(int64_t deadline) {
    // The dispatcher sleeps in one poll on everything the program listens to: the display
    // connection (its reader wakes the dispatcher), the signal pipe's notifier, posted events
    // and the timers, the wake-up timer among them. Rounded up to whole milliseconds, the
    // timer never ends the wait before its deadline.
    const int64_t left = deadline - clock_();
    if (left <= 0) {
        lastSourcesPass_ = clock_();
        sourcesPass(QEventLoop::AllEvents);
        return;
    }
    wakeTimer_.start(static_cast<int>((left + 999) / 1000));
    sourcesPass(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wakeTimer_.stop();
    lastSourcesPass_ = clock_();
}

void WindowEventLoop::sleep(int64_t microseconds) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

int64_t WindowEventLoop::monotonicMicroseconds() {
    return clock_();
}

} // namespace solvane
