// Recordings through the capture graph with the test devices, as the window records: judged
// like the direct recordings, and failing devices that must end the run cleanly.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <numeric>
#include <sstream>

#include "headless_fixture.h"
#include "pattern_checks.h"

namespace {

class CaptureRecordingTest : public THeadlessTest {
  protected:
    TCommandResult Record(const std::string& file, const std::string& options) {
        return RunCommand(HeadlessCommand("--file " + Quote(file) +
                                          " --video-device 'Test Pattern' "
                                          "--audio-device 'Test Tone' " +
                                          options));
    }

    void ExpectInSync(const std::string& options) {
        const std::string file = Work.File("graph.ogg");
        const auto run = Record(file, "--seconds 10 " + options);
        ASSERT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_NE(run.Output.find("Connecting sources"), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("Status: Audio OK  -  Video OK (640x480)  -  OK"),
                  std::string::npos)
            << run.Output;
        const auto offsets = CheckDefaultPatternRecording(file);
        ASSERT_FALSE(offsets.empty());
        double worst = 0;
        for (double offset : offsets) worst = std::max(worst, std::abs(offset));
        const double mean = std::accumulate(offsets.begin(), offsets.end(), 0.0) /
                            static_cast<double>(offsets.size());
        std::cout << "A/V offset through the capture graph (" << options << "): mean "
                  << mean * 1000 << " ms, worst " << worst * 1000 << " ms (sound late > 0)\n";
    }
};

TEST_F(CaptureRecordingTest, TestDevicesThroughTheGraphGiveThePatternInSync) {
    ExpectInSync("");
}

TEST_F(CaptureRecordingTest, FormatsThatForceDecodingAndConversionStayInSync) {
    for (const std::string options : {"--test-pattern-format mjpeg --capture-audio 48000:2",
                                      "--test-pattern-format i420 --capture-audio 8000:1"}) {
        SCOPED_TRACE(options);
        ExpectInSync(options);
    }
}

TEST_F(CaptureRecordingTest, ADeviceFailingTwoSecondsInEndsTheRunWithALogLine) {
    for (const std::string medium : {"video", "audio"}) {
        const std::string file = Work.File("failing.ogg");
        const auto start = std::chrono::steady_clock::now();
        const auto run = Record(file, "--seconds 30 --fail-" + medium + "-after 2");
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(run.ExitCode, 3) << run.Output;
        const std::string line = (medium == "video" ? "Video" : "Audio") +
                                 std::string(" capture failed: The test device was made to fail");
        EXPECT_NE(run.Output.find(line), std::string::npos) << run.Output;
        // Asked for 30 s, it ends at the fault: two seconds of media, a bounded stop, and the
        // start-up of a busy machine. (The graph suite bounds the report itself more tightly.)
        EXPECT_LT(took, 15.0) << run.Output;
        // What was captured before the fault is a playable file.
        EXPECT_GT(ProbeDuration(file), 1.0) << medium;
    }
}

TEST_F(CaptureRecordingTest, ListsTheTestDevicesLastAndRefusesUnknownNames) {
    const auto list = RunCommand(HeadlessCommand("--list-devices"));
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    EXPECT_NE(list.Output.find("video: Test Pattern\n"), std::string::npos) << list.Output;
    EXPECT_NE(list.Output.find("audio: Test Tone\n"), std::string::npos) << list.Output;
    EXPECT_LT(list.Output.find("video: Test Pattern"), list.Output.find("audio:"));

    const auto unknown = RunCommand(HeadlessCommand(
        "--seconds 1 --file " + Quote(Work.File("x.ogg")) + " --video-device 'No Such Camera'"));
    EXPECT_NE(unknown.ExitCode, 0);
    EXPECT_NE(unknown.Output.find("No capture device named No Such Camera"), std::string::npos)
        << unknown.Output;
}

TEST_F(CaptureRecordingTest, TheListShowsEachVideoDevicesModesAndAVideoModeSetsTheSize) {
    const auto list = RunCommand(HeadlessCommand("--list-devices"));
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    EXPECT_NE(list.Output.find("video: Test Pattern\n"
                               "  mode: BGR 320x240@30/1\n"
                               "  mode: BGR 640x480@30/1\n"),
              std::string::npos)
        << list.Output;

    struct TCase {
        const char* Mode;
        const char* Width;
        const char* Height;
    };
    for (const TCase& c :
         {TCase{"320x240@30", "320", "240"}, TCase{"BGR 320x240@30/1", "320", "240"},
          TCase{"640x480@30/1", "640", "480"}}) {
        const std::string file = Work.File("mode.ogg");
        const auto run = Record(file, "--seconds 2 --video-mode " + Quote(c.Mode));
        ASSERT_EQ(run.ExitCode, 0) << c.Mode << "\n" << run.Output;
        const auto streams = ProbeStreams(file);
        ASSERT_EQ(streams.size(), 2u) << c.Mode;
        const TStreamInfo& video = streams[0].at("codec_type") == "video" ? streams[0] : streams[1];
        EXPECT_EQ(video.at("width"), c.Width) << c.Mode;
        EXPECT_EQ(video.at("height"), c.Height) << c.Mode;
    }

    // Asked for by name, a mode the device lacks ends the run before it starts.
    const auto missing = Record(Work.File("missing.ogg"), "--seconds 2 --video-mode 800x600@30");
    EXPECT_NE(missing.ExitCode, 0);
    EXPECT_NE(missing.Output.find("The video device does not offer 800x600@30/1"),
              std::string::npos)
        << missing.Output;
    EXPECT_FALSE(std::filesystem::exists(Work.File("missing.ogg")));
}

TEST_F(CaptureRecordingTest, NoAudioDeviceGivesAVideoOnlyRecording) {
    const std::string file = Work.File("video_only.ogg");
    const auto run = RunCommand(HeadlessCommand("--file " + Quote(file) +
                                                " --seconds 2 --video-device 'Test Pattern' "
                                                "--audio-device '<None>'"));
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("Status: Video OK (640x480)  -  OK"), std::string::npos)
        << run.Output;
    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), "theora");
}

// Hardware check: runs only where a V4L2 device exists (never on CI machines). The README gives
// the same steps as a manual command.
TEST_F(CaptureRecordingTest, ARealCameraIsListedAndRecordsFiveSeconds) {
    bool present = false;
    for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
        present = present || entry.path().filename().string().rfind("video", 0) == 0;
    }
    if (!present) GTEST_SKIP() << "no /dev/video* on this machine";
    const auto list = RunCommand(HeadlessCommand("--list-devices"));
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    std::string camera;
    std::istringstream lines(list.Output);
    for (std::string line; std::getline(lines, line) && camera.empty();) {
        if (line.rfind("video: ", 0) == 0 && line != "video: Test Pattern") camera = line.substr(7);
    }
    ASSERT_FALSE(camera.empty()) << "/dev/video* exists but no camera is listed:\n" << list.Output;
    const std::string file = Work.File("camera.ogg");
    const auto run =
        RunCommand(HeadlessCommand("--seconds 5 --file " + Quote(file) + " --video-device " +
                                   Quote(camera) + " --audio-device '<None>'"));
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), "theora");
    EXPECT_NEAR(ProbeDuration(file), 5.0, 0.5);
}

}  // namespace
