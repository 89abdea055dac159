#pragma once
// The capture modes of a listed video device without building a graph: a real device's from
// the caps its provider reports, "Test Pattern"'s from its element shaped by `test`.
//
// Threads: any; real devices as TCaptureDevices allows.

#include <vector>

#include "capture/capture_devices.h"
#include "capture/test_devices.h"
#include "settings/video_mode.h"

std::vector<TVideoMode> DeviceVideoModes(const TCaptureDevices& devices,
                                         const TDeviceChoice& choice,
                                         const TTestDeviceOptions& test);
