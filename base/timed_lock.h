#pragma once
// A mutex whose waits can be bounded, built on a condition variable. std::timed_mutex waits
// through pthread_mutex_clocklock, which ThreadSanitizer (GCC 12) does not see: it then
// reports races on everything the lock guards. Meets the TimedLockable requirements, so
// std::unique_lock(lock, timeout) works. Not recursive.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TTimedLock {
  public:
    void lock() {
        std::unique_lock guard(FGuard);
        FFree.wait(guard, [this] { return !FHeld; });
        FHeld = true;
    }

    bool try_lock() {
        std::lock_guard guard(FGuard);
        if (FHeld) return false;
        FHeld = true;
        return true;
    }

    // Waits on the steady clock, so a step of the wall clock neither ends nor stretches it.
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout) {
        std::unique_lock guard(FGuard);
        if (!FFree.wait_for(guard, timeout, [this] { return !FHeld; })) return false;
        FHeld = true;
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(FGuard);
            FHeld = false;
        }
        FFree.notify_one();
    }

  private:
    std::mutex FGuard;
    std::condition_variable FFree;
    bool FHeld = false;  // guarded by FGuard
};
