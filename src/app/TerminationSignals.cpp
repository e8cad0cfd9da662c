#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace solvane {

namespace {

constexpr int Caught[] = {SIGTERM, SIGHUP, SIGINT};

int pipeEnds[2] = {-1, -1}; // [0] read by the notifier, [1] written by the handler
int firstSignal = 0;
volatile std::sig_atomic_t signalWaiting = 0; // set by the handler, cleared before the pipe is read
struct sigaction previous[std::size(Caught)];

extern "C" void writeSignalNumber(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a signal that wakes the loop; this one may go.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    signalWaiting = 1;
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int), struct sigaction* old = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, old);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("no pipe for the termination signals: ") +
                                 std::strerror(errno));
    unsigned char stale[64];
    while (::read(pipeEnds[0], stale, sizeof stale) > 0) {
    }
    firstSignal = 0;
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    // A signal ignored from the start stays ignored (nohup, or a background job of a shell
    // without job control): whoever started the program wanted it so.
    for (std::size_t i = 0; i < std::size(Caught); ++i) {
        setHandler(Caught[i], writeSignalNumber, &previous[i]);
        if (previous[i].sa_handler == SIG_IGN)
            sigaction(Caught[i], &previous[i], nullptr);
    }
}

TerminationSignals::~TerminationSignals() {
    for (std::size_t i = 0; i < std::size(Caught); ++i)
        sigaction(Caught[i], &previous[i], nullptr);
}

bool TerminationSignals::waiting() noexcept {
    return signalWaiting != 0;
}

int TerminationSignals::first() noexcept {
    return firstSignal;
}

void TerminationSignals::readPipe() {
    unsigned char numbers[16];
    ssize_t count = 0;
    signalWaiting = 0;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            if (firstSignal == 0)
                firstSignal = numbers[i];
            emit received(numbers[i]);
        }
    }
}

void TerminationSignals::endProcessLikeIt() {
    if (firstSignal == 0)
        return;
    setHandler(firstSignal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, firstSignal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(firstSignal);
}

} // namespace solvane
