#include "base/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cassert>

TWorkerThread::~TWorkerThread() {
    assert(!FThread.joinable() && "derived class must call StopThread() in its destructor");
    if (FThread.joinable()) StopThread();
}

void TWorkerThread::StartThread(int priorityBoost) {
    FTerminated.store(false, std::memory_order_release);
    FRunning.store(true, std::memory_order_release);
    FThread = std::thread([this, priorityBoost] {
        if (priorityBoost > 0) {
            // Linux threads have their own nice value; lowering it needs privilege, so a
            // refusal is expected and harmless.
            (void)setpriority(PRIO_PROCESS, 0, -2 * priorityBoost);
        }
        RunBody();
        FRunning.store(false, std::memory_order_release);
    });
}

void TWorkerThread::RunBody() {
    // Whatever escapes a thread body would end the process. The bodies log their own
    // errors; this is the last net, so the thread ends and its owner's join still returns.
    try {
        Execute();
    } catch (...) {
    }
}

void TWorkerThread::Terminate() {
    FTerminated.store(true, std::memory_order_release);
    Wake();
}

void TWorkerThread::StopThread() {
    Terminate();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}
