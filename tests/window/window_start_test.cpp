// Starts as the operator meets them: every Vorbis quality the dialog offers records both
// streams, and a start that cannot work says which half failed and why, keeps the earlier
// recording in the file byte for byte, keeps the preview going, and offers Start again.

#include <gtest/gtest.h>

#include <QLabel>
#include <QSlider>
#include <functional>
#include <regex>
#include <vector>

#include "event_wait.h"
#include "settings/settings.h"
#include "tests/support/file_bytes.h"
#include "ui/frm_settings.h"
#include "window_fixture.h"

namespace {

class WindowStartTest : public TWindowTest {};

TEST_F(WindowStartTest, BothEndsOfTheVorbisBarRecordBothStreams) {
    std::vector<int> ends;
    {
        TfrmSettings dialog(Settings);
        ends = {dialog.audQuality->minimum(), dialog.audQuality->maximum()};
    }
    for (int quality : ends) {
        SCOPED_TRACE(quality);
        Settings.VorbisQuality = quality;
        OpenWindow();
        Press(Qt::Key_F6);
        ASSERT_TRUE(RecordFrames(30)) << SeenLog;
        EXPECT_EQ(Window->StatusText().toStdString().find("Failed"), std::string::npos);
        Press(Qt::Key_F7);
        Window.reset();
        EXPECT_EQ(ProbeStreams(RecordingFile).size(), 2u) << SeenLog;
    }
}

TEST_F(WindowStartTest, AFailedStartKeepsTheFileAndSaysWhy) {
    struct TCase {
        const char* Name;
        std::function<void()> Spoil;
        std::string Status;
        bool Autostart;
    } cases[] = {
        {"a crop wider than the picture",
         [] { Settings.Processing.Crop = true, Settings.Processing.CropL = 100000; },
         " - Video Failed - Crop: 100000 + 0 pixels from left and right leave nothing of a "
         "picture 640 wide",
         true},
        {"a Vorbis quality libvorbis refuses", [] { Settings.VorbisQuality = -500; },
         " - Audio Failed - Vorbis encoder could not be started", false},
    };
    const std::vector<uint8_t> earlier(5000, 'k');
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFileBytes(RecordingFile, earlier);
        c.Spoil();
        Settings.Autostart = c.Autostart;
        OpenWindow();
        if (!c.Autostart) Press(Qt::Key_F6);
        const std::string failed = BaseStatus + c.Status;
        EXPECT_TRUE(WaitUntil([&] { return Window->StatusText().toStdString() == failed; }, 3000))
            << Window->StatusText().toStdString();
        EXPECT_FALSE(Window->Recording());
        EXPECT_TRUE(Window->Menus().StartCapture->isEnabled());
        EXPECT_FALSE(Window->Menus().StopCapture->isEnabled());
        // The status timer must not paint "Recording!" over it.
        RunEventsFor(600);
        EXPECT_EQ(Window->StatusText().toStdString(), failed);
        const int shown = Window->PreviewPanel().VideoPreview()->FramesPresented();
        EXPECT_TRUE(WaitUntil(
            [&] { return Window->PreviewPanel().VideoPreview()->FramesPresented() > shown + 3; },
            3000))
            << "the preview stands still";
        EXPECT_EQ(ReadFileBytes(RecordingFile), earlier);
        Window.reset();
        Settings.Processing.Crop = false;
        Settings.VorbisQuality = -60;
    }
}

// The end of a run says where the recording went and how long it is; a status as long as a
// page leaves the window as wide as it was, the whole text in the tooltip.
TEST_F(WindowStartTest, TheStopLineNamesTheFileAndLongStatusTextsKeepTheWidth) {
    TTestDeviceOptions devices;
    devices.Fps = 15;
    OpenWindow(true, devices);
    const int width = Window->width();
    Press(Qt::Key_F6);
    ASSERT_TRUE(RecordFrames(45)) << SeenLog;
    Press(Qt::Key_F7);
    // The home folder (the test folder here) is written as "~".
    const std::regex saved("Saved ([0-9]+\\.[0-9]) s to ~/recording\\.ogg");
    std::smatch match;
    ASSERT_TRUE(WaitUntil(
        [&] { return LogHas("Saved ") && std::regex_search(SeenLog, match, saved); }, 2000))
        << SeenLog;
    EXPECT_NEAR(std::stod(match[1]), ProbeDuration(RecordingFile), 0.1);

    const std::string longPath = "/" + std::string(4096, 'p') + ".ogg";
    Settings.CaptureFile = longPath;
    Press(Qt::Key_F6);
    RunEventsFor(300);
    EXPECT_EQ(Window->width(), width);
    EXPECT_EQ(Window->StatusText().toStdString(),
              BaseStatus + " - Error writing to file " + longPath);
    const QLabel* status = Window->findChild<QLabel*>("Status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->toolTip(), Window->StatusText());
    EXPECT_LE(status->text().size(), 300);
    EXPECT_TRUE(status->text().contains(QChar(0x2026))) << "cut in the middle";
    Press(Qt::Key_F7);
}

}  // namespace
