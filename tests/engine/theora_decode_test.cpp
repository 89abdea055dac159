// A real recording through the worker, decoded by FFmpeg: the picture comes out at its own
// size (not the encoded frame's), the right way up, in its colours; ogginfo finds no fault.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ogg_file.h"
#include "engine/theora_encoder_thread.h"
#include "tests/engine/theora_test_support.h"
#include "tests/support/run_command.h"

namespace {

constexpr int FrameWidth = 352;
constexpr int FrameHeight = 272;
constexpr int PictureWidth = 350;
constexpr int PictureHeight = 262;
constexpr int Frames = 10;
constexpr TColour Quadrants[4] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {220, 220, 220}};

void RecordPattern(const std::string& path) {
    tOggFile file;
    ASSERT_TRUE(file.Open(path));
    tOggTheoraCodec codec;
    TTheoraSettings settings = VideoSettings(FrameWidth, FrameHeight);
    settings.Quality = 63;
    ASSERT_TRUE(codec.Init(&file, settings, PictureWidth, PictureHeight, false));
    // The marks that make the frames differ lie at the picture's top-left corner, away from
    // the points checked below.
    std::vector<uint8_t> frame =
        QuadrantFrame(FrameWidth, FrameHeight, PictureWidth, PictureHeight, Quadrants);
    {
        tTheroraVideoEncoderThread worker(codec);
        for (int i = 0; i < Frames; ++i) {
            ASSERT_TRUE(worker.WaitIdle());
            MarkFrame(frame, FrameWidth, i, FrameHeight - PictureHeight);
            ASSERT_TRUE(worker.Submit(frame.data(), FrameWidth * 4, i == Frames - 1));
        }
        ASSERT_TRUE(worker.WaitIdle());
    }
    codec.Finish();
    file.Close();
}

struct TProbe {
    int Row, Column, Quadrant, Tolerance;
};

TEST(TheoraDecode, FfmpegShowsThePictureUprightAtItsOwnSize) {
    const std::string folder = MakeTempFolder("theora_decode");
    const std::string path = folder + "pattern.ogg";
    RecordPattern(path);
    ASSERT_FALSE(HasFatalFailure());

    const TCommandResult info = RunCommand("ogginfo " + Quote(path));
    ASSERT_EQ(info.ExitCode, 0) << info.Output;
    EXPECT_EQ(info.Output.find("WARNING"), std::string::npos) << info.Output;
    EXPECT_EQ(info.Output.find("ERROR"), std::string::npos) << info.Output;

    const TCommandResult size = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
        "-of csv=p=0 " +
        Quote(path));
    ASSERT_EQ(size.ExitCode, 0) << size.Output;
    EXPECT_EQ(size.Output, "350,262\n");

    const std::string raw = folder + "pattern.rgb";
    const TCommandResult decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(path) +
                                             " -f rawvideo -pix_fmt rgb24 -y " + Quote(raw));
    ASSERT_EQ(decode.ExitCode, 0) << decode.Output;
    const std::string pixels = ReadFileText(raw);
    const size_t frameBytes = static_cast<size_t>(PictureWidth) * PictureHeight * 3;
    ASSERT_EQ(pixels.size(), frameBytes * Frames);

    // Centres of the quadrants, and points just inside the picture's edges: a picture placed
    // at the wrong rows shows the frame's black border there.
    const TProbe probes[] = {{PictureHeight / 4, PictureWidth / 4, 0, 10},
                             {PictureHeight / 4, 3 * PictureWidth / 4, 1, 10},
                             {3 * PictureHeight / 4, PictureWidth / 4, 2, 10},
                             {3 * PictureHeight / 4, 3 * PictureWidth / 4, 3, 10},
                             {3, PictureWidth / 4, 0, 24},
                             {PictureHeight / 4, 3, 0, 24},
                             {PictureHeight / 4, PictureWidth - 4, 1, 24},
                             {PictureHeight - 4, 3 * PictureWidth / 4, 3, 24}};
    const size_t lastFrame = frameBytes * (Frames - 1);
    for (const TProbe& probe : probes) {
        SCOPED_TRACE("row " + std::to_string(probe.Row) + ", column " +
                     std::to_string(probe.Column));
        const size_t at =
            lastFrame + (static_cast<size_t>(probe.Row) * PictureWidth + probe.Column) * 3;
        const TColour& expected = Quadrants[probe.Quadrant];
        EXPECT_NEAR(static_cast<uint8_t>(pixels[at]), expected.R, probe.Tolerance);
        EXPECT_NEAR(static_cast<uint8_t>(pixels[at + 1]), expected.G, probe.Tolerance);
        EXPECT_NEAR(static_cast<uint8_t>(pixels[at + 2]), expected.B, probe.Tolerance);
    }
}

}  // namespace
