#include "base/byte_queue.h"

#include <algorithm>
#include <cstring>

tByteQueue::tByteQueue(int32_t capacity) : FCapacity(std::clamp(capacity, 0, MaxCapacity)) {}

bool tByteQueue::Write(const void* data, int32_t length) {
    if (length < 0) return false;
    std::lock_guard lock(FLock);
    int32_t count = FCount.load(std::memory_order_relaxed);
    if (length > FCapacity - count) return false;
    auto source = static_cast<const uint8_t*>(data);
    // At most two pieces: up to the end of the storage, then from its start.
    while (length > 0) {
        int32_t piece = std::min(length, FCapacity - FWritePos);
        std::memcpy(FData.data() + FWritePos, source, static_cast<size_t>(piece));
        FWritePos += piece;
        if (FWritePos == FCapacity) FWritePos = 0;
        source += piece;
        length -= piece;
        count += piece;
    }
    FCount.store(count, std::memory_order_release);
    return true;
}

int32_t tByteQueue::Read(void* dest, int32_t maxLength, int32_t blockSize) {
    if (Count() < 1 || maxLength < 1 || blockSize < 1) return 0;
    std::lock_guard lock(FLock);
    int32_t count = FCount.load(std::memory_order_relaxed);
    int32_t result = std::min(maxLength, count) / blockSize * blockSize;
    auto target = static_cast<uint8_t*>(dest);
    for (int32_t wanted = result; wanted > 0;) {
        int32_t piece = std::min(wanted, FCapacity - FReadPos);
        std::memcpy(target, FData.data() + FReadPos, static_cast<size_t>(piece));
        FReadPos += piece;
        if (FReadPos == FCapacity) FReadPos = 0;
        target += piece;
        wanted -= piece;
    }
    Rewind(count - result);
    FCount.store(count - result, std::memory_order_release);
    return result;
}

// Caller holds FLock. A queue that holds little starts again at the front of its storage, the
// little it holds moved there: a reader that keeps up then works in the first pages only,
// instead of the ring walking through (and making resident) its whole megabyte.
void tByteQueue::Rewind(int32_t left) {
    if (left == 0) {
        FReadPos = FWritePos = 0;
    } else if (left <= RewindLimit && FReadPos > 0 && FReadPos < FWritePos) {
        std::memmove(FData.data(), FData.data() + FReadPos, static_cast<size_t>(left));
        FReadPos = 0;
        FWritePos = left;
    }
}
