// The Theora worker: one frame at a time, results handed back one frame late, a stop that
// waits for the frame in progress, and no wait on a worker that has ended.

#include "engine/theora_encoder_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/event.h"
#include "engine/theora_library.h"
#include "settings/log.h"
#include "tests/engine/theora_test_support.h"

namespace {

constexpr int Stride = TSmallVideo::Width * 4;

// Conversions that stand in for planewright's while a test needs to see or break the worker.
struct TConversion {
    static inline TRGB2YUVFunc Real = nullptr;
    static inline TEvent Started{false};
    static inline std::atomic<bool> Finished{false};

    // Converts, but only after a pause long enough for the test to act meanwhile.
    static void Slow(const void* source, int32_t width, int32_t height, uint8_t* y, uint8_t* cb,
                     uint8_t* cr, int32_t sourcePitch, int32_t yPitch) {
        Started.Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Real(source, width, height, y, cb, cr, sourcePitch, yPitch);
        Finished.store(true);
    }

    static void Throwing(const void*, int32_t, int32_t, uint8_t*, uint8_t*, uint8_t*, int32_t,
                         int32_t) {
        throw std::runtime_error("conversion failed");
    }
};

TEST(TheoraEncoderThread, SubmitReturnsThePreviousFramesResult) {
    TSmallVideo video;
    ASSERT_TRUE(video.Codec.LibraryReady());
    tTheroraVideoEncoderThread worker(video.Codec);
    // Nothing encoded yet: true, although the codec is not set up and refuses this frame.
    EXPECT_TRUE(worker.Submit(video.Frame.data(), Stride, false));
    EXPECT_FALSE(worker.Submit(video.Frame.data(), Stride, false));
    ASSERT_TRUE(worker.WaitIdle());
    ASSERT_TRUE(video.Start());
    EXPECT_FALSE(worker.Submit(video.NextFrame(), Stride, false));
    ASSERT_TRUE(worker.WaitIdle());
    EXPECT_TRUE(worker.Submit(video.NextFrame(), Stride, false));
    ASSERT_TRUE(worker.WaitIdle());
    EXPECT_TRUE(worker.Submit(video.NextFrame(), Stride, false));
    ASSERT_TRUE(worker.WaitIdle());
    EXPECT_EQ(ReadTheoraStream(video.Finish()).DataPackets, 3u);
}

TEST(TheoraEncoderThread, DestroyWaitsForTheFrameInProgress) {
    TSmallVideo video;
    ASSERT_TRUE(video.Start());
    TSwappedEntry slow(TheoraLib.RGB2YUV, &TConversion::Slow);
    TConversion::Real = slow.Original();
    TConversion::Started.Reset();
    TConversion::Finished.store(false);
    auto worker = std::make_unique<tTheroraVideoEncoderThread>(video.Codec);
    ASSERT_TRUE(worker->Submit(video.Frame.data(), Stride, false));
    ASSERT_TRUE(TConversion::Started.WaitFor(10000));
    worker.reset();
    EXPECT_TRUE(TConversion::Finished.load());
    EXPECT_EQ(ReadTheoraStream(video.Finish()).DataPackets, 1u);
}

TEST(TheoraEncoderThread, WorkerThatHasEndedRefusesFramesWithoutWaiting) {
    TSmallVideo video;
    ASSERT_TRUE(video.Start());
    {
        // An exception while encoding ends the worker, with a log line.
        TSwappedEntry throwing(TheoraLib.RGB2YUV, &TConversion::Throwing);
        (void)TakeLog();
        tTheroraVideoEncoderThread worker(video.Codec);
        EXPECT_TRUE(worker.Submit(video.Frame.data(), Stride, false));
        EXPECT_FALSE(worker.Submit(video.Frame.data(), Stride, false));
        EXPECT_FALSE(worker.Submit(video.Frame.data(), Stride, false));
        EXPECT_FALSE(worker.WaitIdle());
        EXPECT_NE(TakeLog().find("Theora encoder stopped: conversion failed"), std::string::npos);
    }
    {
        // A worker told to stop.
        tTheroraVideoEncoderThread worker(video.Codec);
        worker.Terminate();
        for (int poll = 0; poll < 1000 && worker.Running(); ++poll) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_FALSE(worker.Running());
        EXPECT_FALSE(worker.Submit(video.Frame.data(), Stride, false));
        EXPECT_FALSE(worker.WaitIdle());
    }
    EXPECT_EQ(ReadTheoraStream(video.Finish()).DataPackets, 0u);
}

// The live encoder's pattern: frames from its own thread, alternating two buffers, each
// refilled only after the next Submit has returned, and pages written meanwhile.
TEST(TheoraEncoderThread, FramesSubmittedFromAnotherThreadAllReachTheStream) {
    constexpr int Frames = 30;
    TSmallVideo video;
    ASSERT_TRUE(video.Start());
    std::atomic<int> refused{0};
    {
        tTheroraVideoEncoderThread worker(video.Codec, 2);
        std::thread submitter([&] {
            std::vector<uint8_t> buffers[2] = {video.Frame, video.Frame};
            for (int frame = 0; frame < Frames; ++frame) {
                std::vector<uint8_t>& buffer = buffers[frame % 2];
                MarkFrame(buffer, TSmallVideo::Width, frame);
                if (!worker.Submit(buffer.data(), Stride, false)) refused.fetch_add(1);
                video.Output.WritePages(1, 3000);
            }
            if (!worker.WaitIdle()) refused.fetch_add(1);
        });
        submitter.join();
    }
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(ReadTheoraStream(video.Finish()).DataPackets, static_cast<size_t>(Frames));
}

}  // namespace
