#pragma once
// What the capture graph hands to its owner, and how. Every callback runs on a GStreamer
// streaming thread (or, for Fault, the thread that posted the message), one call at a time per
// callback; none may call back into the graph (marshal to the owner's thread first). An
// exception escaping a callback is caught and dropped by the graph: the sample is lost and
// capture goes on.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/wave_format.h"
#include "video/bitmap_info_header.h"

// One frame of the video tap, as Header says: BGR, top row first, rows padded to 4 bytes; or,
// from a Y'CbCr camera, I420, YUY2, UYVY or NV12 in GStreamer's default layout
// (video/frame_format.h).
struct TVideoSample {
    const uint8_t* Data = nullptr;  // valid during the call only
    int32_t Size = 0;
    const TBitmapInfoHeader* Header = nullptr;
    // Run-relative capture time in whole milliseconds, wrapping after 2^32 ms; a frame without
    // a time carries the last known one.
    uint32_t TimeMs = 0;
    double SampleTime() const { return TimeMs / 1000.0; }
};

// One buffer of the audio tap (about 4096 bytes) in the capture format.
struct TAudioSample {
    const uint8_t* Data = nullptr;  // valid during the call only
    int32_t Size = 0;
    const TWaveFormatEx* Format = nullptr;
    uint32_t TimeMs = 0;
};

// The most preview pictures handed over per second.
inline constexpr int PreviewFps = 30;

// One preview picture: RGB, 3 bytes a pixel, rows `Stride` bytes apart, top row first.
struct TPreviewFrame {
    const uint8_t* Rgb = nullptr;  // valid during the call only
    int Width = 0;
    int Height = 0;
    int Stride = 0;
};

// Sound levels of the last interval (about 50 ms), one value per channel, in dB full scale.
struct TAudioLevels {
    std::vector<double> PeakDb;
    std::vector<double> RmsDb;
};

// Why a running graph ended or lost a medium.
struct TCaptureFault {
    enum class TKind { Error, EndOfStream, DeviceRemoved };
    TKind Kind = TKind::Error;
    bool Video = false;   // the medium that failed
    std::string Message;  // the log line that was written
};

struct TCaptureCallbacks {
    std::function<void(const TVideoSample&)> Video;
    std::function<void(const TAudioSample&)> Audio;
    // At most PreviewFps pictures a second, newest first: a slow receiver drops pictures,
    // never capture frames.
    std::function<void(const TPreviewFrame&)> Preview;
    std::function<void(const TAudioLevels&)> Levels;
    std::function<void(const TCaptureFault&)> Fault;
};
