#include "base/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace {

// A pipe whose write end is handed to the owner under test: the read end sees end-of-file
// exactly when every copy of the write end has been closed. The read end does not block, so
// a write end left open fails the test instead of hanging it.
class TPipe {
  public:
    TPipe() {
        int ends[2];
        if (pipe2(ends, O_NONBLOCK) == 0) {
            FRead.Reset(ends[0]);
            FWrite = ends[1];
        }
    }
    int TakeWriteEnd() { return std::exchange(FWrite, -1); }
    // True when the write end has been closed, after reading whatever was written into it.
    bool WriteEndClosed() {
        if (FWrite >= 0) return false;
        char bytes[16];
        ssize_t count;
        while ((count = read(FRead.Get(), bytes, sizeof bytes)) > 0) {
        }
        return count == 0;
    }
    bool Usable() const { return FRead.Valid(); }

  private:
    TUniqueFd FRead;
    int FWrite = -1;
};

bool Writable(const TUniqueFd& fd) {
    const char byte = 'x';
    return write(fd.Get(), &byte, 1) == 1;
}

TEST(UniqueFd, ClosesWhenItGoesOrIsReplacedButNotWhenReleased) {
    {
        TPipe pipe;
        ASSERT_TRUE(pipe.Usable());
        { TUniqueFd owner(pipe.TakeWriteEnd()); }
        EXPECT_TRUE(pipe.WriteEndClosed());
    }
    {
        TPipe pipe;
        TUniqueFd owner(pipe.TakeWriteEnd());
        const int fd = owner.Get();
        owner.Reset(fd);  // taking its own descriptor again must not close it
        EXPECT_TRUE(Writable(owner));
        owner.Reset();
        EXPECT_FALSE(owner.Valid());
        EXPECT_TRUE(pipe.WriteEndClosed());
    }
    {
        TPipe pipe;
        TUniqueFd owner(pipe.TakeWriteEnd());
        const int fd = owner.Release();
        EXPECT_FALSE(owner.Valid());
        EXPECT_EQ(owner.Get(), -1);
        TUniqueFd again(fd);  // still open: a new owner can use it
        EXPECT_TRUE(Writable(again));
    }
}

TEST(UniqueFd, MovesHandTheDescriptorOverAndCloseOnlyWhatTheTargetHeld) {
    TPipe first;
    TPipe second;
    TUniqueFd a(first.TakeWriteEnd());
    const int fd = a.Get();

    TUniqueFd b(std::move(a));
    EXPECT_FALSE(a.Valid());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_EQ(b.Get(), fd);
    a.Reset();  // an empty owner closes nothing
    EXPECT_TRUE(Writable(b));

    TUniqueFd c(second.TakeWriteEnd());
    c = std::move(b);  // c's own descriptor goes, the first pipe's stays open
    EXPECT_TRUE(second.WriteEndClosed());
    EXPECT_EQ(c.Get(), fd);
    EXPECT_TRUE(Writable(c));

    TUniqueFd& same = c;
    c = std::move(same);  // moving onto itself keeps the descriptor
    EXPECT_TRUE(Writable(c));
    c = TUniqueFd();
    EXPECT_TRUE(first.WriteEndClosed());
}

TEST(UniqueFd, CloseReportsFailureAndEmptiesTheOwner) {
    TUniqueFd none;
    EXPECT_TRUE(none.Close());

    TPipe pipe;
    TUniqueFd owner(pipe.TakeWriteEnd());
    EXPECT_TRUE(owner.Close());
    EXPECT_FALSE(owner.Valid());
    EXPECT_TRUE(pipe.WriteEndClosed());

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    close(ends[0]);
    close(ends[1]);
    TUniqueFd stale(ends[1]);  // already closed behind its back
    EXPECT_FALSE(stale.Close());
    EXPECT_FALSE(stale.Valid());
}

}  // namespace
