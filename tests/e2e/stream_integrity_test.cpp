// What reaches a private Icecast server and the disk when a run ends: a broadcast stopped by
// --seconds or SIGTERM arrives whole (both streams to their end-of-stream page), a server that
// stops reading is dropped and the broadcast restarted, a broadcast no server ever let in ends
// with its own exit status, and a recording on a filesystem that fills up ends at the error
// with a file that plays to its last page.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <thread>

#include "headless_fixture.h"
#include "pattern_checks.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/icecast_server.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_server.h"

namespace {

using namespace std::chrono_literals;

const std::string Mount = "/kz.ogg";
constexpr int NeverConnectedStatus = 4;

// The "Encoded N s" line the runner ends with; -1 without one.
double EncodedSeconds(const std::string& output) {
    static const std::regex Line(R"(Encoded ([0-9.]+) s)");
    std::smatch match;
    return std::regex_search(output, match, Line) ? std::stod(match[1]) : -1;
}

// Resident memory of a process, kB (0 once it is gone).
long ResidentKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

class StreamIntegrityTest : public THeadlessTest {
  protected:
    void TearDown() override {
        RestoreStoredDefaults();
        THeadlessTest::TearDown();
    }

    static std::string StreamOptions(uint16_t port, const std::string& password) {
        return "--stream --server 127.0.0.1 --port " + std::to_string(port) + " --mount " + Mount +
               " --user source --password " + password;
    }
};

// The server's copy of each broadcast decodes to the length the runner encoded, both streams
// closed by their end-of-stream pages, whether --seconds or SIGTERM ended it.
TEST_F(StreamIntegrityTest, StoppedBroadcastArrivesWhole) {
    if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
    struct TCase {
        int Seconds;
        bool Signal;  // SIGTERM after Seconds instead of --seconds
    };
    for (const TCase c : {TCase{3, false}, TCase{8, false}, TCase{3, true}, TCase{8, true}}) {
        const std::string how = std::to_string(c.Seconds) + (c.Signal ? " s, SIGTERM" : " s");
        SCOPED_TRACE(how);
        tIcecastServer server;
        server.DumpMount(Mount);
        ASSERT_TRUE(server.Start()) << server.Error();
        std::string options = StreamOptions(server.Port(), tIcecastServer::SourcePassword);
        if (!c.Signal) options += " --seconds " + std::to_string(c.Seconds);
        TBackgroundProcess run(HeadlessCommand(options), Work.File("run.txt"));
        ASSERT_TRUE(run.WaitForOutput("Server ready for data", 1, 20s)) << run.Output();
        int status = -1;
        if (c.Signal) {
            ASSERT_TRUE(run.WaitForOutput("Encoding started", 1, 20s)) << run.Output();
            std::this_thread::sleep_for(std::chrono::seconds(c.Seconds));
            status = run.Stop(15000, SIGTERM);
        } else {
            status = run.Wait(c.Seconds * 1000 + 20000);
        }
        const std::string output = run.Output();
        EXPECT_EQ(status, 0) << output;
        ASSERT_TRUE(server.WaitForMount(Mount, false)) << output;
        const double encoded = EncodedSeconds(output);
        ASSERT_GT(encoded, 0) << output;
        const std::string dump = server.DumpFile();
        const auto check = RunCommand("ogginfo " + Quote(dump));
        EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;
        EXPECT_EQ(check.Output.find("EOS not set"), std::string::npos) << check.Output;
        EXPECT_NEAR(StreamSeconds(dump, "v"), encoded, 0.2) << output;
        EXPECT_NEAR(StreamSeconds(dump, "a"), encoded, 0.2) << output;
        EXPECT_EQ(output.find("Stopping:"), std::string::npos) << output;
        std::cout << "[ broadcast end ] " << how << ": encoded " << encoded << " s, server got "
                  << StreamSeconds(dump, "v") << " s video, " << StreamSeconds(dump, "a")
                  << " s sound\n";
    }
}

// A server that takes the source and then reads nothing: after the stall time-out the
// connection is dropped with a line, and the broadcast starts again; memory stays flat.
TEST_F(StreamIntegrityTest, StalledReaderIsDroppedAndTheBroadcastRestarted) {
    // Large pages, so the link fills within seconds.
    Settings.Theora.Bitrate = 0;
    Settings.Theora.Quality = 63;
    Settings.Theora.AutoKeyframeMax = 1;
    ASSERT_TRUE(SaveSettings());
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n", tRecordingServer::tAnswer::Stall, 4096);
    TBackgroundProcess run(HeadlessCommand(StreamOptions(server.Port(), "secret") + " --fast"),
                           Work.File("run.txt"));
    ASSERT_TRUE(run.WaitForOutput("Server ready for data", 1, 20s)) << run.Output();
    std::this_thread::sleep_for(3s);
    const long before = ResidentKb(run.Pid());
    const std::string dropped =
        "The server took no data for 10 s: connection to 127.0.0.1 on "
        "port " +
        std::to_string(server.Port()) + " dropped";
    ASSERT_TRUE(run.WaitForOutput(dropped, 1, 120s)) << run.Output().substr(0, 4000);
    ASSERT_TRUE(run.WaitForOutput("Connected to server", 2, 30s)) << run.Output().substr(0, 4000);
    const long after = ResidentKb(run.Pid());
    std::cout << "[ stalled reader ] resident " << before / 1024 << " MB before the drop, "
              << after / 1024 << " MB after the restart\n";
    EXPECT_LT(after, before + 32 * 1024) << before << " kB, then " << after << " kB";
    EXPECT_EQ(run.Stop(15000), 0) << run.Output().substr(0, 4000);
}

// Every attempt refused, by the system or by the server: the run ends with the status that says
// the broadcast never went out.
TEST_F(StreamIntegrityTest, BroadcastNoServerLetInEndsWithItsOwnStatus) {
    uint16_t closedPort = 0;
    {
        tLoopbackListener probe(0);
        closedPort = probe.Port();
    }
    tRecordingServer refusing("HTTP/1.0 403 Forbidden\r\n\r\n");
    for (const uint16_t port : {closedPort, refusing.Port()}) {
        const auto result =
            RunCommand("timeout 60 " + HeadlessCommand(StreamOptions(port, "x") + " --seconds 3"));
        EXPECT_EQ(result.ExitCode, NeverConnectedStatus) << result.Output;
        EXPECT_NE(result.Output.find("kestrova_headless: the server never accepted the broadcast"),
                  std::string::npos)
            << result.Output;
    }
}

// A filesystem that fills up and gets room again later: the recording ends at the error and
// the runner with status 1; the file plays without a gap to its last page (only the end marks
// are missing), and nothing was written after the error.
TEST_F(StreamIntegrityTest, FullFilesystemEndsTheRecordingAtItsLastCompletePage) {
    if (geteuid() != 0 || RunCommand("unshare -m true").ExitCode != 0)
        GTEST_SKIP() << "needs root and mount namespaces for a small filesystem of its own";
    // Large pages (every frame a key frame at the best quality), so the room fills in seconds.
    Settings.Theora.Bitrate = 0;
    Settings.Theora.Quality = 63;
    Settings.Theora.AutoKeyframeMax = 1;
    ASSERT_TRUE(SaveSettings());
    const std::string small = Work.File("small");
    const std::string kept = Work.File("kept.ogg");
    ASSERT_EQ(RunCommand("mkdir -p " + Quote(small)).ExitCode, 0);
    const std::string script =
        "mount -t tmpfs -o size=2m kz " + Quote(small) +
        " || exit 9; head -c 1990000 /dev/zero > " + Quote(small + "/filler") +
        "; ( sleep 15; rm -f " + Quote(small + "/filler") + " ) & " +
        HeadlessCommand("--file " + Quote(small + "/out.ogg") + " --seconds 30") +
        "; status=$?; cp " + Quote(small + "/out.ogg") + " " + Quote(kept) + "; exit $status";
    const auto result = RunCommand("timeout 90 unshare -m sh -c " + Quote(script));
    EXPECT_EQ(result.ExitCode, 1) << result.Output.substr(0, 3000);
    EXPECT_NE(result.Output.find("Recording ended: No space left on device; the file keeps the "),
              std::string::npos)
        << result.Output;
    const double encoded = EncodedSeconds(result.Output);
    EXPECT_GT(encoded, 0) << result.Output;
    EXPECT_LT(encoded, 15) << "the run ended at the error, before the disk had room again";
    const auto check = RunCommand("ogginfo " + Quote(kept));
    EXPECT_EQ(OgginfoProblems(check.Output, true), "") << check.Output;
    const auto decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(kept) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
    EXPECT_EQ(decode.Output, "") << decode.Output;
    std::cout << "[ full filesystem ] encoded " << encoded << " s, the file holds "
              << StreamSeconds(kept, "v") << " s of video\n";
}

}  // namespace
