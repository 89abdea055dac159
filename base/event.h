#pragma once
// A manual-reset event: stays set until Reset(), wakes every waiter.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TEvent {
  public:
    explicit TEvent(bool initiallySet = false) : FSet(initiallySet) {}

    void Set() {
        {
            std::lock_guard lock(FLock);
            FSet = true;
        }
        FChanged.notify_all();
    }

    void Reset() {
        std::lock_guard lock(FLock);
        FSet = false;
    }

    bool IsSet() const {
        std::lock_guard lock(FLock);
        return FSet;
    }

    // True when the event was set within timeoutMs.
    bool WaitFor(int timeoutMs) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return FSet; });
    }

  private:
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    bool FSet;  // guarded by FLock
};
