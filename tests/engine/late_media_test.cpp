// A late source must not hold back the run: the media clock, and the encoder replacing late
// sound with silence and a late picture with the last one.

#include <gtest/gtest.h>

#include "engine/media_clock.h"
#include "live_encoder_fixture.h"

namespace {

using TClock = TMediaClock::TClock;

TEST(MediaClock, FollowsTheFurthestSourceAndTheWallClockLessItsSlack) {
    const TClock::time_point start{};
    struct TCase {
        const char* What;
        double NewestVideo;  // -1: none
        int32_t AudioBytes;  // at 1000 bytes a second
        double WallSeconds;
        double Now;
    };
    const TCase cases[] = {
        {"nothing yet", -1, 0, 0.5, 0.0},
        {"video ahead", 2.0, 400, 1.0, 2.0},
        {"sound ahead", 0.5, 3000, 1.0, 3.0},
        {"both stalled: the wall clock less a second", 1.0, 1000, 4.0, 3.0},
    };
    for (const TCase& c : cases) {
        TMediaClock clock(1000, start);
        if (c.NewestVideo >= 0) clock.VideoArrived(c.NewestVideo, start);
        if (c.AudioBytes > 0) clock.AudioArrived(c.AudioBytes, start);
        const auto now =
            start + std::chrono::microseconds(static_cast<int64_t>(c.WallSeconds * 1e6));
        EXPECT_DOUBLE_EQ(clock.Now(now), c.Now) << c.What;
        EXPECT_TRUE(clock.Late(c.Now - 0.5, now)) << c.What;
        EXPECT_FALSE(clock.Late(c.Now - 0.49, now)) << c.What;
    }
}

TEST(MediaClock, CountsTheSilenceOfEachSourceFromItsLastDelivery) {
    const TClock::time_point start{};
    TMediaClock clock(0, start);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceAudio(start + 2s), 2.0);  // never delivered
    clock.AudioArrived(100, start + 3s);
    clock.VideoArrived(0.1, start + 1s);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceAudio(start + 8s), 5.0);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceVideo(start + 8s), 7.0);
    // Without sound in the run, bytes do not move the clock.
    EXPECT_DOUBLE_EQ(clock.Now(start + 1s), 0.1);
}

// Sound (silence) up to `audioSeconds`, then video frames every 1/15 s up to `videoSeconds`
// (at most 41 wait at once). The sound goes first: the encoder steps on as the frames arrive,
// and sound written after them could find its place already taken by silence.
void Feed(TLiveEncoder& encoder, const TBitmapInfoHeader& header, double videoSeconds,
          double audioSeconds) {
    const std::vector<uint8_t> sound(static_cast<size_t>(audioSeconds * 22050) * 2, 0);
    encoder.WriteAudio(sound.data(), static_cast<int32_t>(sound.size()));
    const std::vector<uint8_t> frame(header.biSizeImage, 100);
    for (int i = 0; i <= static_cast<int>(videoSeconds * 15 + 1e-9); ++i) {
        encoder.PutVideoFrame(frame.data(), static_cast<int32_t>(frame.size()), i / 15.0);
    }
}

TEST_F(LiveEncoderTest, ALateSourceHoldsTheRunBackOnlyWhenLateMediaAreNotReplaced) {
    const auto header = Bgr(160, 120);
    struct TCase {
        const char* What;
        double VideoSeconds;
        double AudioSeconds;
        bool Replace;
        // Once the run settles: frames handed to Theora, samples handed to Vorbis. A step
        // hands over its frame before it waits for its sound.
        int32_t Frames;
        int64_t Samples;
    };
    const TCase cases[] = {
        // The step at 0.467 s waits for sound that does not come.
        {"sound stalls, waited for", 2.0, 0.4, false, 8, 8820},
        // Steps go on while the newest frame is half a second past them: up to 1.467 s, its
        // sound silence after 0.4 s.
        {"sound stalls, silence instead", 2.0, 0.4, true, 24, 32340},
        {"camera stalls, waited for", 0.4, 3.0, false, 7, 8820},
        // The last picture repeats up to 2.467 s, half a second short of the sound.
        {"camera stalls, last picture instead", 0.4, 3.0, true, 38, 54390},
    };
    for (const TCase& c : cases) {
        auto encoder = StartRecording(&Mono22050, &header);
        encoder->ReplaceLateMedia(c.Replace);
        Feed(*encoder, header, c.VideoSeconds, c.AudioSeconds);
        ASSERT_TRUE(WaitFor([&] { return encoder->FramesEncoded() >= c.Frames; })) << c.What;
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(encoder->FramesEncoded(), c.Frames) << c.What;
        EXPECT_EQ(encoder->SamplesEncoded(), c.Samples) << c.What;
        encoder.reset();
        EXPECT_TRUE(ParseOgg(ReadFileBytes(Settings.CaptureFile)).Intact) << c.What;
    }
}

TEST_F(LiveEncoderTest, LateSoundIsDroppedAsFarAsSilenceStoodInForItAndNewSoundIsKept) {
    const auto header = Bgr(160, 120);
    struct TCase {
        const char* What;
        double VideoSeconds;
        double AudioSeconds;  // before the stall
        int64_t Filled;       // samples encoded once the silence has stood in
        int32_t Arriving;     // samples that arrive then
        int64_t Dropped;
        int64_t Samples;  // encoded once the run settles again
    };
    const TCase cases[] = {
        // A backlog: two seconds arrive at once, though the newest picture is at 2.0 s. The
        // silence up to 1.467 s stood in for their front, which goes; the rest carries the
        // run to 2.0 s.
        {"backlog", 2.0, 0.0, 32340, 44100, 32340, 44100},
        // A stalled server: silence from 0.4 s to 1.467 s; the 0.2 s that come then are new
        // (they end well before the newest picture), so all of them are encoded.
        {"new sound after a stall", 2.0, 0.4, 32340, 4410, 0, 36750},
    };
    for (const TCase& c : cases) {
        auto encoder = StartRecording(&Mono22050, &header);
        encoder->ReplaceLateMedia(true);
        Feed(*encoder, header, c.VideoSeconds, c.AudioSeconds);
        ASSERT_TRUE(WaitFor([&] { return encoder->SamplesEncoded() == c.Filled; })) << c.What;
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(encoder->SamplesEncoded(), c.Filled) << c.What;
        const std::vector<uint8_t> arriving(static_cast<size_t>(c.Arriving) * 2, 0);
        encoder->WriteAudio(arriving.data(), static_cast<int32_t>(arriving.size()));
        ASSERT_TRUE(WaitFor([&] { return encoder->SamplesEncoded() == c.Samples; })) << c.What;
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(encoder->SamplesEncoded(), c.Samples) << c.What;
        EXPECT_EQ(encoder->SamplesDropped(), c.Dropped) << c.What;
    }
}

}  // namespace
