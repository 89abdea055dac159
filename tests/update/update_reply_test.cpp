#include "update/update_reply.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/environment_variable.h"
#include "update/update_server.h"

namespace {

std::vector<double> Versions(const std::string& reply) {
    return AnnouncedVersions(reply);
}

}  // namespace

TEST(UpdateReply, StatusLineMustHoldARedirectAndTheReplyTwoLines) {
    EXPECT_EQ(Versions("HTTP/1.1 302 Found\r\nX-Zizizada-Version: 2.14\r\n\r\n"),
              std::vector<double>{2.14});
    EXPECT_EQ(Versions("HTTP/1.0 302\nx-zizizada-version: 2.5"), std::vector<double>{2.5});
    EXPECT_TRUE(Versions("HTTP/1.1 200 OK\r\nX-Zizizada-Version: 2.14\r\n").empty());
    EXPECT_TRUE(Versions("HTTP/1.1 302 Found").empty());
    // Blank and control characters around the whole reply do not make a line.
    EXPECT_TRUE(Versions("\r\n\r\n  HTTP/1.1 302 Found \r\n\t\r\n").empty());
    EXPECT_TRUE(Versions("").empty());
    // The header on the status line itself does not count.
    EXPECT_TRUE(Versions("X-Zizizada-Version: 302\r\nServer: x").empty());
}

TEST(UpdateReply, LinesEndInCrLfCrOrLfAndEveryHeaderCounts) {
    EXPECT_EQ(Versions("HTTP/1.1 302 Found\rX-Zizizada-Version: 2\nX-Zizizada-Version: 3\r\n"
                       "X-Zizizada-Version: 4"),
              (std::vector<double>{2, 3, 4}));
}

TEST(UpdateReply, HeaderValuesParseWithAPointOrCountAsZero) {
    const std::string status = "HTTP/1.1 302 Found\r\n";
    EXPECT_EQ(Versions(status + "X-Zizizada-Version:   7.25  \r\n"), std::vector<double>{7.25});
    EXPECT_EQ(Versions(status + "X-Zizizada-Version:2.14\r\n"), std::vector<double>{2.14});
    EXPECT_EQ(Versions(status + "X-Zizizada-Version: 2,14\r\n"), std::vector<double>{0});
    EXPECT_EQ(Versions(status + "X-Zizizada-Version: v2\r\n"), std::vector<double>{0});
    EXPECT_EQ(Versions(status + "X-Zizizada-Version: inf\r\n"), std::vector<double>{0});
    EXPECT_EQ(Versions(status + "X-Zizizada-Version:\r\n"), std::vector<double>{0});
    // Other headers that merely begin with the name are not version headers.
    EXPECT_TRUE(Versions(status + "X-Zizizada-Versions: 9\r\nX-Zizizada: 9\r\n").empty());

    // A decimal comma in the user's locale changes nothing.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(Versions(status + "X-Zizizada-Version: 2.14\r\n"), std::vector<double>{2.14});
    EXPECT_EQ(UpdateVersionText({2, 14}), "2.14");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(UpdateReply, OnlyNewerVersionsBeyondTheToleranceGiveANotice) {
    EXPECT_EQ(NoticeFor(2.14, 1.5), (TUpdateNotice{2, 14}));
    EXPECT_EQ(NoticeFor(1.5, 1.5), std::nullopt);
    EXPECT_EQ(NoticeFor(1.501, 1.5), std::nullopt);
    EXPECT_EQ(NoticeFor(1.4, 1.5), std::nullopt);
    EXPECT_EQ(NoticeFor(0, 1.5), std::nullopt);
    EXPECT_EQ(NoticeFor(1.502, 1.5), (TUpdateNotice{1, 50}));
    // Hundredths that binary fractions hold just below their value still read right.
    EXPECT_EQ(NoticeFor(1.15, 1.0), (TUpdateNotice{1, 15}));
    EXPECT_EQ(NoticeFor(4.29, 1.0), (TUpdateNotice{4, 29}));
    EXPECT_EQ(NoticeFor(2.999, 1.0), (TUpdateNotice{2, 99}));
    // A version too large to pass on is dropped rather than overflowing.
    EXPECT_EQ(NoticeFor(1e12, 1.0), std::nullopt);
}

// However many version headers a reply holds, it gives one notice: the highest newer one.
TEST(UpdateReply, AReplyGivesOneNoticeForItsHighestNewerVersion) {
    struct TCase {
        const char* Versions;  // the values of the reply's version headers, in order
        std::optional<TUpdateNotice> Expected;
    };
    const TCase cases[] = {
        {"1.6 1.7", TUpdateNotice{1, 70}},
        {"3.1 2.14", TUpdateNotice{3, 10}},
        {"1.2 2.14 1.9 2.14", TUpdateNotice{2, 14}},
        // Too large to pass on: the highest that can be passed on is named.
        {"2.0 1e12 1.7", TUpdateNotice{2, 0}},
        {"1.4 1.5 1.5005 soon", std::nullopt},
        {"1e12", std::nullopt},
        {"", std::nullopt},
    };
    for (const TCase& c : cases) {
        std::string reply = "HTTP/1.1 302 Found\r\nServer: test\r\n";
        std::istringstream versions(c.Versions);
        for (std::string version; versions >> version;)
            reply += "X-Zizizada-Version: " + version + "\r\n";
        EXPECT_EQ(NewestNoticeInReply(reply, 1.5), c.Expected) << c.Versions;
    }
    EXPECT_EQ(NewestNoticeInReply("HTTP/1.1 200 OK\r\nX-Zizizada-Version: 2\r\n", 1.5),
              std::nullopt);
}

TEST(UpdateReply, VersionTextDropsTrailingZerosAndThePromptQuotesIt) {
    EXPECT_EQ(UpdateVersionText({2, 14}), "2.14");
    EXPECT_EQ(UpdateVersionText({1, 50}), "1.5");
    EXPECT_EQ(UpdateVersionText({3, 0}), "3.");
    EXPECT_EQ(UpdateVersionText({10, 5}), "10.05");
    EXPECT_EQ(UpdatePromptText({2, 14}),
              "There is a newer version of Ondrelay available (V2.14).  "
              "Would you like to download it?");
}

TEST(UpdateReply, ProgramVersionReadsMinorAsDecimalDigits) {
    EXPECT_DOUBLE_EQ(VersionFromParts(1, 5), 1.5);
    EXPECT_DOUBLE_EQ(VersionFromParts(1, 50), 1.5);
    EXPECT_DOUBLE_EQ(VersionFromParts(1, 12), 1.12);
}

TEST(UpdateServer, HostOrHostAndPortFromTheEnvironmentOrTheBuild) {
    const auto built = ChooseUpdateServer(nullptr, "updates.example");
    ASSERT_TRUE(built);
    EXPECT_EQ(built->Host, "updates.example");
    EXPECT_EQ(built->Port, 80);
    EXPECT_EQ(built->HostLine(), "updates.example");
    EXPECT_EQ(built->DownloadPage(), "http://updates.example/zizizada.php");

    const auto local = ChooseUpdateServer("127.0.0.1:8123", "updates.example");
    ASSERT_TRUE(local);
    EXPECT_EQ(local->Host, "127.0.0.1");
    EXPECT_EQ(local->Port, 8123);
    EXPECT_EQ(local->DownloadPage(), "http://127.0.0.1:8123/zizizada.php");
    EXPECT_EQ(UpdateRequest(*local),
              "GET /updateversion.php HTTP/1.1\r\nhost: 127.0.0.1:8123\r\n"
              "connection: close\r\n\r\n");

    // No host, or an empty override, means no check; so does a port that is no port.
    EXPECT_FALSE(ChooseUpdateServer(nullptr, ""));
    EXPECT_FALSE(ChooseUpdateServer("", "updates.example"));
    EXPECT_FALSE(ChooseUpdateServer("127.0.0.1:0", ""));
    EXPECT_FALSE(ChooseUpdateServer("127.0.0.1:70000", ""));
    EXPECT_FALSE(ChooseUpdateServer("127.0.0.1:http", ""));
    EXPECT_FALSE(ChooseUpdateServer(":80", ""));
}

TEST(UpdateServer, TheEnvironmentVariableNamesTheServer) {
    TEnvironmentVariable variable("KZ_UPDATE_HOST");
    variable.Set("127.0.0.1:8124");
    const auto server = ConfiguredUpdateServer();
    ASSERT_TRUE(server);
    EXPECT_EQ(server->HostLine(), "127.0.0.1:8124");
    variable.Set("");
    EXPECT_FALSE(ConfiguredUpdateServer());
}
