#include "capture/capture_graph_parts.h"

#include <string>

#include "settings/log.h"

GstElement* MakeElement(const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (element == nullptr) LogLine(std::string("GStreamer element missing: ") + factory);
    return element;
}

GstElement* MakeLeakyQueue() {
    GstElement* queue = MakeElement("queue");
    if (queue != nullptr) {
        g_object_set(queue, "leaky", 2 /* downstream: drop the oldest */, "max-size-buffers", 1,
                     "max-size-bytes", 0, "max-size-time", static_cast<guint64>(0), nullptr);
    }
    return queue;
}

void SetCaps(GstElement* filter, GstCaps* caps) {
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

GstElement* MakeCapsFilter(GstCaps* caps) {
    GstElement* filter = MakeElement("capsfilter");
    if (filter != nullptr)
        SetCaps(filter, caps);
    else
        gst_caps_unref(caps);
    return filter;
}

GstElement* MakeTap(const char* name, GstCaps* caps) {
    GstElement* tap = gst_element_factory_make("appsink", name);
    if (tap == nullptr) {
        LogLine("GStreamer element missing: appsink");
        gst_caps_unref(caps);
        return nullptr;
    }
    // Taps take what comes when it comes: no clock sync, no wait for a first buffer.
    g_object_set(tap, "sync", FALSE, "async", FALSE, "emit-signals", FALSE, nullptr);
    SetCaps(tap, caps);
    return tap;
}

bool AddAndLink(GstElement* bin, const std::vector<GstElement*>& chain) {
    for (GstElement* element : chain) {
        if (element == nullptr) return false;
    }
    for (GstElement* element : chain) {
        if (GST_OBJECT_PARENT(element) == nullptr) gst_bin_add(GST_BIN(bin), element);
    }
    for (size_t i = 1; i < chain.size(); ++i) {
        if (!gst_element_link(chain[i - 1], chain[i])) {
            LogLine(std::string("Cannot link ") + GST_ELEMENT_NAME(chain[i - 1]) + " to " +
                    GST_ELEMENT_NAME(chain[i]));
            return false;
        }
    }
    return true;
}

GstCaps* BgrCaps(int width, int height) {
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGR");
    if (width > 0) {
        gst_caps_set_simple(caps, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                            nullptr);
    }
    return caps;
}

GstCaps* SourceCaps(GstElement* source) {
    GstPad* pad = gst_element_get_static_pad(source, "src");
    if (pad == nullptr) return nullptr;
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    gst_object_unref(pad);
    return caps;
}

namespace {

GstCaps* TapCaps(GstElement* tap) {
    GstPad* pad = gst_element_get_static_pad(tap, "sink");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    gst_object_unref(pad);
    return caps;
}

}  // namespace

bool TapHasCaps(GstElement* tap) {
    GstCaps* caps = TapCaps(tap);
    if (caps == nullptr) return false;
    gst_caps_unref(caps);
    return true;
}

void TapVideoSize(GstElement* tap, int& width, int& height) {
    GstCaps* caps = TapCaps(tap);
    if (caps == nullptr) return;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    gst_structure_get_int(s, "width", &width);
    gst_structure_get_int(s, "height", &height);
    gst_caps_unref(caps);
}

bool TCaptureGraph::TCapsCache::Changed(GstCaps* caps) {
    if (caps == Caps) return false;
    gst_caps_replace(&Caps, caps);
    return true;
}

void TCaptureGraph::TCapsCache::Clear() {
    gst_caps_replace(&Caps, nullptr);
    Header = {};
    Format = {};
    LastMs = 0;
}
