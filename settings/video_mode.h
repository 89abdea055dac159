#pragma once
// One capture mode of a video device, as the pin page offers it and the store keeps it per
// device: a format, a picture size and one frame rate. Plain C++, so the store can check what
// it loads; the modes a device offers come from its caps (capture/video_modes.h).
//
// Text form: "YUY2 1280x720@30/1", "MJPG 640x480@15/1" (MJPG: image/jpeg). Without the format
// ("1280x720@30", as the command line takes it) any format the device offers at that size and
// rate will do.

#include <map>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* JpegModeFormat = "MJPG";

struct TVideoMode {
    std::string Format;  // raw format ("YUY2", "BGR", ...), JpegModeFormat, or empty: any
    int Width = 0;
    int Height = 0;
    int RateNum = 0;  // frames per second as a fraction; 0/1: the device's own rate
    int RateDen = 1;
    bool operator==(const TVideoMode&) const = default;
};

std::string VideoModeText(const TVideoMode& mode);

// The text form back; nothing for text that is not one (sizes 1..16384, a rate of at least 0
// over at least 1, a format of letters, digits and '_' only).
std::optional<TVideoMode> ParseVideoMode(std::string_view text);

// The mode stored for `device` in a settings map (device name -> text); nothing when none is
// stored or the text is not a mode.
std::optional<TVideoMode> StoredVideoMode(const std::map<std::string, std::string>& modes,
                                          const std::string& device);
