// A broadcast that also records, against a private Icecast server: the recording goes on
// without a gap while the server is away and comes back, the broadcast starts again as a
// stream a new listener can decode, and a file that cannot be written leaves the broadcast
// going.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "headless_fixture.h"
#include "media_tools.h"
#include "pattern_checks.h"
#include "tests/support/background_process.h"
#include "tests/support/icecast_server.h"
#include "tests/support/run_command.h"

namespace {

using namespace std::chrono_literals;

const std::string Mount = "/kz.ogg";
constexpr double Fps = 15;  // the stored default

double EncodedSeconds(const std::string& output) {
    static const std::regex Line(R"(Encoded ([0-9.]+) s)");
    std::smatch match;
    return std::regex_search(output, match, Line) ? std::stod(match[1]) : -1;
}

// The largest hole between the end of one sound packet and the start of the next.
double LargestSoundHole(const std::vector<TPacketTime>& sound) {
    double largest = 0;
    for (size_t i = 1; i < sound.size(); ++i)
        largest = std::max(largest, sound[i].Start - (sound[i - 1].Start + sound[i - 1].Duration));
    return largest;
}

// What a listener hears: the body of the server's answer, decoded single-threaded (the server
// starts a listener at a key frame, which a still pattern may make seconds apart); returns
// ffmpeg's complaints (empty when it decoded cleanly) and the seconds of each stream.
struct TListened {
    std::string Problems;
    double Video = 0;
    double Sound = 0;
};

TListened Listen(const tIcecastServer& server, const std::string& file) {
    const std::string answer = server.Get(Mount, 150000, 8000);
    const size_t body = answer.find("\r\n\r\n");
    TListened got;
    if (answer.rfind("HTTP/1.0 200", 0) != 0 || body == std::string::npos) {
        got.Problems = "no stream: " + answer.substr(0, 200);
        return got;
    }
    std::ofstream(file, std::ios::binary) << answer.substr(body + 4);
    const auto decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
    got.Problems = decode.ExitCode == 0
                       ? decode.Output
                       : "exit " + std::to_string(decode.ExitCode) + ": " + decode.Output +
                             " after " + std::to_string(answer.size()) + " bytes";
    got.Video = StreamSeconds(file, "v");
    got.Sound = StreamSeconds(file, "a");
    return got;
}

class BroadcastAndRecordTest : public THeadlessTest {
  protected:
    void TearDown() override {
        RestoreStoredDefaults();
        THeadlessTest::TearDown();
    }

    // seconds 0: until a signal.
    static std::string Options(uint16_t port, const std::string& file, int seconds) {
        return "--stream --server 127.0.0.1 --port " + std::to_string(port) + " --mount " + Mount +
               " --user source --password " + tIcecastServer::SourcePassword + " --file " +
               Quote(file) + (seconds > 0 ? " --seconds " + std::to_string(seconds) : "");
    }
};

// The server stops 5 s into a 20 s run and comes back 5 s later: the file holds all 20 s of
// both streams with every frame one frame time after the last and the sound unbroken, and a
// listener who comes after the restart decodes the new broadcast.
TEST_F(BroadcastAndRecordTest, TheRecordingHasNoGapWhileTheServerIsAway) {
    if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
    tIcecastServer server;
    ASSERT_TRUE(server.Start()) << server.Error();
    const std::string file = Work.File("copy.ogg");
    TBackgroundProcess run(HeadlessCommand(Options(server.Port(), file, 20)), Work.File("run.txt"));
    ASSERT_TRUE(run.WaitForOutput("Server ready for data", 1, 20s)) << run.Output();
    std::this_thread::sleep_for(5s);
    server.Stop();
    std::this_thread::sleep_for(5s);
    ASSERT_TRUE(server.Restart()) << server.Error();
    ASSERT_TRUE(run.WaitForOutput("Server ready for data", 2, 20s)) << run.Output();
    ASSERT_TRUE(server.WaitForMount(Mount, true)) << run.Output();
    const TListened listened = Listen(server, Work.File("listener.ogg"));
    const int status = run.Wait(40000);
    const std::string output = run.Output();
    EXPECT_EQ(status, 0) << output;
    // One encoding for the whole run: the encoder never started again.
    EXPECT_EQ(Count(output, "Encoding started"), 1u) << output;

    const double encoded = EncodedSeconds(output);
    EXPECT_NEAR(encoded, 20, 0.1) << output;
    const auto check = RunCommand("ogginfo " + Quote(file));
    EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;
    const auto decode = RunCommand("ffmpeg -v error -threads 1 -i " + Quote(file) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0) << decode.Output;
    EXPECT_EQ(decode.Output, "");
    const std::vector<TPacketTime> frames = PacketTimes(file, "v");
    const std::vector<TPacketTime> sound = PacketTimes(file, "a");
    EXPECT_EQ(frames.size(), static_cast<size_t>(std::lround(20 * Fps)));
    EXPECT_NEAR(LargestStep(frames), 1 / Fps, 0.001);
    EXPECT_LT(LargestSoundHole(sound), 0.001);
    EXPECT_NEAR(StreamSeconds(file, "v"), 20, 0.1);
    // The sound ends a little before the pictures (0.06 to 0.1 s here, as in a plain
    // broadcast's end): the bound of the stream-integrity tests.
    EXPECT_NEAR(StreamSeconds(file, "a"), 20, 0.2);

    EXPECT_EQ(listened.Problems, "");
    EXPECT_GT(listened.Video, 0.5);
    EXPECT_GT(listened.Sound, 0.5);
    std::cout << "[ broadcast and record ] file " << StreamSeconds(file, "v") << " s video, "
              << StreamSeconds(file, "a") << " s sound; listener after the restart "
              << listened.Video << " s video, " << listened.Sound << " s sound\n";
}

// The file on a device that is always full, or in a folder that is not there: the file fails
// and the status says so, the broadcast goes on to its end and a listener decodes it, and the
// runner ends with status 1 for the lost recording.
TEST_F(BroadcastAndRecordTest, AFileThatFailsLeavesTheBroadcastGoing) {
    if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
    for (const std::string& file : {std::string("/dev/full"), Work.File("absent/copy.ogg")}) {
        SCOPED_TRACE(file);
        tIcecastServer server;
        server.DumpMount(Mount);
        ASSERT_TRUE(server.Start()) << server.Error();
        TBackgroundProcess run(HeadlessCommand(Options(server.Port(), file, 10)),
                               Work.File("run.txt"));
        ASSERT_TRUE(run.WaitForOutput("Error writing to file " + file, 1, 20s)) << run.Output();
        ASSERT_TRUE(server.WaitForMount(Mount, true)) << run.Output();
        const TListened listened = Listen(server, Work.File("listener.ogg"));
        const int status = run.Wait(40000);
        const std::string output = run.Output();
        EXPECT_EQ(status, 1) << output;
        EXPECT_NE(output.find("kbps - Error writing to file " + file + "\n"), std::string::npos)
            << output;
        const double encoded = EncodedSeconds(output);
        EXPECT_NEAR(encoded, 10, 0.1) << output;
        ASSERT_TRUE(server.WaitForMount(Mount, false)) << output;
        const std::string dump = server.DumpFile();
        EXPECT_NEAR(StreamSeconds(dump, "v"), encoded, 0.2) << output;
        EXPECT_NEAR(StreamSeconds(dump, "a"), encoded, 0.2) << output;
        EXPECT_EQ(listened.Problems, "");
        EXPECT_GT(listened.Video, 0.5);
        EXPECT_GT(listened.Sound, 0.5);
    }
}

// SIGTERM ends both outputs: the file is whole to its end-of-stream pages whether the server
// is there or away, and a server that is there gets the end of the broadcast too.
TEST_F(BroadcastAndRecordTest, ASignalFinishesBothOutputs) {
    if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
    for (const bool serverAway : {false, true}) {
        SCOPED_TRACE(serverAway ? "server away" : "server there");
        tIcecastServer server;
        server.DumpMount(Mount);
        ASSERT_TRUE(server.Start()) << server.Error();
        const std::string file = Work.File(serverAway ? "away.ogg" : "there.ogg");
        TBackgroundProcess run(HeadlessCommand(Options(server.Port(), file, 0)),
                               Work.File("run.txt"));
        ASSERT_TRUE(run.WaitForOutput("Server ready for data", 1, 20s)) << run.Output();
        std::this_thread::sleep_for(3s);
        if (serverAway) {
            server.Stop();
            ASSERT_TRUE(run.WaitForOutput("Unable to connect to", 1, 20s)) << run.Output();
        }
        const int status = run.Stop(15000, SIGTERM);
        const std::string output = run.Output();
        EXPECT_EQ(status, 0) << output;
        EXPECT_EQ(output.find("Stopping:"), std::string::npos) << output;
        const double encoded = EncodedSeconds(output);
        ASSERT_GT(encoded, 0) << output;
        const auto check = RunCommand("ogginfo " + Quote(file));
        EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;
        EXPECT_EQ(check.Output.find("EOS not set"), std::string::npos) << check.Output;
        EXPECT_NEAR(StreamSeconds(file, "v"), encoded, 0.1) << output;
        EXPECT_NEAR(StreamSeconds(file, "a"), encoded, 0.2) << output;
        if (serverAway) continue;
        ASSERT_TRUE(server.WaitForMount(Mount, false)) << output;
        const auto sent = RunCommand("ogginfo " + Quote(server.DumpFile()));
        EXPECT_EQ(OgginfoProblems(sent.Output), "") << sent.Output;
        EXPECT_EQ(sent.Output.find("EOS not set"), std::string::npos) << sent.Output;
        EXPECT_NEAR(StreamSeconds(server.DumpFile(), "v"), encoded, 0.2) << output;
    }
}

}  // namespace
