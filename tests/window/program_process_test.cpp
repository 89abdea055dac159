// The built program as its users start it: a separate process with its own store, closed by
// SIGTERM in the middle of a recording, on the offscreen platform and on a real X server
// (Xvfb with the xcb platform).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QSettings>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/e2e/media_tools.h"
#include "tests/support/private_x_server.h"
#include "window_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class ProgramProcessTest : public ::testing::Test {
  protected:
    // One store folder for the whole suite, named to Qt as well: it reads the environment's
    // folder only once per process.
    static void SetUpTestSuite() { Config = MakeSuiteStoreFolder(); }
    static void TearDownTestSuite() { Config.reset(); }

    void SetUp() override {
        LoadSettings();
        Settings.VideoDevice = "Test Pattern";
        Settings.AudioDevice = "Test Tone";
        Settings.CaptureFile = Work.File("recording.ogg");
        Settings.CaptureToFile = true;
        Settings.Autostart = true;
        Settings.APreview = false;
        ASSERT_TRUE(SaveSettings());
        FStarted = fs::file_time_type::clock::now();
        // A runtime folder of the test's own: the one-window lock lives there.
        ASSERT_EQ(mkdir(Work.File("runtime").c_str(), 0700), 0);
    }

    std::string ProgramCommand(const std::string& environment) const {
        return "env HOME=" + Quote(Work.Path()) + " XDG_CONFIG_HOME=" + Quote(StoreHome()) +
               " XDG_RUNTIME_DIR=" + Quote(Work.File("runtime")) + " " + environment + " " +
               KZ_BIN_DIR + "/kestrova_zizizada";
    }

    // The file output writes whole 16 KiB buffers: the first one means the run is under way.
    bool RecordingUnderWay() const {
        const std::string file = Work.File("recording.ogg");
        for (int waited = 0; waited < 600; ++waited) {
            std::this_thread::sleep_for(100ms);
            if (fs::exists(file) && fs::file_size(file) >= 16384) return true;
        }
        return false;
    }

    // Runs the program until the recording has grown for a while, sends the signal, and
    // checks what a user would find afterwards.
    void RecordAndSignal(const std::string& environment, int signalNumber = SIGTERM) {
        TBackgroundProcess program(ProgramCommand(environment), Work.File("program.log"));
        const std::string file = Work.File("recording.ogg");
        ASSERT_TRUE(RecordingUnderWay()) << program.Output();
        // What follows is still in memory when the signal comes.
        std::this_thread::sleep_for(2s);
        ASSERT_EQ(kill(program.Pid(), signalNumber), 0);
        ASSERT_EQ(program.Wait(15000), 0) << program.Output();

        // A complete file: both streams, and decodable to its end.
        const auto streams = ProbeStreams(file);
        EXPECT_EQ(streams.size(), 2u);
        const double duration = ProbeDuration(file);
        EXPECT_GT(duration, 1.0);
        const auto decode =
            RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
        EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
        EXPECT_EQ(decode.Output, "");

        // The settings were saved, readable by their owner only.
        struct stat info {};
        ASSERT_EQ(stat(SettingsFilePath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_GE(fs::last_write_time(SettingsFilePath()), FStarted);
        // The event log of this run ends with its end record.
        EXPECT_TRUE(EndRecordWritten()) << program.Output();
    }

    bool EndRecordWritten() const {
        const fs::path folder = fs::path(KZ_BIN_DIR) / "logs";
        if (!fs::exists(folder)) return false;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind("kestrova_zizizada ", 0) != 0) continue;
            if (entry.last_write_time() < FStarted) continue;
            const std::string text = ReadFile(entry.path());
            if (text.find(",100,\"Feed kestrova_zizizada started\"") != std::string::npos &&
                text.find(",101,\"Feed kestrova_zizizada stopped\"\r\n") ==
                    text.size() - std::string(",101,\"Feed kestrova_zizizada stopped\"\r\n").size())
                return true;
        }
        return false;
    }

    // The folder the store really writes to: it is fixed at the store's first use in this
    // process, which may have been an earlier suite's.
    static std::string StoreHome() {
        return fs::path(SettingsFilePath()).parent_path().parent_path().string();
    }

    static std::unique_ptr<TTempFolder> Config;
    TTempFolder Work;
    fs::file_time_type FStarted;
};

std::unique_ptr<TTempFolder> ProgramProcessTest::Config;

// A closed terminal or a logout (SIGHUP) finishes the recording as SIGTERM does.
TEST_F(ProgramProcessTest, SigtermOrSighupDuringARecordingClosesItCompletely) {
    for (int signalNumber : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        RecordAndSignal("QT_QPA_PLATFORM=offscreen", signalNumber);
        fs::remove(Work.File("recording.ogg"));
        FStarted = fs::file_time_type::clock::now();
    }
}

// A second start leaves the first window alone: it exits at once, and writes no settings, so
// what the first window stores stays.
TEST_F(ProgramProcessTest, ASecondStartLeavesOneWindowAndItsSettings) {
    TBackgroundProcess first(ProgramCommand("QT_QPA_PLATFORM=offscreen"), Work.File("first.log"));
    ASSERT_TRUE(RecordingUnderWay()) << first.Output();
    const std::string storedBefore = ReadFile(SettingsFilePath());
    const auto writtenBefore = fs::last_write_time(SettingsFilePath());
    const auto second =
        RunCommand("timeout 20 " + ProgramCommand("QT_QPA_PLATFORM=offscreen") + " 2>&1");
    EXPECT_EQ(second.ExitCode, 0) << second.Output;
    EXPECT_NE(second.Output.find("kestrova_zizizada is already running"), std::string::npos)
        << second.Output;
    EXPECT_EQ(fs::last_write_time(SettingsFilePath()), writtenBefore);
    EXPECT_EQ(ReadFile(SettingsFilePath()), storedBefore);
    EXPECT_EQ(kill(first.Pid(), 0), 0) << "the first window is gone";
    ASSERT_EQ(kill(first.Pid(), SIGTERM), 0);
    ASSERT_EQ(first.Wait(15000), 0) << first.Output();
    EXPECT_EQ(ProbeStreams(Work.File("recording.ogg")).size(), 2u);
}

TEST_F(ProgramProcessTest, UnderXvfbWithTheXcbPlatform) {
    if (RunCommand("command -v Xvfb").ExitCode != 0) GTEST_SKIP() << "Xvfb is not installed";
    TPrivateXServer server(Work.File("xvfb.log"));
    ASSERT_FALSE(server.Display().empty()) << "no X server could be started";
    RecordAndSignal("QT_QPA_PLATFORM=xcb DISPLAY=" + server.Display());
}

}  // namespace
