#include "net/source_request.h"

#include <gtest/gtest.h>

#include <string>

#include "net/easy_socket.h"
#include "settings/settings.h"
#include "tests/support/icecast_server.h"

namespace {

void FillIcecast(TSettings& settings, const std::string& password) {
    settings.Icecast.Server = "127.0.0.1";
    settings.Icecast.Username = tIcecastServer::SourceUser;
    settings.Icecast.Password = password;
    settings.Icecast.MountPoint = "/kz-test.ogg";
    settings.Icecast.Bitrate = 128;
    settings.Icecast.YP = false;
}

// Sends the request on a fresh connection and returns the server's first line.
std::string Handshake(uint16_t port, const TSettings& settings, tEasySocket& socket) {
    if (!socket.Connect(port, "127.0.0.1")) return "no connection";
    const std::string request = SourceRequest(settings);
    if (!socket.WriteData(request.data(), static_cast<int32_t>(request.size())))
        return "send failed";
    std::string line;
    char c = 0;
    while (line.size() <= MaxReplyLine && socket.ReceiveBuffer(&c, 1) && c != '\r' && c != '\n')
        line += c;
    return line;
}

}  // namespace

TEST(SourceRequest, Base64FollowsTheStandardAlphabetAndFill) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64("\xfb\xff\xbf"), "+/+/");
    EXPECT_EQ(Base64(std::string("\0\0", 2)), "AAA=");
    EXPECT_EQ(Base64(std::string(100, 'a')).find_first_of("\r\n"), std::string::npos);
}

TEST(SourceRequest, EmptyOptionalValuesLeaveSevenLines) {
    TSettings settings;
    settings.Icecast.MountPoint = "/live.ogg";
    settings.Icecast.Username = "source";
    settings.Icecast.Password = "";
    settings.Icecast.Bitrate = 128;
    settings.Icecast.YP = false;
    EXPECT_EQ(SourceRequest(settings),
              "SOURCE /live.ogg HTTP/1.0\r\n"
              "Authorization: Basic c291cmNlOg==\r\n"  // "source:"
              "User-Agent: Kestrova-Ondrelay\r\n"
              "content-type: application/ogg\r\n"
              "ice-public: 0\r\n"
              "ice-bitrate: 128\r\n"
              "ice-reset: 1\r\n"
              "\r\n");
}

TEST(SourceRequest, EveryValueGoesInByteForByteInItsPlace) {
    TSettings settings;
    settings.Icecast.MountPoint = "/stream";
    settings.Icecast.Username = "user";
    settings.Icecast.Password = "p\xc3\xa4ss word";
    settings.Icecast.Bitrate = 96;
    settings.Icecast.YP = true;
    settings.StreamName = "Caf\xc3\xa9 radio";
    settings.StreamGenre = "  ";  // blanks are a value
    settings.StreamDesc = "Evening show";
    settings.StreamURL = "http://example.org/";
    EXPECT_EQ(SourceRequest(settings),
              "SOURCE /stream HTTP/1.0\r\n"
              "Authorization: Basic " +
                  Base64("user:p\xc3\xa4ss word") +
                  "\r\n"
                  "User-Agent: Kestrova-Ondrelay\r\n"
                  "content-type: application/ogg\r\n"
                  "ice-name: Caf\xc3\xa9 radio\r\n"
                  "ice-genre:   \r\n"
                  "ice-description: Evening show\r\n"
                  "ice-public: 1\r\n"
                  "ice-bitrate: 96\r\n"
                  "ice-url: http://example.org/\r\n"
                  "ice-reset: 1\r\n"
                  "\r\n");
}

TEST(SourceRequest, OnlyAnHttp10OkReplyIsAcceptedInAnyCase) {
    EXPECT_TRUE(SourceReplyAccepted("HTTP/1.0 200 OK"));
    EXPECT_TRUE(SourceReplyAccepted("http/1.0 200 ok"));
    EXPECT_TRUE(SourceReplyAccepted("HTTP/1.0 200 OKAY, go on"));
    EXPECT_FALSE(SourceReplyAccepted("HTTP/1.1 200 OK"));
    EXPECT_FALSE(SourceReplyAccepted("HTTP/1.0 401 Unauthorized"));
    EXPECT_FALSE(SourceReplyAccepted("HTTP/1.0 200 O"));
    EXPECT_FALSE(SourceReplyAccepted(""));
    const std::string longest = "HTTP/1.0 200 OK" + std::string(MaxReplyLine - 15, ' ');
    EXPECT_TRUE(SourceReplyAccepted(longest));
    EXPECT_FALSE(SourceReplyAccepted(longest + " "));
}

TEST(SourceRequestOnIcecast, TheServerTakesTheSourceWithItsStreamDetails) {
    if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
    tIcecastServer server;
    ASSERT_TRUE(server.Start()) << server.Error();

    TSettings settings;
    FillIcecast(settings, tIcecastServer::SourcePassword);
    settings.StreamName = "Kestrova test";
    settings.StreamGenre = "Testing";
    settings.StreamDesc = "Handshake check";
    tEasySocket socket(5, false, false);
    EXPECT_TRUE(SourceReplyAccepted(Handshake(server.Port(), settings, socket)))
        << server.ErrorLog();
    ASSERT_TRUE(server.WaitForMount("/kz-test.ogg", true)) << server.ErrorLog();
    const std::string stats = server.Stats();
    EXPECT_NE(stats.find("<server_name>Kestrova test</server_name>"), std::string::npos) << stats;
    EXPECT_NE(stats.find("<genre>Testing</genre>"), std::string::npos) << stats;
    EXPECT_NE(stats.find("<server_description>Handshake check</server_description>"),
              std::string::npos)
        << stats;

    socket.Disconnect();
    EXPECT_TRUE(server.WaitForMount("/kz-test.ogg", false)) << server.ErrorLog();
}
