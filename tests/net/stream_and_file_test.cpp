// A broadcast that also records: the file gets every page once, in one continuous stream,
// whatever the server does; a new connection after a lost one opens with the header pages of
// every stream and goes on with the pages written after it, and a file that cannot be written
// leaves the broadcast going.

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/ogg_file.h"
#include "net/ogg_stream_and_file.h"
#include "settings/log.h"
#include "tests/net/stream_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/recording_server.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

constexpr int kStreams = 2;
constexpr int kHeaderPackets = 3;
constexpr int kPacketBytes = 700;

// One Ogg page as it lies in a byte string.
struct TPage {
    std::string Bytes;
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    bool BOS = false;
    bool EOS = false;
};

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// Splits bytes into whole pages; a torn or foreign tail ends the list (and fails the test
// unless more may come).
std::vector<TPage> Pages(const std::string& bytes, bool whole = true) {
    std::vector<TPage> pages;
    size_t at = 0;
    while (at + 27 <= bytes.size() && bytes.compare(at, 4, "OggS") == 0) {
        const size_t segments = static_cast<uint8_t>(bytes[at + 26]);
        size_t size = 27 + segments;
        if (at + size > bytes.size()) break;
        for (size_t s = 0; s < segments; ++s) size += static_cast<uint8_t>(bytes[at + 27 + s]);
        if (at + size > bytes.size()) break;
        const auto flags = static_cast<uint8_t>(bytes[at + 5]);
        pages.push_back({bytes.substr(at, size), Le32(bytes, at + 14), Le32(bytes, at + 18),
                         (flags & 2) != 0, (flags & 4) != 0});
        at += size;
    }
    if (whole) EXPECT_EQ(at, bytes.size()) << "bytes after the last whole page";
    return pages;
}

class StreamAndFileTest : public ::testing::Test {
  protected:
    void SetUp() override { TakeLog(); }

    // Both streams' header packets, each stream's ending on a page of its own, while writing
    // is held, as the live encoder does it.
    void SubmitHeaders(tOggIOBase& output) {
        output.HoldWriting(true);
        for (int s = 0; s < kStreams; ++s) {
            ASSERT_EQ(output.AddStream(), s);
            for (int p = 0; p < kHeaderPackets; ++p) {
                Submit(output, s, p, 0, p == 0, false);
                // The first header alone on the beginning-of-stream page.
                if (p == 0) ASSERT_TRUE(output.FlushStream(s));
            }
            ASSERT_TRUE(output.FlushStream(s));
        }
        output.HoldWriting(false);
    }

    // count data pages on each stream, written out at once.
    void SubmitData(tOggIOBase& output, int count, bool last = false) {
        for (int i = 0; i < count; ++i) {
            for (int s = 0; s < kStreams; ++s) {
                ++FGranule[s];
                Submit(output, s, kHeaderPackets + FGranule[s], FGranule[s], false,
                       last && i == count - 1);
                ASSERT_TRUE(output.FlushStream(s));
            }
        }
        ASSERT_TRUE(output.WritePages(0, 3000));
    }

    static void Submit(tOggIOBase& output, int stream, int number, ogg_int64_t granule, bool bos,
                       bool eos) {
        std::vector<uint8_t> body(kPacketBytes, static_cast<uint8_t>(number * 7 + stream));
        ogg_packet packet{};
        packet.packet = body.data();
        packet.bytes = kPacketBytes;
        packet.b_o_s = bos;
        packet.e_o_s = eos;
        packet.granulepos = granule;
        packet.packetno = number;
        ASSERT_TRUE(output.SubmitPacket(stream, packet));
    }

    static std::unique_ptr<tOggFile> OpenFile(const std::string& path) {
        auto file = std::make_unique<tOggFile>();
        EXPECT_TRUE(file->Open(path));
        return file;
    }

    static tOggStreamAndFile::TStreamMaker ShortDrain() {
        return [] { return std::make_unique<tOggNetworkStream>(500ms); };
    }

    TTempFolder Folder;
    std::map<int, ogg_int64_t> FGranule;
};

// Server A is lost after some pages; the new connection to server B starts with every header
// page, then the pages written from then on; the file holds every page once, each stream's
// numbered without a gap and closed by its end-of-stream page.
TEST_F(StreamAndFileTest, ANewConnectionStartsWithTheHeadersAndTheFileHasNoGap) {
    tRecordingServer first("HTTP/1.0 200 OK\r\n\r\n");
    tRecordingServer second("HTTP/1.0 200 OK\r\n\r\n");
    AimAt(first.Port());
    const std::string path = Folder.File("copy.ogg");
    tOggStreamAndFile output(OpenFile(path), ShortDrain());
    EXPECT_FALSE(output.Reconnect()) << "no headers known yet";
    SubmitHeaders(output);
    SubmitData(output, 4);
    ASSERT_TRUE(WaitUntil([&] { return output.EverAccepted(); }));
    const size_t headerPages = kStreams * 2;
    const size_t beforeDrop = headerPages + 4 * kStreams;
    ASSERT_TRUE(WaitUntil([&] { return Pages(first.Data(1, 100), false).size() == beforeDrop; }))
        << first.Data(1).size() << " bytes";

    first.Drop();
    // Pages go on while the server is lost: the file takes them, the broadcast loses them.
    ASSERT_TRUE(WaitUntil([&] {
        SubmitData(output, 1);
        return !output.Connected();
    }));
    const size_t lostPages = FGranule[0] - 4;
    AimAt(second.Port());
    ASSERT_TRUE(output.Reconnect());
    ASSERT_NE(second.Request(), "");
    ASSERT_TRUE(WaitUntil([&] { return !output.Connecting() && output.Connected(); }));
    SubmitData(output, 3, true);
    output.Close();

    const std::vector<TPage> file = Pages(ReadFileText(path));
    ASSERT_EQ(file.size(), headerPages + (4 + lostPages + 3) * kStreams);
    std::map<uint32_t, uint32_t> nextSequence;
    std::map<uint32_t, bool> ended;
    for (const TPage& page : file) {
        EXPECT_EQ(page.Sequence, nextSequence[page.Serial]++);
        EXPECT_FALSE(ended[page.Serial]) << "a page after the end of its stream";
        ended[page.Serial] = page.EOS;
    }
    EXPECT_EQ(ended.size(), 2u);
    for (auto [serial, end] : ended) EXPECT_TRUE(end) << serial;
    EXPECT_TRUE(file[0].BOS && file[1].BOS);

    const std::vector<TPage> sent = Pages(second.Data(1));
    ASSERT_EQ(sent.size(), headerPages + 3 * kStreams);
    for (size_t i = 0; i < headerPages; ++i) EXPECT_EQ(sent[i].Bytes, file[i].Bytes) << i;
    for (size_t i = 0; i < 3 * kStreams; ++i) {
        EXPECT_EQ(sent[headerPages + i].Bytes, file[file.size() - 3 * kStreams + i].Bytes) << i;
    }
    EXPECT_TRUE(output.EverAccepted());
    EXPECT_FALSE(output.Failed());
}

// A file on a full device fails at its first write and says so; the broadcast takes every
// page to its end all the same.
TEST_F(StreamAndFileTest, AFailedFileLeavesTheBroadcastGoing) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n");
    AimAt(server.Port());
    tOggStreamAndFile output(OpenFile("/dev/full"), ShortDrain());
    SubmitHeaders(output);
    ASSERT_TRUE(WaitUntil([&] { return output.EverAccepted(); }));
    // More than the file's buffer, so it writes and fails.
    SubmitData(output, 20);
    EXPECT_TRUE(output.Failed());
    EXPECT_FALSE(output.Ended());
    EXPECT_TRUE(output.Connected());
    SubmitData(output, 2, true);
    output.Close();
    const std::vector<TPage> sent = Pages(server.Data(1));
    EXPECT_EQ(sent.size(), kStreams * 2 + 22 * kStreams);
    EXPECT_TRUE(sent.back().EOS);
    EXPECT_NE(TakeLog().find("Error writing to file /dev/full"), std::string::npos);
}

}  // namespace
