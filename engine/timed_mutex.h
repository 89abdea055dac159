#pragma once
// A mutex whose lock waits are bounded, for std::unique_lock(mutex, timeout).
// Built on std::mutex and std::condition_variable rather than std::timed_mutex: the latter's
// steady-clock wait (pthread_mutex_clocklock) is invisible to GCC's ThreadSanitizer, which
// then reports false races. Waits use the steady clock, so a wall-clock step changes nothing.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TTimedMutex {
  public:
    TTimedMutex() = default;
    TTimedMutex(const TTimedMutex&) = delete;
    TTimedMutex& operator=(const TTimedMutex&) = delete;

    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout) {
        std::unique_lock guard(FGuard);
        if (!FReleased.wait_for(guard, timeout, [this] { return !FHeld; })) return false;
        FHeld = true;
        return true;
    }

    bool try_lock() {
        std::lock_guard guard(FGuard);
        if (FHeld) return false;
        FHeld = true;
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(FGuard);
            FHeld = false;
        }
        FReleased.notify_one();
    }

  private:
    std::mutex FGuard;
    std::condition_variable FReleased;
    bool FHeld = false;  // guarded by FGuard
};
