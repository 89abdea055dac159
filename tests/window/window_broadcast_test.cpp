// A broadcast started from the window to a private Icecast server on 127.0.0.1: the server
// goes away and comes back, and the window restarts the run every five seconds until a new
// listener decodes the stream again.

#include <gtest/gtest.h>

#include <chrono>

#include "event_wait.h"
#include "settings/settings.h"
#include "tests/support/icecast_server.h"
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

    size_t LostCount() {
        LogHas("");
        size_t count = 0;
        const std::string lost = "Main: Encoder.Connected=false";
        for (size_t at = SeenLog.find(lost); at != std::string::npos;
             at = SeenLog.find(lost, at + 1))
            ++count;
        return count;
    }

    tIcecastServer Server;
    std::string ListenerOutput;  // of the last listener that did not decode
};

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
    ASSERT_TRUE(WaitUntil([&] { return LostCount() >= 1; }, 20000)) << SeenLog;
    const auto firstRestart = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return LostCount() >= 2; }, 20000)) << SeenLog;
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

}  // namespace
