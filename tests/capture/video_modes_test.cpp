// The capture modes read from caps as devices offer them, and the lookup of a chosen mode in
// an offer.

#include "capture/video_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/capture/caps_text.h"

namespace {

constexpr const char* Webcam =
    "video/x-raw,format=YUY2,width=1280,height=720,framerate=10/1;"
    "video/x-raw,format=YUY2,width=640,height=480,framerate={30/1,15/1};"
    "image/jpeg,width=1280,height=720,framerate=30/1";
constexpr const char* SteppedRange =
    "video/x-raw,format=I420,width=[160,1280,16],height=[120,720,8],framerate=30/1";
constexpr const char* RateRange =
    "video/x-raw,format=BGR,width=320,height=240,framerate=[2/1,24/1]";

std::vector<std::string> Texts(const std::vector<TVideoMode>& modes) {
    std::vector<std::string> texts;
    for (const TVideoMode& mode : modes) texts.push_back(VideoModeText(mode));
    return texts;
}

TEST(VideoModes, CapsExpandToUniqueModesSortedBySizeThenRate) {
    struct TCase {
        const char* Caps;
        std::vector<std::string> Modes;
    };
    const TCase cases[] = {
        {"video/x-raw,format=BGR,width=640,height=480,framerate=30/1", {"BGR 640x480@30/1"}},
        // Lists in full; equal size and rate keep the caps' format order.
        {"video/x-raw,format={YUY2,NV12},width=1280,height=720,framerate={30/1,15/1}",
         {"YUY2 1280x720@15/1", "NV12 1280x720@15/1", "YUY2 1280x720@30/1", "NV12 1280x720@30/1"}},
        {Webcam,
         {"YUY2 640x480@15/1", "YUY2 640x480@30/1", "YUY2 1280x720@10/1", "MJPG 1280x720@30/1"}},
        // Common sizes on the range's steps (960x540 is off the height step), and its end.
        {SteppedRange,
         {"I420 160x120@30/1", "I420 176x144@30/1", "I420 320x240@30/1", "I420 352x288@30/1",
          "I420 640x360@30/1", "I420 640x480@30/1", "I420 800x600@30/1", "I420 1280x720@30/1"}},
        {"video/x-raw,format=BGR,width=[100,400],height=[100,300],framerate=30/1",
         {"BGR 160x120@30/1", "BGR 176x144@30/1", "BGR 320x240@30/1", "BGR 352x288@30/1",
          "BGR 400x300@30/1"}},
        // Whole rates inside a range, then its fastest.
        {RateRange,
         {"BGR 320x240@5/1", "BGR 320x240@10/1", "BGR 320x240@15/1", "BGR 320x240@20/1",
          "BGR 320x240@24/1"}},
        // An open range's end is no mode.
        {"video/x-raw,format=BGR,width=320,height=240,framerate=[0/1,2147483647/1]",
         {"BGR 320x240@5/1", "BGR 320x240@10/1", "BGR 320x240@15/1", "BGR 320x240@20/1",
          "BGR 320x240@25/1", "BGR 320x240@30/1", "BGR 320x240@50/1", "BGR 320x240@60/1"}},
        {"image/jpeg,width=640,height=480", {"MJPG 640x480@0/1"}},
        {"video/x-raw,format=YUY2,width=640,height=480,framerate=30/1;"
         "video/x-raw,format={YUY2,BGR},width=640,height=480,framerate=30/1",
         {"YUY2 640x480@30/1", "BGR 640x480@30/1"}},
        // What the graph cannot decode, memory it cannot map, raw video without a format.
        {"video/x-h264,width=1920,height=1080,framerate=30/1;"
         "video/x-raw(memory:DMABuf),format=NV12,width=640,height=480,framerate=30/1;"
         "video/x-raw,width=640,height=480,framerate=30/1",
         {}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Texts(VideoModesFromCaps(TCaps(c.Caps))), c.Modes) << c.Caps;
    }
    EXPECT_TRUE(VideoModesFromCaps(nullptr).empty());
}

TEST(VideoModes, AWantedModeIsFoundOnlyWhereTheDeviceOffersIt) {
    struct TCase {
        const char* Caps;
        const char* Wanted;
        const char* Found;  // empty: not offered
    };
    const TCase cases[] = {
        {Webcam, "YUY2 1280x720@10/1", "YUY2 1280x720@10/1"},
        {Webcam, "YUY2 1280x720@30/1", ""},
        {Webcam, "NV12 640x480@30/1", ""},
        // Without a format: the one offered at that size and rate.
        {Webcam, "1280x720@30/1", "MJPG 1280x720@30/1"},
        {Webcam, "640x480@15", "YUY2 640x480@15/1"},
        {Webcam, "800x600@30", ""},
        // BGR wins among formats, as the automatic choice prefers it.
        {"video/x-raw,format={YUY2,BGR},width=640,height=480,framerate=30/1", "640x480@30/1",
         "BGR 640x480@30/1"},
        // Inside ranges, also off the listed modes, but on the steps only.
        {SteppedRange, "I420 1024x600@30/1", "I420 1024x600@30/1"},
        {SteppedRange, "I420 1000x600@30/1", ""},
        {SteppedRange, "I420 1280x728@30/1", ""},
        {RateRange, "BGR 320x240@12/1", "BGR 320x240@12/1"},
        {RateRange, "BGR 320x240@25/1", ""},
    };
    for (const TCase& c : cases) {
        const auto wanted = ParseVideoMode(c.Wanted);
        ASSERT_TRUE(wanted) << c.Wanted;
        const auto found = OfferedVideoMode(TCaps(c.Caps), *wanted);
        EXPECT_EQ(found ? VideoModeText(*found) : "", c.Found) << c.Caps << " / " << c.Wanted;
    }
    EXPECT_FALSE(OfferedVideoMode(nullptr, *ParseVideoMode("640x480@30")));
}

}  // namespace
