#include "app/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace {

int Pipe[2] = {-1, -1};

// SIGHUP too: a closed terminal or a logout must finish the recording, not cut it off.
constexpr int StopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void WriteSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending stop; losing this byte loses nothing.
    [[maybe_unused]] ssize_t written = write(Pipe[1], &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {
    if (pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FNotifier = std::make_unique<QSocketNotifier>(Pipe[0], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TStopSignals::Drain);
    for (int signalNumber : StopSignals) SetHandler(signalNumber, WriteSignal);
}

TStopSignals::~TStopSignals() {
    for (int signalNumber : StopSignals) SetHandler(signalNumber, SIG_DFL);
    FNotifier.reset();
    for (int& end : Pipe) {
        if (end >= 0) close(end);
        end = -1;
    }
}

void TStopSignals::Drain() {
    unsigned char bytes[16];
    const ssize_t count = read(Pipe[0], bytes, sizeof bytes);
    if (count > 0) emit StopRequested(bytes[count - 1]);
}
