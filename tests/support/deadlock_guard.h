#pragma once
// Ends the test program when an in-process call that must return does not. A deadlocked call
// cannot be abandoned (its object can be neither used nor freed), so the only bounded failure
// is to leave: the message names the call, and the test fails within its bound instead of
// holding the suite until the runner's own limit.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TDeadlockGuard final {
  public:
    // onExpiry runs on the guard's thread just before the program ends (killing helper
    // processes that would otherwise outlive it); it must not wait on the stuck thread.
    TDeadlockGuard(std::string what, std::chrono::milliseconds limit,
                   std::function<void()> onExpiry = {})
        : FWhat(std::move(what)),
          FOnExpiry(std::move(onExpiry)),
          FThread([this, limit] { Watch(limit); }) {}
    ~TDeadlockGuard() {
        {
            std::lock_guard lock(FLock);
            FDone = true;
        }
        FWake.notify_one();
        FThread.join();
    }
    TDeadlockGuard(const TDeadlockGuard&) = delete;
    TDeadlockGuard& operator=(const TDeadlockGuard&) = delete;

  private:
    void Watch(std::chrono::milliseconds limit) {
        std::unique_lock lock(FLock);
        if (FWake.wait_for(lock, limit, [this] { return FDone; })) return;
        std::fprintf(stderr, "FAILED: %s did not return within %lld ms (deadlock?)\n",
                     FWhat.c_str(), static_cast<long long>(limit.count()));
        std::fflush(stderr);
        if (FOnExpiry) FOnExpiry();
        std::_Exit(1);
    }

    std::string FWhat;
    std::function<void()> FOnExpiry;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FDone = false;  // guarded by FLock
    std::thread FThread;
};
