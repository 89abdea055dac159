#include "update/update_check.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <mutex>
#include <vector>

#include "settings/log.h"
#include "settings/settings.h"
#include "tests/support/loopback_server.h"
#include "tests/update/http_reply_server.h"

namespace {

constexpr int kWaitMs = 10000;

// Collects what the check reports, from the check's thread.
class tNotices {
  public:
    TUpdateCheck::TNotify Sink() {
        return [this](const TUpdateNotice& notice) {
            std::lock_guard lock(FLock);
            FNotices.push_back(notice);
        };
    }
    std::vector<TUpdateNotice> Get() {
        std::lock_guard lock(FLock);
        return FNotices;
    }

  private:
    std::mutex FLock;
    std::vector<TUpdateNotice> FNotices;  // guarded by FLock
};

TUpdateServer Loopback(uint16_t port) {
    return TUpdateServer{"127.0.0.1", port};
}

// Runs one check of a program at version current against a server with the given reply and
// returns what it reported.
std::vector<TUpdateNotice> CheckAgainst(const std::string& reply, double current) {
    tHttpReplyServer server(reply);
    tNotices notices;
    TUpdateCheck check(Loopback(server.Port()), current, notices.Sink());
    EXPECT_TRUE(check.WaitFinished(kWaitMs));
    return notices.Get();
}

// A connect that does not wait for its answer.
TUniqueFd StartConnect(uint16_t port) {
    TUniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

std::string Redirect(const std::string& headers) {
    return HttpReply("302 Found", "Location: /download\r\n" + headers);
}

}  // namespace

TEST(UpdateCheck, SendsTheRequestAndReportsANewerVersionOnce) {
    tHttpReplyServer server(Redirect("X-Zizizada-Version: 2.14\r\n"));
    tNotices notices;
    TUpdateCheck check(Loopback(server.Port()), 1.5, notices.Sink());
    ASSERT_TRUE(check.WaitFinished(kWaitMs));

    EXPECT_EQ(server.WaitRequest(), "GET /updateversion.php HTTP/1.1\r\nhost: " + server.Address() +
                                        "\r\nconnection: close\r\n\r\n");
    EXPECT_EQ(notices.Get(), (std::vector<TUpdateNotice>{{2, 14}}));
}

TEST(UpdateCheck, ReportsNothingForTheSameOrAnOlderVersion) {
    const std::string sameWithinTolerance = Redirect("X-Zizizada-Version: 1.5005\r\n");
    EXPECT_TRUE(CheckAgainst(sameWithinTolerance, 1.5).empty());
    EXPECT_TRUE(CheckAgainst(Redirect("X-Zizizada-Version: 1.50\r\n"), 1.5).empty());
    EXPECT_TRUE(CheckAgainst(Redirect("X-Zizizada-Version: 1.2\r\n"), 1.5).empty());
    // Just past the tolerance is newer.
    EXPECT_EQ(CheckAgainst(Redirect("X-Zizizada-Version: 1.52\r\n"), 1.5).size(), 1u);
}

TEST(UpdateCheck, OnlyARedirectIsExamined) {
    EXPECT_TRUE(CheckAgainst(HttpReply("200 OK", "X-Zizizada-Version: 2.14\r\n"), 1.5).empty());
    EXPECT_TRUE(CheckAgainst(HttpReply("301 Moved", "X-Zizizada-Version: 2.14\r\n"), 1.5).empty());
}

TEST(UpdateCheck, HeaderNamesInAnyCaseAndTheHighestHeaderCounts) {
    EXPECT_EQ(CheckAgainst(Redirect("x-zizizada-version: 2.0\r\n"), 1.5),
              (std::vector<TUpdateNotice>{{2, 0}}));
    EXPECT_EQ(CheckAgainst(Redirect("X-Zizizada-Version: 3.1\r\nServer: test\r\n"
                                    "X-ZIZIZADA-VERSION: 2.14\r\n"),
                           1.5),
              (std::vector<TUpdateNotice>{{3, 10}}));
}

// A reply that fills the whole 4096-byte read with version headers is reported once.
TEST(UpdateCheck, AReplyFullOfVersionHeadersIsReportedOnce) {
    const std::string reply = ManyVersionHeaders(TUpdateCheck::kReplyBytes, "7.25");
    ASSERT_EQ(reply.size(), size_t(TUpdateCheck::kReplyBytes));
    EXPECT_EQ(CheckAgainst(reply, 1.5), (std::vector<TUpdateNotice>{{7, 25}}));
}

TEST(UpdateCheck, FailuresEndTheCheckWithoutReportsOrLogLines) {
    Settings.DebugMode = true;
    (void)TakeLog();
    tNotices notices;
    {
        TUpdateCheck refused(Loopback(UnusedPort()), 1.5, notices.Sink());
        EXPECT_TRUE(refused.WaitFinished(kWaitMs));
    }
    EXPECT_TRUE(CheckAgainst("", 1.5).empty());
    EXPECT_TRUE(CheckAgainst("HTTP/1.1 302 Found", 1.5).empty());
    EXPECT_TRUE(CheckAgainst(Redirect("X-Zizizada-Version: soon\r\n"), 1.5).empty());
    EXPECT_TRUE(notices.Get().empty());
    EXPECT_EQ(TakeLog(), "");
    Settings.DebugMode = false;
}

TEST(UpdateCheck, StopsAtOnceWhileTheServerSaysNothing) {
    tHttpReplyServer server(std::nullopt);
    tNotices notices;
    auto check = std::make_unique<TUpdateCheck>(Loopback(server.Port()), 1.5, notices.Sink());
    ASSERT_TRUE(server.WaitRequestRead());
    EXPECT_FALSE(check->Finished());

    const auto start = std::chrono::steady_clock::now();
    check.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(notices.Get().empty());
}

TEST(UpdateCheck, StopsAtOnceWhileTheConnectWaits) {
    // A listener that takes no connection and has a full backlog leaves new connects pending.
    tLoopbackListener full(0);
    std::vector<TUniqueFd> queued;
    for (int i = 0; i < 4; ++i) queued.push_back(StartConnect(full.Port()));
    tNotices notices;
    auto check = std::make_unique<TUpdateCheck>(Loopback(full.Port()), 1.5, notices.Sink());
    EXPECT_FALSE(check->WaitFinished(200));

    const auto start = std::chrono::steady_clock::now();
    check.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}
