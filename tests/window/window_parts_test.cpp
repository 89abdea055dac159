// The window's parts that need no capture graph: preview placement, the log pane, the sound
// level, the status text, the recording file name, the error hook, the signal pipe and the
// jobs other threads hand to the window thread.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <cmath>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/audio_level.h"
#include "app/capture_file_name.h"
#include "app/log_pane.h"
#include "app/preview_panel.h"
#include "app/status_text.h"
#include "app/stop_signals.h"
#include "app/thread_calls.h"
#include "event_wait.h"
#include "settings/log.h"

namespace {

TEST(PreviewPlacement, FitsTheVideoByItsAspectRatioAndCentresIt) {
    // A 4:3 video in a 626 x 401 panel: too tall at full width, so it fits the height.
    EXPECT_EQ(PlacePreview(640, 480, 626, 401), (TPreviewBounds{47, 1, 532, 399}));
    // Wide enough for the full width: centred vertically.
    EXPECT_EQ(PlacePreview(640, 480, 322, 1000), (TPreviewBounds{1, 380, 320, 240}));
    // Exactly fitting: the two spare pixels make a one-pixel border all round.
    EXPECT_EQ(PlacePreview(640, 480, 642, 482), (TPreviewBounds{1, 1, 640, 480}));
    // Halves round to the even neighbour: 1/2 x 625 = 312.5 gives 312, 1/2 x 627 gives 314.
    EXPECT_EQ(PlacePreview(2, 1, 627, 1000)->Height, 312);
    EXPECT_EQ(PlacePreview(2, 1, 629, 1000)->Height, 314);
    EXPECT_EQ(DivideRoundHalfEven(5, 2), 2);
    EXPECT_EQ(DivideRoundHalfEven(7, 2), 4);
    EXPECT_EQ(DivideRoundHalfEven(8, 3), 3);
    // Nothing to show: no video size, or a panel with no room.
    EXPECT_FALSE(PlacePreview(0, 0, 626, 401));
    EXPECT_FALSE(PlacePreview(640, 480, 2, 401));
    EXPECT_FALSE(PlacePreview(640, 480, 626, 1));
}

TEST(PreviewPanel, FollowsResizesAndStaysHiddenWhenNotWanted) {
    TPreviewPanel panel;
    panel.resize(626, 401);
    panel.show();
    panel.SetVideoSize(640, 480);
    EXPECT_EQ(panel.VideoPreview()->geometry(), QRect(47, 1, 532, 399));
    EXPECT_TRUE(panel.PreviewShown());

    panel.resize(802, 401);
    EXPECT_EQ(panel.VideoPreview()->geometry(), QRect(135, 1, 532, 399));

    panel.SetPreviewWanted(false);
    EXPECT_FALSE(panel.PreviewShown());
    panel.resize(626, 401);  // a resize must not bring an unwanted preview back
    EXPECT_FALSE(panel.PreviewShown());
    panel.SetPreviewWanted(true);
    EXPECT_TRUE(panel.PreviewShown());

    panel.SetVideoSize(0, 0);  // the graph lost its video
    EXPECT_FALSE(panel.PreviewShown());
}

TEST(PreviewWidget, DrawsTheNewestFrameTheRightWayRound) {
    TPreviewPanel panel;
    panel.resize(322, 242);
    panel.show();
    panel.SetVideoSize(4, 2);
    // Four pixels a row, red first; rows padded to 16 bytes.
    std::vector<uint8_t> frame(32, 0);
    frame[0] = 255;               // top-left red
    frame[16 + 3 * 3 + 2] = 255;  // bottom-right blue
    panel.VideoPreview()->PresentFrame(frame.data(), 4, 2, 16, true);
    frame[0] = 0;  // the widget copied the frame: a change afterwards must not show
    ASSERT_TRUE(WaitUntil([&] { return !panel.VideoPreview()->LastFrame().isNull(); }, 2000));
    const QImage shown = panel.VideoPreview()->LastFrame();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(3, 1), QColor(0, 0, 255));
    EXPECT_EQ(panel.VideoPreview()->FramesPresented(), 1);
    // A frame whose rows are shorter than its width cannot be drawn and is refused.
    panel.VideoPreview()->PresentFrame(frame.data(), 4, 2, 8, true);
    EXPECT_EQ(panel.VideoPreview()->FramesPresented(), 1);
}

TEST(ThreadCalls, RunsJobsFromOtherThreadsOnItsOwnInOrder) {
    TThreadCalls calls;
    std::vector<int> ran;  // window thread only
    bool elsewhere = false;
    const auto window = std::this_thread::get_id();
    std::thread poster([&] {
        for (int n = 0; n < 50; ++n) {
            calls.Post([&, n] {
                ran.push_back(n);
                elsewhere = elsewhere || std::this_thread::get_id() != window;
            });
        }
    });
    poster.join();
    EXPECT_TRUE(ran.empty());
    ASSERT_TRUE(WaitUntil([&] { return ran.size() == 50; }, 5000));
    for (int n = 0; n < 50; ++n) EXPECT_EQ(ran[n], n);
    EXPECT_FALSE(elsewhere);
}

TEST(ThreadCalls, JobsStillQueuedWhenItGoesAreDroppedUnrun) {
    auto kept = std::make_shared<int>(0);
    bool ran = false;
    {
        TThreadCalls calls;
        std::thread([&] { calls.Post([&ran, kept] { ran = true; }); }).join();
        EXPECT_EQ(kept.use_count(), 2);
    }
    RunEventsFor(100);
    EXPECT_FALSE(ran);
    // The dropped job was destroyed with its captures.
    EXPECT_EQ(kept.use_count(), 1);
}

TEST(LogPane, KeepsTheNewest50LinesWithTheCaretAtTheEnd) {
    TakeLog();
    TLogPane pane;
    EXPECT_EQ(pane.toPlainText(), "Welcome to the Kestrova Ogg Zizizada...");
    for (int i = 1; i <= 30; ++i) LogLine("line " + std::to_string(i));
    ASSERT_TRUE(WaitUntil([&] { return pane.LineCount() == 31; }, 2000));
    EXPECT_TRUE(pane.document()->firstBlock().text().startsWith("Welcome"));
    // More lines in one hand-over than the pane holds.
    for (int i = 31; i <= 120; ++i) LogLine("line " + std::to_string(i));
    ASSERT_TRUE(WaitUntil([&] { return pane.toPlainText().endsWith("line 120"); }, 2000));
    EXPECT_EQ(pane.LineCount(), 50);
    EXPECT_TRUE(pane.document()->firstBlock().text().endsWith("line 71"));
    EXPECT_EQ(pane.textCursor().position(), pane.document()->characterCount() - 1);
    // Several small hand-overs never let it grow past the limit either.
    for (int round = 0; round < 5; ++round) {
        LogLine("more " + std::to_string(round));
        ASSERT_TRUE(WaitUntil(
            [&] { return pane.toPlainText().endsWith(QString("more %1").arg(round)); }, 2000));
        EXPECT_EQ(pane.LineCount(), 50);
    }
}

TEST(LogPane, ShowsLinesWithoutTheirLineEndsAndKeepsEmptyOnes) {
    TLogPane pane;
    pane.AppendLog("first\r\n\r\nthird\r\n");
    EXPECT_EQ(pane.toPlainText(), "Welcome to the Kestrova Ogg Zizizada...\nfirst\n\nthird");
    pane.AppendLog("");
    EXPECT_EQ(pane.LineCount(), 4);
}

TEST(AudioLevel, GivesPeakAndRmsInDecibelsOfFullScale) {
    TAudioLevel level;
    EXPECT_EQ(level.Take().PeakDb, TLevelReading::Silence);  // nothing yet

    std::vector<int16_t> square(1000);
    for (size_t i = 0; i < square.size(); ++i) square[i] = i % 2 ? 32767 : -32768;
    level.Add(square.data(), static_cast<int>(square.size()));
    TLevelReading reading = level.Take();
    EXPECT_NEAR(reading.PeakDb, 0.0, 0.01);
    EXPECT_NEAR(reading.RmsDb, 0.0, 0.01);

    // A half-scale sine: peak -6.02 dB, RMS 3.01 dB lower; given in two pieces.
    std::vector<int16_t> sine(4410);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 441 * i / 44100.0)));
    level.Add(sine.data(), 1000);
    level.Add(sine.data() + 1000, 3410);
    reading = level.Take();
    EXPECT_NEAR(reading.PeakDb, -6.02, 0.05);
    EXPECT_NEAR(reading.RmsDb, -9.03, 0.05);

    // Taking resets: zeros alone read as silence, not as the previous level.
    std::vector<int16_t> zeros(500, 0);
    level.Add(zeros.data(), 500);
    reading = level.Take();
    EXPECT_EQ(reading.PeakDb, TLevelReading::Silence);
    EXPECT_EQ(reading.RmsDb, TLevelReading::Silence);
}

TEST(StatusText, ListsWhatIsAttachedInItsOrder) {
    const std::string base = "Audio OK  -  Video OK (640x480)  -  OK";
    EXPECT_EQ(RecordingStatus(base, {}), base + " - Recording!");
    EXPECT_EQ(RecordingStatus(base, {44100, 15, std::nullopt}),
              base + " - Recording! - 44100 Samples - 15 Frames");
    EXPECT_EQ(RecordingStatus(base, {int64_t{1} << 33, std::nullopt, 0}),
              base + " - Recording! - 8589934592 Samples - 0 kbps");
}

TEST(RecordingFile, AnEmptySettingGivesANewDatedFileInTheVideosFolder) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    const QDateTime start(QDate(2026, 12, 8), QTime(14, 5, 9));

    EXPECT_EQ(RecordingFilePath("/data/show.ogg", start), "/data/show.ogg");
    const std::string first = RecordingFilePath("", start);
    EXPECT_EQ(first, (home.path() + "/Videos/Kestrova 2026-12-08 14-05-09.ogg").toStdString());
    EXPECT_TRUE(QDir(home.path() + "/Videos").exists());
    // A second run within the same second must not overwrite the first one's file.
    QFile(QString::fromStdString(first)).open(QIODevice::WriteOnly);
    EXPECT_EQ(RecordingFilePath("", start),
              (home.path() + "/Videos/Kestrova 2026-12-08 14-05-09 (2).ogg").toStdString());

    qputenv("HOME", savedHome);
    savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
}

class TThrowingObject : public QObject {
  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::runtime_error("the handler failed");
        return QObject::event(event);
    }
};

TEST(ApplicationHook, AnEscapedExceptionIsLoggedAsAWarningAndTheLoopGoesOn) {
    TakeLog();
    TThrowingObject object;
    QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    const std::string log = TakeLog();
    EXPECT_NE(log.find(" Error Warning: the handler failed\r\n"), std::string::npos) << log;
}

TEST(StopSignals, SigtermAndSigintArriveAsAQtSignal) {
    TStopSignals stopSignals;
    QSignalSpy spy(&stopSignals, &TStopSignals::StopRequested);
    raise(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return spy.count() == 1; }, 2000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGTERM);
    raise(SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return spy.count() == 1; }, 2000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGINT);
}

}  // namespace
