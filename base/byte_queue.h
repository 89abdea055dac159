#pragma once
// A bounded first-in-first-out queue of bytes with its own lock: the buffer of the sound path
// and of the network send path. Any thread may Write and Read; the lock is held for one copy.
// The ring storage is part of the object, so nothing is allocated once the queue exists; its
// pages become resident only as far as the queue has ever been filled (see Rewind).

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

class tByteQueue final {
  public:
    static constexpr int32_t MaxCapacity = 962000;

    // capacity is clamped to 0 .. MaxCapacity.
    explicit tByteQueue(int32_t capacity);
    tByteQueue(const tByteQueue&) = delete;
    tByteQueue& operator=(const tByteQueue&) = delete;

    // Stores all length bytes and returns true, or stores nothing and returns false.
    // A length of 0 stores nothing and returns true; a negative length is refused.
    bool Write(const void* data, int32_t length);

    // Removes up to maxLength bytes, a whole multiple of blockSize, into dest; returns the
    // number copied. A blockSize below 1 reads nothing.
    int32_t Read(void* dest, int32_t maxLength, int32_t blockSize);

    // Bytes held, read without the lock: a stale value only delays the caller's decision.
    int32_t Count() const { return FCount.load(std::memory_order_acquire); }
    int32_t Capacity() const { return FCapacity; }
    int32_t FreeSpace() const { return FCapacity - Count(); }

  private:
    // Most bytes moved to the front after a read; a small copy beside the reads themselves.
    static constexpr int32_t RewindLimit = 16384;

    void Rewind(int32_t left);

    std::mutex FLock;
    std::atomic<int32_t> FCount{0};  // written under FLock
    const int32_t FCapacity;
    int32_t FReadPos = 0;                    // guarded by FLock
    int32_t FWritePos = 0;                   // guarded by FLock
    std::array<uint8_t, MaxCapacity> FData;  // guarded by FLock
};
