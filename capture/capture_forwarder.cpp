#include "capture/capture_forwarder.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "engine/live_encoder.h"

int32_t StartLeadMs(int32_t stampedLeadMs, int32_t arrivalLeadMs) {
    return std::abs(stampedLeadMs - arrivalLeadMs) <= TCaptureForwarder::StampTrustMs
               ? stampedLeadMs
               : arrivalLeadMs;
}

void TCaptureForwarder::SetEncoder(TLiveEncoder* encoder) {
    std::unique_lock encoderLock(FEncoderLock);
    FVideoFrameCount.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(FOriginLock);
        FOrigin.reset();
    }
    FSoundLinedUp.store(false, std::memory_order_relaxed);
    FEncoder.store(encoder, std::memory_order_release);
    FRecording.store(encoder != nullptr, std::memory_order_release);
}

int32_t TCaptureForwarder::FirstSampleLead(uint32_t timeMs, TClock::time_point start) {
    std::lock_guard lock(FOriginLock);
    if (!FOrigin) {
        FOrigin = TOrigin{timeMs, start};
        return 0;
    }
    const auto arrivalLead =
        std::chrono::duration_cast<std::chrono::milliseconds>(start - FOrigin->Start).count();
    return StartLeadMs(static_cast<int32_t>(timeMs - FOrigin->TimeMs),
                       static_cast<int32_t>(arrivalLead));
}

void TCaptureForwarder::VideoGrabOldBuffer(const TVideoSample& sample, TClock::time_point arrival) {
    std::shared_lock lock(FEncoderLock);
    TLiveEncoder* encoder = FEncoder.load(std::memory_order_acquire);
    if (!FRecording.load(std::memory_order_acquire) || encoder == nullptr) return;
    try {
        if (FVideoFrameCount.load(std::memory_order_relaxed) == 0) {
            FVideoBaseMs = sample.TimeMs;
            FVideoLeadMs = std::max(0, FirstSampleLead(sample.TimeMs, arrival));
        }
        encoder->PutVideoFrame(sample.Data, sample.Size,
                               RunRelativeSeconds(sample.TimeMs, FVideoBaseMs, FVideoLeadMs));
        FVideoFrameCount.fetch_add(1, std::memory_order_relaxed);
    } catch (...) {
        // The frame is lost; capture goes on.
    }
}

void TCaptureForwarder::LineUpSound(TLiveEncoder& encoder, const TAudioSample& sample,
                                    TClock::time_point arrival) {
    FSoundToSkip = 0;
    if (sample.Format == nullptr || sample.Format->nBlockAlign == 0 ||
        sample.Format->nAvgBytesPerSec == 0) {
        return;
    }
    // The buffer was captured over its own length before it arrived.
    const auto length = std::chrono::microseconds(static_cast<int64_t>(sample.Size) * 1'000'000 /
                                                  sample.Format->nAvgBytesPerSec);
    const int32_t leadMs = FirstSampleLead(sample.TimeMs, arrival - length);
    const int64_t block = sample.Format->nBlockAlign;
    const int64_t bytes = static_cast<int64_t>(std::min(std::abs(leadMs), MaxLeadMs)) *
                          sample.Format->nAvgBytesPerSec / 1000 / block * block;
    if (leadMs < 0) {
        FSoundToSkip = bytes;
        return;
    }
    static const std::array<uint8_t, 4096> silence{};
    const int64_t chunk = static_cast<int64_t>(silence.size()) / block * block;
    for (int64_t left = bytes; left > 0; left -= chunk) {
        encoder.WriteAudio(silence.data(), static_cast<int32_t>(std::min(left, chunk)));
    }
}

void TCaptureForwarder::AudioGrabBuffer(const TAudioSample& sample, TClock::time_point arrival) {
    std::shared_lock lock(FEncoderLock);
    TLiveEncoder* encoder = FEncoder.load(std::memory_order_acquire);
    if (!FRecording.load(std::memory_order_acquire) || encoder == nullptr) return;
    try {
        if (!FSoundLinedUp.exchange(true, std::memory_order_relaxed)) {
            LineUpSound(*encoder, sample, arrival);
        }
        const auto skipped = static_cast<int32_t>(std::min<int64_t>(FSoundToSkip, sample.Size));
        FSoundToSkip -= skipped;
        // A full queue loses this buffer; audio is timed by the amount of data alone.
        if (sample.Size > skipped) {
            encoder->WriteAudio(sample.Data + skipped, sample.Size - skipped);
        }
    } catch (...) {
    }
}
