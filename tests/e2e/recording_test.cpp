// Whole recordings made by kestrova_headless, judged by ffprobe, ffmpeg and ogginfo.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "headless_fixture.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"

namespace {

struct Rgb {
    double r, g, b;
};

// The bars left to right, as the test pattern draws them.
constexpr Rgb BarColours[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

Rgb MeanColour(const std::vector<uint8_t>& frame, int width, int cx, int cy, int half) {
    Rgb sum{0, 0, 0};
    int count = 0;
    for (int y = cy - half; y < cy + half; ++y) {
        for (int x = cx - half; x < cx + half; ++x) {
            const uint8_t* p = frame.data() + (static_cast<size_t>(y) * width + x) * 3;
            sum.r += p[0];
            sum.g += p[1];
            sum.b += p[2];
            ++count;
        }
    }
    return {sum.r / count, sum.g / count, sum.b / count};
}

double ColourError(const Rgb& a, const Rgb& b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

bool IsWhite(const std::vector<uint8_t>& frame) {
    for (size_t i = 0; i < frame.size(); i += 97) {
        if (frame[i] < 200) return false;
    }
    return true;
}

// Times (seconds) where a beep starts: a loud sample after at least half a second of quiet.
std::vector<double> BeepOnsets(const std::vector<int16_t>& samples, int rate) {
    std::vector<double> onsets;
    int64_t lastLoud = -rate;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < 4000) continue;
        if (static_cast<int64_t>(i) - lastLoud > rate / 2) onsets.push_back(double(i) / rate);
        lastLoud = static_cast<int64_t>(i);
    }
    return onsets;
}

class RecordingTest : public THeadlessTest {
  protected:
    TCommandResult Record(const std::string& file, const std::string& options) {
        return RunCommand(HeadlessCommand("--file " + Quote(file) + " " + options));
    }
};

TEST_F(RecordingTest, DefaultSettingsGiveTheoraAndVorbisInSync) {
    const std::string file = Work / "out.ogg";
    const auto run = Record(file, "--seconds 10");
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("Encoding started"), std::string::npos) << run.Output;

    // Both streams end properly: ogginfo has no remark at all.
    const auto check = RunCommand("ogginfo " + Quote(file));
    EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;

    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    const auto& video = streams[0].at("codec_name") == "theora" ? streams[0] : streams[1];
    const auto& audio = streams[0].at("codec_name") == "theora" ? streams[1] : streams[0];
    EXPECT_EQ(video.at("codec_name"), "theora");
    EXPECT_EQ(video.at("width"), "640");
    EXPECT_EQ(video.at("height"), "480");
    EXPECT_EQ(video.at("r_frame_rate"), "15/1");
    EXPECT_EQ(audio.at("codec_name"), "vorbis");
    EXPECT_EQ(audio.at("sample_rate"), "22050");
    EXPECT_EQ(audio.at("channels"), "1");
    EXPECT_NEAR(ProbeDuration(file), 10.0, 0.5);

    const auto frames = DecodeVideoRgb(file, 640, 480);
    ASSERT_GE(frames.size(), 145u);
    for (size_t n = 0; n < frames.size(); ++n) {
        EXPECT_EQ(IsWhite(frames[n]), n % 15 == 0) << "frame " << n;
    }
    // Right way up: the bars fill the top three quarters, the band with the square the rest.
    const auto& ordinary = frames[7];
    for (int bar = 0; bar < 8; ++bar) {
        const Rgb seen = MeanColour(ordinary, 640, bar * 80 + 40, 180, 6);
        EXPECT_LT(ColourError(seen, BarColours[bar]), 24) << "bar " << bar;
    }
    EXPECT_LT(ColourError(MeanColour(ordinary, 640, 8, 470, 4), Rgb{0, 0, 0}), 24);

    const auto samples = DecodeAudioMono(file);
    const auto onsets = BeepOnsets(samples, 22050);
    ASSERT_GE(onsets.size(), 9u);
    double worst = 0;
    for (double onset : onsets) {
        const double offset = onset - std::round(onset);
        worst = std::max(worst, std::abs(offset));
        EXPECT_LE(std::abs(offset), 1.0 / 15) << "beep at " << onset;
    }
    std::cout << "A/V offset: worst beep onset " << worst * 1000 << " ms from its white frame\n";
    RecordProperty("worst_av_offset_ms", std::to_string(worst * 1000));
}

TEST_F(RecordingTest, ResizedPictureKeepsAnUnevenSizeTheRightWayUp) {
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 330;
    Settings.Processing.ResizeH = 250;
    ASSERT_TRUE(SaveSettings());
    const std::string file = Work / "resized.ogg";
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
        const std::string file = Work / "single.ogg";
        const auto run = Record(file, "--seconds 2 --fast " + medium);
        ASSERT_EQ(run.ExitCode, 0) << run.Output;
        const auto streams = ProbeStreams(file);
        ASSERT_EQ(streams.size(), 1u) << medium;
        EXPECT_EQ(streams[0].at("codec_name"), medium == "--video none" ? "vorbis" : "theora");
        EXPECT_NEAR(ProbeDuration(file), 2.0, 0.3) << medium;
    }
}

TEST_F(RecordingTest, AnOutputFileThatCannotBeCreatedFailsWithOneLine) {
    const auto run = Record(Work / "missing/folder/out.ogg", "--seconds 1");
    EXPECT_NE(run.ExitCode, 0);
    EXPECT_NE(run.Output.find("Error writing to file " + (Work / "missing/folder/out.ogg")),
              std::string::npos)
        << run.Output;
}

}  // namespace
