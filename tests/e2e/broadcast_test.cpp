// Live broadcasts from kestrova_headless to a private Icecast server on 127.0.0.1, heard by
// real listeners (ffprobe, ffmpeg, plain HTTP).

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <set>
#include <thread>

#include "headless_fixture.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/icecast_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string Mount = "/kz.ogg";

class BroadcastTest : public THeadlessTest {
  protected:
    void SetUp() override {
        if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
        ASSERT_TRUE(Server.Start()) << Server.Error();
        Settings.DebugMode = true;
        Settings.StreamName = "Kestrova Test";
        Settings.StreamDesc = "A test broadcast";
        Settings.StreamGenre = "Testing";
        Settings.StreamURL = "http://127.0.0.1/kestrova";
        Settings.Icecast.Bitrate = 96;
        Settings.Icecast.YP = false;
        ASSERT_TRUE(SaveSettings());
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Server.Port()) + Mount; }

    std::string StreamCommand(const std::string& extra = "") const {
        return HeadlessCommand(
            "--stream --server 127.0.0.1 --port " + std::to_string(Server.Port()) + " --mount " +
            Mount + " --user source --password " + tIcecastServer::SourcePassword + " " + extra);
    }

    // A listener that joins now and decodes `seconds` of the stream, single-threaded.
    TCommandResult Listen(int seconds) const {
        return RunCommand("timeout 30 ffmpeg -v error -threads 1 -rw_timeout 5000000 -t " +
                          std::to_string(seconds) + " -i " + Url() + " -f null -");
    }

    tIcecastServer Server;
};

TEST_F(BroadcastTest, ListenerJoiningLateGetsTheoraAndVorbisAndTheServerListsTheStream) {
    const auto started = Clock::now();
    TBackgroundProcess runner(StreamCommand("--seconds 20"), Work.File("runner.log"));
    ASSERT_TRUE(Server.WaitForMount(Mount, true)) << runner.Output() << Server.ErrorLog();
    std::this_thread::sleep_until(started + 5s);

    const auto streams = ProbeStreams(Url());
    ASSERT_EQ(streams.size(), 2u) << runner.Output();
    std::set<std::string> codecs = {streams[0].at("codec_name"), streams[1].at("codec_name")};
    EXPECT_EQ(codecs, (std::set<std::string>{"theora", "vorbis"}));
    const auto listener = Listen(4);
    EXPECT_EQ(listener.ExitCode, 0) << listener.Output;
    EXPECT_EQ(listener.Output, "");

    const std::string status = Server.Get("/status-json.xsl");
    for (const char* expected :
         {"\"server_name\":\"Kestrova Test\"", "\"server_description\":\"A test broadcast\"",
          "\"genre\":\"Testing\"", "\"server_url\":\"http://127.0.0.1/kestrova\"",
          "\"bitrate\":96"}) {
        EXPECT_NE(status.find(expected), std::string::npos) << expected << "\n" << status;
    }

    // The send rate the runner shows after ten seconds, beside what the server counted for
    // the source, and what the sender thread cost: figures for the record, not assertions.
    std::this_thread::sleep_until(started + 10s);
    const std::string stats = Server.Stats();
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const std::string output = runner.Output();
    const size_t source = stats.find("<source mount=\"" + Mount + "\"");
    const size_t bytesTag = stats.find("<total_bytes_read>", source);
    const size_t kbps = output.rfind(" kbps\n");
    if (source != std::string::npos && bytesTag != std::string::npos && kbps != std::string::npos) {
        const double bytes = std::atof(stats.c_str() + bytesTag + 18);
        const size_t number = output.rfind(' ', kbps - 1);
        std::cout << "send rate shown " << output.substr(number + 1, kbps - number - 1)
                  << " kbps; server read " << bytes << " bytes from the source in " << elapsed
                  << " s (" << bytes * 8 / 1024 / elapsed << " kbit/s); sender thread CPU "
                  << runner.ThreadCpuSeconds("kz-sender") * 1000 << " ms\n";
    }

    EXPECT_EQ(runner.Wait(30000), 0) << runner.Output();
    EXPECT_NE(runner.Output().find("Server ready for data"), std::string::npos);
    EXPECT_EQ(Count(runner.Output(), "Main: Encoder.Connected=false"), 0u) << runner.Output();
}

TEST_F(BroadcastTest, LostServerIsRetriedEveryFiveSecondsAndTheBroadcastResumes) {
    TBackgroundProcess runner(StreamCommand(), Work.File("runner.log"));
    ASSERT_TRUE(Server.WaitForMount(Mount, true)) << runner.Output() << Server.ErrorLog();
    std::this_thread::sleep_for(2s);

    Server.Stop();
    const std::string lost = "Main: Encoder.Connected=false";
    ASSERT_TRUE(runner.WaitForOutput(lost, 1, 20s)) << runner.Output();
    const auto firstRetry = Clock::now();
    ASSERT_TRUE(runner.WaitForOutput(lost, 2, 20s)) << runner.Output();
    const double retryGap = std::chrono::duration<double>(Clock::now() - firstRetry).count();
    EXPECT_GT(retryGap, 4.0);  // the next check comes five seconds after a restart

    ASSERT_TRUE(Server.Restart()) << Server.Error();
    const auto back = Clock::now();
    ASSERT_TRUE(Server.WaitForMount(Mount, true, 20000)) << runner.Output();
    // The first moment a new listener decodes a picture.
    bool decoded = false;
    while (!decoded && Clock::now() - back < 30s) {
        decoded = RunCommand("timeout 10 ffmpeg -v error -threads 1 -rw_timeout 3000000 -i " +
                             Url() + " -frames:v 1 -f null -")
                      .ExitCode == 0;
    }
    ASSERT_TRUE(decoded) << runner.Output();
    std::cout << "server back to first decodable frame: "
              << std::chrono::duration<double>(Clock::now() - back).count() << " s\n";
    const auto listener = Listen(3);
    EXPECT_EQ(listener.ExitCode, 0) << listener.Output;
    EXPECT_EQ(listener.Output, "");
    EXPECT_EQ(runner.Stop(), 0) << runner.Output();
}

TEST_F(BroadcastTest, MountInUseIsRefusedAndRetried) {
    TBackgroundProcess first(StreamCommand(), Work.File("first.log"));
    ASSERT_TRUE(Server.WaitForMount(Mount, true)) << first.Output();
    TBackgroundProcess second(StreamCommand(), Work.File("second.log"));
    ASSERT_TRUE(second.WaitForOutput("Unable to stream to server: ", 2, 20s)) << second.Output();
    EXPECT_GE(Count(second.Output(), "Main: Encoder.Connected=false"), 1u);
    // Never let in for the whole run: the status says so.
    EXPECT_EQ(second.Stop(), 4);
    // The first source was never disturbed.
    EXPECT_TRUE(Server.WaitForMount(Mount, true, 1000));
    EXPECT_EQ(Count(first.Output(), "Main: Encoder.Connected=false"), 0u) << first.Output();
    EXPECT_EQ(first.Stop(), 0);
}

}  // namespace
