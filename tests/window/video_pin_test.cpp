// The video pin page: a capture mode chosen there is stored per device, outlives the window,
// and sets the size the device delivers and the run records.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>
#include <optional>

#include "event_wait.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "window_fixture.h"

namespace {

class VideoPinTest : public TWindowTest {
  protected:
    // Opens the pin page and answers it: `mode` chosen and OK, or Cancel for none. Returns
    // the entries the page offered.
    std::vector<std::string> AnswerPinPage(const std::optional<std::string>& mode) {
        std::vector<std::string> offered;
        // Runs inside the page's own event loop, once it is shown.
        QTimer::singleShot(0, [&] {
            auto* page = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(page, nullptr);
            auto* modes = page->findChild<QComboBox*>();
            if (modes == nullptr) return page->reject();
            for (int i = 0; i < modes->count(); ++i)
                offered.push_back(modes->itemText(i).toStdString());
            if (!mode) return page->reject();
            modes->setCurrentText(QString::fromStdString(*mode));
            page->accept();
        });
        Window->Menus().VideoCapturePin->trigger();
        return offered;
    }

    std::string Status() const { return Window->StatusText().toStdString(); }
};

TEST_F(VideoPinTest, AChosenModeIsStoredSurvivesARestartAndSizesTheRecording) {
    OpenWindow();
    EXPECT_EQ(AnswerPinPage(std::nullopt),
              (std::vector<std::string>{"Automatic", "BGR 320x240@30/1", "BGR 640x480@30/1",
                                        "YUY2 640x480@30/1", "MJPG 640x480@30/1",
                                        "YUY2 1280x720@30/1", "MJPG 1280x720@30/1"}));
    EXPECT_TRUE(Settings.VideoModes.empty());
    EXPECT_EQ(Status(), BaseStatus);

    AnswerPinPage("BGR 320x240@30/1");
    EXPECT_EQ(Settings.VideoModes,
              (std::map<std::string, std::string>{{"Test Pattern", "BGR 320x240@30/1"}}));
    EXPECT_EQ(Status(), "Audio OK  -  Video OK (320x240)  -  OK");
    ASSERT_TRUE(Window->GraphReady());

    // A new start reads the store, as the program does.
    Window.reset();
    Settings.VideoModes.clear();
    LoadSettings();
    ASSERT_FALSE(Settings.Processing.Resize);
    OpenWindow();
    EXPECT_EQ(Status(), "Audio OK  -  Video OK (320x240)  -  OK");
    Press(Qt::Key_F6);
    ASSERT_TRUE(RecordFrames(15)) << SeenLog;
    Press(Qt::Key_F7);
    const auto streams = ProbeStreams(RecordingFile);
    ASSERT_EQ(streams.size(), 2u);
    const TStreamInfo& video = streams[0].at("codec_type") == "video" ? streams[0] : streams[1];
    EXPECT_EQ(video.at("width"), "320");
    EXPECT_EQ(video.at("height"), "240");

    // "Automatic" forgets the choice and the device goes back to its own size.
    AnswerPinPage("Automatic");
    EXPECT_TRUE(Settings.VideoModes.empty());
    EXPECT_EQ(Status(), BaseStatus);
    Settings.VideoModes = {{"Test Pattern", "stale"}};
    LoadSettings();
    EXPECT_TRUE(Settings.VideoModes.empty());
}

// A mode stored for the device that it no longer offers leaves the automatic choice; the page
// shows it as such, and "Automatic" forgets it.
TEST_F(VideoPinTest, AStoredModeTheDeviceLacksIsShownAndAutomaticClearsIt) {
    Settings.VideoModes = {{"Test Pattern", "YUY2 800x600@30/1"}};
    OpenWindow();
    EXPECT_EQ(Status(), BaseStatus);
    EXPECT_TRUE(LogHas("The video device does not offer the mode YUY2 800x600@30/1")) << SeenLog;
    const auto offered = AnswerPinPage(std::nullopt);
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(offered.back(), "YUY2 800x600@30/1 (not offered)");
    EXPECT_EQ(Settings.VideoModes.size(), 1u) << "Cancel keeps the stored choice";

    AnswerPinPage("Automatic");
    EXPECT_TRUE(Settings.VideoModes.empty());
    EXPECT_EQ(Status(), BaseStatus);
}

}  // namespace
