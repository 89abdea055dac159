#include "net/easy_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/net/event_log_capture.h"
#include "tests/net/fake_name_server.h"
#include "tests/support/loopback_server.h"

namespace {

constexpr const char* kLoopback = "127.0.0.1";

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string SystemText(int code) {
    return std::string(strerror(code)) + " (" + std::to_string(code) + ")";
}

// Asks Connected until it says false, for at most a few seconds: the peer's close may still
// be on its way.
bool ConnectedAfterPeerClosed(tEasySocket& socket) {
    for (int i = 0; i < 500 && socket.Connected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return socket.Connected();
}

// A connected client socket and the server's end of it.
struct tPair {
    explicit tPair(int32_t timeoutSec, int receiveBuffer = 0)
        : Listener(16, receiveBuffer), Client(timeoutSec, false, false) {
        Ok = Client.Connect(Listener.Port(), kLoopback);
        Server = Listener.Accept();
        Ok = Ok && Server.Valid();
    }
    tLoopbackListener Listener;
    tEasySocket Client;
    TUniqueFd Server;
    bool Ok = false;
};

}  // namespace

TEST(EasySocketLookup, DottedAddressesNeedNoLookupAndBlanksAreTrimmed) {
    tFakeNameServer names;
    tResolverRedirect redirect(names.Port());

    EXPECT_TRUE(IsIPAddress("127.0.0.1"));
    EXPECT_FALSE(IsIPAddress("255.255.255.255"));  // the parser's failure value
    EXPECT_FALSE(IsIPAddress("localhost"));
    EXPECT_FALSE(IsIPAddress(""));

    in_addr address{};
    ASSERT_TRUE(ResolveHost(" \t127.0.0.2  ", address));
    EXPECT_EQ(Dotted(address), "127.0.0.2");
    // Not a dotted address by the parser's word, but the lookup takes it as one.
    ASSERT_TRUE(ResolveHost("255.255.255.255", address));
    EXPECT_EQ(address.s_addr, INADDR_NONE);
    ASSERT_TRUE(ResolveHost("localhost", address));
    EXPECT_EQ(Dotted(address), "127.0.0.1");

    tLoopbackListener server;
    tEasySocket socket(5, true, false);
    EXPECT_TRUE(socket.Connect(server.Port(), "  127.0.0.1 "));
    EXPECT_TRUE(server.Accept().Valid());
    EXPECT_EQ(names.Queries(), 0);
}

TEST(EasySocketLookup, UnknownNameFailsWithTheLookupErrorAndKeepsTheEarlierSocket) {
    tFakeNameServer names;
    tResolverRedirect redirect(names.Port());
    tPair pair(5);
    ASSERT_TRUE(pair.Ok);

    EXPECT_FALSE(pair.Client.Connect(pair.Listener.Port(), "no-such-host.invalid"));
    EXPECT_EQ(pair.Client.LastError(), EAI_NONAME);
    EXPECT_GT(names.Queries(), 0);
    EXPECT_EQ(SocketErrorText(EAI_NONAME),
              std::string(gai_strerror(EAI_NONAME)) + " (" + std::to_string(EAI_NONAME) + ")");
    EXPECT_TRUE(pair.Client.Connected());

    // A blank name is refused without asking anyone.
    const int queries = names.Queries();
    tEasySocket fresh(5, false, true);
    EXPECT_FALSE(fresh.Connect(pair.Listener.Port(), "   "));
    EXPECT_EQ(fresh.LastError(), EAI_NONAME);
    EXPECT_EQ(names.Queries(), queries);
    EXPECT_FALSE(fresh.Connected());
}

TEST(EasySocketConnect, RefusedConnectionGivesTheSystemTextAndCode) {
    for (bool timed : {false, true}) {
        SCOPED_TRACE(timed ? "timed connect" : "plain connect");
        tEasySocket socket(5, false, timed);
        EXPECT_FALSE(socket.Connect(UnusedPort(), kLoopback));
        EXPECT_EQ(socket.LastError(), ECONNREFUSED);
        EXPECT_EQ(SocketErrorText(socket.LastError()), SystemText(ECONNREFUSED));
        EXPECT_FALSE(socket.Connected());

        // The same object connects again after a failure.
        tLoopbackListener server;
        EXPECT_TRUE(socket.Connect(server.Port(), kLoopback));
        const TUniqueFd peer = server.Accept();
        EXPECT_TRUE(peer.Valid());
        EXPECT_TRUE(socket.Connected());
    }
}

TEST(EasySocketConnect, TimedConnectGivesUpOnAServerThatNeverAnswers) {
    // A listener whose accept queue is full drops further connection requests unanswered.
    tLoopbackListener server(0);
    std::vector<TUniqueFd> queued;
    queued.push_back(ConnectTo(server.Port()));
    ASSERT_TRUE(queued.back().Valid());

    tEasySocket socket(1, true, true);
    EXPECT_FALSE(socket.Connect(server.Port(), kLoopback));
    EXPECT_EQ(socket.LastError(), ETIMEDOUT);
    EXPECT_FALSE(socket.Connected());
}

TEST(EasySocketConnect, ConnectingAgainClosesTheEarlierConnection) {
    tPair first(5);
    ASSERT_TRUE(first.Ok);
    tLoopbackListener second;
    EXPECT_TRUE(first.Client.Connect(second.Port(), kLoopback));
    EXPECT_EQ(ReadAvailable(first.Server.Get(), 1), "");  // end of stream, not a time-out
    EXPECT_TRUE(second.Accept().Valid());
}

TEST(EasySocketReceive, UnreadDataKeepsTheSocketConnectedUntilItIsReceived) {
    tPair pair(5);
    ASSERT_TRUE(pair.Ok);
    ASSERT_TRUE(SendAll(pair.Server.Get(), "0123456789"));
    ASSERT_TRUE(WaitDelivered(pair.Server.Get()));
    pair.Server.Reset();

    EXPECT_TRUE(pair.Client.Connected());
    char buffer[4096];
    ASSERT_EQ(pair.Client.ReceiveData(buffer, sizeof buffer), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_FALSE(pair.Client.Connected());
}

TEST(EasySocketReceive, PeerThatClosedMakesConnectedFalseAndClosesTheSocket) {
    tPair pair(5);
    ASSERT_TRUE(pair.Ok);
    pair.Server.Reset();
    EXPECT_FALSE(ConnectedAfterPeerClosed(pair.Client));

    char buffer[16];
    EXPECT_EQ(pair.Client.ReceiveData(buffer, sizeof buffer), 0);
    EXPECT_FALSE(pair.Client.ReceiveBuffer(buffer, 1));
    EXPECT_FALSE(pair.Client.WriteData("x", 1));
    EXPECT_TRUE(pair.Client.WriteData(nullptr, 0));
}

TEST(EasySocketReceive, ReceiveBufferWantsEveryByte) {
    tPair pair(5);
    ASSERT_TRUE(pair.Ok);
    char buffer[16] = {};
    EXPECT_TRUE(pair.Client.ReceiveBuffer(buffer, 0));

    ASSERT_TRUE(SendAll(pair.Server.Get(), "abc"));
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SendAll(pair.Server.Get(), "defgh");
    });
    EXPECT_TRUE(pair.Client.ReceiveBuffer(buffer, 8));
    later.join();
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");

    pair.Server.Reset();
    EXPECT_FALSE(pair.Client.ReceiveBuffer(buffer, 1));
    EXPECT_FALSE(pair.Client.Connected());
}

TEST(EasySocketReceive, SilentPeerRunsIntoTheTimeout) {
    tPair pair(1);
    ASSERT_TRUE(pair.Ok);
    ASSERT_TRUE(SendAll(pair.Server.Get(), "abc"));
    char buffer[16];
    EXPECT_EQ(pair.Client.ReceiveData(buffer, 10), 3);
    EXPECT_EQ(pair.Client.LastError(), ETIMEDOUT);
    EXPECT_FALSE(pair.Client.Connected());

    tPair again(1);
    ASSERT_TRUE(again.Ok);
    EXPECT_FALSE(again.Client.ReceiveBuffer(buffer, 1));
    EXPECT_EQ(again.Client.LastError(), ETIMEDOUT);
}

TEST(EasySocketReceive, DeadlineEndsAReceiveLongBeforeTheTimeout) {
    tPair pair(180);
    ASSERT_TRUE(pair.Ok);
    char buffer[16];
    // Bytes already waiting are taken even when the deadline has passed.
    ASSERT_TRUE(SendAll(pair.Server.Get(), "ab"));
    ASSERT_TRUE(WaitDelivered(pair.Server.Get()));
    EXPECT_TRUE(pair.Client.ReceiveBuffer(buffer, 2, std::chrono::steady_clock::now()));
    EXPECT_EQ(std::string(buffer, 2), "ab");

    // A quiet peer: the deadline, not the 180 s time-out, ends the wait, and the socket goes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    EXPECT_FALSE(pair.Client.ReceiveBuffer(buffer, 1, deadline));
    EXPECT_GE(std::chrono::steady_clock::now(), deadline);
    EXPECT_EQ(pair.Client.LastError(), ETIMEDOUT);
    EXPECT_FALSE(pair.Client.Connected());
}

TEST(EasySocketWrite, EveryByteArrivesInOrder) {
    tPair pair(5, 4096);
    ASSERT_TRUE(pair.Ok);
    std::string data(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4093);
    std::string received;
    std::thread reader([&] { received = ReadAvailable(pair.Server.Get(), data.size()); });
    EXPECT_TRUE(pair.Client.WriteData(data.data(), static_cast<int32_t>(data.size())));
    reader.join();
    EXPECT_TRUE(received == data);
}

TEST(EasySocketWrite, PeerThatVanishedFailsWithItsCodeInTheEventLog) {
    tPair pair(5);
    ASSERT_TRUE(pair.Ok);
    ResetOnClose(pair.Server.Get());
    pair.Server.Reset();

    // The first send may still be taken before the reset arrives; no SIGPIPE either way.
    const std::string block(1000, 'x');
    bool written = true;
    for (int i = 0; i < 500 && written; ++i) {
        written = pair.Client.WriteData(block.data(), static_cast<int32_t>(block.size()));
        if (written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(written);
    const int code = pair.Client.LastError();
    EXPECT_TRUE(code == ECONNRESET || code == EPIPE) << code;
    EXPECT_NE(EventLogText().find(",999,\"WriteData Failed: " + std::to_string(code) + "\"\r\n"),
              std::string::npos);
    EXPECT_FALSE(pair.Client.Connected());
}

TEST(EasySocketWrite, PeerThatNeverReadsRunsIntoTheTimeout) {
    tPair pair(1, 4096);
    ASSERT_TRUE(pair.Ok);
    const std::vector<char> data(16 * 1024 * 1024, 'z');
    EXPECT_FALSE(pair.Client.WriteData(data.data(), static_cast<int32_t>(data.size())));
    EXPECT_EQ(pair.Client.LastError(), ETIMEDOUT);
    EXPECT_NE(EventLogText().find(",999,\"WriteData Failed: Timeout\"\r\n"), std::string::npos);
    EXPECT_FALSE(pair.Client.Connected());
}

// With no time-out at all, Disconnect from another thread is the only way out.
TEST(EasySocketDisconnect, AnotherThreadUnblocksAWriterAndAReader) {
    tPair writing(0, 4096);
    tPair reading(0);
    ASSERT_TRUE(writing.Ok && reading.Ok);

    bool written = true;
    int32_t received = -1;
    const std::vector<char> data(16 * 1024 * 1024, 'w');
    std::thread writer([&] {
        written = writing.Client.WriteData(data.data(), static_cast<int32_t>(data.size()));
    });
    std::thread reader([&] {
        char buffer[64];
        received = reading.Client.ReceiveData(buffer, sizeof buffer);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(reading.Client.Connected());  // a waiting reader does not shut others out for long
    writing.Client.Disconnect();
    reading.Client.Disconnect();
    writer.join();
    reader.join();
    EXPECT_FALSE(written);
    EXPECT_EQ(received, 0);
    EXPECT_FALSE(writing.Client.Connected());
}
