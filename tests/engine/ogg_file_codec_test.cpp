// A recording made of real Theora and Vorbis packets must be a valid Ogg file for a real
// reader. The packets come from libtheora and libvorbis called directly.

#include <gtest/gtest.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/ogg_file.h"
#include "tests/engine/ogg_test_support.h"
#include "tests/support/run_command.h"

namespace {

constexpr int AudioRate = 44100;
constexpr int FrameRate = 15;
constexpr int FrameWidth = 64;
constexpr int FrameHeight = 48;

class TVorbisSource {
  public:
    TVorbisSource() {
        vorbis_info_init(&FInfo);
        vorbis_comment_init(&FComment);
        Ready = vorbis_encode_init_vbr(&FInfo, 2, AudioRate, 0.3f) == 0 &&
                vorbis_analysis_init(&FDsp, &FInfo) == 0 && vorbis_block_init(&FDsp, &FBlock) == 0;
    }
    ~TVorbisSource() {
        vorbis_block_clear(&FBlock);
        vorbis_dsp_clear(&FDsp);
        vorbis_comment_clear(&FComment);
        vorbis_info_clear(&FInfo);
    }

    bool SubmitHeaders(tOggIOBase& output, int stream) {
        std::array<ogg_packet, 3> headers;
        if (vorbis_analysis_headerout(&FDsp, &FComment, &headers[0], &headers[1], &headers[2]) !=
            0) {
            return false;
        }
        for (ogg_packet& header : headers) {
            if (!output.SubmitPacket(stream, header)) return false;
        }
        return output.FlushStream(stream);
    }

    // A 440 Hz tone; frames == 0 ends the stream.
    bool Encode(tOggIOBase& output, int stream, int frames) {
        float** planes = vorbis_analysis_buffer(&FDsp, frames);
        for (int i = 0; i < frames; ++i, ++FPosition) {
            planes[0][i] = planes[1][i] = 0.5f * std::sin(FPosition * 2 * M_PI * 440 / AudioRate);
        }
        vorbis_analysis_wrote(&FDsp, frames);
        while (vorbis_analysis_blockout(&FDsp, &FBlock) == 1) {
            vorbis_analysis(&FBlock, nullptr);
            vorbis_bitrate_addblock(&FBlock);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&FDsp, &packet)) {
                if (!output.SubmitPacket(stream, packet, GranuleTime, this)) return false;
            }
        }
        return true;
    }

    bool Ready = false;

  private:
    static double GranuleTime(void* self, ogg_int64_t granulePos) {
        return vorbis_granule_time(&static_cast<TVorbisSource*>(self)->FDsp, granulePos);
    }

    vorbis_info FInfo;
    vorbis_comment FComment;
    vorbis_dsp_state FDsp;
    vorbis_block FBlock;
    long FPosition = 0;
};

class TTheoraSource {
  public:
    TTheoraSource() : FLuma(FrameWidth * FrameHeight), FChroma(FrameWidth * FrameHeight / 4, 128) {
        th_info info;
        th_info_init(&info);
        info.frame_width = info.pic_width = FrameWidth;
        info.frame_height = info.pic_height = FrameHeight;
        info.fps_numerator = FrameRate;
        info.fps_denominator = 1;
        info.aspect_numerator = info.aspect_denominator = 1;
        info.pixel_fmt = TH_PF_420;
        info.quality = 32;
        FEncoder = th_encode_alloc(&info);
        th_info_clear(&info);
        th_comment_init(&FComment);
    }
    ~TTheoraSource() {
        if (FEncoder) th_encode_free(FEncoder);
        th_comment_clear(&FComment);
    }

    bool SubmitHeaders(tOggIOBase& output, int stream) {
        ogg_packet packet;
        int result;
        while ((result = th_encode_flushheader(FEncoder, &FComment, &packet)) > 0) {
            if (!output.SubmitPacket(stream, packet)) return false;
        }
        return result == 0 && output.FlushStream(stream);
    }

    // A moving gradient.
    bool Encode(tOggIOBase& output, int stream, int frame, bool last) {
        for (size_t i = 0; i < FLuma.size(); ++i) FLuma[i] = static_cast<uint8_t>(i + frame * 8);
        th_ycbcr_buffer image = {{FrameWidth, FrameHeight, FrameWidth, FLuma.data()},
                                 {FrameWidth / 2, FrameHeight / 2, FrameWidth / 2, FChroma.data()},
                                 {FrameWidth / 2, FrameHeight / 2, FrameWidth / 2, FChroma.data()}};
        if (th_encode_ycbcr_in(FEncoder, image) != 0) return false;
        ogg_packet packet;
        while (th_encode_packetout(FEncoder, last ? 1 : 0, &packet) > 0) {
            if (!output.SubmitPacket(stream, packet, GranuleTime, this)) return false;
        }
        return true;
    }

    bool Ready() const { return FEncoder != nullptr; }

  private:
    static double GranuleTime(void* self, ogg_int64_t granulePos) {
        return th_granule_time(static_cast<TTheoraSource*>(self)->FEncoder, granulePos);
    }

    th_enc_ctx* FEncoder = nullptr;
    th_comment FComment;
    std::vector<uint8_t> FLuma;
    std::vector<uint8_t> FChroma;
};

TEST(OggFileWithCodecs, TheoraAndVorbisRecordingPassesOgginfo) {
    const std::string path = MakeTempFolder("codecs") + "recording.ogg";
    tOggFile file;
    ASSERT_TRUE(file.Open(path));
    TTheoraSource video;
    TVorbisSource audio;
    ASSERT_TRUE(video.Ready());
    ASSERT_TRUE(audio.Ready);
    // Theora first, then Vorbis, as the live encoder sets them up.
    ASSERT_EQ(file.AddStream(), 0);
    ASSERT_EQ(file.AddStream(), 1);
    ASSERT_TRUE(video.SubmitHeaders(file, 0));
    ASSERT_TRUE(audio.SubmitHeaders(file, 1));
    const int frames = 3 * FrameRate + 5;  // long enough for the 3-second span limit to act
    for (int frame = 0; frame < frames; ++frame) {
        const bool last = frame == frames - 1;
        ASSERT_TRUE(video.Encode(file, 0, frame, last));
        ASSERT_TRUE(audio.Encode(file, 1, AudioRate / FrameRate));
        if (last) {
            ASSERT_TRUE(audio.Encode(file, 1, 0));
        }
    }
    file.Close();

    TCommandResult info = RunCommand("ogginfo '" + path + "'");
    EXPECT_EQ(info.ExitCode, 0) << info.Output;
    EXPECT_EQ(info.Output.find("ERROR"), std::string::npos) << info.Output;
    EXPECT_EQ(info.Output.find("WARNING"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("New logical stream (#1, serial: "), std::string::npos)
        << info.Output;
    EXPECT_NE(info.Output.find("): type theora"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("): type vorbis"), std::string::npos) << info.Output;
}

}  // namespace
