#pragma once
// Caps parsed from their text form, for the tests over what devices offer.

#include <gst/gst.h>

#include "capture/capture_devices.h"

class TCaps {
  public:
    // GStreamer must be up before the first caps are parsed.
    explicit TCaps(const char* text) : FCaps((EnsureGStreamer(), gst_caps_from_string(text))) {}
    ~TCaps() { gst_caps_unref(FCaps); }
    TCaps(const TCaps&) = delete;
    TCaps& operator=(const TCaps&) = delete;
    operator const GstCaps*() const { return FCaps; }

  private:
    GstCaps* FCaps;
};
