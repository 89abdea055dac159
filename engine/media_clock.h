#pragma once
// TMediaClock: how far a run's media have got, so that one late source does not hold up the
// other. The encoder's clock is the video frame times; a step also needs the sound up to its
// time. A device that stalls or runs slow would hold the whole run back to its pace, so the
// run instead follows the furthest source: the newest video frame time, the sound delivered
// (in seconds of capture), and, when both stand still, the wall clock less a second of slack.
// The slack keeps a capture clock that runs a little slower than the wall clock (a sound card
// off by 100 ppm) from ever being overtaken in hours of run.
//
// Threads: the capture threads report arrivals, the encoder thread and the owner read; every
// field is atomic.

#include <atomic>
#include <chrono>
#include <cstdint>

class TMediaClock final {
  public:
    using TClock = std::chrono::steady_clock;

    // A late source's media is replaced (silence, the last picture) once the run is this far
    // past it.
    static constexpr double LateSeconds = 0.5;
    // A source that delivered nothing for this long is reported.
    static constexpr double SilentSeconds = 5.0;
    // The wall clock counts only when both sources are this far behind it.
    static constexpr double WallSlackSeconds = 1.0;

    // `audioBytesPerSecond` of the capture format; 0 for a run without sound.
    explicit TMediaClock(int32_t audioBytesPerSecond, TClock::time_point start = TClock::now());

    // Capture threads.
    void VideoArrived(double timeSeconds, TClock::time_point now = TClock::now());
    void AudioArrived(int32_t bytes, TClock::time_point now = TClock::now());

    // Run seconds the run has reached.
    double Now(TClock::time_point now = TClock::now()) const;
    // Whether media for `timeSeconds` that has not arrived should be replaced now.
    bool Late(double timeSeconds, TClock::time_point now = TClock::now()) const {
        return Now(now) >= timeSeconds + LateSeconds;
    }

    // Seconds of sound delivered, by its amount.
    double SoundSeconds() const;
    // How far the run has got without counting the sound: the newest picture, or the wall
    // clock in a run without pictures. Sound queued beyond it has come late.
    double ClockWithoutSound(TClock::time_point now = TClock::now()) const;

    // Seconds since that source last delivered (since the start when it never did).
    double SecondsSinceVideo(TClock::time_point now = TClock::now()) const;
    double SecondsSinceAudio(TClock::time_point now = TClock::now()) const;

  private:
    int64_t Elapsed(TClock::time_point now) const;  // microseconds since the start
    double Since(const std::atomic<int64_t>& arrival, TClock::time_point now) const;

    const TClock::time_point FStart;
    const int32_t FAudioBytesPerSecond;
    std::atomic<double> FNewestVideo{0};
    std::atomic<int64_t> FAudioBytes{0};
    static constexpr int64_t NeverUs = -1;
    std::atomic<int64_t> FVideoArrivalUs{NeverUs};  // since the start
    std::atomic<int64_t> FAudioArrivalUs{NeverUs};
};
