#include "engine/media_clock.h"

#include <algorithm>

TMediaClock::TMediaClock(int32_t audioBytesPerSecond, TClock::time_point start)
    : FStart(start), FAudioBytesPerSecond(audioBytesPerSecond) {}

int64_t TMediaClock::Elapsed(TClock::time_point now) const {
    return std::chrono::duration_cast<std::chrono::microseconds>(now - FStart).count();
}

void TMediaClock::VideoArrived(double timeSeconds, TClock::time_point now) {
    // One capture thread writes: a plain load and store keep the newest time.
    if (timeSeconds > FNewestVideo.load(std::memory_order_relaxed)) {
        FNewestVideo.store(timeSeconds, std::memory_order_relaxed);
    }
    FVideoArrivalUs.store(Elapsed(now), std::memory_order_relaxed);
}

void TMediaClock::AudioArrived(int32_t bytes, TClock::time_point now) {
    FAudioBytes.fetch_add(bytes, std::memory_order_relaxed);
    FAudioArrivalUs.store(Elapsed(now), std::memory_order_relaxed);
}

double TMediaClock::Now(TClock::time_point now) const {
    const double reached = std::max(FNewestVideo.load(std::memory_order_relaxed), SoundSeconds());
    return std::max(reached, Elapsed(now) / 1e6 - WallSlackSeconds);
}

double TMediaClock::SoundSeconds() const {
    if (FAudioBytesPerSecond <= 0) return 0;
    return static_cast<double>(FAudioBytes.load(std::memory_order_relaxed)) / FAudioBytesPerSecond;
}

double TMediaClock::ClockWithoutSound(TClock::time_point now) const {
    if (FVideoArrivalUs.load(std::memory_order_relaxed) == NeverUs) return Elapsed(now) / 1e6;
    return FNewestVideo.load(std::memory_order_relaxed);
}

double TMediaClock::Since(const std::atomic<int64_t>& arrival, TClock::time_point now) const {
    const int64_t at = arrival.load(std::memory_order_relaxed);
    return (Elapsed(now) - (at == NeverUs ? 0 : at)) / 1e6;
}

double TMediaClock::SecondsSinceVideo(TClock::time_point now) const {
    return Since(FVideoArrivalUs, now);
}

double TMediaClock::SecondsSinceAudio(TClock::time_point now) const {
    return Since(FAudioArrivalUs, now);
}
