#pragma once
// The synthetic sources fed straight to the encoder, without GStreamer: a clean baseline for
// measurements, and the only way to run faster than real time (--fast).

#include "app/headless_capture.h"
#include "app/headless_options.h"
#include "capture/capture_sink.h"
#include "capture/test_pattern_source.h"
#include "capture/test_tone_source.h"

class TSyntheticCapture final : public THeadlessCapture, public TCaptureSink {
  public:
    explicit TSyntheticCapture(const THeadlessOptions& options) : FOptions(options) {}
    ~TSyntheticCapture() override { StopRun(); }

    bool Open() override { return true; }
    void PrepareRun(std::optional<TWaveFormatEx>& audio,
                    std::optional<TBitmapInfoHeader>& video) override;
    void StartRun(TLiveEncoder& encoder) override;
    void StopRun() override;
    std::optional<std::string> Fault() const override { return std::nullopt; }
    bool LiveDevices() const override { return false; }

    bool WriteAudio(const uint8_t* data, int size) override;
    void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) override;
    double EncodedSeconds() const override;
    // A run of --seconds N gets its N seconds and a little more, so the encoder can reach N
    // and no further than about a step past it.
    double FastEndSeconds() const override;

  private:
    const THeadlessOptions FOptions;
    // Set before the sources start and cleared after they have been joined, so the source
    // threads never see it change.
    TLiveEncoder* FEncoder = nullptr;
    std::unique_ptr<TTestPatternSource> FVideoSource;
    std::unique_ptr<TTestToneSource> FAudioSource;
};
