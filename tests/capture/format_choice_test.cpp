// The format choices over caps lists as devices offer them, and the status text of a build.

#include "capture/format_choice.h"

#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "capture/capture_devices.h"
#include "capture/capture_forwarder.h"
#include "capture/connect_status.h"
#include "tests/capture/caps_text.h"
#include "video/frame_format.h"

namespace {

// Each test may run alone (ctest runs them one by one): GStreamer goes up before any of them,
// with its leaks tracer counting pipelines for the tests that look for leaks.
class TGStreamerUp : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("GST_TRACERS", "leaks(filters=GstPipeline)", 0);
        EnsureGStreamer();
    }
};
const ::testing::Environment* const GStreamerUp =
    ::testing::AddGlobalTestEnvironment(new TGStreamerUp);

TEST(AudioChoice, ScoresPreferTheWantedRateAndChannelsAndStopAtAPerfectMatch) {
    const std::vector<TAudioOption> options = {
        {"S16LE", 22050, 1},  // rate too low: no candidate
        {"S16LE", 48000, 2},  // score 2
        {"S16LE", 48000, 1},  // score 1: first of the score-1 options
        {"S16LE", 44100, 2},  // score 1, later: loses
        {"S16LE", 44100, 1},  // score 0: ends the walk
        {"S16LE", 44100, 1},
    };
    EXPECT_EQ(ChooseAudioOption(options, 44100, 1), 4);
    EXPECT_EQ(ChooseAudioOption({options.begin(), options.begin() + 4}, 44100, 1), 2);
    EXPECT_EQ(AudioScore(options[0], 44100, 1), -1);
    EXPECT_EQ(AudioScore(options[1], 44100, 1), 2);
}

TEST(AudioChoice, ADeviceWithout16BitPcmOrFastEnoughRatesGivesNoCandidate) {
    EXPECT_EQ(
        ChooseAudioOption({{"F32LE", 44100, 2}, {"S32LE", 44100, 2}, {"U8", 44100, 2}}, 44100, 2),
        -1);
    EXPECT_EQ(ChooseAudioOption({{"S16LE", 8000, 1}, {"S16LE", 32000, 2}}, 44100, 2), -1);
    EXPECT_EQ(ChooseAudioOption({}, 44100, 2), -1);
}

TEST(AudioChoice, CapsRangesAndListsExpandToTheValuesNearestTheWantedOnes) {
    // A sound server offers ranges: the wanted values are inside, so one perfect option each.
    const TCaps server(
        "audio/x-raw, format=(string){ F32LE, S16LE }, layout=interleaved, "
        "rate=(int)[ 1, 2147483647 ], channels=(int)[ 1, 32 ]");
    const auto fromServer = AudioOptionsFromCaps(server, 22050, 1);
    ASSERT_EQ(fromServer.size(), 2u);
    EXPECT_EQ(fromServer[0].Format, "F32LE");
    EXPECT_EQ(fromServer[1].Format, "S16LE");
    EXPECT_EQ(fromServer[1].Rate, 22050);
    EXPECT_EQ(fromServer[1].Channels, 1);
    EXPECT_EQ(ChooseAudioOption(fromServer, 22050, 1), 1);

    // A sound card with fixed rates: the rates at or above the wanted one, lowest first.
    const TCaps card(
        "audio/x-raw, format=S16LE, rate=(int){ 48000, 8000, 96000 }, channels=(int)2");
    const auto fromCard = AudioOptionsFromCaps(card, 44100, 1);
    ASSERT_EQ(fromCard.size(), 2u);
    EXPECT_EQ(fromCard[0].Rate, 48000);
    EXPECT_EQ(fromCard[1].Rate, 96000);
    EXPECT_EQ(fromCard[0].Channels, 2);
    EXPECT_EQ(ChooseAudioOption(fromCard, 44100, 1), 0);

    // A range above the wanted rate starts at its lowest; one below it ends at its highest.
    const TCaps high("audio/x-raw, format=S16LE, rate=(int)[ 96000, 192000 ], channels=1");
    EXPECT_EQ(AudioOptionsFromCaps(high, 44100, 1).at(0).Rate, 96000);
    const TCaps low("audio/x-raw, format=S16LE, rate=(int)[ 8000, 16000 ], channels=1");
    EXPECT_EQ(AudioOptionsFromCaps(low, 44100, 1).at(0).Rate, 16000);
    // Not audio at all: nothing.
    EXPECT_TRUE(AudioOptionsFromCaps(TCaps("video/x-raw, format=BGR"), 44100, 1).empty());
}

TEST(FrameRate, TheFrameDurationIsOnlyEverLoweredToOneOverFps) {
    EXPECT_EQ(WantedFrameDuration100ns(15), 666666);
    EXPECT_EQ(WantedFrameDuration100ns(30), 333333);
    EXPECT_EQ(FrameDuration100ns({30000, 1001}), 333666);

    TRateOffer list;
    list.Rates = {{30, 1}, {15, 1}, {10, 1}, {5, 1}};
    // 15 fps wanted from a device at 30: stays at 30.
    EXPECT_EQ(ChooseFrameRate({30, 1}, list, 15), (TFraction{30, 1}));
    // Exactly the wanted rate: unchanged.
    EXPECT_EQ(ChooseFrameRate({15, 1}, list, 15), (TFraction{15, 1}));
    // Slower than wanted: raised to the wanted rate when offered...
    EXPECT_EQ(ChooseFrameRate({5, 1}, list, 15), (TFraction{15, 1}));
    // ...else to the slowest rate that is fast enough...
    list.Rates = {{5, 1}, {20, 1}, {60, 1}, {10, 1}};
    EXPECT_EQ(ChooseFrameRate({5, 1}, list, 15), (TFraction{20, 1}));
    // ...else to the fastest offered, never below the current one.
    list.Rates = {{5, 1}, {10, 1}, {7, 1}};
    EXPECT_EQ(ChooseFrameRate({5, 1}, list, 15), (TFraction{10, 1}));
    EXPECT_EQ(ChooseFrameRate({10, 1}, {{{5, 1}}, false, {}, {}}, 15), (TFraction{10, 1}));

    TRateOffer range;
    range.IsRange = true;
    range.Min = {1, 1};
    range.Max = {25, 1};
    EXPECT_EQ(ChooseFrameRate({5, 1}, range, 15), (TFraction{15, 1}));
    range.Max = {12, 1};
    EXPECT_EQ(ChooseFrameRate({5, 1}, range, 15), (TFraction{12, 1}));
    // A variable rate (0/1) counts as slower than any.
    EXPECT_EQ(ChooseFrameRate({0, 1}, range, 15), (TFraction{12, 1}));
}

TEST(VideoChoice, TheFirstBgrTypeWinsElseTheCurrentTypeElseTheFirst) {
    const TCaps webcam(
        "image/jpeg, width=1280, height=720, framerate=(fraction){ 30/1, 15/1 }; "
        "video/x-raw, format=YUY2, width=640, height=480, framerate=(fraction)30/1; "
        "video/x-raw, format=BGR, width=320, height=240, framerate=(fraction)[ 1/1, 60/1 ]; "
        "video/x-raw, format=BGR, width=160, height=120, framerate=(fraction)15/1");
    const auto options = VideoOptionsFromCaps(webcam);
    ASSERT_EQ(options.size(), 4u);
    EXPECT_EQ(options[0].MediaType, "image/jpeg");
    EXPECT_EQ(options[0].Format, "");
    EXPECT_EQ(options[0].Rate, (TFraction{30, 1}));
    EXPECT_EQ(options[1].Format, "YUY2");
    EXPECT_TRUE(options[2].Offer.IsRange);
    EXPECT_EQ(options[2].Rate, (TFraction{60, 1}));
    EXPECT_EQ(ChooseVideoOption(options, std::nullopt), 2);

    const std::vector<TVideoOption> noBgr(options.begin(), options.begin() + 2);
    EXPECT_EQ(ChooseVideoOption(noBgr, std::nullopt), 0);
    EXPECT_EQ(ChooseVideoOption(noBgr, options[1]), 1);
    EXPECT_EQ(ChooseVideoOption({}, std::nullopt), -1);

    // RGB (red first) and 32-bit types are not what the tap takes.
    const TCaps other(
        "video/x-raw, format=RGB, width=64, height=48; "
        "video/x-raw, format=BGRx, width=64, height=48");
    for (const auto& option : VideoOptionsFromCaps(other)) EXPECT_FALSE(IsBgrOption(option));

    // A size range fixates to the size nearest 640x480.
    const TCaps ranged("video/x-raw, format=I420, width=[ 16, 4096 ], height=[ 16, 400 ]");
    const auto fixated = VideoOptionsFromCaps(ranged).at(0);
    EXPECT_EQ(fixated.Width, 640);
    EXPECT_EQ(fixated.Height, 400);
}

TEST(VideoChoice, TheHeaderDescribesTopDownBgrRowsPaddedToFourBytes) {
    const TBitmapInfoHeader header = BgrBitmapHeader(642, 480);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 642);
    EXPECT_EQ(header.biHeight, -480);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 1928u * 480u);  // 642 * 3 = 1926, padded to 1928

    TVideoOption jpeg;
    jpeg.MediaType = "image/jpeg";
    jpeg.Width = 320;
    jpeg.Height = 240;
    GstCaps* caps = VideoOptionCaps(jpeg, {15, 1});
    gchar* text = gst_caps_to_string(caps);
    EXPECT_STREQ(text, "image/jpeg, width=(int)320, height=(int)240, framerate=(fraction)15/1");
    g_free(text);
    gst_caps_unref(caps);
}

// Which raw form reaches the tap behind each device format, and that the frame layouts the
// video processor assumes are GStreamer's own, odd sizes included.
TEST(VideoChoice, RawYCbCrFormsReachTheTapAsTheyComeInGStreamersLayout) {
    struct TCase {
        const char* MediaType;
        const char* Format;
        const char* Tap;
        uint32_t Compression;
    };
    for (const TCase& c : {TCase{"video/x-raw", "YUY2", "YUY2", YUY2_COMPRESSION},
                           TCase{"video/x-raw", "UYVY", "UYVY", UYVY_COMPRESSION},
                           TCase{"video/x-raw", "NV12", "NV12", NV12_COMPRESSION},
                           TCase{"video/x-raw", "I420", "I420", I420_COMPRESSION},
                           TCase{"video/x-raw", "YV12", "I420", I420_COMPRESSION},
                           TCase{"image/jpeg", "", "I420", J420_COMPRESSION},
                           TCase{"video/x-raw", "RGBx", "BGR", 0}}) {
        for (auto [width, height] :
             {std::pair{640, 480}, std::pair{321, 241}, std::pair{2, 2}, std::pair{1282, 723}}) {
            SCOPED_TRACE(std::string(c.Format) + " " + std::to_string(width) + "x" +
                         std::to_string(height));
            TVideoOption option;
            option.MediaType = c.MediaType;
            option.Format = c.Format;
            option.Width = width;
            option.Height = height;
            EXPECT_EQ(TapFormat(option), c.Tap);
            const TBitmapInfoHeader header = TapHeader(option);
            EXPECT_EQ(header.biCompression, c.Compression);
            EXPECT_EQ(IsYCbCrHeader(header), c.Compression != 0);
            GstVideoInfo info;
            gst_video_info_set_format(&info, gst_video_format_from_string(c.Tap), width, height);
            EXPECT_EQ(header.biSizeImage, info.size);
            if (std::string(c.Tap) == "I420") {
                const TI420Layout i420 = CaptureI420Layout(width, height);
                EXPECT_EQ(i420.YStride, info.stride[0]);
                EXPECT_EQ(i420.ChromaStride, info.stride[1]);
                EXPECT_EQ(i420.CbOffset, int64_t(info.offset[1]));
                EXPECT_EQ(i420.CrOffset, int64_t(info.offset[2]));
            } else if (std::string(c.Tap) == "NV12") {
                const TNv12Layout nv12 = CaptureNv12Layout(width, height);
                EXPECT_EQ(nv12.YStride, info.stride[0]);
                EXPECT_EQ(nv12.ChromaStride, info.stride[1]);
                EXPECT_EQ(nv12.ChromaOffset, int64_t(info.offset[1]));
            } else if (c.Compression != 0) {
                EXPECT_EQ(CapturePackedStride(width), info.stride[0]);
            }
        }
    }
}

TEST(ConnectStatus, PartsFollowWhatWasChosenAndWhatWorks) {
    TConnectState both{true, true, true, true, 640, 480};
    EXPECT_EQ(ConnectStatusText(both), "Audio OK  -  Video OK (640x480)  -  OK");
    both.Width = 0;
    EXPECT_EQ(ConnectStatusText(both), "Audio OK  -  Video OK  -  OK");
    EXPECT_EQ(ConnectStatusText({true, false, true, false, 0, 0}),
              "Audio Failed - Video Failed - OK");
    EXPECT_EQ(ConnectStatusText({false, false, true, true, 320, 240}), "Video OK (320x240)  -  OK");
    EXPECT_EQ(ConnectStatusText({}), "OK");
}

TEST(DeviceMenu, AStoredNameChoosesItsLastEntryNoNameTheFirst) {
    const std::vector<std::string> names = {"Cam", "USB Audio", "Cam", "Test Pattern"};
    EXPECT_EQ(ChooseStoredDevice(names, "").Index, 0);
    EXPECT_EQ(ChooseStoredDevice(names, "Cam").Index, 2);
    EXPECT_EQ(ChooseStoredDevice(names, "Test Pattern").Name, "Test Pattern");
    EXPECT_TRUE(ChooseStoredDevice(names, "<None>").None());
    EXPECT_TRUE(ChooseStoredDevice(names, "Gone").None());
    EXPECT_TRUE(ChooseStoredDevice({}, "").None());
}

}  // namespace

namespace {

TEST(RunRelativeTime, FramesOnWholeMillisecondsStayExactAndSurviveTheWrap) {
    EXPECT_EQ(RunRelativeSeconds(12345, 12345), 0.0);
    EXPECT_EQ(RunRelativeSeconds(12412, 12345), 0.067);
    // Subtracting in seconds would give 0.9999999999999999 here and lose the frame at 1 s.
    EXPECT_LT(1.001 - 0.001, 1.0);
    EXPECT_EQ(RunRelativeSeconds(1001, 1), 1.0);
    for (uint32_t base : {0u, 7u, 33u, 4294967000u}) {
        for (int n = 0; n <= 600; ++n) {
            // Output frame n at 15 fps asks for n / 15 s; the capture frame at that moment must
            // not fall before it.
            const uint32_t captured = base + static_cast<uint32_t>(n * 1000 / 15);
            if (n % 15 == 0) EXPECT_EQ(RunRelativeSeconds(captured, base), n / 15.0) << n;
        }
    }
    EXPECT_EQ(RunRelativeSeconds(100, 4294967196u), 0.2);  // across the 2^32 ms wrap
    // A medium that started after the run's origin carries its lead; nothing is before 0.
    EXPECT_EQ(RunRelativeSeconds(1100, 1000, 250), 0.35);
    EXPECT_EQ(RunRelativeSeconds(1000, 1100), 0.0);
}

TEST(RunRelativeTime, AStartIsPlacedByItsStampUnlessTheStampDisagreesWithItsArrival) {
    struct TCase {
        const char* What;
        int32_t Stamped;
        int32_t Arrived;
        int32_t Lead;
    };
    const TCase cases[] = {
        {"both clocks agree", 40, 55, 40},
        {"within the trusted difference", 0, 100, 0},
        // A sound server that took 0.8 s to open its stream still stamps its first buffer 0.
        {"stamps restarted with the device", 0, 800, 800},
        {"stamps far ahead of the arrival", 900, 20, 20},
        {"started before the origin", -30, -25, -30},
    };
    for (const TCase& c : cases) EXPECT_EQ(StartLeadMs(c.Stamped, c.Arrived), c.Lead) << c.What;
}

}  // namespace
