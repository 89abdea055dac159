#pragma once
// A worker thread with one owner: a terminate flag, a best-effort priority and a join.
// Derived classes must call StopThread() in their own destructor, before their members go:
// the base destructor runs after them and only checks that the thread has ended.

#include <atomic>
#include <thread>

class TWorkerThread {
  public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;
    virtual ~TWorkerThread();

    // Starts Execute() on a new thread; priorityBoost is the number of steps above normal
    // (best effort: ignored where the process may not raise priority).
    void StartThread(int priorityBoost = 0);

    // Sets the flag and wakes the thread through Wake(); does not wait.
    void Terminate();

    // Terminate, then join. Safe to call more than once and from the owner only.
    void StopThread();

    bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
    bool Running() const { return FRunning.load(std::memory_order_acquire); }

  protected:
    virtual void Execute() = 0;
    // Wakes whatever Execute() waits on, so it sees the flag at once.
    virtual void Wake() {}

  private:
    void RunBody();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FRunning{false};
};
