// Whole recordings made by kestrova_headless, judged by ffprobe, ffmpeg and ogginfo.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "headless_fixture.h"
#include "pattern_checks.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"

namespace {

class RecordingTest : public THeadlessTest {
  protected:
    TCommandResult Record(const std::string& file, const std::string& options) {
        return RunCommand(HeadlessCommand("--file " + Quote(file) + " " + options));
    }
};

TEST_F(RecordingTest, DefaultSettingsGiveTheoraAndVorbisInSync) {
    const std::string file = Work.File("out.ogg");
    const auto run = Record(file, "--seconds 10");
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("Encoding started"), std::string::npos) << run.Output;

    const auto offsets = CheckDefaultPatternRecording(file);
    double worst = 0;
    for (double offset : offsets) worst = std::max(worst, std::abs(offset));
    std::cout << "A/V offset: worst beep onset " << worst * 1000 << " ms from its white frame\n";
    RecordProperty("worst_av_offset_ms", std::to_string(worst * 1000));
}

TEST_F(RecordingTest, ResizedPictureKeepsAnUnevenSizeTheRightWayUp) {
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 330;
    Settings.Processing.ResizeH = 250;
    ASSERT_TRUE(SaveSettings());
    const std::string file = Work.File("resized.ogg");
    const auto run = Record(file, "--seconds 2 --fast");
    Settings.Processing.Resize = false;
    ASSERT_TRUE(SaveSettings());
    ASSERT_EQ(run.ExitCode, 0) << run.Output;

    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    const auto& video = streams[0].at("codec_name") == "theora" ? streams[0] : streams[1];
    EXPECT_EQ(video.at("width"), "330");
    EXPECT_EQ(video.at("height"), "250");
    const auto frames = DecodeVideoRgb(file, 330, 250);
    ASSERT_GE(frames.size(), 20u);
    const auto& ordinary = frames[7];
    EXPECT_LT(ColourError(MeanColour(ordinary, 330, 20, 20, 4), BarColours[0]), 24);
    EXPECT_LT(ColourError(MeanColour(ordinary, 330, 310, 20, 4), BarColours[7]), 24);
    EXPECT_LT(ColourError(MeanColour(ordinary, 330, 145, 90, 4), BarColours[3]), 24);
    EXPECT_LT(ColourError(MeanColour(ordinary, 330, 320, 240, 4), Rgb{0, 0, 0}), 24);
}

TEST_F(RecordingTest, SingleMediumRunsGiveOneStream) {
    for (const std::string medium : {"--video none", "--audio none"}) {
        const std::string file = Work.File("single.ogg");
        const auto run = Record(file, "--seconds 2 --fast " + medium);
        ASSERT_EQ(run.ExitCode, 0) << run.Output;
        const auto streams = ProbeStreams(file);
        ASSERT_EQ(streams.size(), 1u) << medium;
        EXPECT_EQ(streams[0].at("codec_name"), medium == "--video none" ? "vorbis" : "theora");
        EXPECT_NEAR(ProbeDuration(file), 2.0, 0.3) << medium;
    }
}

TEST_F(RecordingTest, AnOutputFileThatCannotBeCreatedFailsWithOneLine) {
    const auto run = Record(Work.File("missing/folder/out.ogg"), "--seconds 1");
    EXPECT_NE(run.ExitCode, 0);
    EXPECT_NE(run.Output.find("Error writing to file " + (Work.File("missing/folder/out.ogg"))),
              std::string::npos)
        << run.Output;
}

}  // namespace
