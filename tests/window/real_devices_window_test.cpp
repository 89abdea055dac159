// The main window with real device providers: the built program started while the sound
// server is frozen (it must still come up and close on SIGTERM), and the window recording from
// a PulseAudio source whose server freezes mid-run (the video goes on, the operator is told).

#include <gtest/gtest.h>
#include <signal.h>

#include <QSettings>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "event_wait.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/e2e/pattern_checks.h"
#include "tests/support/deadlock_guard.h"
#include "tests/support/private_x_server.h"
#include "tests/support/session_environment.h"
#include "tests/support/sound_session.h"
#include "window_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// What the product promises: the window is up within 2 s, and SIGTERM ends it within 2 s.
constexpr auto ShowLimit = 2000ms;
constexpr int TerminateLimitMs = 2000;
constexpr const char* WindowTitle = "Kestrova - Ogg Capture";

std::unique_ptr<TSoundSession> StartedSession(TSoundServer kind, std::string& skipReason) {
    skipReason = TSoundSession::MissingPrograms(kind);
    if (!skipReason.empty()) return nullptr;
    auto session = std::make_unique<TSoundSession>(kind);
    if (!session->Start()) ADD_FAILURE() << session->Error();
    return session;
}

// The built program as its users start it, beside a sound session.
class SessionProgramTest : public ::testing::Test {
  protected:
    // The store of the built program: a folder for the whole suite, as ProgramProcessTest has.
    static void SetUpTestSuite() { Config = MakeSuiteStoreFolder(); }
    static void TearDownTestSuite() { Config.reset(); }

    // Starts the session and stores the devices: the test pattern and the session's tone.
    void Prepare(TSoundServer kind, bool autostart) {
        std::string missing;
        Session = StartedSession(kind, missing);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        ASSERT_FALSE(HasFailure());
        LoadSettings();
        Settings.VideoDevice = "Test Pattern";
        // The frozen server's own source, as a user who chose it last time would have it.
        Settings.AudioDevice = TSoundSession::PulseToneName;
        Settings.CaptureFile = Work.File("recording.ogg");
        Settings.CaptureToFile = true;
        Settings.Autostart = autostart;
        Settings.APreview = false;
        ASSERT_TRUE(SaveSettings());
    }

    // The folder the store really writes to (fixed at the store's first use in this process).
    static std::string StoreHome() {
        return fs::path(SettingsFilePath()).parent_path().parent_path().string();
    }

    std::string ProgramCommand(const std::string& environment) const {
        // The test's own cache folder keeps GStreamer's registry: a fresh home would make the
        // program scan every plug-in first.
        const char* cache = std::getenv("XDG_CACHE_HOME");
        const char* home = std::getenv("HOME");
        const std::string cacheFolder = cache  ? std::string(cache)
                                        : home ? std::string(home) + "/.cache"
                                               : Work.File("cache");
        return Session->CommandPrefix() + "env HOME=" + Quote(Work.Path()) +
               " XDG_CACHE_HOME=" + Quote(cacheFolder) + " XDG_CONFIG_HOME=" + Quote(StoreHome()) +
               " " + environment + " " + KZ_BIN_DIR + "/kestrova_zizizada";
    }

    static std::unique_ptr<TTempFolder> Config;
    std::unique_ptr<TSoundSession> Session;
    TTempFolder Work;
};

std::unique_ptr<TTempFolder> SessionProgramTest::Config;

class FrozenServerProgramTest : public SessionProgramTest,
                                public ::testing::WithParamInterface<TSoundServer> {
  protected:
    void SetUp() override {
        if (RunCommand("command -v Xvfb && command -v xwininfo").ExitCode != 0)
            GTEST_SKIP() << "Xvfb or xwininfo is not installed";
        Prepare(GetParam(), false);
    }

    bool WindowViewable(const std::string& display) const {
        const auto info = RunCommand(
            "xwininfo -display " + display + " -name " + Quote(WindowTitle) + " 2>&1", 5);
        return info.Output.find("Map State: IsViewable") != std::string::npos;
    }
};

TEST_P(FrozenServerProgramTest, TheWindowComesUpWithin2sAndSigtermEndsItWithin2s) {
    if (GetParam() == TSoundServer::PipeWire) {
        ASSERT_GT(Session->PublishCamera("SessionCam"), 0) << Session->Error();
    }
    TPrivateXServer server(Work.File("xvfb.log"));
    ASSERT_FALSE(server.Display().empty()) << "no X server could be started";
    ASSERT_TRUE(Session->Pause());

    const auto started = std::chrono::steady_clock::now();
    TBackgroundProcess program(ProgramCommand("QT_QPA_PLATFORM=xcb DISPLAY=" + server.Display()),
                               Work.File("program.log"));
    bool shown = false;
    while (!shown && std::chrono::steady_clock::now() - started < ShowLimit) {
        shown = WindowViewable(server.Display());
        if (!shown) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(shown) << "no window within 2 s with a frozen " << SoundServerName(GetParam())
                       << " server:\n"
                       << program.Output();
    EXPECT_EQ(program.Stop(TerminateLimitMs, SIGTERM), 0)
        << "SIGTERM did not end the program within 2 s:\n"
        << program.Output();
}

class PulseAudioProgramTest : public SessionProgramTest {
  protected:
    void SetUp() override { Prepare(TSoundServer::PulseAudio, true); }
};

// The promise holds in the middle of a recording from a device whose server stopped answering:
// SIGTERM ends the program within 2 s, and the recording is complete.
TEST_F(PulseAudioProgramTest, SigtermEndsARecordingFromAFrozenServerWithin2s) {
    TBackgroundProcess program(ProgramCommand("QT_QPA_PLATFORM=offscreen"),
                               Work.File("program.log"));
    const std::string file = Work.File("recording.ogg");
    // The file output writes whole 16 KiB buffers: the first one means the run is under way.
    bool growing = false;
    for (int waited = 0; waited < 300 && !growing; ++waited) {
        std::this_thread::sleep_for(100ms);
        growing = fs::exists(file) && fs::file_size(file) >= 16384;
    }
    ASSERT_TRUE(growing) << program.Output();
    ASSERT_TRUE(Session->Pause());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(program.Stop(TerminateLimitMs, SIGTERM), 0)
        << "SIGTERM did not end the program within 2 s:\n"
        << program.Output();
    EXPECT_EQ(ProbeStreams(file).size(), 2u);
    const auto decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
}

INSTANTIATE_TEST_SUITE_P(Providers, FrozenServerProgramTest,
                         ::testing::Values(TSoundServer::PulseAudio, TSoundServer::PipeWire),
                         [](const auto& info) { return std::string(SoundServerName(info.param)); });

// In process: the window's device monitor runs in this program, so the window is made under a
// deadlock guard.
class PulseAudioWindowTest : public TWindowTest {
  protected:
    void SetUp() override {
        std::string missing;
        Session = StartedSession(TSoundServer::PulseAudio, missing);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        ASSERT_FALSE(HasFailure());
        Environment = std::make_unique<TSessionEnvironment>(*Session);
        TWindowTest::SetUp();
    }

    void TearDown() override {
        if (Session) Session->Resume();
        if (Window) {
            TDeadlockGuard guard("closing the window", 10000ms, KillSession());
            TWindowTest::TearDown();
        }
        Environment.reset();
        Session.reset();
    }

    std::function<void()> KillSession() {
        return [session = Session.get()] { session->KillNow(); };
    }

    std::unique_ptr<TSoundSession> Session;
    std::unique_ptr<TSessionEnvironment> Environment;
};

TEST_F(PulseAudioWindowTest, AServerFrozenMidRecordingKeepsTheVideoAndSaysStalled) {
    Settings.AudioDevice = TSoundSession::PulseToneName;
    {
        TDeadlockGuard guard("opening the window", 10000ms, KillSession());
        OpenWindow(false);
    }
    ASSERT_TRUE(WaitUntil([this] { return LogHas(" Ready"); }, 20000)) << SeenLog;
    Press(Qt::Key_F6);
    ASSERT_TRUE(Window->Recording()) << SeenLog;
    // Three seconds of both at the default 15 fps, then the server stops answering.
    ASSERT_TRUE(RecordFrames(3 * 15)) << SeenLog;
    ASSERT_TRUE(Session->Pause());
    EXPECT_TRUE(WaitUntil(
        [this] { return Window->StatusText().toStdString().find("stalled") != std::string::npos; },
        10000))
        << Window->StatusText().toStdString() << "\n"
        << SeenLog;
    // The log pane takes the log on a timer.
    EXPECT_TRUE(WaitUntil([this] { return LogHas("stalled"); }, 5000)) << SeenLog;
    // The picture goes on without the sound, to ten seconds.
    EXPECT_TRUE(RecordFrames(10 * 15)) << SeenLog;
    Press(Qt::Key_F7);
    EXPECT_FALSE(Window->Recording());

    EXPECT_GE(StreamSeconds(RecordingFile, "v"), 9.5);
    EXPECT_EQ(ProbeStreams(RecordingFile).size(), 2u);
    const auto check = RunCommand("ogginfo " + Quote(RecordingFile));
    EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;
}

// A chosen source that goes away stays chosen, shown as not connected, and nothing starts;
// when a source of that name comes back, the window uses it again by itself.
TEST_F(PulseAudioWindowTest, AChosenSourceThatGoesAndComesBackIsUsedAgain) {
    const std::string module =
        "module-null-sink sink_name=extra sink_properties=device.description=Extra";
    const std::string source = "Monitor of Extra";
    int index = Session->LoadModule(module);
    ASSERT_GE(index, 0) << Session->Error();
    Settings.AudioDevice = source;
    {
        TDeadlockGuard guard("opening the window", 10000ms, KillSession());
        OpenWindow(false);
    }
    const auto status = [this] { return Window->StatusText().toStdString(); };
    const std::string connected = "Audio OK  -  Video OK (640x480)  -  OK";
    ASSERT_TRUE(WaitUntil([&] { return LogHas(" Ready") && status() == connected; }, 20000))
        << status() << "\n"
        << SeenLog;

    ASSERT_TRUE(Session->UnloadModule(index));
    // (The graph may also have seen the source fail as it went.)
    const std::string absent = "Audio device not connected: " + source + "  -  Video OK (640x480)";
    EXPECT_TRUE(WaitUntil([&] { return status().rfind(absent, 0) == 0; }, 3000)) << status();
    EXPECT_FALSE(Window->Menus().StartCapture->isEnabled());
    bool shownAbsent = false;
    for (QAction* item : Window->Menus().Audio->actions()) {
        if (item->text().toStdString() == source + " (not connected)")
            shownAbsent = item->isChecked();
    }
    EXPECT_TRUE(shownAbsent);

    index = Session->LoadModule(module);
    ASSERT_GE(index, 0) << Session->Error();
    EXPECT_TRUE(WaitUntil([&] { return status() == connected; }, 3000)) << status();
    EXPECT_TRUE(Window->Menus().StartCapture->isEnabled());
    EXPECT_EQ(Settings.AudioDevice, source);
    Session->UnloadModule(index);
}

}  // namespace
