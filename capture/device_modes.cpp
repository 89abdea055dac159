#include "capture/device_modes.h"

#include "capture/capture_graph_parts.h"
#include "capture/video_modes.h"

std::vector<TVideoMode> DeviceVideoModes(const TCaptureDevices& devices,
                                         const TDeviceChoice& choice,
                                         const TTestDeviceOptions& test) {
    GstCaps* caps = nullptr;
    if (choice.Name == TestPatternName) {
        // Never started: its pads answer from the formats it was shaped with.
        const TTestVideoDevice pattern(test);
        caps = SourceCaps(pattern.Element());
    } else {
        caps = devices.Caps(TMediaKind::Video, choice);
    }
    std::vector<TVideoMode> modes = VideoModesFromCaps(caps);
    if (caps != nullptr) gst_caps_unref(caps);
    return modes;
}
