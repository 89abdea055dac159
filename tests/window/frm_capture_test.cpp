// The main window driven as an operator drives it: the stored test devices, F6 and F7, the
// status line, the menus during a run, autostart, device choices, and the recording file.

#include <gtest/gtest.h>

#include <QDir>
#include <cmath>
#include <iostream>
#include <regex>

#include "event_wait.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/e2e/pattern_checks.h"
#include "window_fixture.h"

namespace {

class FrmCaptureTest : public TWindowTest {};

// The menu items that would change the graph, and Start; all must be off during a run.
std::vector<QAction*> GraphItems(TCaptureMenus& menus) {
    return {menus.Audio->menuAction(),
            menus.Video->menuAction(),
            menus.PreviewA,
            menus.Preview,
            menus.ACapF,
            menus.StartCapture};
}

TEST_F(FrmCaptureTest, F6RecordsTheTestPatternInSyncUntilF7) {
    // The pattern at the encoding rate, so every white frame (one per second) is encoded.
    TTestDeviceOptions devices;
    devices.Fps = 15;
    OpenWindow(true, devices);
    EXPECT_EQ(Window->windowTitle(), "Kestrova - Ogg Capture");
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
    EXPECT_TRUE(Window->PreviewPanel().PreviewShown());
    for (QAction* item : GraphItems(Window->Menus())) EXPECT_TRUE(item->isEnabled());
    EXPECT_FALSE(Window->Menus().StopCapture->isEnabled());

    Press(Qt::Key_F6);
    ASSERT_TRUE(Window->Recording());
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus + " - Recording!");
    for (QAction* item : GraphItems(Window->Menus())) EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(Window->Menus().StreamSettings->isEnabled());
    EXPECT_TRUE(Window->Menus().StopCapture->isEnabled());

    ASSERT_TRUE(RecordFrames(5 * 15)) << SeenLog;
    const std::regex running(std::regex_replace(BaseStatus, std::regex(R"([()])"), R"(\$&)") +
                             " - Recording! - [0-9]+ Samples - [0-9]+ Frames");
    ASSERT_TRUE(WaitUntil(
        [&] { return std::regex_match(Window->StatusText().toStdString(), running); }, 2000))
        << Window->StatusText().toStdString();

    Press(Qt::Key_F7);
    EXPECT_FALSE(Window->Recording());
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
    for (QAction* item : GraphItems(Window->Menus())) EXPECT_TRUE(item->isEnabled());
    EXPECT_FALSE(Window->Menus().StopCapture->isEnabled());
    // The preview goes on after the run.
    const int shown = Window->PreviewPanel().VideoPreview()->FramesPresented();
    EXPECT_TRUE(WaitUntil(
        [&] { return Window->PreviewPanel().VideoPreview()->FramesPresented() > shown + 3; },
        5000));

    const auto frames = DecodeVideoRgb(RecordingFile, 640, 480);
    ASSERT_GE(frames.size(), 70u);
    std::vector<double> whiteTimes;
    for (size_t n = 0; n < frames.size(); ++n) {
        if (IsWhite(frames[n])) whiteTimes.push_back(n / 15.0);
    }
    ASSERT_GE(whiteTimes.size(), 4u);
    // The bars the right way up in a frame between two white ones.
    const auto& ordinary = frames[static_cast<size_t>(whiteTimes[0] * 15) + 7];
    for (int bar = 0; bar < 8; ++bar) {
        const Rgb seen = MeanColour(ordinary, 640, bar * 80 + 40, 180, 6);
        EXPECT_LT(ColourError(seen, BarColours[bar]), 24) << "bar " << bar;
    }
    const auto onsets = BeepOnsets(DecodeAudioMono(RecordingFile), 22050);
    ASSERT_GE(onsets.size(), 4u);
    // One frame, plus what the measurement cannot resolve: capture times in whole
    // milliseconds and the beep's onset found to one audio sample.
    const double tolerance = 1.0 / 15 + 0.001 + 1.0 / 22050;
    double worst = 0;
    for (double onset : onsets) {
        double nearest = 1e9;
        for (double white : whiteTimes) nearest = std::min(nearest, std::abs(onset - white));
        worst = std::max(worst, nearest);
        EXPECT_LE(nearest, tolerance) << "beep at " << onset;
    }
    std::cout << "A/V offset through the window: worst beep " << worst * 1000
              << " ms from its white frame\n";
}

// Three runs in one window, each to its own file: every stop finishes its file (both streams
// ended, decodable to the end) and brings the idle status back, and the next start works.
TEST_F(FrmCaptureTest, ThreeStartStopCyclesEachFinishTheirFile) {
    OpenWindow();
    std::vector<std::string> files;
    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        files.push_back(Work.File("cycle" + std::to_string(cycle) + ".ogg"));
        Settings.CaptureFile = files.back();
        Press(Qt::Key_F6);
        ASSERT_TRUE(Window->Recording());
        EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus + " - Recording!");
        // A couple of seconds.
        ASSERT_TRUE(RecordFrames(2 * Settings.Theora.FPS)) << SeenLog;
        Press(Qt::Key_F7);
        EXPECT_FALSE(Window->Recording());
        EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
        EXPECT_TRUE(Window->Menus().StartCapture->isEnabled());
        EXPECT_TRUE(LogHas("Recording to " + files.back())) << SeenLog;
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto check = RunCommand("ogginfo " + Quote(file));
        EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;
        EXPECT_EQ(ProbeStreams(file).size(), 2u);
        EXPECT_GE(ProbeDuration(file), 1.9);
        const auto decode =
            RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
        EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
        EXPECT_EQ(decode.Output, "");
    }
}

TEST_F(FrmCaptureTest, AutostartStartsOnceAfterTheFirstBuild) {
    Settings.Autostart = true;
    OpenWindow();
    ASSERT_TRUE(LogHas("Triggering auto-stream"));
    ASSERT_TRUE(WaitUntil([&] { return Window->Recording(); }, 5000));
    Press(Qt::Key_F7);
    ASSERT_FALSE(Window->Recording());
    // A later rebuild (a device choice) does not start again.
    Window->Menus().NoneAudio->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Window->GraphReady(); }, 20000));
    RunEventsFor(1500);
    EXPECT_FALSE(Window->Recording());
}

TEST_F(FrmCaptureTest, WithoutAutostartNothingStartsByItself) {
    OpenWindow();
    RunEventsFor(1500);
    EXPECT_FALSE(Window->Recording());
    EXPECT_FALSE(LogHas("Triggering auto-stream"));
}

TEST_F(FrmCaptureTest, ADeviceChoiceRebuildsTheGraphAndIsRememberedUnsaved) {
    OpenWindow();
    Window->Menus().NoneVideo->trigger();
    EXPECT_EQ(Window->StatusText().toStdString(), "Audio OK  -  OK");
    EXPECT_EQ(Settings.VideoDevice, "<None>");
    EXPECT_FALSE(Window->PreviewPanel().PreviewShown());
    EXPECT_FALSE(Window->Menus().Preview->isEnabled());

    QAction* pattern = nullptr;
    for (QAction* item : Window->Menus().Video->actions()) {
        if (item->text() == "Test Pattern") pattern = item;
    }
    ASSERT_NE(pattern, nullptr);
    pattern->trigger();
    EXPECT_TRUE(pattern->isChecked());
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
    EXPECT_EQ(Settings.VideoDevice, "Test Pattern");
    EXPECT_TRUE(Window->PreviewPanel().PreviewShown());
}

TEST_F(FrmCaptureTest, AStoredNoneKeepsThatMediumOut) {
    Settings.AudioDevice = "<None>";
    OpenWindow();
    EXPECT_TRUE(Window->Menus().NoneAudio->isChecked());
    EXPECT_EQ(Window->StatusText().toStdString(), "Video OK (640x480)  -  OK");
    EXPECT_FALSE(Window->Menus().ACapF->isEnabled());
}

TEST_F(FrmCaptureTest, AChosenDeviceThatIsNotConnectedStaysChosenAndNothingStarts) {
    // The stored choice is kept and shown; the run that would have to fail does not start,
    // not even by itself.
    Settings.AudioDevice = "Gone Microphone";
    Settings.Autostart = true;
    OpenWindow();
    const auto item = [this](const QString& text) -> QAction* {
        for (QAction* action : Window->Menus().Audio->actions()) {
            if (action->text() == text) return action;
        }
        return nullptr;
    };
    QAction* absent = item("Gone Microphone (not connected)");
    ASSERT_NE(absent, nullptr);
    EXPECT_TRUE(absent->isChecked());
    EXPECT_FALSE(absent->isEnabled());
    EXPECT_FALSE(Window->Menus().NoneAudio->isChecked());
    EXPECT_EQ(Window->StatusText().toStdString(),
              "Audio device not connected: Gone Microphone  -  Video OK (640x480)  -  OK");
    EXPECT_FALSE(Window->Menus().StartCapture->isEnabled());
    RunEventsFor(800);  // past the automatic start's 500 ms
    Press(Qt::Key_F6);
    EXPECT_FALSE(Window->Recording());
    EXPECT_FALSE(LogHas("Triggering auto-stream"));
    EXPECT_EQ(Settings.AudioDevice, "Gone Microphone");
    // Choosing a connected device ends it.
    item("Test Tone")->trigger();
    EXPECT_EQ(item("Gone Microphone (not connected)"), nullptr);
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
    EXPECT_TRUE(Window->Menus().StartCapture->isEnabled());
}

TEST_F(FrmCaptureTest, AFileThatCannotBeCreatedShowsInTheStatusLine) {
    Settings.CaptureFile = Work.File("missing-folder/out.ogg");
    OpenWindow();
    Press(Qt::Key_F6);
    const std::string failure = BaseStatus + " - Error writing to file " + Settings.CaptureFile;
    EXPECT_EQ(Window->StatusText().toStdString(), failure);
    // The status timer must not paint it over with "Recording!".
    RunEventsFor(600);
    EXPECT_EQ(Window->StatusText().toStdString(), failure);
    EXPECT_TRUE(LogHas("Error writing to file " + Settings.CaptureFile));
    Press(Qt::Key_F7);
    EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus);
}

TEST_F(FrmCaptureTest, AnEmptyFileSettingRecordsToTheVideosFolder) {
    Settings.CaptureFile.clear();
    OpenWindow();
    Press(Qt::Key_F6);
    ASSERT_TRUE(RecordFrames(15));
    Press(Qt::Key_F7);
    EXPECT_EQ(Settings.CaptureFile, "");
    const QStringList files = QDir(QString::fromStdString(Work.File("Videos")))
                                  .entryList({"Kestrova *.ogg"}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << SeenLog;
    const auto streams = ProbeStreams(Work.File("Videos/" + files[0].toStdString()));
    EXPECT_EQ(streams.size(), 2u);
}

TEST_F(FrmCaptureTest, TheLevelMeterShowsTheToneWhileIdle) {
    OpenWindow();
    // The tone beeps for 100 ms each second at a level well above the floor.
    ASSERT_TRUE(WaitUntil([&] { return Window->LevelMeter().Shown().PeakDb > -30; }, 5000));
    Window->Menus().NoneAudio->trigger();
    RunEventsFor(200);
    EXPECT_EQ(Window->LevelMeter().Shown().PeakDb, TLevelReading::Silence);
}

TEST_F(FrmCaptureTest, TheLogPaneNeverHoldsMoreThan50Lines) {
    OpenWindow();
    for (int run = 0; run < 3; ++run) {
        Press(Qt::Key_F6);
        RunEventsFor(300);
        Press(Qt::Key_F7);
        EXPECT_LE(Window->LogPane().LineCount(), 50);
    }
    for (int i = 0; i < 200; ++i) LogLine("filler " + std::to_string(i));
    ASSERT_TRUE(WaitUntil([&] { return LogHas("filler 199"); }, 2000));
    EXPECT_EQ(Window->LogPane().LineCount(), 50);
}

}  // namespace

TEST_F(FrmCaptureTest, ADeviceFailingDuringARunEndsItWithACompleteFile) {
    TTestDeviceOptions devices;
    devices.VideoFailAfterSeconds = 2;
    OpenWindow(true, devices);
    Press(Qt::Key_F6);
    ASSERT_TRUE(Window->Recording());
    ASSERT_TRUE(WaitUntil([&] { return !Window->Recording(); }, 15000)) << SeenLog;
    EXPECT_TRUE(Window->StatusText().endsWith(" - Video device failed"))
        << Window->StatusText().toStdString();
    EXPECT_TRUE(Window->Menus().StartCapture->isEnabled());
    const auto decode =
        RunCommand("ffmpeg -v error -threads 1 -i " + Quote(RecordingFile) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
    EXPECT_EQ(ProbeStreams(RecordingFile).size(), 2u);
}
