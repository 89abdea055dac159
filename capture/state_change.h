#pragma once
// TStateChange: a pipeline state change made on GStreamer's own threads, so its owner can wait
// for it with a bound. A device whose server stopped answering (a PulseAudio server stopped
// with SIGSTOP) holds its element's state change for as long as the server sleeps; a window or
// a runner that waited for it would not stop, or quit, until then.
//
// Threads: made and waited for by one owner; the change runs on a thread of its own, joined
// when the change has returned and otherwise left to finish (it holds the element meanwhile).

#include <gst/gst.h>

#include <chrono>
#include <memory>
#include <thread>

class TStateChange final {
  public:
    using TClock = std::chrono::steady_clock;

    TStateChange(GstElement* element, GstState state);
    ~TStateChange();
    TStateChange(const TStateChange&) = delete;
    TStateChange& operator=(const TStateChange&) = delete;

    // Waits until the change call has returned, at most until `deadline`; false when it has
    // not (it goes on by itself).
    bool WaitReturned(TClock::time_point deadline) const;
    // After WaitReturned: the change failed at once.
    bool Failed() const;

  private:
    struct TJob;
    std::shared_ptr<TJob> FJob;
    std::thread FThread;
};
