#pragma once
// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, Ctrl-C) turned into an ordinary event: the
// handler only writes the signal's number into a pipe, and a socket notifier on the pipe's
// other end emits received() from the event loop, where the program can end the way it ends
// when its window is closed. Signals that come while no event loop runs (during a run's
// set-up, say) wait in the pipe until the next event pass.

#include <QObject>

class QSocketNotifier;

namespace solvane {

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    /// Catches the three signals from now on, but for one that is ignored; one instance at a
    /// time.
    explicit TerminationSignals(QObject* parent = nullptr);
    /// The signals are handled as they were before.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    /// A signal has come and is still in the pipe: the next event pass must read it. Cheap
    /// (no system call), for passes that otherwise leave the event sources alone.
    [[nodiscard]] static bool waiting() noexcept;
    /// The first signal delivered through received(), or 0.
    [[nodiscard]] static int first() noexcept;
    /// Ends the process by the first signal, with its default action, so that whoever
    /// started the program learns why it ended; returns at once when there was none.
    static void endProcessLikeIt();

signals:
    /// Emitted for every signal that arrives.
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace solvane
