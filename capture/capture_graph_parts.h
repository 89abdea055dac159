#pragma once
// Pieces of the capture graph shared by its two source files: element construction, the taps'
// caps caches. Internal to the capture library.

#include <gst/gst.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "capture/capture_graph.h"

inline constexpr uint64_t LevelIntervalNs = 50 * GST_MSECOND;

// A new element of that factory (floating), null with a log line when it is not installed.
GstElement* MakeElement(const char* factory);
// A queue before a preview branch of a tee: it keeps only the newest buffer, so a slow
// preview drops data instead of stalling capture.
GstElement* MakeLeakyQueue();
// A capsfilter holding `caps` (taken over).
GstElement* MakeCapsFilter(GstCaps* caps);
// An appsink that does not sync to the clock and accepts `caps` (taken over).
GstElement* MakeTap(const char* name, GstCaps* caps);
// Sets the "caps" property of a capsfilter to `caps` (taken over).
void SetCaps(GstElement* filter, GstCaps* caps);
// Adds the elements not yet in `bin` and links them in order; false when an element is missing
// or a link fails.
bool AddAndLink(GstElement* bin, const std::vector<GstElement*>& chain);

// Raw BGR caps, of that size when `width` > 0.
GstCaps* BgrCaps(int width, int height);
// What the source's pad offers (a new reference), or null.
GstCaps* SourceCaps(GstElement* source);

bool TapHasCaps(GstElement* tap);
void TapVideoSize(GstElement* tap, int& width, int& height);

// What a tap last saw: the caps it delivered with and the format they describe. Owned by one
// streaming thread while the graph runs, cleared by the owner while it is stopped.
struct TCaptureGraph::TCapsCache {
    GstCaps* Caps = nullptr;  // one reference held
    TBitmapInfoHeader Header{};
    TWaveFormatEx Format{};
    uint32_t LastMs = 0;
    bool Fresh = false;  // the caps of the current sample are new

    // True when `caps` differ from the last ones (and become the last ones).
    bool Changed(GstCaps* caps);
    void Clear();
    ~TCapsCache() { Clear(); }
};
