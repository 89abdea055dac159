#include "engine/ogg_io_base.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/event.h"
#include "engine/serial_number.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/engine/ogg_test_support.h"

namespace {

using TLabels = std::vector<std::string>;

class OggInterleaver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Output.OggReady());
        ASSERT_EQ(Output.AddStream(), 0);
        ASSERT_EQ(Output.AddStream(), 1);
    }
    TRecordingOutput Output;
};

TEST_F(OggInterleaver, BeginningOfStreamPageLeavesAtOnceAheadOfOlderPages) {
    ASSERT_TRUE(QueueFake(Output, 0, 0, 1.0));
    EXPECT_TRUE(Output.Writes.empty());
    ASSERT_TRUE(QueueFake(Output, 1, 0, 5.0, true));
    EXPECT_EQ(Output.Labels(), TLabels{"1:0"});

    // Beginning-of-stream pages at both heads leave in stream order, before any data page.
    ASSERT_TRUE(QueueFake(Output, 1, 1, 0.5));
    TRecordingOutput second;
    second.AddStream();
    second.AddStream();
    second.ShortWrites = 2;  // hold both back until they are queued
    QueueFake(second, 0, 0, 0.0, true);
    QueueFake(second, 1, 0, 0.0, true);
    QueueFake(second, 1, 1, 0.1);
    ASSERT_TRUE(second.WritePages(0, 3000));
    EXPECT_EQ(second.Labels(), (TLabels{"0:0", "1:0", "1:1"}));
}

TEST_F(OggInterleaver, SingleStreamLimitWritesTheOlderPageOnly) {
    ASSERT_TRUE(QueueFake(Output, 1, 0, 0.5));
    ASSERT_TRUE(QueueFake(Output, 1, 1, 0.6));
    ASSERT_TRUE(Output.Writes.empty());
    ASSERT_TRUE(Output.WritePages(1, 3000));
    EXPECT_EQ(Output.Labels(), TLabels{"1:0"});
}

TEST_F(OggInterleaver, DrainWritesEveryPageInTimeOrderTiesToTheHigherIndex) {
    const double times0[] = {0.0, 0.4, 0.8};
    const double times1[] = {0.0, 0.2, 0.4, 0.6, 1.0};
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(QueueFake(Output, 0, i, times0[i]));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(QueueFake(Output, 1, i, times1[i]));
    ASSERT_TRUE(Output.Writes.empty());
    ASSERT_TRUE(Output.WritePages(0, 3000));
    EXPECT_EQ(Output.Labels(), (TLabels{"1:0", "0:0", "1:1", "1:2", "0:1", "1:3", "0:2", "1:4"}));
}

TEST_F(OggInterleaver, QueueingWritesOnlyPastTwentyPagesOrThreeSeconds) {
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(QueueFake(Output, 0, i, 0.01 * i));
    EXPECT_TRUE(Output.Writes.empty());
    ASSERT_TRUE(QueueFake(Output, 0, 20, 0.2));
    EXPECT_EQ(Output.Labels(), TLabels{"0:0"});

    ASSERT_TRUE(QueueFake(Output, 1, 0, 10.0));
    ASSERT_TRUE(QueueFake(Output, 1, 1, 12.999));
    EXPECT_EQ(Output.Writes.size(), 1u);
    // Stream 1 now spans 3 s: pages leave in time order, the older ones of stream 0 first,
    // until no stream is over a limit.
    ASSERT_TRUE(QueueFake(Output, 1, 2, 13.0));
    TLabels expected;
    for (int i = 0; i <= 20; ++i) expected.push_back("0:" + std::to_string(i));
    expected.push_back("1:0");
    EXPECT_EQ(Output.Labels(), expected);
}

TEST_F(OggInterleaver, ShortWriteKeepsThePageForTheNextCall) {
    ASSERT_TRUE(QueueFake(Output, 0, 0, 0.0));
    ASSERT_TRUE(QueueFake(Output, 0, 1, 0.1));
    Output.ShortWrites = 1;
    EXPECT_FALSE(Output.WritePages(0, 3000));
    EXPECT_TRUE(Output.Writes.empty());
    EXPECT_TRUE(Output.WritePages(0, 3000));
    EXPECT_EQ(Output.Labels(), (TLabels{"0:0", "0:1"}));
}

TEST_F(OggInterleaver, RefusesBadIndicesAndEmptyInput) {
    std::vector<uint8_t> bytes(10, 1);
    ogg_packet packet = MakePacket(bytes, 0, 0);
    EXPECT_FALSE(Output.SubmitPacket(-1, packet));
    EXPECT_FALSE(Output.SubmitPacket(2, packet));
    EXPECT_FALSE(Output.FlushStream(2));
    EXPECT_FALSE(QueueFake(Output, 2, 0, 0.0));

    packet.bytes = -1;
    EXPECT_FALSE(Output.SubmitPacket(0, packet));
    EXPECT_EQ(Output.PendingPackets(0), 0);
    bool pageOut = true;
    EXPECT_TRUE(Output.FlushStream(0, &pageOut));
    EXPECT_FALSE(pageOut);

    TFakePage fake(0, 0, false, 0);
    ogg_page page = fake.Page();
    page.header_len = 0;
    EXPECT_FALSE(Output.QueuePage(0, page, 0.0));
    EXPECT_TRUE(Output.WritePages(0, 3000));
    EXPECT_TRUE(Output.Writes.empty());

    // An empty packet (a repeated Theora frame) is kept, with its granule position.
    packet.bytes = 10;
    EXPECT_TRUE(Output.SubmitPacket(0, packet));  // the first page leaves at once
    ogg_packet repeat = MakePacket(bytes, 7, 1);
    repeat.bytes = 0;
    EXPECT_TRUE(Output.SubmitPacket(0, repeat));
    EXPECT_EQ(Output.PendingPackets(0), 1);
    EXPECT_TRUE(Output.FlushStream(0, &pageOut));
    EXPECT_TRUE(pageOut);
    EXPECT_TRUE(Output.WritePages(0, 3000));
    const TParsedOgg parsed = ParseOgg(Output.Bytes());
    ASSERT_EQ(parsed.Pages.size(), 2u);
    EXPECT_EQ(parsed.Pages[1].GranulePos, 7);
}

// The time callback sees the granule position each page is timed by.
std::vector<ogg_int64_t> SeenGranules;
double RecordGranule(void*, ogg_int64_t granulePos) {
    SeenGranules.push_back(granulePos);
    return granulePos / 100.0;
}

TEST_F(OggInterleaver, PageOnWhichNoPacketEndsTakesThePreviousTime) {
    SeenGranules.clear();
    std::vector<uint8_t> small(100, 7);
    // More than 255 lacing values: libogg has to end a page inside this packet.
    std::vector<uint8_t> large(70000, 9);
    ogg_packet header = MakePacket(small, 0, 0);
    ogg_packet first = MakePacket(small, 500, 1);
    ogg_packet second = MakePacket(large, 1000, 2);
    // The first packet of a stream goes out on a page of its own at once.
    ASSERT_TRUE(Output.SubmitPacket(0, header));
    EXPECT_EQ(Output.PendingPackets(0), 0);
    ASSERT_TRUE(Output.SubmitPacket(0, first, RecordGranule));
    EXPECT_EQ(Output.PendingPackets(0), 1);
    ASSERT_TRUE(Output.FlushStream(0));
    EXPECT_EQ(Output.PendingPackets(0), 0);
    ASSERT_TRUE(Output.SubmitPacket(0, second, RecordGranule));
    bool pageOut = false;
    ASSERT_TRUE(Output.FlushStream(0, &pageOut));
    EXPECT_TRUE(pageOut);
    ASSERT_TRUE(Output.WritePages(0, 3000));

    // The large packet spans two pages; the first carries granule position -1.
    std::vector<ogg_int64_t> pageGranules;
    for (auto& written : Output.Writes) {
        ogg_page page{written.data(), 27 + written[26], nullptr, 0};
        pageGranules.push_back(ogg_page_granulepos(&page));
    }
    EXPECT_EQ(pageGranules, (std::vector<ogg_int64_t>{0, 500, -1, 1000}));
    EXPECT_EQ(SeenGranules, (std::vector<ogg_int64_t>{500, 500, 1000}));
}

TEST(OggSerialNumbers, NeverRepeatWithinTheProcess) {
    std::set<int32_t> seen;
    // Outputs made in quick succession, as when a lost connection starts a new run.
    for (int run = 0; run < 3; ++run) {
        TRecordingOutput output;
        for (int stream = 0; stream < 2; ++stream) {
            ASSERT_EQ(output.AddStream(), stream);
            int32_t serial = output.SerialNumber(stream);
            EXPECT_TRUE(seen.insert(serial).second) << serial;
        }
    }
    // Enough draws that a birthday collision in 2^31 values is likely without the check.
    for (int i = 0; i < 100000; ++i) {
        int32_t serial = NewSerialNumber();
        ASSERT_GE(serial, 0);
        ASSERT_LE(serial, 2147483646);
        ASSERT_TRUE(seen.insert(serial).second) << serial;
    }
}

TEST(OggQueueLock, WaitThatRunsOutFailsWithoutTouchingTheQueues) {
    Settings.DebugMode = true;
    TakeLog();
    TRecordingOutput output;
    ASSERT_EQ(output.AddStream(), 0);
    TEvent writing, release;
    output.BeforeWrite = [&] {
        writing.Set();
        release.WaitFor(10000);
    };
    // The writer holds the queue lock while its write is stuck.
    std::thread writer([&] { QueueFake(output, 0, 0, 0.0, true); });
    ASSERT_TRUE(writing.WaitFor(10000));
    output.SetQueueLockTimeout(std::chrono::milliseconds(20));
    // A page lost is a hole in the stream: the operator sees it without debug lines.
    Settings.DebugMode = false;
    EXPECT_FALSE(QueueFake(output, 0, 1, 0.1));
    EXPECT_NE(TakeLog().find("Ogg page dropped: the page queue stayed busy too long"),
              std::string::npos);
    Settings.DebugMode = true;
    EXPECT_FALSE(output.WritePages(0, 3000));
    EXPECT_FALSE(output.ClearStreams());
    EXPECT_EQ(output.AddStream(), -1);
    release.Set();
    writer.join();

    output.BeforeWrite = nullptr;
    EXPECT_EQ(output.StreamCount(), 1);
    ASSERT_TRUE(QueueFake(output, 0, 2, 0.2));
    ASSERT_TRUE(output.WritePages(0, 3000));
    EXPECT_EQ(output.Labels(), (TLabels{"0:0", "0:2"}));
    EXPECT_NE(TakeLog().find("Ogg page queue busy too long"), std::string::npos);
    Settings.DebugMode = false;
}

}  // namespace
