#pragma once
// Base of the synthetic capture sources: a worker thread that either follows the wall clock,
// as a capture device does, or runs ahead of the encoder by a bounded lead (fast mode).

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/thread.h"
#include "capture/capture_sink.h"

class TPacedSource : public TWorkerThread {
  public:
    TPacedSource(TCaptureSink& sink, bool fast) : FSink(sink), FFast(fast) {}

  protected:
    // Waits until media time `mediaSeconds` may be delivered: on the wall clock since the
    // source started, or, in fast mode, until the encoder is within `fastLeadSeconds` of it
    // (and never past the sink's FastEndSeconds).
    // False when the source is told to stop.
    bool WaitForTurn(double mediaSeconds, double fastLeadSeconds);

    // Sleeps up to `ms` unless the source is told to stop; false when it was.
    bool Pause(int ms);

    // How often a fast source looks again whether the encoder has taken enough. Each look
    // wakes a thread; the leads are far longer than this, so the encoder never waits for it.
    static constexpr int FastPollMs = 5;

    void MarkStart() { FStart = std::chrono::steady_clock::now(); }
    void Wake() override;

    TCaptureSink& FSink;
    const bool FFast;

  private:
    std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
    std::mutex FWaitLock;
    std::condition_variable FWakeUp;
};
