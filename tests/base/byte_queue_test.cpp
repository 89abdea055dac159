#include "base/byte_queue.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <new>
#include <numeric>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> Ramp(size_t length, uint8_t first = 0) {
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

std::vector<uint8_t> ReadAll(tByteQueue& queue, int32_t maxLength, int32_t blockSize = 1) {
    std::vector<uint8_t> out(static_cast<size_t>(std::max(maxLength, 0)));
    out.resize(static_cast<size_t>(queue.Read(out.data(), maxLength, blockSize)));
    return out;
}

TEST(ByteQueue, CapacityIsClampedToTheStorage) {
    EXPECT_EQ(std::make_unique<tByteQueue>(962001)->Capacity(), 962000);
    EXPECT_EQ(std::make_unique<tByteQueue>(1 << 30)->Capacity(), 962000);
    EXPECT_EQ(std::make_unique<tByteQueue>(-5)->Capacity(), 0);
    EXPECT_EQ(std::make_unique<tByteQueue>(100)->Capacity(), 100);
}

TEST(ByteQueue, WriteIsAllOrNothingAtTheFreeSpace) {
    auto queue = std::make_unique<tByteQueue>(16);
    ASSERT_TRUE(queue->Write(Ramp(6).data(), 6));
    EXPECT_FALSE(queue->Write(Ramp(11, 100).data(), 11));  // one byte more than the free space
    EXPECT_EQ(queue->Count(), 6);
    EXPECT_TRUE(queue->Write(Ramp(10, 6).data(), 10));  // exactly the free space
    EXPECT_EQ(queue->Count(), 16);
    EXPECT_FALSE(queue->Write(Ramp(1).data(), 1));
    EXPECT_TRUE(queue->Write(nullptr, 0));  // nothing to store always fits
    EXPECT_FALSE(queue->Write(Ramp(1).data(), -1));
    EXPECT_EQ(ReadAll(*queue, 100), Ramp(16));  // the refused writes left no trace
}

TEST(ByteQueue, WriteAndReadAcrossTheEndOfTheRingKeepByteOrder) {
    auto queue = std::make_unique<tByteQueue>(10);
    ASSERT_TRUE(queue->Write(Ramp(7).data(), 7));
    ASSERT_EQ(ReadAll(*queue, 5), Ramp(5));
    // Write position 7: the next 6 bytes go 3 to the end and 3 to the start.
    ASSERT_TRUE(queue->Write(Ramp(6, 7).data(), 6));
    EXPECT_EQ(queue->Count(), 8);
    // Read position 5: 5 bytes from the end, then 3 from the start.
    EXPECT_EQ(ReadAll(*queue, 100), Ramp(8, 5));
    EXPECT_EQ(queue->Count(), 0);
    // Positions stay consistent after both wrapped: fill completely again.
    ASSERT_TRUE(queue->Write(Ramp(10, 50).data(), 10));
    EXPECT_EQ(ReadAll(*queue, 10), Ramp(10, 50));
}

TEST(ByteQueue, ReadTakesWholeBlocksUpToTheCount) {
    auto queue = std::make_unique<tByteQueue>(64);
    EXPECT_EQ(ReadAll(*queue, 10).size(), 0u);  // empty
    ASSERT_TRUE(queue->Write(Ramp(10).data(), 10));
    EXPECT_EQ(ReadAll(*queue, 10, 4), Ramp(8));  // 10 held, blocks of 4: 8 out, 2 stay
    EXPECT_EQ(queue->Count(), 2);
    EXPECT_EQ(ReadAll(*queue, 10, 4).size(), 0u);  // less than one block
    EXPECT_EQ(ReadAll(*queue, 10, 0).size(), 0u);  // no block size: nothing, no fault
    EXPECT_EQ(ReadAll(*queue, -3).size(), 0u);
    EXPECT_EQ(ReadAll(*queue, 100), Ramp(2, 8));  // more asked than held: what is held
}

// A reader that keeps up leaves the queue empty, or holding a little, after each read; then
// the queue works in the first pages of its storage, and the rest of its megabyte never
// becomes resident. The bytes still come out in order.
TEST(ByteQueue, AQueueThatAReaderKeepsUpWithKeepsOnlyItsFirstPagesResident) {
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t length = (sizeof(tByteQueue) + pageSize - 1) / pageSize * pageSize;
    for (const int32_t block : {1, 4}) {  // 4: two bytes of each write stay behind
        void* memory =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(memory, MAP_FAILED);
        auto* queue = new (memory) tByteQueue(tByteQueue::MaxCapacity);
        std::vector<uint8_t> in, out;
        for (int i = 0; i < 1000; ++i) {  // 4.4 MB through the queue
            const std::vector<uint8_t> chunk = Ramp(4410, static_cast<uint8_t>(i));
            in.insert(in.end(), chunk.begin(), chunk.end());
            ASSERT_TRUE(queue->Write(chunk.data(), 4410));
            const std::vector<uint8_t> got = ReadAll(*queue, 8192, block);
            out.insert(out.end(), got.begin(), got.end());
        }
        EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin())) << block;
        EXPECT_EQ(out.size() + static_cast<size_t>(queue->Count()), in.size());
        std::vector<unsigned char> resident(length / pageSize);
        ASSERT_EQ(mincore(memory, length, resident.data()), 0);
        EXPECT_LE(
            std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; }),
            4)
            << block;
        queue->~tByteQueue();
        munmap(memory, length);
    }
}

// A producer and a consumer in odd chunk sizes: every byte arrives once and in order.
TEST(ByteQueue, ConcurrentWriterAndReaderSeeOneOrderedStream) {
    constexpr size_t Total = 3'000'000;
    auto queue = std::make_unique<tByteQueue>(4099);
    std::thread writer([&] {
        size_t sent = 0;
        uint8_t next = 0;
        while (sent < Total) {
            size_t length = std::min<size_t>(1 + sent % 977, Total - sent);
            std::vector<uint8_t> chunk = Ramp(length, next);
            if (queue->Write(chunk.data(), static_cast<int32_t>(length))) {
                sent += length;
                next = static_cast<uint8_t>(next + length);
            } else {
                std::this_thread::yield();
            }
        }
    });
    size_t received = 0;
    uint8_t expected = 0;
    bool ordered = true;
    std::vector<uint8_t> buffer(1500);
    while (received < Total) {
        int32_t got = queue->Read(buffer.data(), 1 + static_cast<int32_t>(received % 1499), 1);
        for (int32_t i = 0; i < got; ++i)
            ordered = ordered && buffer[static_cast<size_t>(i)] == expected++;
        received += static_cast<size_t>(got);
        if (got == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(queue->Count(), 0);
}

}  // namespace
