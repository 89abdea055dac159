#pragma once
// TCaptureForwarder: the two tap handlers of the main window, shared with the headless runner.
// They forward samples to the live encoder of the current run, only while a run is active.
//
// Both media count from one origin, the capture start of the run's first sample, sound or
// picture. Frames carry the seconds since it; the sound, timed by its amount alone, is lined up
// once, at its first buffer: a device that starts later than the other gets silence before its
// first sample, one that started earlier loses what lies before the origin. Without this a
// sound server that takes half a second to open its stream would put the sound half a second
// late for the whole run.
//
// Threads: SetEncoder on the owner's thread, normally while the graph is stopped; the handlers
// on the streaming threads. A handler holds the encoder under a shared lock and SetEncoder
// takes it alone, so an encoder is never freed under a handler, even when a device that does
// not answer kept the graph from stopping.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include "capture/capture_callbacks.h"

class TLiveEncoder;

// Seconds from a medium's first frame to a frame, both in whole capture milliseconds; a frame
// stamped before it counts as at it. Taken as a whole-millisecond difference first:
// subtracting the two times in seconds would put a frame captured exactly at an output frame's
// time a hair before it (1.001 - 0.001 < 1.0), and the encoder would take the next frame
// instead. The difference survives the 32-bit wrap of the millisecond count.
inline double RunRelativeSeconds(uint32_t timeMs, uint32_t baseMs, int32_t leadMs = 0) {
    const int32_t difference = static_cast<int32_t>(timeMs - baseMs) + leadMs;
    return difference > 0 ? difference / 1000.0 : 0.0;
}

// How far a medium's first sample lies after the run's origin, in milliseconds. The capture
// times are exact when both devices stamp on one running clock; a device whose stamps start
// only once it runs (a PulseAudio stream that took 0.8 s to open still stamps its first buffer
// 0) disagrees with the arrival times, which then decide.
int32_t StartLeadMs(int32_t stampedLeadMs, int32_t arrivalLeadMs);

class TCaptureForwarder final {
  public:
    using TClock = std::chrono::steady_clock;

    // Starts a run (the next sample sets the origin) or, with null, ends it.
    void SetEncoder(TLiveEncoder* encoder);
    bool Recording() const { return FRecording.load(std::memory_order_acquire); }

    // `arrival`: when the sample reached us (tests give their own).
    void VideoGrabOldBuffer(const TVideoSample& sample, TClock::time_point arrival = TClock::now());
    void AudioGrabBuffer(const TAudioSample& sample, TClock::time_point arrival = TClock::now());

    // Frames forwarded in this run.
    int32_t VideoFrameCount() const { return FVideoFrameCount.load(std::memory_order_relaxed); }

    // The most silence put before a late-starting device's first sample.
    static constexpr int32_t MaxLeadMs = 2000;
    // Capture times that differ from the arrival times by more are not trusted for the start.
    static constexpr int32_t StampTrustMs = 100;

  private:
    struct TOrigin {
        uint32_t TimeMs = 0;
        TClock::time_point Start;
    };
    // The lead of a medium's first sample over the origin; the run's first sample becomes it.
    int32_t FirstSampleLead(uint32_t timeMs, TClock::time_point start);
    void LineUpSound(TLiveEncoder& encoder, const TAudioSample& sample, TClock::time_point arrival);

    std::shared_mutex FEncoderLock;  // shared by the handlers, taken alone by SetEncoder
    std::atomic<bool> FRecording{false};
    std::atomic<TLiveEncoder*> FEncoder{nullptr};
    std::atomic<int32_t> FVideoFrameCount{0};
    std::mutex FOriginLock;          // taken once per medium and run
    std::optional<TOrigin> FOrigin;  // guarded by FOriginLock
    std::atomic<bool> FSoundLinedUp{false};
    // Video streaming thread only, while recording.
    uint32_t FVideoBaseMs = 0;
    int32_t FVideoLeadMs = 0;
    // Audio streaming thread only, while recording.
    int64_t FSoundToSkip = 0;  // bytes
};
