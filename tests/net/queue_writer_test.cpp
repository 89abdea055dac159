#include "net/queue_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/easy_socket.h"
#include "net/ogg_network_stream.h"
#include "net/send_rate.h"
#include "net/source_request.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/net/stream_test_support.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_server.h"

namespace {

using tAnswer = tRecordingServer::tAnswer;

std::string Where(uint16_t port) {
    return "127.0.0.1 on port " + std::to_string(port);
}

// Bytes that differ from their neighbours, so a lost, doubled or swapped block shows.
std::string Pattern(size_t from, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((from + i) * 131 + (from + i) / 251);
    return bytes;
}

bool EndsOnItsOwn(tQueueWriter& writer) {
    return WaitUntil([&] { return !writer.Running(); });
}

// The log of an attempt that got no reply line: given up and retried, but no refusal.
void ExpectGivenUpWithoutAReply(const std::string& log) {
    EXPECT_TRUE(
        InOrder(log, {"Connected to server ",
                      "Got disconnected reading response to stream request. Check server logs\r\n",
                      "Connection Error\r\n", "Will re-try connection\r\n"}))
        << log;
    EXPECT_EQ(log.find("Unable to stream to server: "), std::string::npos) << log;
}

}  // namespace

TEST(OggNetworkStream, SendsTheRequestOnceThenEveryByteInOrder) {
    tRecordingServer server("HTTP/1.0 200 OK\r\nServer: test\r\n\r\n");
    AimAt(server.Port());
    std::string sent;
    {
        tOggNetworkStream stream;
        EXPECT_TRUE(stream.Connected());
        uint8_t none[4];
        EXPECT_EQ(stream.ReadData(none, sizeof none), 0);
        for (int32_t size = 1; sent.size() < 400000; size = size * 7 % 9001 + 1) {
            const std::string chunk = Pattern(sent.size(), static_cast<size_t>(size));
            EXPECT_EQ(stream.WriteData(reinterpret_cast<const uint8_t*>(chunk.data()), size), size);
            sent += chunk;
        }
        // One write of more than the queue can ever hold goes through in pieces.
        const std::string huge = Pattern(sent.size(), 5 * tQueueWriter::QueueCapacity / 2);
        const auto hugeSize = static_cast<int32_t>(huge.size());
        EXPECT_EQ(stream.WriteData(reinterpret_cast<const uint8_t*>(huge.data()), hugeSize),
                  hugeSize);
        sent += huge;
        const std::string received = server.Data(sent.size());
        EXPECT_EQ(received.size(), sent.size());
        EXPECT_TRUE(received == sent);
        EXPECT_TRUE(stream.Connected());
    }
    EXPECT_EQ(server.Request(), SourceRequest(Settings));
    const std::string log = TakeLog();
    EXPECT_TRUE(InOrder(
        log, {"Connecting to server " + Where(server.Port()) + "...\r\n",
              "Connected to server " + Where(server.Port()) + "\r\n", "Server ready for data\r\n",
              "tQueueWriter: Repeat Start\r\n", "tQueueWriter.ForceQuit\r\n", "Streaming ended\r\n",
              "tQueueWriter: Finally\r\n"}))
        << log;
}

TEST(QueueWriter, OnlyAnHttp10OkFirstLineOpensTheStream) {
    const std::string longLine = "HTTP/1.0 200 OK" + std::string(2000, 'x');
    struct tCase {
        std::string Reply;
        bool Accepted;
        std::string Logged;
    };
    const tCase cases[] = {
        {"http/1.0 200 ok\r\n\r\n", true, ""},
        {"HTTP/1.0 200 OK\n", true, ""},
        {"HTTP/1.1 200 OK\r\n\r\n", false, "HTTP/1.1 200 OK"},
        {"HTTP/1.0 401 Unauthorized\r\n\r\n", false, "HTTP/1.0 401 Unauthorized"},
        // A long line is shown cut; the server's control bytes reach no log or terminal raw.
        {longLine + "\r\n", false, longLine.substr(0, 200) + "..."},
        {"HTTP/1.0 403 \x1b]0;owned\x07 Forbidden\r\n", false,
         "HTTP/1.0 403 \\x1B]0;owned\\x07 Forbidden"},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.Reply.substr(0, 40));
        tRecordingServer server(c.Reply);
        AimAt(server.Port());
        auto writer = std::make_unique<tQueueWriter>();
        ASSERT_TRUE(WaitUntil([&] { return !writer->Connecting(); }));
        EXPECT_EQ(writer->Accepted(), c.Accepted);
        if (c.Accepted) {
            EXPECT_TRUE(writer->Connected());
            EXPECT_TRUE(writer->Running());
        } else {
            EXPECT_TRUE(EndsOnItsOwn(*writer));
            EXPECT_FALSE(writer->Connected());
        }
        writer.reset();
        const std::string log = TakeLog();
        EXPECT_EQ(log.find("Server ready for data") != std::string::npos, c.Accepted) << log;
        if (!c.Accepted) {
            EXPECT_TRUE(InOrder(log, {"Unable to stream to server: " + c.Logged + "\r\n",
                                      "Connection Error\r\n", "Will re-try connection\r\n",
                                      "tQueueWriter: Finally\r\n", "Socket was Disconnected\r\n"}))
                << log;
        }
    }
}

TEST(QueueWriter, ServerThatClosesWithoutAWordIsNoRefusal) {
    tRecordingServer server("", tAnswer::Close);
    AimAt(server.Port());
    auto writer = std::make_unique<tQueueWriter>();
    EXPECT_TRUE(EndsOnItsOwn(*writer));
    writer.reset();
    ExpectGivenUpWithoutAReply(TakeLog());
}

TEST(QueueWriter, ServerThatNeverRepliesHoldsTheAttemptUntilTheTimeout) {
    tRecordingServer server("", tAnswer::Silent);
    AimAt(server.Port());
    auto writer = std::make_unique<tQueueWriter>(2);
    EXPECT_FALSE(server.Request().empty());
    EXPECT_TRUE(writer->Connecting());
    EXPECT_TRUE(EndsOnItsOwn(*writer));
    EXPECT_FALSE(writer->Connecting());
    writer.reset();
    EXPECT_TRUE(InOrder(
        TakeLog(), {"Got disconnected reading response to stream request. Check server logs\r\n",
                    "Will re-try connection\r\n"}));
}

TEST(QueueWriter, ReplyIsAwaitedTenSecondsNotTheSendTimeout) {
    tRecordingServer server("", tAnswer::Silent);
    AimAt(server.Port());
    const auto started = std::chrono::steady_clock::now();
    auto writer = std::make_unique<tQueueWriter>();
    EXPECT_FALSE(server.Request().empty());
    EXPECT_TRUE(writer->Connecting());
    // Given up within eleven seconds of the start, though sends may stall for 180.
    EXPECT_TRUE(WaitUntil([&] { return !writer->Running(); }, 11000));
    EXPECT_GE(std::chrono::steady_clock::now() - started,
              std::chrono::seconds(tQueueWriter::ReplyTimeoutSec));
    EXPECT_FALSE(writer->Connecting());
    EXPECT_FALSE(writer->Connected());
    writer.reset();
    ExpectGivenUpWithoutAReply(TakeLog());
}

TEST(QueueWriter, RefusedConnectionIsLoggedInOrder) {
    const uint16_t port = UnusedPort();
    AimAt(port);
    auto writer = std::make_unique<tQueueWriter>();
    EXPECT_TRUE(EndsOnItsOwn(*writer));
    EXPECT_FALSE(writer->Connecting());
    writer.reset();
    const std::string log = TakeLog();
    EXPECT_TRUE(InOrder(log, {"Connecting to server " + Where(port) + "...\r\n",
                              "Unable to connect to " + Where(port) +
                                  " because: " + SocketErrorText(ECONNREFUSED) + "\r\n",
                              "Connection Error\r\n", "Will re-try connection\r\n",
                              "tQueueWriter: Finally\r\n", "Socket was Disconnected\r\n"}))
        << log;
    EXPECT_EQ(log.find("Connected to server"), std::string::npos);
}

TEST(QueueWriter, FullQueueHoldsTheWriterUntilForceQuit) {
    tRecordingServer server("", tAnswer::Silent);  // the sender stays waiting for the reply
    AimAt(server.Port());
    auto writer = std::make_unique<tQueueWriter>();
    const std::vector<uint8_t> full(tQueueWriter::QueueCapacity, 1);
    writer->Enqueue(full.data(), static_cast<int32_t>(full.size()));

    std::atomic<bool> returned{false};
    std::thread late([&] {
        const uint8_t one = 2;
        writer->Enqueue(&one, 1);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(writer->Connecting());
    writer->ForceQuit();
    late.join();
    EXPECT_TRUE(returned);
    writer->Enqueue(full.data(), static_cast<int32_t>(full.size()));  // dropped at once
    writer.reset();
    EXPECT_TRUE(InOrder(TakeLog(), {"tQueueWriter.ForceQuit\r\n", "Streaming ended\r\n"}));
}

// A broadcast that also records never waits on the server: what does not fit is left out
// whole, said once, and counted as not sent.
TEST(QueueWriter, TryEnqueueTakesAllOrNothingAndNeverWaits) {
    tRecordingServer server("", tAnswer::Silent);  // the sender stays waiting for the reply
    AimAt(server.Port());
    auto writer = std::make_unique<tQueueWriter>();
    const std::vector<uint8_t> piece(100000, 1);
    const auto size = static_cast<int32_t>(piece.size());
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(writer->TryEnqueue(piece.data(), size)) << i;
    EXPECT_FALSE(writer->TryEnqueue(piece.data(), size));
    EXPECT_FALSE(writer->TryEnqueue(piece.data(), size));
    EXPECT_TRUE(writer->TryEnqueue(piece.data(), tQueueWriter::QueueCapacity - 9 * size));
    EXPECT_EQ(writer->UnsentBytes(), tQueueWriter::QueueCapacity + 2 * size);
    writer->ForceQuit();
    EXPECT_FALSE(writer->TryEnqueue(piece.data(), 1));
    writer.reset();
    const std::string log = TakeLog();
    const std::string line = "The server takes the broadcast too slowly: pages are left out";
    const size_t said = log.find(line);
    EXPECT_NE(said, std::string::npos) << log;
    EXPECT_EQ(log.find(line, said + 1), std::string::npos) << log;
}

TEST(OggNetworkStream, LostServerEndsTheSenderAndLaterWritesAreDropped) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n");
    AimAt(server.Port());
    tOggNetworkStream stream;
    const std::string first = Pattern(0, 1000);
    stream.WriteData(reinterpret_cast<const uint8_t*>(first.data()), 1000);
    EXPECT_EQ(server.Data(1000).size(), 1000u);

    server.Drop();
    const std::string block = Pattern(0, 4096);
    EXPECT_TRUE(WaitUntil([&] {
        stream.WriteData(reinterpret_cast<const uint8_t*>(block.data()), 4096);
        return !stream.Connected();
    }));
    // More than the queue could ever hold, yet no wait.
    const std::vector<uint8_t> big(3 * tQueueWriter::QueueCapacity, 3);
    EXPECT_EQ(stream.WriteData(big.data(), static_cast<int32_t>(big.size())),
              static_cast<int32_t>(big.size()));
    EXPECT_EQ(stream.SendRateKbps(), 0);  // not one full second of sending
    EXPECT_TRUE(InOrder(
        TakeLog(), {"Server ready for data\r\n", "ExitPoint 3\r\n", "tQueueWriter: Finally\r\n"}));
}

TEST(SendRate, AveragesTheLastFiveMeasurementsOfMoreThanOneSecond) {
    tSendRate rate;
    rate.Start(0);
    rate.Add(16016);
    EXPECT_FALSE(rate.Update(1000));  // not more than one second yet
    EXPECT_EQ(rate.Kbps(), 0);
    EXPECT_TRUE(rate.Update(1001));  // 16000 bytes/s in one slot of five
    EXPECT_EQ(rate.Kbps(), 25);
    for (int64_t second = 2; second <= 5; ++second) {
        rate.Add(16016);
        EXPECT_TRUE(rate.Update(second * 1001));
    }
    EXPECT_EQ(rate.Kbps(), 125);

    // Nothing sent: no measurement, and the next one spans the quiet time as well.
    EXPECT_FALSE(rate.Update(12005));
    rate.Add(224000);                 // 7000 ms since the last measurement: 32000 bytes/s
    EXPECT_TRUE(rate.Update(12005));  // replaces the oldest slot
    EXPECT_EQ(rate.Kbps(), 150);

    rate.Start(0);
    rate.Add(2000000000);
    EXPECT_TRUE(rate.Update(1001));
    EXPECT_EQ(rate.Kbps(), 3121878);  // no overflow on fast links
}
