#include "app/synthetic_capture.h"

#include "capture/format_choice.h"
#include "engine/live_encoder.h"
#include "settings/settings.h"

void TSyntheticCapture::PrepareRun(std::optional<TWaveFormatEx>& audio,
                                   std::optional<TBitmapInfoHeader>& video) {
    StopRun();
    audio.reset();
    video.reset();
    if (FOptions.Audio) audio = PcmWaveFormat(FOptions.CaptureRate, FOptions.CaptureChannels);
    if (FOptions.Video) video = BgrBitmapHeader(FOptions.CaptureWidth, FOptions.CaptureHeight);
}

void TSyntheticCapture::StartRun(TLiveEncoder& encoder) {
    FEncoder = &encoder;
    if (FOptions.Video) {
        FVideoSource = std::make_unique<TTestPatternSource>(*this, FOptions.CaptureWidth,
                                                            FOptions.CaptureHeight,
                                                            FOptions.CaptureFps, FOptions.Fast);
        FVideoSource->Start();
    }
    if (FOptions.Audio) {
        FAudioSource = std::make_unique<TTestToneSource>(*this, FOptions.CaptureRate,
                                                         FOptions.CaptureChannels, FOptions.Fast);
        FAudioSource->Start();
    }
}

void TSyntheticCapture::StopRun() {
    // Like the capture graph: no sample may arrive while the encoder goes away.
    FVideoSource.reset();
    FAudioSource.reset();
    FEncoder = nullptr;
}

bool TSyntheticCapture::WriteAudio(const uint8_t* data, int size) {
    return FEncoder->WriteAudio(data, size);
}

void TSyntheticCapture::PutVideoFrame(const uint8_t* data, int size, double timeSeconds) {
    FEncoder->PutVideoFrame(data, size, timeSeconds);
}

double TSyntheticCapture::FastEndSeconds() const {
    // Each run's media start at 0; a restarted broadcast counts from its own start, so the
    // bound is loose for it, never too tight.
    constexpr double Margin = 0.15;  // more than the encoder's step without video (0.1 s)
    if (FOptions.Seconds <= 0) return TCaptureSink::FastEndSeconds();
    return FOptions.Seconds + Margin;
}

double TSyntheticCapture::EncodedSeconds() const {
    if (FEncoder == nullptr) return 0;
    if (FOptions.Video) return FEncoder->FramesEncoded() / static_cast<double>(Settings.Theora.FPS);
    return static_cast<double>(FEncoder->SamplesEncoded()) / FEncoder->SampleRate();
}
