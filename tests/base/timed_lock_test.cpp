#include "base/timed_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(TimedLockTest, WaitOnAHeldLockEndsWithoutIt) {
    TTimedLock lock;
    lock.lock();
    std::thread other([&] {
        EXPECT_FALSE(lock.try_lock());
        EXPECT_FALSE(lock.try_lock_for(20ms));
        std::unique_lock guard(lock, 1ms);
        EXPECT_FALSE(guard.owns_lock());
    });
    other.join();
    lock.unlock();
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
}

TEST(TimedLockTest, WaiterGetsTheLockWhenItIsReleased) {
    TTimedLock lock;
    lock.lock();
    std::atomic<bool> waiting{false};
    bool got = false;
    std::thread waiter([&] {
        waiting = true;
        got = lock.try_lock_for(60s);  // ends at the unlock below, long before the bound
        if (got) lock.unlock();
    });
    while (!waiting) std::this_thread::yield();
    lock.unlock();
    waiter.join();
    EXPECT_TRUE(got);
}

// Guarded data written by several threads: ThreadSanitizer sees the ordering, the count adds up.
TEST(TimedLockTest, ExcludesOtherHolders) {
    TTimedLock lock;
    int counter = 0;  // guarded by lock
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                std::unique_lock guard(lock, 10s);
                ASSERT_TRUE(guard.owns_lock());
                ++counter;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 4000);
}

}  // namespace
