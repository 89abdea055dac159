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

// Seconds from the run's first frame to a frame, both in whole capture milliseconds. Taken as
// a whole-millisecond difference first: subtracting the two times in seconds would put a frame
// captured exactly at an output frame's time a hair before it (1.001 - 0.001 < 1.0), and the
// encoder would take the next frame instead. The difference is unsigned, so it survives the
// 32-bit wrap of the millisecond count.
inline double RunRelativeSeconds(uint32_t timeMs, uint32_t baseMs) {
    return static_cast<uint32_t>(timeMs - baseMs) / 1000.0;
}

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
    uint32_t FVideoTimeBaseMs = 0;  // video streaming thread only, while recording
};
