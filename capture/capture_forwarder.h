#pragma once
// TCaptureForwarder: the two tap handlers of the main window, shared with the headless runner.
// They forward samples to the live encoder of the current run, only while a run is active;
// the video handler gives the run's first frame time 0 and later frames the seconds since it.
//
// Threads: SetEncoder on the owner's thread while the graph is stopped (no handler runs);
// VideoGrabOldBuffer and AudioGrabBuffer on the streaming threads.

#include <atomic>
#include <cstdint>

#include "capture/capture_callbacks.h"

class TLiveEncoder;

class TCaptureForwarder final {
  public:
    // Starts a run (resets the frame count, so the next frame sets the time base) or, with
    // null, ends it.
    void SetEncoder(TLiveEncoder* encoder);
    bool Recording() const { return FRecording.load(std::memory_order_acquire); }

    void VideoGrabOldBuffer(const TVideoSample& sample);
    void AudioGrabBuffer(const TAudioSample& sample);

    // Frames forwarded in this run.
    int32_t VideoFrameCount() const { return FVideoFrameCount.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> FRecording{false};
    std::atomic<TLiveEncoder*> FEncoder{nullptr};
    std::atomic<int32_t> FVideoFrameCount{0};
    double FVideoTimeBase = 0;  // video streaming thread only, while recording
};
