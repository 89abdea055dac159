#pragma once
// Runs one recording or broadcast of the synthetic sources without a window, as the main
// window would: the sources stand in for the capture taps, a live encoder per run, the same
// stop order (sources first, then the encoder), and the same restart rule for a lost server.
// Window log lines and status lines go to `out`.

#include <atomic>
#include <memory>
#include <ostream>
#include <string>

#include "app/headless_options.h"
#include "capture/capture_sink.h"
#include "capture/test_pattern_source.h"
#include "capture/test_tone_source.h"
#include "engine/live_encoder.h"

class THeadlessRunner final : public TCaptureSink {
  public:
    THeadlessRunner(const THeadlessOptions& options, std::ostream& out, std::ostream& err);
    ~THeadlessRunner() override;

    // Applies the option overrides to the in-memory settings (never saved), runs until the
    // duration has been encoded or `stop` turns true, and returns the exit status.
    int Run(const std::atomic<bool>& stop);

    bool WriteAudio(const uint8_t* data, int size) override;
    void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) override;
    double EncodedSeconds() const override;

  private:
    void ApplyOverrides() const;
    bool StartRun();
    void StopRun();
    void Restart();
    // Marks the run as failed (exit status 1), telling why once.
    void FailRun(const std::string& why);
    double TotalSeconds() const { return FEarlierRunsSeconds + EncodedSeconds(); }
    void FlushLog();
    void PrintStatus();

    const THeadlessOptions FOptions;
    std::ostream& FOut;
    std::ostream& FErr;
    TWaveFormatEx FAudioFormat{};
    TBitmapInfoHeader FVideoHeader{};
    // Set before the sources start and cleared after they have been joined, so the source
    // threads never see it change.
    std::unique_ptr<TLiveEncoder> FEncoder;
    std::unique_ptr<TTestPatternSource> FVideoSource;
    std::unique_ptr<TTestToneSource> FAudioSource;
    double FEarlierRunsSeconds = 0;
    bool FFailed = false;
};
