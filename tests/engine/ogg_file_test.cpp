#include "engine/ogg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/log.h"
#include "tests/engine/ogg_test_support.h"

namespace {

using namespace std::chrono_literals;

// Watches the writes that reach the file, on a clock that moves only when the test says so.
class TWatchedFile : public tOggFile {
  public:
    ~TWatchedFile() override { Close(); }
    std::vector<size_t> DiskWrites;
    std::chrono::steady_clock::time_point Clock{};

  protected:
    ssize_t WriteToDisk(int fileHandle, const uint8_t* data, size_t size) override {
        DiskWrites.push_back(size);
        return tOggFile::WriteToDisk(fileHandle, data, size);
    }
    std::chrono::steady_clock::time_point Now() const override { return Clock; }
};

// Queues page `number` of stream 0, `size` bytes long, at 0.1 s per page; its bytes are added
// to `into` when given.
void QueueFakePage(tOggIOBase& output, int number, size_t size, std::vector<uint8_t>* into) {
    TFakePage fake(0, number, false, size - 27);
    ogg_page page = fake.Page();
    ASSERT_TRUE(output.QueuePage(0, page, 0.1 * number));
    if (!into) return;
    into->insert(into->end(), fake.Header.begin(), fake.Header.end());
    into->insert(into->end(), fake.Body.begin(), fake.Body.end());
}

TEST(OggFile, PagesReachTheDiskInWholeBuffers) {
    const std::string path = MakeTempFolder("whole_buffers") + "out.ogg";
    TWatchedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    // Ten pages of 4000 bytes: the fifth straddles the first buffer boundary.
    std::vector<uint8_t> expected;
    for (int i = 0; i < 10; ++i) QueueFakePage(file, i, 4000, &expected);
    EXPECT_TRUE(file.DiskWrites.empty());
    ASSERT_TRUE(file.WritePages(0, 3000));
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384}));
    file.Close();
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384, 7232}));
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(file.StreamCount(), 0);
}

// Labels of the pages in a file of TFakePage pages with 16-byte bodies, in file order.
std::vector<std::string> LabelsIn(const std::vector<uint8_t>& bytes) {
    constexpr size_t PageSize = 27 + 16;
    std::vector<std::string> labels;
    for (size_t at = 0; at + PageSize <= bytes.size(); at += PageSize)
        labels.push_back(PageLabel({bytes.begin() + at, bytes.begin() + at + PageSize}));
    return labels;
}

TEST(OggFile, EverythingHeldGoesOutOnceASecondInTimeOrder) {
    const std::string path = MakeTempFolder("interval") + "out.ogg";
    TWatchedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    ASSERT_EQ(file.AddStream(), 1);
    ASSERT_TRUE(QueueFake(file, 0, 1, 0.1));
    ASSERT_TRUE(QueueFake(file, 1, 1, 0.3));
    ASSERT_TRUE(QueueFake(file, 0, 2, 0.5));
    file.Clock += 999ms;
    ASSERT_TRUE(QueueFake(file, 1, 2, 0.7));
    EXPECT_TRUE(file.DiskWrites.empty());
    // A second after opening: every queued page, in time order, and the part-filled buffer.
    file.Clock += 1ms;
    ASSERT_TRUE(QueueFake(file, 0, 3, 0.9));
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{5 * 43}));
    EXPECT_EQ(LabelsIn(ReadFileBytes(path)),
              (std::vector<std::string>{"0:1", "1:1", "0:2", "1:2", "0:3"}));

    // Within the next second the interleaver holds pages again.
    file.Clock += 500ms;
    ASSERT_TRUE(QueueFake(file, 1, 3, 1.1));
    EXPECT_EQ(file.DiskWrites.size(), 1u);
    // Nothing is written while no page comes, however long that is.
    file.Clock += 5s;
    EXPECT_EQ(file.DiskWrites.size(), 1u);
    ASSERT_TRUE(QueueFake(file, 0, 4, 1.3));
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{5 * 43, 2 * 43}));
    EXPECT_EQ(ReadFileBytes(path).size(), 7u * 43);
}

TEST(OggFile, DataFasterThanABufferASecondStillGoesInWholeBuffers) {
    const std::string path = MakeTempFolder("fast") + "out.ogg";
    TWatchedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    // 40000 bytes a second, in pages of 4000 bytes every 100 ms.
    for (int i = 1; i <= 20; ++i) {
        file.Clock += 100ms;
        TFakePage fake(0, i, false, 4000 - 27);
        ogg_page page = fake.Page();
        ASSERT_TRUE(file.QueuePage(0, page, 0.1 * i));
    }
    // Each second's write takes whole buffers as they fill and leaves only the rest part-filled.
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384, 7232, 16384, 16384, 7232}));
}

// An existing file is replaced by the first write, not by Open: a run abandoned before it
// writes leaves the earlier recording whole.
TEST(OggFile, FirstWriteReplacesAnExistingFileAndAbandonKeepsIt) {
    const std::string path = MakeTempFolder("truncate") + "old.ogg";
    std::ofstream(path) << "an earlier recording that is longer than one page";
    tOggFile abandoned;
    ASSERT_TRUE(abandoned.Open(path));
    ASSERT_EQ(abandoned.AddStream(), 0);
    ASSERT_TRUE(QueueFake(abandoned, 0, 0, 0.0));
    abandoned.Abandon();
    EXPECT_EQ(ReadFileText(path), "an earlier recording that is longer than one page");

    tOggFile written;
    ASSERT_TRUE(written.Open(path));
    ASSERT_EQ(written.AddStream(), 0);
    ASSERT_TRUE(QueueFake(written, 0, 0, 0.0));
    written.Close();
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.size(), 27u + 16u) << "one page and nothing of the old file";
    EXPECT_EQ(LabelsIn(bytes).size(), 1u);
}

TEST(OggFile, CloseWithoutAnOpenFileLeavesTheQueuesAlone) {
    TWatchedFile file;
    ASSERT_EQ(file.AddStream(), 0);
    ASSERT_TRUE(QueueFake(file, 0, 0, 0.0));
    file.Close();
    EXPECT_EQ(file.StreamCount(), 1);
    EXPECT_TRUE(file.DiskWrites.empty());
}

TEST(OggFile, FileThatCannotBeCreatedIsLoggedAndItsBytesDropped) {
    TakeLog();
    TWatchedFile file;
    EXPECT_FALSE(file.Open("/nonexistent-folder/out.ogg"));
    EXPECT_NE(TakeLog().find("Error writing to file /nonexistent-folder/out.ogg"),
              std::string::npos);
    std::vector<uint8_t> bytes(40000, 1);
    EXPECT_EQ(file.WriteData(bytes.data(), 40000), 40000);
    file.FlushBuffer();
    EXPECT_TRUE(file.DiskWrites.empty());
}

TEST(OggFile, FailingDiskEndsTheOutputWithOneLineAndNoLaterWrite) {
    TakeLog();
    TWatchedFile file;
    // Every write to /dev/full fails with "no space left on device".
    ASSERT_TRUE(file.Open("/dev/full"));
    std::vector<uint8_t> bytes(40000, 1);
    EXPECT_EQ(file.WriteData(bytes.data(), 40000), 40000);
    EXPECT_TRUE(file.Failed());
    file.Close();
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384}));
    const std::string log = TakeLog();
    const std::string line = "Error writing to file /dev/full";
    ASSERT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << log;
    EXPECT_NE(log.find("Recording ended: No space left on device"), std::string::npos) << log;
}

// A disk that takes `room` bytes, then fails with ENOSPC until it is given room again (a
// filler file deleted).
class TFillingDisk : public TWatchedFile {
  public:
    size_t Room = 0;

  protected:
    ssize_t WriteToDisk(int fileHandle, const uint8_t* data, size_t size) override {
        if (Room == 0) {
            DiskWrites.push_back(size);
            errno = ENOSPC;
            return -1;
        }
        const size_t taken = std::min(size, Room);
        Room -= taken;
        return TWatchedFile::WriteToDisk(fileHandle, data, taken);
    }
};

// The file is cut back to the last page that reached the disk whole, and nothing is written
// after the failure, even once the disk has room again: no gap, no torn page.
TEST(OggFile, DiskThatFillsUpLeavesTheFileAtItsLastCompletePage) {
    TakeLog();
    const std::string path = MakeTempFolder("filling_disk") + "out.ogg";
    TFillingDisk file;
    file.Room = 20000;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    std::vector<uint8_t> kept;
    // Pages end at 3000, 6000, ... ; the disk fills at 20000, inside the seventh page.
    for (int i = 0; i < 12; ++i) QueueFakePage(file, i, 3000, i < 6 ? &kept : nullptr);
    ASSERT_TRUE(file.WritePages(0, 3000));
    EXPECT_TRUE(file.Failed());
    EXPECT_EQ(ReadFileBytes(path), kept);
    file.Room = 1 << 20;
    for (int i = 12; i < 20; ++i) QueueFakePage(file, i, 3000, nullptr);
    file.Close();
    EXPECT_EQ(ReadFileBytes(path), kept);
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Recording ended: No space left on device; the file keeps the 18000 "
                       "bytes written before the error"),
              std::string::npos)
        << log;
}

// The failure that ends a file need not be the first write of a buffer: a buffer that went
// whole keeps every page in it.
TEST(OggFile, FailureRightAfterAWholeBufferKeepsThatBuffer) {
    const std::string path = MakeTempFolder("full_after_buffer") + "out.ogg";
    TFillingDisk file;
    file.Room = 16384;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    std::vector<uint8_t> expected;
    // Pages of 4096 bytes: four fill the first buffer exactly.
    for (int i = 0; i < 8; ++i) QueueFakePage(file, i, 4096, i < 4 ? &expected : nullptr);
    file.Close();
    EXPECT_TRUE(file.Failed());
    EXPECT_EQ(ReadFileBytes(path), expected);
    TakeLog();
}

}  // namespace
