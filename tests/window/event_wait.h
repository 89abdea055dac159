#pragma once
// Bounded waits that keep the window's event loop turning, for tests that drive the window.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

// Processes events until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Keeps the event loop turning for `ms` milliseconds (a recording's length, not a check).
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}
