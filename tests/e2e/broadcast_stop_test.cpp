// Ctrl+C ends a broadcast of kestrova_headless within 2 s whatever the network does: a server
// that stopped reading, a server that never completes the handshake, a name server that
// never answers. Each prints its stop time.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <thread>
#include <vector>

#include "headless_fixture.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kStopBoundMs = 2000;
constexpr long kFps = 15;  // the stored default

class BroadcastStopTest : public THeadlessTest {
  protected:
    // Every frame a key frame at the best quality: large pages, so a stalled link fills the
    // send queue within seconds.
    void SetUp() override {
        Settings.Theora.Bitrate = 0;
        Settings.Theora.Quality = 63;
        Settings.Theora.AutoKeyframeMax = 1;
        ASSERT_TRUE(SaveSettings());
    }
    void TearDown() override {
        RestoreStoredDefaults();
        THeadlessTest::TearDown();
    }

    static std::string Options(const std::string& server, uint16_t port) {
        return "--stream --fast --server " + server + " --port " + std::to_string(port) +
               " --mount /live.ogg --user source --password secret";
    }

    // Waits (bounded) for a line of the runner's output.
    static bool WaitForOutput(const TBackgroundProcess& run, const std::string& what) {
        for (int i = 0; i < 300; ++i) {
            if (run.Output().find(what) != std::string::npos) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // SIGINT, then the exit status within the bound; prints the time it took. A broadcast no
    // server let in ends with its own status.
    static void ExpectBoundedStop(TBackgroundProcess& run, const std::string& state,
                                  bool everLetIn = true) {
        const auto start = Clock::now();
        const int status = run.Stop(kStopBoundMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::cout << "[ stop time ] kestrova_headless, " << state << ": " << seconds << " s\n";
        EXPECT_NE(status, -1) << state << ": not ended within 2 s\n" << run.Output();
        EXPECT_EQ(status, everLetIn ? 0 : 4) << state << "\n" << run.Output();
        RecordProperty("stop_seconds", std::to_string(seconds));
    }
};

// The frame count of the last status line, or -1.
long LastFrameCount(const std::string& output) {
    static const std::regex Status(R"(Streaming! - \d+ Samples - (\d+) Frames)");
    long frames = -1;
    for (std::sregex_iterator it(output.begin(), output.end(), Status), end; it != end; ++it)
        frames = std::stol((*it)[1]);
    return frames;
}

TEST_F(BroadcastStopTest, ServerThatStoppedReading) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n", tRecordingServer::tAnswer::Stall, 4096);
    TBackgroundProcess run(HeadlessCommand(Options("127.0.0.1", server.Port())),
                           Work.File("run.txt"));
    ASSERT_TRUE(WaitForOutput(run, "Server ready for data")) << run.Output();
    // Blocked: a --fast run unhindered encodes many times faster than real time; held by the
    // full send queue it moves by less than a second's frames between two looks, twice in a
    // row. It need not stand still: the runner's socket send buffer keeps growing towards the
    // system's maximum (4 MB by default) and takes a little now and then.
    long before = -1;
    int slowLooks = 0;
    for (int i = 0; i < 60 && slowLooks < 2; ++i) {
        std::this_thread::sleep_for(1500ms);
        const long frames = LastFrameCount(run.Output());
        const bool slow = before > 0 && frames - before < kFps;
        slowLooks = slow ? slowLooks + 1 : 0;
        before = frames;
    }
    const bool blocked = slowLooks == 2;
    ASSERT_TRUE(blocked) << run.Output().substr(0, 4000);
    ExpectBoundedStop(run, "server stopped reading");
}

TEST_F(BroadcastStopTest, HandshakeThatNeverCompletes) {
    // An accept queue that is full drops every further handshake unanswered.
    tLoopbackListener server(0);
    TUniqueFd queued = ConnectTo(server.Port());
    ASSERT_TRUE(queued.Valid());
    TBackgroundProcess run(HeadlessCommand(Options("127.0.0.1", server.Port())),
                           Work.File("run.txt"));
    ASSERT_TRUE(WaitForOutput(run, "Connecting to server")) << run.Output();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(run.Output().find("Connected to server"), std::string::npos) << run.Output();
    ExpectBoundedStop(run, "handshake never completes", false);
    EXPECT_EQ(run.Output().find("Unable to connect"), std::string::npos) << run.Output();
}

// The runner gets a view of the files of its own (a private mount namespace) in which the
// system's resolver asks a loopback name server that never answers. Needs root.
TEST_F(BroadcastStopTest, NameServerThatNeverAnswers) {
    if (geteuid() != 0 || RunCommand("unshare -m true").ExitCode != 0)
        GTEST_SKIP() << "needs root and mount namespaces to give the runner its own resolver";
    const char* address = "127.77.0.53";
    TUniqueFd names(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    inet_pton(AF_INET, address, &at.sin_addr);
    ASSERT_EQ(bind(names.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    const std::string resolver = Work.File("resolv.conf");
    std::ofstream(resolver) << "nameserver " << address << "\noptions timeout:30 attempts:1\n";

    const std::string command =
        "unshare -m sh -c " +
        Quote("mount --bind " + Quote(resolver) + " /etc/resolv.conf && exec " +
              HeadlessCommand(Options("icecast.kestrova.test", 8000)));
    TBackgroundProcess run(command, Work.File("run.txt"));
    ASSERT_TRUE(WaitForOutput(run, "Connecting to server")) << run.Output();
    pollfd query{names.Get(), POLLIN, 0};
    ASSERT_EQ(poll(&query, 1, 10000), 1) << "no lookup reached the name server";
    ExpectBoundedStop(run, "name server never answers", false);
    EXPECT_EQ(run.Output().find("Unable to connect"), std::string::npos) << run.Output();
}

}  // namespace
