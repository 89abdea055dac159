// The Theora encoder against the real libtheora: what its headers say, which encoder controls
// it sets, how its pages are cut, and that it refuses frames when it is not set up.

#include "engine/ogg_theora_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/theora_library.h"
#include "tests/engine/theora_test_support.h"

namespace {

// The size cases the live encoder produces: a picture that fills its frame, one that the
// video processor rounded up to multiples of 16, and one given without a picture size.
struct TSizeCase {
    int FrameWidth, FrameHeight, PictureWidth, PictureHeight;
    unsigned ExpectedPictureWidth, ExpectedPictureHeight, ExpectedPictureY;
};

TEST(OggTheoraCodec, FrameAndPictureSizesReachPlanesAndHeader) {
    const TSizeCase cases[] = {{320, 240, 320, 240, 320, 240, 0},
                               {352, 272, 350, 262, 350, 262, 10},
                               {352, 272, 0, 262, 352, 272, 0}};
    for (const TSizeCase& size : cases) {
        SCOPED_TRACE(std::to_string(size.PictureWidth) + "x" + std::to_string(size.PictureHeight));
        TRecordingOutput output;
        tOggTheoraCodec codec;
        ASSERT_TRUE(codec.LibraryReady());
        TTheoraSettings settings = VideoSettings(size.FrameWidth, size.FrameHeight);
        settings.Bitrate = 300;
        settings.Quality = 20;
        ASSERT_TRUE(codec.Init(&output, settings, size.PictureWidth, size.PictureHeight, false));
        const th_ycbcr_buffer& planes = codec.Planes();
        EXPECT_EQ(planes[0].width, size.FrameWidth);
        EXPECT_EQ(planes[0].height, size.FrameHeight);
        EXPECT_EQ(planes[0].stride, size.FrameWidth);
        for (int chroma = 1; chroma < 3; ++chroma) {
            EXPECT_EQ(planes[chroma].width, size.FrameWidth / 2);
            EXPECT_EQ(planes[chroma].height, size.FrameHeight / 2);
            EXPECT_EQ(planes[chroma].stride, size.FrameWidth / 2);
        }
        codec.Finish();
        for (const th_img_plane& plane : planes) EXPECT_EQ(plane.data, nullptr);
        output.WritePages(0, 0);

        const TTheoraStream stream = ReadTheoraStream(output.Bytes());
        ASSERT_TRUE(stream.HeadersRead);
        const th_info& info = stream.Info;
        EXPECT_EQ(info.frame_width, static_cast<unsigned>(size.FrameWidth));
        EXPECT_EQ(info.frame_height, static_cast<unsigned>(size.FrameHeight));
        EXPECT_EQ(info.pic_width, size.ExpectedPictureWidth);
        EXPECT_EQ(info.pic_height, size.ExpectedPictureHeight);
        EXPECT_EQ(info.pic_x, 0u);
        EXPECT_EQ(info.pic_y, size.ExpectedPictureY);
        EXPECT_EQ(info.fps_numerator, 25u);
        EXPECT_EQ(info.fps_denominator, 1u);
        EXPECT_EQ(info.aspect_numerator, 1u);
        EXPECT_EQ(info.aspect_denominator, 1u);
        EXPECT_EQ(info.colorspace, TH_CS_UNSPECIFIED);
        EXPECT_EQ(info.pixel_fmt, TH_PF_420);
        EXPECT_EQ(info.target_bitrate, 300000);
        EXPECT_EQ(info.quality, 20);
    }
}

TEST(OggTheoraCodec, CommentHeaderNamesTheEncoderThenTheAddedComments) {
    TSmallVideo video;
    video.Codec.AddComment("Name", "My show");
    video.Codec.AddComment("Description", " a=b ");
    ASSERT_TRUE(video.Start());
    const TTheoraStream stream = ReadTheoraStream(video.Finish());
    ASSERT_TRUE(stream.HeadersRead);
    const std::vector<std::string> expected = {"Encoder=Kestrova Ogg Zizizada",
                                               std::string("Encoder-URL=") + EncoderUrl,
                                               "Name=My show", "Description= a=b "};
    EXPECT_EQ(stream.Comments, expected);
}

// Every th_encode_ctl call the codec makes, with the value it passes; the encoder it talks to.
struct TControlLog {
    static inline std::vector<std::pair<int, int32_t>> Calls;
    static inline th_enc_ctx* Encoder = nullptr;
    static inline decltype(TheoraLib.th_encode_ctl) Real = nullptr;

    static int Record(th_enc_ctx* encoder, int request, void* buffer, size_t size) {
        Encoder = encoder;
        const int result = Real(encoder, request, buffer, size);
        Calls.emplace_back(request, *static_cast<int32_t*>(buffer));
        return result;
    }
};

int32_t SpeedLevel(th_enc_ctx* encoder, int request = TH_ENCCTL_GET_SPLEVEL) {
    int32_t level = -1;
    EXPECT_EQ(TheoraLib.th_encode_ctl(encoder, request, &level, sizeof(level)), 0);
    return level;
}

TEST(OggTheoraCodec, EncoderControlsFollowDropFramesAndFasterMode) {
    for (const bool option : {false, true}) {
        SCOPED_TRACE(option ? "drop frames, faster mode" : "neither");
        TSmallVideo video;
        ASSERT_TRUE(video.Codec.LibraryReady());
        TSwappedEntry recorder(TheoraLib.th_encode_ctl, &TControlLog::Record);
        TControlLog::Real = recorder.Original();
        TControlLog::Calls.clear();
        TTheoraSettings settings = VideoSettings(TSmallVideo::Width, TSmallVideo::Height);
        settings.DropFrames = option;
        settings.AutoKeyframeMax = 64;
        ASSERT_TRUE(video.Codec.Init(&video.Output, settings, 0, 0, option));
        const std::vector<std::pair<int, int32_t>> calls = TControlLog::Calls;

        th_enc_ctx* encoder = TControlLog::Encoder;
        const int32_t maxLevel = SpeedLevel(encoder, TH_ENCCTL_GET_SPLEVEL_MAX);
        EXPECT_GT(maxLevel, 0);
        std::vector<std::pair<int, int32_t>> expected = {
            {TH_ENCCTL_SET_RATE_FLAGS, option ? 7 : 0},
            {TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, 64}};
        if (option) expected.emplace_back(TH_ENCCTL_GET_SPLEVEL_MAX, maxLevel);
        expected.emplace_back(TH_ENCCTL_SET_SPLEVEL, option ? maxLevel : 0);
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(SpeedLevel(encoder), option ? maxLevel : 0);
    }
}

TEST(OggTheoraCodec, SlowModeLowersTheLibraryDefaultSpeedLevel) {
    TSmallVideo video;
    ASSERT_TRUE(video.Codec.LibraryReady());
    // The library's own default, from an encoder set up the same way without the codec.
    th_info info;
    th_info_init(&info);
    info.frame_width = info.pic_width = TSmallVideo::Width;
    info.frame_height = info.pic_height = TSmallVideo::Height;
    info.fps_numerator = info.fps_denominator = 1;
    info.quality = 48;
    th_enc_ctx* plain = TheoraLib.th_encode_alloc(&info);
    ASSERT_NE(plain, nullptr);
    const int32_t libraryDefault = SpeedLevel(plain);
    TheoraLib.th_encode_free(plain);
    ASSERT_GT(libraryDefault, 0);

    TSwappedEntry recorder(TheoraLib.th_encode_ctl, &TControlLog::Record);
    TControlLog::Real = recorder.Original();
    ASSERT_TRUE(video.Start());
    EXPECT_EQ(SpeedLevel(TControlLog::Encoder), 0);
}

TEST(OggTheoraCodec, HeadersGetPagesOfTheirOwnAndFramesAPageEvery15) {
    TSmallVideo video;
    ASSERT_TRUE(video.Start());
    // The parameter block is released once the encoder exists, so the flush interval is 15
    // frames whatever the frame rate (25 here).
    EXPECT_EQ(video.Codec.FrameRate(), 15.0);
    for (int frame = 0; frame < 40; ++frame) {
        ASSERT_TRUE(video.Codec.EncodeRGB(video.NextFrame(), TSmallVideo::Width * 4, false));
    }
    const TTheoraStream stream = ReadTheoraStream(video.Finish());
    ASSERT_TRUE(stream.HeadersRead);
    EXPECT_EQ(stream.HeaderPages, 2);
    EXPECT_EQ(stream.DataPackets, 40u);
    EXPECT_EQ(stream.FramesPerPage, (std::vector<int64_t>{15, 15, 10}));
}

TEST(OggTheoraCodec, RefusesFramesUnlessSetUp) {
    TSmallVideo video;
    ASSERT_TRUE(video.Codec.LibraryReady());
    EXPECT_EQ(video.Codec.FrameRate(), 15.0);
    EXPECT_FALSE(video.Codec.EncodeRGB(video.Frame.data(), TSmallVideo::Width * 4, false));

    // A frame width libtheora refuses (not a multiple of 16): no stream is added.
    EXPECT_FALSE(video.Start(VideoSettings(TSmallVideo::Width + 8, TSmallVideo::Height)));
    EXPECT_FALSE(video.Codec.Active());
    EXPECT_EQ(video.Codec.StreamIndex(), -1);
    EXPECT_EQ(video.Output.StreamCount(), 0);
    EXPECT_FALSE(video.Codec.Init(nullptr, VideoSettings(64, 48), 64, 48, false));
    EXPECT_FALSE(video.Codec.EncodeRGB(video.Frame.data(), TSmallVideo::Width * 4, false));
    video.Codec.Finish();
    video.Codec.Finish();

    // After the failures a good set-up works, and after Finish frames are refused again.
    ASSERT_TRUE(video.Start());
    EXPECT_TRUE(video.Codec.Active());
    EXPECT_EQ(video.Codec.StreamIndex(), 0);
    EXPECT_FALSE(video.Codec.EncodeRGB(nullptr, TSmallVideo::Width * 4, false));
    EXPECT_TRUE(video.Codec.EncodeRGB(video.Frame.data(), TSmallVideo::Width * 4, false));
    video.Codec.Finish();
    video.Codec.Finish();
    EXPECT_FALSE(video.Codec.EncodeRGB(video.Frame.data(), TSmallVideo::Width * 4, false));
    const TTheoraStream stream = ReadTheoraStream(video.Finish());
    EXPECT_EQ(stream.DataPackets, 1u);
}

}  // namespace
