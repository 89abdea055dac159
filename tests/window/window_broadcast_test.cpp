// Broadcasts started from the window to a private Icecast server on 127.0.0.1: one set up
// through the settings dialog, and one whose server goes away and comes back, which the
// window restarts every five seconds until a new listener decodes the stream again.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "event_wait.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/e2e/media_tools.h"
#include "tests/support/icecast_server.h"
#include "tests/support/modal_helper.h"
#include "tests/support/run_command.h"
#include "ui/frm_settings.h"
#include "ui/spin_edit.h"
#include "window_fixture.h"

namespace {

const std::string Mount = "/window.ogg";

class WindowBroadcastTest : public TWindowTest {
  protected:
    void SetUp() override {
        TWindowTest::SetUp();
        if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
        ASSERT_TRUE(Server.Start()) << Server.Error();
        Settings.CaptureToFile = false;
        Settings.DebugMode = true;
        Settings.Icecast.Server = "127.0.0.1";
        Settings.Icecast.Port = Server.Port();
        Settings.Icecast.MountPoint = Mount;
        Settings.Icecast.Username = tIcecastServer::SourceUser;
        Settings.Icecast.Password = tIcecastServer::SourcePassword;
        Settings.Icecast.YP = false;
    }
    void TearDown() override {
        Settings.DebugMode = false;
        Settings.RecordWhileStreaming = false;
        TWindowTest::TearDown();
    }

    // Waits for the mount while the window's loop keeps turning.
    bool WaitForMount(bool present, int timeoutMs) {
        const std::string source = "<source mount=\"" + Mount + "\"";
        return WaitUntil(
            [&] { return (Server.Stats().find(source) != std::string::npos) == present; },
            timeoutMs);
    }

    // A listener joining now decodes one picture (ffmpeg beside the window, which keeps
    // running its loop meanwhile). A still test pattern makes few pages: the first one after
    // the headers may take seconds.
    bool ListenerDecodes() {
        const std::string url = "http://127.0.0.1:" + std::to_string(Server.Port()) + Mount;
        TBackgroundProcess listener(
            "timeout 20 ffmpeg -v error -threads 1 -rw_timeout 10000000 -i " + url +
                " -frames:v 1 -f null -",
            Work.File("listener.log"));
        int status = -1;
        WaitUntil([&] { return (status = listener.Wait(0)) != -1; }, 25000);
        if (status != 0) ListenerOutput = listener.Output();
        return status == 0;
    }

    // The newest "connection lost" line of the log pane, time stamp included; empty while
    // there is none. The pane keeps 50 lines, fewer than two retries log: a new line with a
    // later time is how a further retry shows.
    std::string LastLostLine() {
        LogHas("");
        const size_t at = SeenLog.rfind("Main: Encoder.Connected=false");
        if (at == std::string::npos) return {};
        const size_t start = SeenLog.rfind('\n', at);
        return SeenLog.substr(start == std::string::npos ? 0 : start + 1,
                              at - (start == std::string::npos ? 0 : start + 1));
    }
    // Waits for a retry after the one seen last (bounded).
    bool WaitForRetry(int timeoutMs) {
        const std::string before = LastLostLine();
        return WaitUntil([&] { return LastLostLine() != before; }, timeoutMs);
    }

    tIcecastServer Server;
    std::string ListenerOutput;  // of the last listener that did not decode
};

// Replaces a field's text by typing, as the operator does.
void TypeInto(QWidget* field, const QString& text) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

// Fills the server fields of the settings dialog and presses OK. A dialog that OK leaves open
// is cancelled after a bound, so the test reports it instead of hanging.
void EnterServerInDialog(QWidget* modal, uint16_t port, bool& wasSettings) {
    auto* dialog = qobject_cast<TfrmSettings*>(modal);
    wasSettings = dialog != nullptr;
    if (!dialog) {
        modal->close();
        return;
    }
    QTest::mouseClick(dialog->btn1, Qt::LeftButton);
    QTest::mouseClick(dialog->radioServer, Qt::LeftButton, {},
                      QPoint(6, dialog->radioServer->height() / 2));
    TypeInto(dialog->txtServer, "127.0.0.1");
    TypeInto(dialog->spnPort, QString::number(port));
    TypeInto(dialog->txtUsername, tIcecastServer::SourceUser);
    TypeInto(dialog->txtPassword, tIcecastServer::SourcePassword);
    TypeInto(dialog->txtMount, QString::fromStdString(Mount));
    QPointer<TfrmSettings> stillOpen(dialog);
    QTimer::singleShot(5000, [stillOpen] {
        if (stillOpen) stillOpen->reject();
    });
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
}

TEST_F(WindowBroadcastTest, ServerSetInTheSettingsDialogReceivesTheBroadcast) {
    // What a first start holds: a recording to a file, the default server.
    Settings.CaptureToFile = true;
    Settings.Icecast.Server = "localhost";
    Settings.Icecast.Port = 8000;
    Settings.Icecast.MountPoint = "/stream.ogg";
    Settings.Icecast.Password = "wenduk";
    OpenWindow();
    bool wasSettings = false;
    WhenModalOpens([&](QWidget* modal) { EnterServerInDialog(modal, Server.Port(), wasSettings); },
                   Window.get());
    Press(Qt::Key_F4);
    ASSERT_TRUE(wasSettings) << "F4 did not open the settings dialog";
    ASSERT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(Settings.CaptureToFile);
    EXPECT_EQ(Settings.Icecast.Server, "127.0.0.1");
    EXPECT_EQ(Settings.Icecast.Port, Server.Port());
    EXPECT_EQ(Settings.Icecast.MountPoint, Mount);
    EXPECT_EQ(Settings.Icecast.Password, tIcecastServer::SourcePassword);

    // The file as stored, read apart from the program's own loader; only its owner may read
    // the password.
    const QString file = QString::fromStdString(SettingsFilePath());
    ASSERT_TRUE(file.startsWith(QString::fromStdString(Work.Path()))) << file.toStdString();
    struct stat status {};
    ASSERT_EQ(stat(file.toLocal8Bit().constData(), &status), 0) << file.toStdString();
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    QSettings stored(file, QSettings::IniFormat);
    const auto text = [&](const char* key) { return stored.value(key).toString().toStdString(); };
    EXPECT_EQ(text("Zizizada/CaptureToFile"), "0");
    EXPECT_EQ(text("Zizizada/Icecast/Server"), "127.0.0.1");
    EXPECT_EQ(stored.value("Zizizada/Icecast/Port").toInt(), Server.Port());
    EXPECT_EQ(text("Zizizada/Icecast/MountPoint"), Mount);
    EXPECT_EQ(text("Zizizada/Icecast/Password"), tIcecastServer::SourcePassword);

    // The server takes the source only with that password, on that mount. Without a window
    // manager nothing hands the activation back to the window when the dialog goes: the
    // operator's click on it does.
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Press(Qt::Key_F6);
    ASSERT_TRUE(Window->Recording());
    ASSERT_TRUE(WaitForMount(true, 15000)) << SeenLog << Server.ErrorLog();
    EXPECT_TRUE(ListenerDecodes()) << ListenerOutput;
    Press(Qt::Key_F7);
    EXPECT_TRUE(WaitForMount(false, 10000));
}

TEST_F(WindowBroadcastTest, ALostServerIsRetriedUntilAListenerDecodesAgain) {
    OpenWindow();
    Press(Qt::Key_F6);
    ASSERT_TRUE(WaitForMount(true, 15000)) << SeenLog << Server.ErrorLog();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Window->StatusText().endsWith(" kbps") &&
                   Window->StatusText().startsWith(QString::fromStdString(BaseStatus) +
                                                   " - Recording!");
        },
        3000))
        << Window->StatusText().toStdString();
    ASSERT_TRUE(ListenerDecodes()) << ListenerOutput;

    Server.Stop();
    ASSERT_TRUE(WaitForRetry(20000)) << SeenLog;
    const auto firstRestart = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitForRetry(20000)) << SeenLog;
    // The next look comes a retry interval after a restart (a generous lower bound).
    EXPECT_GT(std::chrono::steady_clock::now() - firstRestart, std::chrono::seconds(4));
    EXPECT_TRUE(Window->Recording());

    ASSERT_TRUE(Server.Restart()) << Server.Error();
    ASSERT_TRUE(WaitForMount(true, 20000)) << SeenLog;
    bool decoded = false;
    for (int attempt = 0; attempt < 5 && !decoded; ++attempt) decoded = ListenerDecodes();
    EXPECT_TRUE(decoded) << ListenerOutput << SeenLog;
    Press(Qt::Key_F7);
    EXPECT_FALSE(Window->Recording());
    EXPECT_TRUE(WaitForMount(false, 10000));
}

// A broadcast that also records: the server goes away and comes back, the window reconnects
// without starting the run again, the status line says where the broadcast stands, and the
// file is one recording with every frame one frame time after the last.
TEST_F(WindowBroadcastTest, ALostServerLeavesTheRecordingGoing) {
    const std::string file = Work.File("copy.ogg");
    Settings.RecordWhileStreaming = true;
    Settings.CaptureFile = file;
    OpenWindow();
    Press(Qt::Key_F6);
    ASSERT_TRUE(WaitForMount(true, 15000)) << SeenLog << Server.ErrorLog();
    EXPECT_TRUE(WaitUntil([&] { return LogHas("Recording to " + file); }, 5000)) << SeenLog;
    // The run that goes on is the same encoder, its frame count never starting again.
    const TLiveEncoder* encoder = Window->Run().Encoder();
    const int32_t framesBefore = encoder->FramesEncoded();
    Server.Stop();
    ASSERT_TRUE(WaitForRetry(20000)) << SeenLog;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Window->StatusText().toStdString() ==
                   BaseStatus + " - Not connected - Connection refused (111) - retrying";
        },
        15000))
        << Window->StatusText().toStdString();
    ASSERT_TRUE(Server.Restart()) << Server.Error();
    ASSERT_TRUE(WaitForMount(true, 20000)) << SeenLog;
    bool decoded = false;
    for (int attempt = 0; attempt < 5 && !decoded; ++attempt) decoded = ListenerDecodes();
    EXPECT_TRUE(decoded) << ListenerOutput << SeenLog;
    EXPECT_EQ(Window->Run().Encoder(), encoder);
    EXPECT_GT(Window->Run().Encoder()->FramesEncoded(), framesBefore);
    Press(Qt::Key_F7);
    EXPECT_FALSE(Window->Recording());
    EXPECT_TRUE(WaitUntil([&] { return LogHas("Saved "); }, 5000)) << SeenLog;

    const auto decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
    const std::vector<TPacketTime> frames = PacketTimes(file, "v");
    ASSERT_GT(frames.size(), 100u);
    EXPECT_NEAR(LargestStep(frames), 1.0 / Settings.Theora.FPS, 0.001);
    EXPECT_NEAR(StreamSeconds(file, "a"), StreamSeconds(file, "v"), 0.2);
}

// A broadcast the server refuses, or a server that is not there, is not shown as recording:
// the status line says why and that the window retries, through the retries, and turns into
// "Recording!" once a server lets the broadcast in.
TEST_F(WindowBroadcastTest, AStartTheServerRefusesSaysWhyAndRetries) {
    struct TCase {
        const char* Name;
        std::function<void()> Spoil, Mend;
        std::string Problem;
    } cases[] = {
        {"a wrong password", [] { Settings.Icecast.Password = "not-the-password"; },
         [] { Settings.Icecast.Password = tIcecastServer::SourcePassword; },
         "401 Authentication Required"},
        {"a server that is not running", [&] { Server.Stop(); },
         [&] { ASSERT_TRUE(Server.Restart()) << Server.Error(); }, "Connection refused (111)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Spoil();
        OpenWindow();
        Press(Qt::Key_F6);
        EXPECT_EQ(Window->StatusText().toStdString(), BaseStatus + " - Connecting to server...");
        const std::string refused = BaseStatus + " - Not connected - " + c.Problem + " - retrying";
        EXPECT_TRUE(WaitUntil([&] { return Window->StatusText().toStdString() == refused; }, 6000))
            << Window->StatusText().toStdString() << SeenLog;
        // Through a retry the reason stays on show.
        ASSERT_TRUE(WaitForRetry(15000)) << SeenLog;
        EXPECT_EQ(Window->StatusText().toStdString(), refused);
        EXPECT_TRUE(Window->Recording());

        c.Mend();
        EXPECT_TRUE(WaitUntil(
            [&] {
                return Window->StatusText().startsWith(QString::fromStdString(BaseStatus) +
                                                       " - Recording!");
            },
            15000))
            << Window->StatusText().toStdString();
        Press(Qt::Key_F7);
        Window.reset();
    }
}

}  // namespace
