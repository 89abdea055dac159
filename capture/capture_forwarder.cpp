#include "capture/capture_forwarder.h"

#include "engine/live_encoder.h"

void TCaptureForwarder::SetEncoder(TLiveEncoder* encoder) {
    FVideoFrameCount.store(0, std::memory_order_relaxed);
    FEncoder.store(encoder, std::memory_order_release);
    FRecording.store(encoder != nullptr, std::memory_order_release);
}

void TCaptureForwarder::VideoGrabOldBuffer(const TVideoSample& sample) {
    TLiveEncoder* encoder = FEncoder.load(std::memory_order_acquire);
    if (!FRecording.load(std::memory_order_acquire) || encoder == nullptr) return;
    try {
        if (FVideoFrameCount.load(std::memory_order_relaxed) == 0) FVideoTimeBaseMs = sample.TimeMs;
        encoder->PutVideoFrame(sample.Data, sample.Size,
                               RunRelativeSeconds(sample.TimeMs, FVideoTimeBaseMs));
        FVideoFrameCount.fetch_add(1, std::memory_order_relaxed);
    } catch (...) {
        // The frame is lost; capture goes on.
    }
}

void TCaptureForwarder::AudioGrabBuffer(const TAudioSample& sample) {
    TLiveEncoder* encoder = FEncoder.load(std::memory_order_acquire);
    if (!FRecording.load(std::memory_order_acquire) || encoder == nullptr) return;
    try {
        // A full queue loses this buffer; audio is timed by the amount of data alone.
        encoder->WriteAudio(sample.Data, sample.Size);
    } catch (...) {
    }
}
