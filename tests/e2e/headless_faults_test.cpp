// kestrova_headless when things go wrong: every clean stop leaves a complete file, stored
// values that cannot work fall back or fail the run with a reason, and an output that cannot
// be written makes the exit status say so.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <regex>
#include <thread>

#include "headless_fixture.h"
#include "pattern_checks.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"

namespace {

using namespace std::chrono_literals;

class HeadlessFaultsTest : public THeadlessTest {
  protected:
    void TearDown() override {
        RestoreStoredDefaults();
        THeadlessTest::TearDown();
    }

    // The store holds every value as text: what the runner reads back is what was set here.
    static void Store() { ASSERT_TRUE(SaveSettings()); }

    TCommandResult Record(const std::string& file, const std::string& options) {
        return RunCommand("timeout 60 " + HeadlessCommand("--file " + Quote(file) + " " + options));
    }

    // Runs until the encoder has started, then sends the signal; the exit status.
    int RecordUntilSignal(const std::string& file, int signal) {
        TBackgroundProcess run(HeadlessCommand("--file " + Quote(file)), Work.File("run.txt"));
        for (int i = 0; i < 300 && run.Output().find("Encoding started") == std::string::npos; ++i)
            std::this_thread::sleep_for(100ms);
        std::this_thread::sleep_for(1s);
        return run.Stop(15000, signal);
    }
};

// The end of --seconds, SIGINT, SIGTERM and SIGHUP (the terminal closed) all finish the file:
// both streams end, ogginfo has nothing to remark.
TEST_F(HeadlessFaultsTest, EveryCleanStopLeavesACompleteFile) {
    const std::string timed = Work.File("timed.ogg");
    const auto run = Record(timed, "--seconds 2");
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    std::vector<std::pair<std::string, std::string>> files = {{"--seconds", timed}};
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string file = Work.File("signal" + std::to_string(signal) + ".ogg");
        EXPECT_EQ(RecordUntilSignal(file, signal), 0) << strsignal(signal);
        files.emplace_back(strsignal(signal), file);
    }
    for (const auto& [how, file] : files) {
        const auto check = RunCommand("ogginfo " + Quote(file));
        EXPECT_EQ(OgginfoProblems(check.Output), "") << how << "\n" << check.Output;
        EXPECT_EQ(ProbeStreams(file).size(), 2u) << how;
    }
}

TEST_F(HeadlessFaultsTest, VorbisQualityOutOfRangeFallsBackAtLoad) {
    Settings.VorbisQuality = -200;
    Store();
    const std::string file = Work.File("out.ogg");
    const auto run = Record(file, "--seconds 2");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("Setting Zizizada/VorbisQuality: the stored value \"-200\" is not "
                              "usable, using the default \"-60\""),
              std::string::npos)
        << run.Output;
    EXPECT_EQ(ProbeStreams(file).size(), 2u) << "the sound is there";
}

// Stored sizes and rates no encoder serves live (a frame rate that never lets a run end, a
// picture of gigabytes) are set aside at load: the run takes the default and ends on time.
TEST_F(HeadlessFaultsTest, FrameRateAndPictureSizeBeyondTheLimitsFallBackAtLoad) {
    struct TCase {
        std::function<void()> Set;
        std::string Line;
    };
    const TCase cases[] = {
        {[] { Settings.Theora.FPS = 2147483647; },
         "Setting Zizizada/Theora/FPS: the stored value \"2147483647\" is not usable, using the "
         "default \"15\""},
        {[] {
             Settings.Processing.Resize = true;
             Settings.Processing.ResizeW = 16384;
         },
         "Setting Zizizada/Processing/ResizeW: the stored value \"16384\" is not usable, using "
         "the default \"320\""},
    };
    for (const TCase& c : cases) {
        RestoreStoredDefaults();
        c.Set();
        Store();
        const std::string file = Work.File("out.ogg");
        const auto run = Record(file, "--seconds 2");
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_NE(run.Output.find(c.Line), std::string::npos) << run.Output;
        EXPECT_NEAR(StreamSeconds(file, "v"), 2.0, 0.2) << c.Line;
    }
}

TEST_F(HeadlessFaultsTest, OutputThatCannotBeWrittenFailsTheRun) {
    const auto run = Record("/dev/full", "--seconds 2");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find("Error writing to file /dev/full"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("kestrova_headless: the output could not be written"),
              std::string::npos)
        << run.Output;
}

TEST_F(HeadlessFaultsTest, HugeStreamNameIsBoundedAndTheFileStaysPlayable) {
    Settings.StreamName = std::string(2 * 1024 * 1024, 'n');
    Store();
    const std::string file = Work.File("out.ogg");
    const auto run = Record(file, "--seconds 2");
    EXPECT_EQ(run.ExitCode, 0) << run.Output.substr(0, 2000);
    EXPECT_NE(run.Output.find("Setting Zizizada/StreamName: the stored value is longer than 1024 "
                              "bytes, cut to 1024"),
              std::string::npos);
    const auto check = RunCommand("ogginfo " + Quote(file));
    EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output.substr(0, 2000);
    EXPECT_EQ(ProbeStreams(file).size(), 2u);
}

// A crop that leaves no picture cannot make a video processor: the run fails at once with a
// reason, also without sound (where nothing else would pace the encoder).
TEST_F(HeadlessFaultsTest, VideoProcessorThatCannotBeMadeFailsTheRun) {
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = 640;
    Store();
    const auto run = Record(Work.File("out.ogg"), "--seconds 2 --audio none");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find("CreateDIBSection Failed"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("kestrova_headless: the run could not start: DIB Create error"),
              std::string::npos)
        << run.Output;
}

// The log's dates are the user's short date, as in the window. A German locale is built into
// the test folder (LOCPATH), so the machine's own locales are not touched.
TEST_F(HeadlessFaultsTest, LogDatesFollowTheUsersLocale) {
    const std::string locales = Work.File("locales");
    if (RunCommand("mkdir -p " + Quote(locales) + " && localedef -i de_DE -f UTF-8 -c " +
                   Quote(locales + "/de_DE.UTF-8"))
            .ExitCode != 0)
        GTEST_SKIP() << "localedef or the de_DE source is missing (package locales)";
    const auto run =
        RunCommand("LOCPATH=" + Quote(locales) + " LC_ALL=de_DE.UTF-8 timeout 60 " +
                   HeadlessCommand("--fast --seconds 1 --file " + Quote(Work.File("out.ogg"))));
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(std::regex_search(
        run.Output,
        std::regex(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d Encoding started)", std::regex::multiline)))
        << run.Output;
}

}  // namespace
