// The text form of a capture mode, as the store keeps it and the command line takes it.

#include "settings/video_mode.h"

#include <gtest/gtest.h>

namespace {

TEST(VideoModeText, ModesReadBackAsWrittenAndAnythingElseIsRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"YUY2 1280x720@30/1", "YUY2 1280x720@30/1"},
        {"MJPG 640x480@15/1", "MJPG 640x480@15/1"},
        {"BGR 640x480@30000/1001", "BGR 640x480@30000/1001"},
        {"NV12 1x16384@0/1", "NV12 1x16384@0/1"},
        {"1280x720@30", "1280x720@30/1"},
        {"", nullptr},
        {"YUY2", nullptr},
        {"YUY2 1280x720", nullptr},
        {"YUY2 1280x720@", nullptr},
        {"YUY2 1280x720@30/", nullptr},
        {"YUY2 0x720@30/1", nullptr},
        {"YUY2 16385x720@30/1", nullptr},
        {"YUY2 1280x-720@30/1", nullptr},
        {"YUY2 1280x720@30/0", nullptr},
        {"YUY2 1280x720@-1/1", nullptr},
        {"YUY2 1280x720@99999999999/1", nullptr},
        {"YUY2 1280X720@30/1", nullptr},
        {"YUY2 1280x720@30/1 ", nullptr},
        {"YUY2  1280x720@30/1", nullptr},
        {" 1280x720@30/1", nullptr},
        {"YU;Y2 1280x720@30/1", nullptr},
        {"video/x-raw 1280x720@30/1", nullptr},
    };
    for (auto [text, expected] : cases) {
        const auto mode = ParseVideoMode(text);
        if (expected == nullptr) {
            EXPECT_FALSE(mode) << '"' << text << '"';
        } else {
            ASSERT_TRUE(mode) << '"' << text << '"';
            EXPECT_EQ(VideoModeText(*mode), expected);
        }
    }
}

TEST(VideoModeText, AStoredModeIsFoundByItsDeviceNameOnly) {
    const std::map<std::string, std::string> stored = {{"USB Camera", "YUY2 1280x720@30/1"},
                                                       {"Broken", "YUY2 big@30"}};
    EXPECT_EQ(StoredVideoMode(stored, "USB Camera"), (TVideoMode{"YUY2", 1280, 720, 30, 1}));
    EXPECT_FALSE(StoredVideoMode(stored, "usb camera"));
    EXPECT_FALSE(StoredVideoMode(stored, "Broken"));
    EXPECT_FALSE(StoredVideoMode({}, "USB Camera"));
}

}  // namespace
