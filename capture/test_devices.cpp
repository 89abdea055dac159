#include "capture/test_devices.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/sanitizer_sync.h"
#include "capture/test_pattern_source.h"
#include "capture/test_tone_source.h"
#include "settings/video_mode.h"

namespace {

// Audio devices hand over buffers of about this size (the tap's buffer size).
constexpr int AudioBufferBytes = 4096;
// Frames the video device holds for a graph that falls behind.
constexpr int VideoQueueFrames = 4;

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

// The device's own format, in its own size and half that size.
GstCaps* OwnOffer(const TTestDeviceOptions& o) {
    using TFormat = TTestDeviceOptions::TVideoFormat;
    switch (o.VideoFormat) {
        case TFormat::Mjpeg:
            return OfferedCaps(o, "image/jpeg", nullptr);
        case TFormat::I420:
            return OfferedCaps(o, "video/x-raw", "I420");
        case TFormat::Bgr:
            break;
    }
    return OfferedCaps(o, "video/x-raw", "BGR");
}

GstCaps* CameraModeCaps(const std::string& format, int width, int height) {
    TTestDeviceOptions mode;
    mode.Width = width;
    mode.Height = height;
    mode.Fps = CameraModeFps;
    return format == JpegModeFormat ? PatternCaps(mode, "image/jpeg", nullptr)
                                    : PatternCaps(mode, "video/x-raw", format.c_str());
}

GstCaps* FullOffer(GstCaps* own) {
    GstCaps* caps = gst_caps_copy(own);
    for (const char* format : CameraModeFormats) {
        for (auto [width, height] : CameraModeSizes) {
            gst_caps_append(caps, CameraModeCaps(format, width, height));
        }
    }
    return caps;
}

GstCaps* FixedCaps(const char* text) {
    return gst_caps_from_string(text);
}

// Adds `factory` after `last` (a capsfilter holding `caps` when given, taken over).
GstElement* AddAfter(GstBin* bin, std::vector<GstElement*>& chain, GstElement* last,
                     const char* factory, GstCaps* caps = nullptr) {
    GstElement* element = Make(factory);
    if (caps != nullptr) {
        g_object_set(element, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
    gst_bin_add(bin, element);
    gst_element_link(last, element);
    gst_element_sync_state_with_parent(element);
    chain.push_back(element);
    return element;
}

constexpr const char* OfferKey = "kz-offer";

// A lent frame's buffer was freed: the graph no longer reads the frame.
void ReturnLentFrame(gpointer held) {
    TakeOver(held);
    auto* frame = static_cast<std::shared_ptr<TLentFrame>*>(held);
    (*frame)->Return();
    delete frame;
}

// The device pad answers a caps query with everything the device offers, whichever format its
// chain is built for at the moment; other queries take the ghost pad's own way.
GstPadQueryFunction GhostQuery = nullptr;

gboolean QueryOffer(GstPad* pad, GstObject* parent, GstQuery* query) {
    if (GST_QUERY_TYPE(query) != GST_QUERY_CAPS) return GhostQuery(pad, parent, query);
    auto* offer = static_cast<GstCaps*>(g_object_get_data(G_OBJECT(pad), OfferKey));
    GstCaps* filter = nullptr;
    gst_query_parse_caps(query, &filter);
    GstCaps* result = filter != nullptr
                          ? gst_caps_intersect_full(filter, offer, GST_CAPS_INTERSECT_FIRST)
                          : gst_caps_ref(offer);
    gst_query_set_caps_result(query, result);
    gst_caps_unref(result);
    return TRUE;
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

void TTestDevice::Push(GstBuffer* buffer, double mediaSeconds, double durationSeconds) {
    if (FailIfDue(mediaSeconds)) {
        gst_buffer_unref(buffer);
        return;
    }
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
    GST_BUFFER_PTS(buffer) = FFirstRunTime + media;
    GST_BUFFER_DURATION(buffer) =
        static_cast<GstClockTime>(std::llround(durationSeconds * GST_SECOND));
    // Flushing (the graph stops) or not linked: the data is lost, as a device's would be.
    HandOver(buffer);
    gst_app_src_push_buffer(GST_APP_SRC(FAppSrc), buffer);
}

TTestVideoDevice::TTestVideoDevice(const TTestDeviceOptions& options)
    : TTestDevice(TestPatternDeviceName, options.VideoFailAfterSeconds),
      FOptions(options),
      FOwnOffer(OwnOffer(options)) {
    // Like a camera's ring of buffers: a graph that falls behind loses the oldest frames
    // instead of piling them up in memory.
    g_object_set(FAppSrc, "max-buffers", static_cast<guint64>(VideoQueueFrames), "max-bytes",
                 static_cast<guint64>(0), "leaky-type", 2 /* downstream: drop the oldest */,
                 nullptr);
    FGhost = gst_ghost_pad_new_no_target("src", GST_PAD_SRC);
    if (GhostQuery == nullptr) GhostQuery = GST_PAD_QUERYFUNC(FGhost);
    g_object_set_data_full(G_OBJECT(FGhost), OfferKey, FullOffer(FOwnOffer),
                           reinterpret_cast<GDestroyNotify>(gst_caps_unref));
    gst_pad_set_query_function(FGhost, QueryOffer);
    gst_element_add_pad(FBin, FGhost);
    BuildChain(nullptr);
}

TTestVideoDevice::~TTestVideoDevice() {
    Stop();
    gst_caps_unref(FOwnOffer);
}

void TTestVideoDevice::Select(const TVideoOption& option) {
    GstCaps* wanted = VideoOptionCaps(option, option.Rate);
    const bool own = gst_caps_can_intersect(wanted, FOwnOffer);
    gst_caps_unref(wanted);
    BuildChain(own ? nullptr : &option);
}

// appsrc (the pattern in BGR) -> conversion to the delivered format -> ghost pad. The own
// format is drawn at the device's size and scaled for the half size; a camera mode is drawn
// at its size.
void TTestVideoDevice::BuildChain(const TVideoOption* camera) {
    using TFormat = TTestDeviceOptions::TVideoFormat;
    const std::string key = camera == nullptr ? std::string("own")
                                              : camera->MediaType + " " + camera->Format + " " +
                                                    std::to_string(camera->Width) + "x" +
                                                    std::to_string(camera->Height);
    if (key == FChainKey) return;
    FChainKey = key;
    gst_ghost_pad_set_target(GST_GHOST_PAD(FGhost), nullptr);
    for (GstElement* element : FChain) {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(FBin), element);
    }
    FChain.clear();
    FRenderWidth = camera != nullptr ? camera->Width : FOptions.Width;
    FRenderHeight = camera != nullptr ? camera->Height : FOptions.Height;
    FRenderFps = camera != nullptr ? CameraModeFps : FOptions.Fps;
    TTestDeviceOptions drawn = FOptions;
    drawn.Width = FRenderWidth;
    drawn.Height = FRenderHeight;
    drawn.Fps = FRenderFps;
    GstCaps* caps = PatternCaps(drawn, "video/x-raw", "BGR");
    g_object_set(FAppSrc, "caps", caps, nullptr);
    gst_caps_unref(caps);

    GstBin* bin = GST_BIN(FBin);
    GstElement* last = FAppSrc;
    // JPEG holds full-range Y'CbCr; webcams' raw Y'CbCr is studio swing with the BT.601 matrix.
    const bool jpeg = camera != nullptr ? camera->MediaType == "image/jpeg"
                                        : FOptions.VideoFormat == TFormat::Mjpeg;
    if (camera == nullptr && OffersHalfSize(FOptions))
        last = AddAfter(bin, FChain, last, "videoscale");
    if (camera != nullptr || FOptions.VideoFormat != TFormat::Bgr) {
        last = AddAfter(bin, FChain, last, "videoconvert");
    }
    if (jpeg) {
        last = AddAfter(bin, FChain, last, "capsfilter",
                        FixedCaps("video/x-raw,format=I420,colorimetry=1:4:0:0"));
        last = AddAfter(bin, FChain, last, "jpegenc");
    }
    GstCaps* delivered = gst_caps_copy(FOwnOffer);
    if (camera != nullptr) {
        gst_caps_unref(delivered);
        delivered =
            CameraModeCaps(jpeg ? JpegModeFormat : camera->Format, FRenderWidth, FRenderHeight);
        if (!jpeg) gst_caps_set_simple(delivered, "colorimetry", G_TYPE_STRING, "bt601", nullptr);
    }
    last = AddAfter(bin, FChain, last, "capsfilter", delivered);
    GstPad* pad = gst_element_get_static_pad(last, "src");
    gst_ghost_pad_set_target(GST_GHOST_PAD(FGhost), pad);
    gst_object_unref(pad);
}

std::unique_ptr<TPacedSource> TTestVideoDevice::MakeSource() {
    return std::make_unique<TTestPatternSource>(*this, FRenderWidth, FRenderHeight, FRenderFps,
                                                false);
}

void TTestVideoDevice::PutLentVideoFrame(const std::shared_ptr<TLentFrame>& frame,
                                         double timeSeconds) {
    auto* held = new std::shared_ptr<TLentFrame>(frame);
    HandOver(held);  // to whichever streaming thread frees the buffer
    const gsize size = frame->Pixels.size();
    GstBuffer* buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, frame->Pixels.data(),
                                                    size, 0, size, held, ReturnLentFrame);
    Push(buffer, timeSeconds, 1.0 / std::max(1, FRenderFps));
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

int TTestAudioDevice::FrameBytes() const {
    return 2 * std::max(1, FOptions.Channels);
}

int TTestAudioDevice::BufferBytes() const {
    return AudioBufferBytes - AudioBufferBytes % FrameBytes();
}

std::unique_ptr<TPacedSource> TTestAudioDevice::MakeSource() {
    FFramesPushed = 0;
    FPending.clear();
    // The tone comes in the buffers the device pushes: one wake-up each, not one per 10 ms.
    return std::make_unique<TTestToneSource>(*this, FOptions.Rate, FOptions.Channels, false,
                                             BufferBytes() / FrameBytes());
}

bool TTestAudioDevice::WriteAudio(const uint8_t* data, int size) {
    // The generator's chunks gathered into device-sized buffers of whole sample frames.
    const int frameBytes = FrameBytes();
    const int bufferBytes = BufferBytes();
    FPending.insert(FPending.end(), data, data + size);
    size_t used = 0;
    while (FPending.size() - used >= static_cast<size_t>(bufferBytes)) {
        const int frames = bufferBytes / frameBytes;
        Push(gst_buffer_new_memdup(FPending.data() + used, static_cast<gsize>(bufferBytes)),
             static_cast<double>(FFramesPushed) / FOptions.Rate,
             static_cast<double>(frames) / FOptions.Rate);
        FFramesPushed += frames;
        used += bufferBytes;
    }
    FPending.erase(FPending.begin(), FPending.begin() + static_cast<ptrdiff_t>(used));
    return true;
}
