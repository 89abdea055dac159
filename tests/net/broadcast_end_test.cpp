// How a broadcast ends: a stop sends what the interleaver held and the end-of-stream pages and
// closes the connection cleanly, within its budget whatever the server does; a server that
// takes nothing is given up as lost; a stop is no failure for the event log.

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ogg_network_stream.h"
#include "net/queue_writer.h"
#include "settings/log.h"
#include "tests/net/event_log_capture.h"
#include "tests/net/stream_test_support.h"
#include "tests/support/recording_server.h"

namespace {

using namespace std::chrono_literals;
using tAnswer = tRecordingServer::tAnswer;

constexpr int kPackets = 30;
constexpr int kPacketBytes = 1000;

size_t WriteFailures() {
    const std::string events = EventLogText();
    size_t count = 0;
    for (size_t at = events.find("WriteData Failed"); at != std::string::npos;
         at = events.find("WriteData Failed", at + 1))
        ++count;
    return count;
}

// Packets of one logical stream, the last one marked as its end: small enough that the
// interleaver holds every page of them until the output ends.
void SubmitStream(tOggIOBase& output) {
    const int index = output.AddStream();
    ASSERT_EQ(index, 0);
    std::vector<uint8_t> body(kPacketBytes);
    for (int i = 0; i < kPackets; ++i) {
        for (int b = 0; b < kPacketBytes; ++b) body[b] = static_cast<uint8_t>(i + b);
        ogg_packet packet{};
        packet.packet = body.data();
        packet.bytes = kPacketBytes;
        packet.b_o_s = i == 0;
        packet.e_o_s = i == kPackets - 1;
        packet.granulepos = i;
        packet.packetno = i;
        ASSERT_TRUE(output.SubmitPacket(index, packet));
    }
}

struct TReceived {
    int Packets = 0;
    bool Intact = true;        // every packet as sent
    bool EndOfStream = false;  // the last page carries the end-of-stream flag
};

TReceived Decode(const std::string& bytes) {
    TReceived got;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    ogg_stream_state stream;
    bool streamReady = false;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (!streamReady) {
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            streamReady = true;
        }
        ogg_stream_pagein(&stream, &page);
        got.EndOfStream = ogg_page_eos(&page) != 0;
        ogg_packet packet;
        while (ogg_stream_packetout(&stream, &packet) == 1) {
            const int i = got.Packets++;
            got.Intact =
                got.Intact && packet.bytes == kPacketBytes &&
                packet.packet[kPacketBytes - 1] == static_cast<uint8_t>(i + kPacketBytes - 1);
        }
    }
    if (streamReady) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return got;
}

}  // namespace

// The pages held back and the end-of-stream page reach the server before the connection ends,
// and the stop leaves nothing in the event log.
TEST(BroadcastEnd, StopSendsTheHeldPagesAndTheEndOfStream) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n");
    AimAt(server.Port());
    const size_t failuresBefore = WriteFailures();
    {
        tOggNetworkStream stream;
        ASSERT_TRUE(WaitUntil([&] { return stream.EverAccepted(); }));
        SubmitStream(stream);
        // Only the beginning-of-stream page leaves at once; the interleaver holds the rest.
        std::this_thread::sleep_for(200ms);
        EXPECT_LE(Decode(server.Data(1, 1000)).Packets, 1);
        stream.Abort();
        stream.Close();
    }
    const TReceived got = Decode(server.Data(kPackets * kPacketBytes));
    EXPECT_EQ(got.Packets, kPackets);
    EXPECT_TRUE(got.Intact);
    EXPECT_TRUE(got.EndOfStream);
    const std::string log = TakeLog();
    EXPECT_EQ(log.find("Stopping:"), std::string::npos) << log;
    EXPECT_NE(log.find("Streaming ended\r\n"), std::string::npos) << log;
    EXPECT_EQ(WriteFailures(), failuresBefore) << EventLogText();
}

// A server that stopped reading cannot hold the stop past its budget: what it did not take is
// dropped and counted in one line, and the send that the stop broke is no failure event.
TEST(BroadcastEnd, StalledServerCutsTheEndShortWithALine) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n", tAnswer::Stall, 4096);
    AimAt(server.Port());
    const size_t failuresBefore = WriteFailures();
    tOggNetworkStream stream(300ms);
    ASSERT_TRUE(WaitUntil([&] { return stream.EverAccepted(); }));
    stream.Abort();
    // More than the socket buffers and the send queue hold: the write gives up at the deadline.
    const std::vector<uint8_t> big(8 * tQueueWriter::QueueCapacity, 7);
    EXPECT_EQ(stream.WriteData(big.data(), static_cast<int32_t>(big.size())),
              static_cast<int32_t>(big.size()));
    stream.Close();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Stopping: the server did not take the end of the broadcast within 300 "
                       "ms; "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" bytes were not sent\r\n"), std::string::npos) << log;
    EXPECT_EQ(WriteFailures(), failuresBefore) << EventLogText();
}

// A server that takes no byte while data waits is given up after the stall time-out, with a
// line saying so, so that the owner restarts the broadcast.
TEST(BroadcastEnd, ServerThatTakesNothingIsDroppedAsLost) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n", tAnswer::Stall, 4096);
    AimAt(server.Port());
    tQueueWriter writer(1);
    ASSERT_TRUE(WaitUntil([&] { return writer.Accepted(); }));
    const std::vector<uint8_t> block(1 << 20, 5);
    // Enqueue waits while the queue is full and returns once the writer has given up.
    ASSERT_TRUE(WaitUntil(
        [&] {
            writer.Enqueue(block.data(), static_cast<int32_t>(block.size()));
            return !writer.Running();
        },
        60000));
    EXPECT_FALSE(writer.Connected());
    const std::string log = TakeLog();
    EXPECT_NE(log.find("The server took no data for 1 s: connection to 127.0.0.1 on port " +
                       std::to_string(server.Port()) + " dropped\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(EventLogText().find("WriteData Failed: Timeout"), std::string::npos);
}

// A server that never let the broadcast in: nothing to drain, and the stream says it was never
// accepted.
TEST(BroadcastEnd, RefusedBroadcastWasNeverAccepted) {
    tRecordingServer server("HTTP/1.0 403 Forbidden\r\n\r\n");
    AimAt(server.Port());
    tOggNetworkStream stream;
    ASSERT_TRUE(WaitUntil([&] { return !stream.Connected(); }));
    SubmitStream(stream);
    stream.Abort();
    stream.Close();
    EXPECT_FALSE(stream.EverAccepted());
    const std::string log = TakeLog();
    EXPECT_EQ(log.find("Stopping:"), std::string::npos) << log;
}
