// The capture graph's streaming-thread side: the taps' sample callbacks and the bus handler.
#include <gst/video/video.h>

#include <string>

#include "base/sanitizer_sync.h"
#include "capture/capture_graph.h"
#include "capture/capture_graph_parts.h"
#include "capture/format_choice.h"
#include "settings/log.h"

namespace {

// Run-relative time of a sample in whole milliseconds, cut to 32 bits as the taps hand it on;
// a sample without a time keeps the last one.
uint32_t SampleTimeMs(GstSample* sample, uint32_t& lastMs) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!GST_BUFFER_PTS_IS_VALID(buffer) || segment == nullptr) return lastMs;
    const guint64 running =
        gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (!GST_CLOCK_TIME_IS_VALID(running)) return lastMs;
    lastMs = static_cast<uint32_t>(running / GST_MSECOND);
    return lastMs;
}

int CapsInt(GstCaps* caps, const char* field) {
    int value = 0;
    if (caps != nullptr && gst_caps_get_size(caps) > 0) {
        gst_structure_get_int(gst_caps_get_structure(caps, 0), field, &value);
    }
    return value;
}

// The header of the frames the video tap delivers with these caps.
TBitmapInfoHeader VideoTapHeader(GstCaps* caps) {
    const int width = CapsInt(caps, "width"), height = CapsInt(caps, "height");
    const gchar* format = caps != nullptr && gst_caps_get_size(caps) > 0
                              ? gst_structure_get_string(gst_caps_get_structure(caps, 0), "format")
                              : nullptr;
    GstVideoInfo info;
    const bool fullRange = caps != nullptr && gst_video_info_from_caps(&info, caps) &&
                           info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    return TapFrameHeader(format != nullptr ? format : "", width, height, fullRange);
}

// Runs a user callback; nothing it throws may unwind into GStreamer.
template <typename Callback, typename Argument>
void Deliver(const Callback& callback, const Argument& argument) {
    if (!callback) return;
    try {
        callback(argument);
    } catch (...) {
        // The sample is lost; capture goes on.
    }
}

// Pulls the tap's sample and maps its buffer for the duration of `use`.
// Everything a streaming thread does for the graph happens between the graph's hand-overs
// (state changes, on the owner's thread) and the next: ThreadSanitizer learns it here.
class TStreamingTurn {
  public:
    explicit TStreamingTurn(const void* graph) : FGraph(graph) { TakeOver(FGraph); }
    ~TStreamingTurn() { HandOver(FGraph); }
    TStreamingTurn(const TStreamingTurn&) = delete;
    TStreamingTurn& operator=(const TStreamingTurn&) = delete;

  private:
    const void* FGraph;
};

template <typename Use>
GstFlowReturn WithSample(GstAppSink* sink, const void* graph, Use use) {
    const TStreamingTurn turn(graph);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample == nullptr) return GST_FLOW_FLUSHING;
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    // A test device's buffer may arrive unchanged from the device's thread.
    TakeOver(buffer);
    if (buffer != nullptr && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        use(sample, map);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// One sample of a capture tap: the bytes, the run time, and what `describe` attaches from the
// tap's caps cache (recomputed only when the caps changed).
template <typename Sample, typename Cache, typename Describe>
GstFlowReturn TapSample(GstAppSink* sink, const void* graph, Cache& cache,
                        const std::function<void(const Sample&)>& callback, Describe describe) {
    return WithSample(sink, graph, [&](GstSample* sample, const GstMapInfo& map) {
        cache.Fresh = cache.Changed(gst_sample_get_caps(sample));
        Sample delivered;
        delivered.Data = map.data;
        delivered.Size = static_cast<int32_t>(map.size);
        delivered.TimeMs = SampleTimeMs(sample, cache.LastMs);
        describe(cache, delivered);
        Deliver(callback, delivered);
    });
}

}  // namespace

GstFlowReturn TCaptureGraph::OnVideoSample(GstAppSink* sink, gpointer self) {
    auto* graph = static_cast<TCaptureGraph*>(self);
    return TapSample<TVideoSample>(sink, graph, *graph->FVideoCache, graph->FCallbacks.Video,
                                   [](TCapsCache& cache, TVideoSample& video) {
                                       if (cache.Fresh) cache.Header = VideoTapHeader(cache.Caps);
                                       video.Header = &cache.Header;
                                   });
}

GstFlowReturn TCaptureGraph::OnAudioSample(GstAppSink* sink, gpointer self) {
    auto* graph = static_cast<TCaptureGraph*>(self);
    return TapSample<TAudioSample>(sink, graph, *graph->FAudioCache, graph->FCallbacks.Audio,
                                   [](TCapsCache& cache, TAudioSample& audio) {
                                       if (cache.Fresh) {
                                           cache.Format =
                                               PcmWaveFormat(CapsInt(cache.Caps, "rate"),
                                                             CapsInt(cache.Caps, "channels"));
                                       }
                                       audio.Format = &cache.Format;
                                   });
}

GstFlowReturn TCaptureGraph::OnPreviewSample(GstAppSink* sink, gpointer self) {
    auto* graph = static_cast<TCaptureGraph*>(self);
    return WithSample(sink, graph, [graph](GstSample* sample, const GstMapInfo& map) {
        TPreviewFrame frame;
        GstCaps* caps = gst_sample_get_caps(sample);
        frame.Width = CapsInt(caps, "width");
        frame.Height = CapsInt(caps, "height");
        frame.Stride = static_cast<int>(BitmapRowPitch(24, frame.Width));
        if (static_cast<int64_t>(frame.Stride) * frame.Height > static_cast<int64_t>(map.size)) {
            return;
        }
        frame.Rgb = map.data;
        Deliver(graph->FCallbacks.Preview, frame);
    });
}

void TCaptureGraph::OnVideoEos(GstAppSink*, gpointer self) {
    const TStreamingTurn turn(self);
    static_cast<TCaptureGraph*>(self)->ReportFault(TCaptureFault::TKind::EndOfStream, true,
                                                   "the device stopped delivering");
}

void TCaptureGraph::OnAudioEos(GstAppSink*, gpointer self) {
    const TStreamingTurn turn(self);
    static_cast<TCaptureGraph*>(self)->ReportFault(TCaptureFault::TKind::EndOfStream, false,
                                                   "the device stopped delivering");
}

void TCaptureGraph::ReportFault(TCaptureFault::TKind kind, bool video, const std::string& detail) {
    // One report per medium and run: a failing device tends to post several errors.
    std::atomic<bool>& failed = video ? FVideoFailed : FAudioFailed;
    if (failed.exchange(true)) return;
    TCaptureFault fault;
    fault.Kind = kind;
    fault.Video = video;
    fault.Message = std::string(video ? "Video" : "Audio") + " capture failed: " + detail;
    LogLine(fault.Message);
    if (!FBuilding.load()) Deliver(FCallbacks.Fault, fault);
}

GstBusSyncReply TCaptureGraph::BusSyncHandler(GstBus*, GstMessage* message, gpointer self) {
    const TStreamingTurn turn(self);
    static_cast<TCaptureGraph*>(self)->OnBusMessage(message);
    // Nobody pops this bus: every message is handled here and dropped. A sync handler that
    // drops a message owns it: without the unref each message, and the element it names,
    // stays allocated, and so does the whole pipeline with the frames in its queues.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void TCaptureGraph::OnBusMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            const std::string text = error != nullptr ? error->message : "unknown error";
            if (debug != nullptr) DebugLine(std::string("GStreamer: ") + debug);
            g_clear_error(&error);
            g_free(debug);
            // FVideoBin is set before the pipeline first leaves NULL and cleared after it
            // returned there, so no streaming thread sees it change.
            const auto inside = [message](GstElement* bin) {
                return bin != nullptr &&
                       gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(bin));
            };
            // An error outside both branches (the pipeline's own) counts against video.
            const bool video = inside(FVideoBin) || (!inside(FAudioBin) && FVideoBin != nullptr);
            const GstElement* device = video ? FVideoSource : FAudioSource;
            ReportFault(
                TCaptureFault::TKind::Error, video,
                text +
                    (device == nullptr ? "" : std::string(" (") + GST_ELEMENT_NAME(device) + ")"));
            break;
        }
        case GST_MESSAGE_WARNING: {
            GError* warning = nullptr;
            gst_message_parse_warning(message, &warning, nullptr);
            if (warning != nullptr)
                DebugLine(std::string("GStreamer warning: ") + warning->message);
            g_clear_error(&warning);
            break;
        }
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* s = gst_message_get_structure(message);
            if (s != nullptr && gst_structure_has_name(s, "level")) OnLevelMessage(s);
            break;
        }
        default:
            break;
    }
}

void TCaptureGraph::OnLevelMessage(const GstStructure* levels) {
    if (!FCallbacks.Levels) return;
    TAudioLevels result;
    // The level element posts GValueArrays of doubles, one per channel.
    const auto read = [levels](const char* field, std::vector<double>& values) {
        const GValue* value = gst_structure_get_value(levels, field);
        if (value == nullptr || !G_VALUE_HOLDS_BOXED(value)) return;
        const auto* array = static_cast<const GValueArray*>(g_value_get_boxed(value));
        for (guint i = 0; array != nullptr && i < array->n_values; ++i) {
            if (G_VALUE_HOLDS_DOUBLE(&array->values[i])) {
                values.push_back(g_value_get_double(&array->values[i]));
            }
        }
    };
    read("peak", result.PeakDb);
    read("rms", result.RmsDb);
    Deliver(FCallbacks.Levels, result);
}
