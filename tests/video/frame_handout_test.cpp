// The processor hands out its own frame buffers and reuses them: a held frame must never be
// overwritten, a buffer grown without zeroing must never show old bytes, and the encoder's
// wait for a frame must neither miss a frame nor outlive a stop.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>

#include "processor_fixture.h"
#include "video/frame_format.h"

namespace {

using TFrameHandoutTest = TProcessorTest;

TCapture Solid(uint8_t value) {
    return MakeCapture(16, 16, false, [value](int, int) { return Uniform(value); });
}

bool AllBytes(const uint8_t* frame, size_t size, uint8_t value, size_t step = 1) {
    for (size_t i = 0; i < size; i += step) {
        if (frame[i] != value) return false;
    }
    return true;
}

TEST_F(TFrameHandoutTest, AHeldFrameStaysUnchangedWhileLaterFramesReuseThePool) {
    std::vector<TCapture> captures;
    for (int i = 0; i < 40; ++i) captures.push_back(Solid(uint8_t(10 + i)));
    TVideoProcessor processor(captures[0].Header);
    const auto size = size_t(processor.GetFrameSize());
    auto put = [&](int i) {
        processor.PutFrame(captures[i].Bytes.data(), int32_t(captures[i].Bytes.size()), i);
    };
    put(0);
    TVideoProcessor::TFrameHandle held = processor.GetFrame(0.0);
    ASSERT_NE(held, nullptr);
    // Far more frames than the spares pass through while the first is held, two at a time as
    // the encoder holds them; the held frame also leaves the list.
    TVideoProcessor::TFrameHandle turns[2];
    for (int i = 1; i < 40; ++i) {
        put(i);
        turns[i & 1] = processor.GetFrame(i);
        ASSERT_NE(turns[i & 1], nullptr) << i;
        EXPECT_TRUE(AllBytes(turns[i & 1].get(), size, uint8_t(10 + i), 4)) << i;
        ASSERT_TRUE(AllBytes(held.get(), size, 10, 4)) << "overwritten by frame " << i;
    }
    EXPECT_EQ(processor.WaitingFrames(), 1);
    // Released, its buffer serves later frames, which show only their own picture.
    held.reset();
    turns[0].reset();
    turns[1].reset();
    for (int i = 0; i < 4; ++i) {
        processor.PutFrame(captures[i].Bytes.data(), int32_t(captures[i].Bytes.size()), 100 + i);
        TVideoProcessor::TFrameHandle frame = processor.GetFrame(100 + i);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(AllBytes(frame.get(), size, uint8_t(10 + i), 4)) << i;
    }
}

// The encoder's cycle: take frame k, let go of frame k - 1 once the worker has it, tell the
// next time, and meanwhile capture k + 1. Two buffers carry a steady run; each more is a
// camera frame of memory (1.3 MiB at 1280x720).
TEST_F(TFrameHandoutTest, ASteadyRunCyclesThroughTwoBuffers) {
    // A camera's frames, which become the encoder's frames without a copy.
    std::vector<TCapture> captures;
    for (int i = 0; i < 12; ++i) {
        captures.push_back({YCbCrBitmapHeader(I420_COMPRESSION, 16, 16),
                            std::vector<uint8_t>(16 * 16 * 3 / 2, uint8_t(20 + i))});
    }
    TVideoProcessor processor(captures[0].Header);
    const auto size = size_t(processor.GetFrameSize());
    auto put = [&](int i) {
        processor.PutFrame(captures[i].Bytes.data(), int32_t(captures[i].Bytes.size()), i);
    };
    std::set<const uint8_t*> buffers;
    TVideoProcessor::TFrameHandle previous;
    put(0);
    for (int i = 0; i + 1 < int(captures.size()); ++i) {
        TVideoProcessor::TFrameHandle frame = processor.GetFrame(i);
        ASSERT_NE(frame, nullptr) << i;
        EXPECT_TRUE(AllBytes(frame.get(), size, uint8_t(20 + i))) << i;
        buffers.insert(frame.get());
        previous = std::move(frame);
        processor.WillAskFor(i + 1);
        put(i + 1);
    }
    EXPECT_EQ(buffers.size(), 2u);
}

TEST_F(TFrameHandoutTest, RepeatsShareTheFrameAndMissesReturnNothing) {
    TCapture capture = Solid(77);
    TVideoProcessor processor(capture.Header);
    EXPECT_EQ(processor.GetFrame(0.0), nullptr);
    EXPECT_EQ(processor.ProcessPos(), 10);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0.5);
    TVideoProcessor::TFrameHandle first = processor.GetFrame(0.0);
    TVideoProcessor::TFrameHandle repeat = processor.GetFrame(0.4);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first.get(), repeat.get()) << "a repeat is the same processed frame";
    EXPECT_EQ(processor.GetFrame(0.6), nullptr);
    EXPECT_EQ(processor.WaitingFrames(), 1);
}

// The output buffer grows out of a capture buffer without a fill: padding must be black and
// a short first capture must leave the rest of the picture black, not stale memory.
TEST_F(TFrameHandoutTest, UnfilledBuffersNeverShowOldBytes) {
    TCapture white = MakeCapture(20, 18, false, [](int, int) { return TBgr{255, 255, 255}; });
    TVideoProcessor processor(white.Header);
    ASSERT_EQ(processor.OutputWidth(), 32);
    const auto size = size_t(processor.GetFrameSize());
    auto pixelByte = [&](const uint8_t* frame, int x, int y) {
        return frame[4 * (32 * (32 - 18 + y) + x)];
    };
    // Only the first three pixels of the bottom row (rows are 60 bytes, bottom-up).
    processor.PutFrame(white.Bytes.data(), 9, 0);
    TVideoProcessor::TFrameHandle shortFirst = processor.GetFrame(0.0);
    ASSERT_NE(shortFirst, nullptr);
    EXPECT_EQ(pixelByte(shortFirst.get(), 2, 17), 255);
    EXPECT_EQ(pixelByte(shortFirst.get(), 3, 17), 0);
    EXPECT_EQ(pixelByte(shortFirst.get(), 3, 0), 0);
    shortFirst.reset();
    for (int i = 1; i < 20; ++i) {
        processor.PutFrame(white.Bytes.data(), int32_t(white.Bytes.size()), i);
        TVideoProcessor::TFrameHandle frame = processor.GetFrame(i);
        ASSERT_NE(frame, nullptr);
        for (size_t p = 0; p < size / 4; ++p) {
            const bool picture = p / 32 >= 32 - 18 && p % 32 < 20;
            ASSERT_EQ(frame.get()[4 * p], picture ? 255 : 0) << "frame " << i << " pixel " << p;
        }
    }
}

TEST_F(TFrameHandoutTest, WaitForFrameSeesFramesPutBeforeItAndIsEndedByTheWake) {
    TCapture capture = Solid(1);
    TVideoProcessor processor(capture.Header);
    EXPECT_FALSE(processor.WaitForFrame(1)) << "nothing put, nothing woken";
    EXPECT_EQ(processor.GetFrame(0.0), nullptr);
    // A frame that arrives between the miss and the wait must not be slept through.
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0);
    EXPECT_TRUE(processor.WaitForFrame(60000));
    EXPECT_NE(processor.GetFrame(0.0), nullptr);

    EXPECT_EQ(processor.GetFrame(1.0), nullptr);
    std::thread producer(
        [&] { processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 1); });
    while (!processor.WaitForFrame(60000)) {
    }
    producer.join();
    EXPECT_NE(processor.GetFrame(1.0), nullptr);

    EXPECT_EQ(processor.GetFrame(2.0), nullptr);
    std::thread stopper([&] { processor.WakeWaiter(); });
    EXPECT_TRUE(processor.WaitForFrame(60000)) << "the stop's wake ends the wait";
    stopper.join();
}

// Requests never go back in time: a capture older than the time the encoder waits for could
// only be dropped by its next request, so it is dropped at once and does not end the wait.
TEST_F(TFrameHandoutTest, CapturesOlderThanTheWaitingRequestNeitherQueueNorWake) {
    TCapture capture = Solid(40);
    const struct {
        double Time;
        bool Kept;
    } cases[] = {{0.5, false}, {0.9989, false}, {0.9991, true}, {1.0, true}, {1.5, true}};
    for (bool toldAhead : {false, true}) {
        for (const auto& c : cases) {
            TVideoProcessor processor(capture.Header);
            if (toldAhead) {
                processor.WillAskFor(1.0);  // the encoder's next picture, before it asks
            } else {
                ASSERT_EQ(processor.GetFrame(1.0), nullptr);
            }
            processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), c.Time);
            EXPECT_EQ(processor.WaitingFrames(), c.Kept ? 1 : 0) << c.Time;
            EXPECT_EQ(processor.WaitForFrame(0), c.Kept) << c.Time;
            EXPECT_EQ(processor.GetFrame(1.0) != nullptr, c.Kept) << c.Time;
        }
    }

    // A capture without a time takes the last one given, dropped or not; a miss at an
    // unusable time moves nothing.
    TVideoProcessor processor(capture.Header);
    ASSERT_EQ(processor.GetFrame(1.0), nullptr);
    ASSERT_EQ(processor.GetFrame(NAN), nullptr);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0.5);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), NAN);
    EXPECT_EQ(processor.WaitingFrames(), 0);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 1.2);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), NAN);
    EXPECT_EQ(processor.WaitingFrames(), 2);
}

}  // namespace
