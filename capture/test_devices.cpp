#include "capture/test_devices.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/sanitizer_sync.h"
#include "capture/test_pattern_source.h"
#include "capture/test_tone_source.h"

namespace {

// Audio devices hand over buffers of about this size (the tap's buffer size).
constexpr int AudioBufferBytes = 4096;

GstElement* Make(const char* factory) {
    return gst_element_factory_make(factory, nullptr);
}

GstCaps* PatternCaps(const TTestDeviceOptions& o, const char* media, const char* format) {
    GstCaps* caps =
        gst_caps_new_simple(media, "width", G_TYPE_INT, o.Width, "height", G_TYPE_INT, o.Height,
                            "framerate", GST_TYPE_FRACTION, o.Fps, 1, nullptr);
    if (format != nullptr) gst_caps_set_simple(caps, "format", G_TYPE_STRING, format, nullptr);
    return caps;
}

// A device made with no picture size (one that cannot negotiate) stays one that cannot: a
// scaler would try to scale its empty frames.
bool OffersHalfSize(const TTestDeviceOptions& o) {
    return o.Width >= 4 && o.Height >= 4;
}

// The device's own size first, so the automatic choice keeps it; half that size second, so
// that a chosen mode can change the size (the device scales its pattern).
GstCaps* OfferedCaps(const TTestDeviceOptions& o, const char* media, const char* format) {
    GstCaps* caps = PatternCaps(o, media, format);
    if (!OffersHalfSize(o)) return caps;
    TTestDeviceOptions half = o;
    half.Width = (o.Width / 2) & ~1;
    half.Height = (o.Height / 2) & ~1;
    gst_caps_append(caps, PatternCaps(half, media, format));
    return caps;
}

GstElement* AddAfter(GstBin* bin, GstElement* last, const char* factory) {
    GstElement* element = Make(factory);
    gst_bin_add(bin, element);
    gst_element_link(last, element);
    return element;
}

// appsrc -> videoscale [-> videoconvert -> encoder] -> capsfilter, so the device offers one
// format in two sizes.
void AddOfferedFormat(GstBin* bin, GstElement* appsrc, const TTestDeviceOptions& o) {
    using TFormat = TTestDeviceOptions::TVideoFormat;
    GstElement* last = OffersHalfSize(o) ? AddAfter(bin, appsrc, "videoscale") : appsrc;
    GstCaps* offered = nullptr;
    if (o.VideoFormat == TFormat::Bgr) {
        offered = OfferedCaps(o, "video/x-raw", "BGR");
    } else {
        last = AddAfter(bin, last, "videoconvert");
        if (o.VideoFormat == TFormat::Mjpeg) {
            last = AddAfter(bin, last, "jpegenc");
            offered = OfferedCaps(o, "image/jpeg", nullptr);
        } else {
            offered = OfferedCaps(o, "video/x-raw", "I420");
        }
    }
    GstElement* filter = Make("capsfilter");
    g_object_set(filter, "caps", offered, nullptr);
    gst_caps_unref(offered);
    gst_bin_add(bin, filter);
    gst_element_link(last, filter);
    GstPad* pad = gst_element_get_static_pad(filter, "src");
    gst_element_add_pad(GST_ELEMENT(bin), gst_ghost_pad_new("src", pad));
    gst_object_unref(pad);
}

}  // namespace

TTestDevice::TTestDevice(const char* name, double failAfterSeconds)
    : FFailAfterSeconds(failAfterSeconds) {
    FBin = GST_ELEMENT(gst_object_ref_sink(gst_bin_new(name)));
    FAppSrc = Make("appsrc");
    g_object_set(FAppSrc, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", FALSE,
                 nullptr);
    gst_bin_add(GST_BIN(FBin), FAppSrc);
}

TTestDevice::~TTestDevice() {
    Stop();
    gst_object_unref(FBin);
}

void TTestDevice::Start() {
    Stop();
    FFirstRunTime = GST_CLOCK_TIME_NONE;
    FFailed = false;
    FSource = MakeSource();
    FSource->StartThread();
}

void TTestDevice::Stop() {
    FSource.reset();
}

bool TTestDevice::WriteAudio(const uint8_t*, int) {
    return false;
}

void TTestDevice::PutVideoFrame(const uint8_t*, int, double) {}

bool TTestDevice::FailIfDue(double mediaSeconds) {
    if (FFailed) return true;
    if (FFailAfterSeconds <= 0 || mediaSeconds < FFailAfterSeconds) return false;
    FFailed = true;
    gst_element_message_full(FAppSrc, GST_MESSAGE_ERROR, GST_RESOURCE_ERROR,
                             GST_RESOURCE_ERROR_READ, g_strdup("The test device was made to fail"),
                             g_strdup("fail-after time reached"), __FILE__, GST_FUNCTION, __LINE__);
    return true;
}

void TTestDevice::Push(const uint8_t* data, int size, double mediaSeconds, double durationSeconds) {
    if (FailIfDue(mediaSeconds)) return;
    const auto media = static_cast<GstClockTime>(std::llround(mediaSeconds * GST_SECOND));
    if (FFirstRunTime == GST_CLOCK_TIME_NONE) {
        // The run time at which media time 0 was captured: the data of this push was complete
        // just now, so it began `duration` earlier.
        GstClock* clock = gst_element_get_clock(FAppSrc);
        GstClockTime now = 0;
        if (clock != nullptr) {
            const GstClockTime base = gst_element_get_base_time(FAppSrc);
            const GstClockTime clockNow = gst_clock_get_time(clock);
            now = clockNow > base ? clockNow - base : 0;
            gst_object_unref(clock);
        }
        const auto back =
            media + static_cast<GstClockTime>(std::llround(durationSeconds * GST_SECOND));
        FFirstRunTime = now > back ? now - back : 0;
    }
    GstBuffer* buffer = gst_buffer_new_memdup(data, static_cast<gsize>(size));
    GST_BUFFER_PTS(buffer) = FFirstRunTime + media;
    GST_BUFFER_DURATION(buffer) =
        static_cast<GstClockTime>(std::llround(durationSeconds * GST_SECOND));
    // Flushing (the graph stops) or not linked: the data is lost, as a device's would be.
    HandOver(buffer);
    gst_app_src_push_buffer(GST_APP_SRC(FAppSrc), buffer);
}

TTestVideoDevice::TTestVideoDevice(const TTestDeviceOptions& options)
    : TTestDevice(TestPatternDeviceName, options.VideoFailAfterSeconds), FOptions(options) {
    GstCaps* caps = PatternCaps(options, "video/x-raw", "BGR");
    g_object_set(FAppSrc, "caps", caps, nullptr);
    gst_caps_unref(caps);
    AddOfferedFormat(GST_BIN(FBin), FAppSrc, options);
}

std::unique_ptr<TPacedSource> TTestVideoDevice::MakeSource() {
    return std::make_unique<TTestPatternSource>(*this, FOptions.Width, FOptions.Height,
                                                FOptions.Fps, false);
}

void TTestVideoDevice::PutVideoFrame(const uint8_t* data, int size, double timeSeconds) {
    Push(data, size, timeSeconds, 1.0 / std::max(1, FOptions.Fps));
}

TTestAudioDevice::TTestAudioDevice(const TTestDeviceOptions& options)
    : TTestDevice(TestToneDeviceName, options.AudioFailAfterSeconds), FOptions(options) {
    GstCaps* caps = gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
        "rate", G_TYPE_INT, options.Rate, "channels", G_TYPE_INT, options.Channels, nullptr);
    g_object_set(FAppSrc, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstPad* pad = gst_element_get_static_pad(FAppSrc, "src");
    gst_element_add_pad(FBin, gst_ghost_pad_new("src", pad));
    gst_object_unref(pad);
}

std::unique_ptr<TPacedSource> TTestAudioDevice::MakeSource() {
    FFramesPushed = 0;
    FPending.clear();
    return std::make_unique<TTestToneSource>(*this, FOptions.Rate, FOptions.Channels, false);
}

bool TTestAudioDevice::WriteAudio(const uint8_t* data, int size) {
    // The generator's small chunks gathered into device-sized buffers of whole sample frames.
    const int frameBytes = 2 * FOptions.Channels;
    const int bufferBytes = AudioBufferBytes - AudioBufferBytes % frameBytes;
    FPending.insert(FPending.end(), data, data + size);
    size_t used = 0;
    while (FPending.size() - used >= static_cast<size_t>(bufferBytes)) {
        const int frames = bufferBytes / frameBytes;
        Push(FPending.data() + used, bufferBytes,
             static_cast<double>(FFramesPushed) / FOptions.Rate,
             static_cast<double>(frames) / FOptions.Rate);
        FFramesPushed += frames;
        used += bufferBytes;
    }
    FPending.erase(FPending.begin(), FPending.begin() + static_cast<ptrdiff_t>(used));
    return true;
}
