// The live encoder's clock, exit points and stop lines, on real runs writing real files.

#include "engine/live_encoder.h"

#include <gtest/gtest.h>
#include <vorbis/codec.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "live_encoder_fixture.h"
#include "ogg_test_support.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

// The user comments of the Vorbis comment header in the file, in order.
std::vector<std::string> VorbisComments(const std::string& path) {
    const TParsedOgg ogg = ParseOgg(ReadFileBytes(path));
    for (const auto& [serial, packets] : ogg.Packets) {
        if (packets.size() < 2 || packets[0].size() < 7 || packets[0][0] != 1) continue;
        vorbis_info info;
        vorbis_comment comment;
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
        std::vector<std::string> comments;
        for (int i = 0; i < 2; ++i) {
            auto bytes = packets[i];
            ogg_packet packet = MakePacket(bytes, 0, i);
            packet.b_o_s = i == 0;
            if (vorbis_synthesis_headerin(&info, &comment, &packet) != 0) return {"bad header"};
        }
        for (int i = 0; i < comment.comments; ++i)
            comments.emplace_back(comment.user_comments[i], comment.comment_lengths[i]);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        return comments;
    }
    return {};
}

TEST_F(LiveEncoderTest, AudioOnlyClockRequestsExactlyTheAudioDueAndStopsInItsReadLoop) {
    // 0.4 s of audio: steps at 0, 0.1, ... 0.4 s take 2205 sample frames each after the first;
    // the step at 0.5 s then waits in its read loop for audio that never comes.
    auto encoder = StartRecording(&Mono22050, nullptr);
    const std::vector<uint8_t> silence(2205 * 4 * 2, 0);
    ASSERT_TRUE(encoder->WriteAudio(silence.data(), static_cast<int32_t>(silence.size())));
    ASSERT_TRUE(WaitFor([&] { return encoder->SamplesEncoded() == 2205 * 4; }));
    ASSERT_TRUE(WaitFor([&] { return encoder->ProgressState() == 12; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(encoder->SamplesEncoded(), 2205 * 4);
    EXPECT_EQ(encoder->FramesEncoded(), 0);
    encoder.reset();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Vorbis Enabled"), std::string::npos);
    EXPECT_EQ(log.find("Theora Enabled"), std::string::npos);
    EXPECT_NE(log.find("ExitPoint 2"), std::string::npos);
    EXPECT_NE(log.find("Encoding stopped in state 13  VideoProcessor=NIL\r\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Encoding gracefully stopped"), std::string::npos);
}

TEST_F(LiveEncoderTest, StopWhileWaitingForAFrameLogsStateFour) {
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(nullptr, &header);
    ASSERT_TRUE(WaitFor([&] { return encoder->ProgressState() == 3; }));
    encoder.reset();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Theora Enabled"), std::string::npos);
    EXPECT_NE(log.find("ExitPoint 1"), std::string::npos);
    EXPECT_NE(log.find("Encoding stopped in state 4 VideoProcessorProcessPos: "), std::string::npos)
        << log;
    EXPECT_EQ(Settings.Theora.Width, 320);
    EXPECT_EQ(Settings.Theora.Height, 240);
}

TEST_F(LiveEncoderTest, VideoClockTakesOneFramePerStepAndWritesTheSizeItEncodes) {
    const auto header = Bgr(330, 250);
    auto encoder = StartRecording(nullptr, &header);
    EXPECT_EQ(Settings.Theora.Width, 336);  // rounded up to 16 before the encoder starts
    EXPECT_EQ(Settings.Theora.Height, 256);
    const std::vector<uint8_t> frame(header.biSizeImage, 128);
    // Frames every 1/30 s; the 15 fps clock takes every second one.
    for (int i = 0; i <= 30; ++i) encoder->PutVideoFrame(frame.data(), frame.size(), i / 30.0);
    ASSERT_TRUE(WaitFor([&] { return encoder->FramesEncoded() == 16; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(encoder->FramesEncoded(), 16);  // nothing after 1.0 s has arrived
    EXPECT_EQ(encoder->ProgressState(), 3);
    encoder.reset();
    const TParsedOgg ogg = ParseOgg(ReadFileBytes(Settings.CaptureFile));
    EXPECT_TRUE(ogg.Intact);
    ASSERT_EQ(ogg.Packets.size(), 1u);
    EXPECT_EQ(ogg.Packets.begin()->second.size(), 3u + 16u);  // three headers, sixteen frames
}

TEST_F(LiveEncoderTest, BlankStreamTextsAreLeftOutAndOthersKeepTheirBlanks) {
    Settings.StreamName = "  Radio Kestrova  ";
    Settings.StreamDesc = " \t ";
    Settings.StreamGenre = "";
    Settings.StreamURL = "http://127.0.0.1/";
    auto encoder = StartRecording(&Mono22050, nullptr);
    const std::vector<uint8_t> silence(22050 * 2, 0);
    ASSERT_TRUE(encoder->WriteAudio(silence.data(), static_cast<int32_t>(silence.size())));
    ASSERT_TRUE(WaitFor([&] { return encoder->SamplesEncoded() > 0; }));
    encoder.reset();
    const auto comments = VorbisComments(Settings.CaptureFile);
    ASSERT_EQ(comments.size(), 4u);
    EXPECT_EQ(comments[0], "Encoder=Kestrova Ogg Zizizada");
    EXPECT_EQ(comments[1].rfind("Encoder-Url=", 0), 0u);
    EXPECT_EQ(comments[2], "Name=  Radio Kestrova  ");
    EXPECT_EQ(comments[3], "URL=http://127.0.0.1/");
}

TEST_F(LiveEncoderTest, UnconvertibleCaptureFormatStopsInTheReadLoop) {
    const TWaveFormatEx compressed = MakeWaveFormat(0x55, 2, 44100, 16);  // MP3 tag
    auto encoder = StartRecording(&compressed, nullptr);
    const std::vector<uint8_t> bytes(8192, 1);
    encoder->WriteAudio(bytes.data(), static_cast<int32_t>(bytes.size()));
    ASSERT_TRUE(WaitFor([&] { return encoder->ProgressState() == 12; }));
    encoder.reset();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("ACMConverter=NIL"), std::string::npos) << log;
    EXPECT_NE(log.find("Encoding stopped in state 13  VideoProcessor=NIL"), std::string::npos);
}

TEST_F(LiveEncoderTest, AFileOutputThatCouldNotOpenStillLetsTheRunStart) {
    Settings.CaptureFile = Folder + "no/such/folder/run.ogg";
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(&Mono22050, &header);
    EXPECT_TRUE(encoder->Connected());
    EXPECT_EQ(encoder->SendRateKbps(), 0);
    ASSERT_TRUE(WaitFor([&] { return encoder->ProgressState() == 3; }));
    encoder.reset();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Theora Enabled"), std::string::npos);
    EXPECT_NE(log.find("Vorbis Enabled"), std::string::npos);
    EXPECT_NE(log.find("Encoding started"), std::string::npos);
}

}  // namespace

namespace {

// Counts the pages that leave the interleaver; the count outlives the output.
class TCountingOutput final : public tOggIOBase {
  public:
    explicit TCountingOutput(std::atomic<int>& writes) : FWrites(writes) {}
    int32_t ReadData(uint8_t*, int32_t) override { return 0; }
    int32_t WriteData(const uint8_t*, int32_t size) override {
        FWrites.fetch_add(1);
        return size;
    }

  private:
    std::atomic<int>& FWrites;
};

// Two seconds and a frame of media captured at 15 fps (inside the 41-frame wait list), and
// their audio. The extra frame lets the Theora stream put out the packet of the frame before,
// which it holds back until the next one comes.
void FeedTwoSeconds(TLiveEncoder& encoder, const TBitmapInfoHeader* video, bool audio) {
    if (video) {
        std::vector<uint8_t> frame(video->biSizeImage, 0);
        for (int i = 0; i <= 31; ++i) {
            frame[static_cast<size_t>(i) * 3] = static_cast<uint8_t>(i);  // no repeated frames
            encoder.PutVideoFrame(frame.data(), static_cast<int32_t>(frame.size()), i / 15.0);
        }
    }
    if (audio) {
        const std::vector<uint8_t> pcm((22050 * 2 + 2205 * 5) * 2, 0);
        ASSERT_TRUE(encoder.WriteAudio(pcm.data(), static_cast<int32_t>(pcm.size())));
    }
}

}  // namespace

// With one medium the clock writes pages out after each step (any stream holding more than
// one page); with both it leaves that to the 20-page / 3-second rule of the output, so after
// two seconds only the two first pages have left.
TEST_F(LiveEncoderTest, TheClockWritesPagesOnlyWhenTheRunHasOneMedium) {
    const auto header = Bgr(320, 240);
    struct TCase {
        const TWaveFormatEx* Audio;
        const TBitmapInfoHeader* Video;
        int SamplesOrFrames;
    };
    for (const TCase& run :
         {TCase{nullptr, &header, 32}, TCase{&Mono22050, nullptr, 22050 * 2 + 2205 * 5},
          TCase{&Mono22050, &header, 32}}) {
        std::atomic<int> writes{0};
        auto encoder = std::make_unique<TLiveEncoder>(run.Audio, run.Video,
                                                      std::make_unique<TCountingOutput>(writes));
        FeedTwoSeconds(*encoder, run.Video, run.Audio != nullptr);
        ASSERT_TRUE(WaitFor([&] {
            return run.Video ? encoder->FramesEncoded() == run.SamplesOrFrames
                             : encoder->SamplesEncoded() == run.SamplesOrFrames;
        }));
        std::this_thread::sleep_for(50ms);
        const int seen = writes.load();
        encoder.reset();
        if (run.Audio && run.Video) {
            EXPECT_EQ(seen, 2) << "both media: only the beginning-of-stream pages";
        } else {
            EXPECT_GE(seen, 3) << (run.Video ? "video only" : "audio only");
        }
    }
}
