#include "app/headless_options.h"

#include <gtest/gtest.h>

namespace {

std::optional<THeadlessOptions> Parse(std::vector<std::string> args,
                                      std::string* errorOut = nullptr) {
    std::string error;
    auto options = ParseHeadlessOptions(args, error);
    if (errorOut) *errorOut = error;
    EXPECT_EQ(options.has_value(), error.empty()) << error;
    return options;
}

}  // namespace

TEST(HeadlessOptions, DefaultsMatchTheCaptureSideOfATypicalWebcam) {
    const auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->CaptureWidth, 640);
    EXPECT_EQ(options->CaptureHeight, 480);
    EXPECT_EQ(options->CaptureFps, 30);
    EXPECT_EQ(options->CaptureRate, 44100);
    EXPECT_EQ(options->CaptureChannels, 2);
    EXPECT_TRUE(options->Video && options->Audio);
    EXPECT_FALSE(options->Fast || options->Stream || options->File);
}

TEST(HeadlessOptions, ReadsEveryValue) {
    const auto options =
        Parse({"--seconds", "2.5", "--file", "/tmp/x.ogg", "--video", "none", "--capture-size",
               "1280x720", "--capture-fps", "25", "--capture-audio", "48000:1", "--fast"});
    ASSERT_TRUE(options);
    EXPECT_DOUBLE_EQ(options->Seconds, 2.5);
    EXPECT_EQ(*options->File, "/tmp/x.ogg");
    EXPECT_FALSE(options->Video);
    EXPECT_EQ(options->CaptureWidth, 1280);
    EXPECT_EQ(options->CaptureHeight, 720);
    EXPECT_EQ(options->CaptureFps, 25);
    EXPECT_EQ(options->CaptureRate, 48000);
    EXPECT_EQ(options->CaptureChannels, 1);
    EXPECT_TRUE(options->Fast);

    const auto stream = Parse({"--stream", "--server", "127.0.0.1", "--port", "8123", "--mount",
                               "/live.ogg", "--user", "source", "--password", ""});
    ASSERT_TRUE(stream);
    EXPECT_TRUE(stream->Stream);
    EXPECT_EQ(*stream->Port, 8123);
    EXPECT_EQ(*stream->Mount, "/live.ogg");
    EXPECT_EQ(*stream->Password, "");

    // A broadcast that also records.
    const auto both = Parse({"--stream", "--file", "x.ogg"});
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->Stream);
    EXPECT_EQ(*both->File, "x.ogg");
}

TEST(HeadlessOptions, RefusesBadInputWithOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--seconds"},
        {"--seconds", "ten"},
        {"--seconds", "-1"},
        {"--seconds", "5x"},
        {"--video", "camera"},
        {"--capture-size", "640"},
        {"--capture-size", "640x"},
        {"--capture-size", "0x480"},
        {"--capture-size", "99999x480"},
        {"--capture-fps", "0"},
        {"--capture-audio", "44100"},
        {"--capture-audio", "44100:0"},
        {"--port", "70000"},
        {"--port", "0"},
        {"--file", ""},
        {"--video", "none", "--audio", "none"},
        {"--video-device", "Cam", "--video-mode", "1280x720"},
        {"--video-device", "Cam", "--video-mode", "1280x720@30fps"},
        {"--video-device", "Cam", "--video-mode", "0x720@30"},
        // Only the capture graph asks a device for a mode.
        {"--video-mode", "1280x720@30"},
        // What the stored settings refuse: text that would split the server request or reach
        // a terminal raw, a mount point or a path longer than what takes it.
        {"--mount", "/live.ogg\r\nX-Injected: yes"},
        {"--mount", "/live\x1b[2J.ogg"},
        {"--mount", "/" + std::string(1024, 'm')},
        {"--server", "127.0.0.1\nX"},
        {"--file", "/" + std::string(4095, 'f')},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << args[0];
        // The refused value is quoted escaped: one line, no terminal control.
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(error.find('\x1b'), std::string::npos);
        EXPECT_LT(error.size(), 300u);
    }
    EXPECT_TRUE(Parse({"--mount", "/" + std::string(1023, 'm')}));
    EXPECT_TRUE(Parse({"--file", "/" + std::string(4094, 'f')}));
}

TEST(HeadlessOptions, DeviceOptionsSelectTheGraphAndRefuseWhatCannotWork) {
    const auto devices = Parse({"--video-device", "Test Pattern", "--audio-device", "<None>",
                                "--test-pattern-format", "mjpeg", "--fail-audio-after", "2"});
    ASSERT_TRUE(devices);
    EXPECT_EQ(*devices->VideoDevice, "Test Pattern");
    EXPECT_EQ(*devices->AudioDevice, "<None>");
    EXPECT_EQ(devices->TestPatternFormat, "mjpeg");
    EXPECT_DOUBLE_EQ(devices->FailAudioAfter, 2);
    EXPECT_EQ(devices->FailVideoAfter, 0);
    EXPECT_TRUE(Parse({"--list-devices"})->ListDevices);

    std::string error;
    EXPECT_FALSE(Parse({"--video-device", "Cam", "--fast"}, &error));
    EXPECT_NE(error.find("--fast"), std::string::npos);
    EXPECT_FALSE(Parse({"--test-pattern-format", "yuyv"}, &error));
    EXPECT_FALSE(Parse({"--video-device", ""}, &error));
    EXPECT_FALSE(Parse({"--fail-video-after", "0"}, &error));
}

TEST(HeadlessOptions, AVideoModeIsASizeAndRateWithAnOptionalFormat) {
    const std::pair<const char*, TVideoMode> cases[] = {
        {"1280x720@30", {"", 1280, 720, 30, 1}},
        {"640x480@30000/1001", {"", 640, 480, 30000, 1001}},
        {"YUY2 320x240@15/1", {"YUY2", 320, 240, 15, 1}},
    };
    for (const auto& [text, mode] : cases) {
        const auto options = Parse({"--audio-device", "Test Tone", "--video-mode", text});
        ASSERT_TRUE(options) << text;
        EXPECT_EQ(options->VideoMode, mode) << text;
    }
    EXPECT_FALSE(Parse({"--video-device", "Cam"})->VideoMode);
}
