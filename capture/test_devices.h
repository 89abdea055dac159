#pragma once
// "Test Pattern" and "Test Tone" as GStreamer devices: the synthetic sources pushed through an
// appsrc as live sources with time stamps on the pipeline clock, so they take exactly the path
// a real device takes. Each device is a bin with one source pad; what it offers can be shaped
// to force the graph through decoding and conversion, and it can be made to fail.
//
// "Test Pattern" offers, beside its own format in two sizes, the modes a webcam offers
// (CameraModes: YUY2 and MJPEG at 640x480 and 1280x720, 30 fps), so that the camera path can be
// run and measured without a camera. The pattern is drawn at the chosen mode's size and turned
// into that format inside the device, as a camera would deliver it.

#include <gst/gst.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_sink.h"
#include "capture/format_choice.h"

// GStreamer names of the two devices' bins.
inline constexpr const char* TestPatternDeviceName = "test-pattern";
inline constexpr const char* TestToneDeviceName = "test-tone";

// The camera modes of "Test Pattern": each format at each size, at CameraModeFps.
inline constexpr const char* CameraModeFormats[] = {"YUY2", "MJPG"};
inline constexpr std::pair<int, int> CameraModeSizes[] = {{640, 480}, {1280, 720}};
inline constexpr int CameraModeFps = 30;

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
    // Pushes `buffer` (taken over) stamped with the run time of media time `mediaSeconds`.
    void Push(GstBuffer* buffer, double mediaSeconds, double durationSeconds);
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
    ~TTestVideoDevice() override;
    // The frame goes into the graph without a copy; the buffer returns it when it is freed.
    void PutLentVideoFrame(const std::shared_ptr<TLentFrame>& frame, double timeSeconds) override;

    // Owner's thread, while the device is not running: makes the device deliver `option`, one
    // of the formats it offers (its own format, or a camera mode).
    void Select(const TVideoOption& option);

  protected:
    std::unique_ptr<TPacedSource> MakeSource() override;

  private:
    void BuildChain(const TVideoOption* camera);

    const TTestDeviceOptions FOptions;
    GstCaps* FOwnOffer = nullptr;     // owned: the own format in its two sizes
    GstPad* FGhost = nullptr;         // owned by FBin
    std::vector<GstElement*> FChain;  // between the appsrc and the ghost pad; owned by FBin
    std::string FChainKey;            // what FChain delivers
    int FRenderWidth = 0;             // size and rate the pattern is drawn at
    int FRenderHeight = 0;
    int FRenderFps = 0;
};

class TTestAudioDevice final : public TTestDevice {
  public:
    explicit TTestAudioDevice(const TTestDeviceOptions& options);
    ~TTestAudioDevice() override { Stop(); }
    bool WriteAudio(const uint8_t* data, int size) override;

  protected:
    std::unique_ptr<TPacedSource> MakeSource() override;

  private:
    int FrameBytes() const;
    int BufferBytes() const;  // of one pushed buffer, in whole sample frames

    const TTestDeviceOptions FOptions;
    int64_t FFramesPushed = 0;      // generator thread only
    std::vector<uint8_t> FPending;  // generator thread only
};
