#pragma once
// "Test Pattern" and "Test Tone" as GStreamer devices: the synthetic sources pushed through an
// appsrc as live sources with time stamps on the pipeline clock, so they take exactly the path
// a real device takes. Each device is a bin with one source pad; what it offers can be shaped
// to force the graph through decoding and conversion, and it can be made to fail.

#include <gst/gst.h>

#include <memory>
#include <vector>

#include "capture/capture_sink.h"

// GStreamer names of the two devices' bins.
inline constexpr const char* TestPatternDeviceName = "test-pattern";
inline constexpr const char* TestToneDeviceName = "test-tone";

struct TTestDeviceOptions {
    enum class TVideoFormat { Bgr, I420, Mjpeg };
    TVideoFormat VideoFormat = TVideoFormat::Bgr;
    // "Test Pattern" offers this size and half of it (each side rounded down to even).
    int Width = 640;
    int Height = 480;
    int Fps = 30;
    int Rate = 44100;
    int Channels = 2;
    // Seconds into a run after which the device posts an error and stops delivering; 0: never.
    double VideoFailAfterSeconds = 0;
    double AudioFailAfterSeconds = 0;
};

class TPacedSource;

// Common part: the bin, its appsrc, the generator thread's lifetime and the time stamps.
class TTestDevice : public TCaptureSink {
  public:
    ~TTestDevice() override;
    TTestDevice(const TTestDevice&) = delete;
    TTestDevice& operator=(const TTestDevice&) = delete;

    // The device's bin (floating until added to a pipeline).
    GstElement* Element() const { return FBin; }

    // Starts the generator once the pipeline runs; Stop joins it (owner's thread). Derived
    // classes call Stop in their destructors, before their members go.
    void Start();
    void Stop();

    bool WriteAudio(const uint8_t* data, int size) override;
    void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) override;
    double EncodedSeconds() const override { return 0; }

  protected:
    TTestDevice(const char* name, double failAfterSeconds);
    virtual std::unique_ptr<TPacedSource> MakeSource() = 0;
    // Pushes one buffer stamped with the run time of media time `mediaSeconds`.
    void Push(const uint8_t* data, int size, double mediaSeconds, double durationSeconds);
    bool FailIfDue(double mediaSeconds);

    GstElement* FBin = nullptr;
    GstElement* FAppSrc = nullptr;  // owned by FBin

  private:
    const double FFailAfterSeconds;
    std::unique_ptr<TPacedSource> FSource;
    GstClockTime FFirstRunTime = GST_CLOCK_TIME_NONE;  // generator thread only
    bool FFailed = false;                              // generator thread only
};

class TTestVideoDevice final : public TTestDevice {
  public:
    explicit TTestVideoDevice(const TTestDeviceOptions& options);
    ~TTestVideoDevice() override { Stop(); }
    void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) override;

  protected:
    std::unique_ptr<TPacedSource> MakeSource() override;

  private:
    const TTestDeviceOptions FOptions;
};

class TTestAudioDevice final : public TTestDevice {
  public:
    explicit TTestAudioDevice(const TTestDeviceOptions& options);
    ~TTestAudioDevice() override { Stop(); }
    bool WriteAudio(const uint8_t* data, int size) override;

  protected:
    std::unique_ptr<TPacedSource> MakeSource() override;

  private:
    const TTestDeviceOptions FOptions;
    int64_t FFramesPushed = 0;      // generator thread only
    std::vector<uint8_t> FPending;  // generator thread only
};
