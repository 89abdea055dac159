#include "capture/paced_source.h"

bool TPacedSource::Pause(int ms) {
    std::unique_lock lock(FWaitLock);
    FWakeUp.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Terminated(); });
    return !Terminated();
}

bool TPacedSource::WaitForTurn(double mediaSeconds, double fastLeadSeconds) {
    if (FFast) {
        while (mediaSeconds > FSink.EncodedSeconds() + fastLeadSeconds ||
               mediaSeconds > FSink.FastEndSeconds()) {
            if (!Pause(FastPollMs)) return false;
        }
        return !Terminated();
    }
    const auto due = FStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(mediaSeconds));
    std::unique_lock lock(FWaitLock);
    FWakeUp.wait_until(lock, due, [this] { return Terminated(); });
    return !Terminated();
}

void TPacedSource::Wake() {
    // Taking the lock orders the flag store before the waiter's predicate check.
    { std::lock_guard lock(FWaitLock); }
    FWakeUp.notify_all();
}
