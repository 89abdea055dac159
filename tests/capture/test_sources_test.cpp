#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "capture/test_pattern_source.h"
#include "capture/test_tone_source.h"

namespace {

// Records what the sources deliver; `encoded` stands for the encoder's progress.
class TRecordingSink final : public TCaptureSink {
  public:
    bool WriteAudio(const uint8_t* data, int size) override {
        std::lock_guard lock(FLock);
        if (refuseAudio) return false;
        audio.insert(audio.end(), data, data + size);
        return true;
    }
    void PutVideoFrame(const uint8_t*, int size, double time) override {
        std::lock_guard lock(FLock);
        frameTimes.push_back(time);
        frameSize = size;
    }
    double EncodedSeconds() const override { return encoded.load(); }

    std::vector<double> FrameTimes() {
        std::lock_guard lock(FLock);
        return frameTimes;
    }
    size_t AudioBytes() {
        std::lock_guard lock(FLock);
        return audio.size();
    }
    std::vector<uint8_t> Audio() {
        std::lock_guard lock(FLock);
        return audio;
    }

    std::atomic<double> encoded{0};
    std::atomic<bool> refuseAudio{false};
    int frameSize = 0;

  private:
    std::mutex FLock;
    std::vector<uint8_t> audio;
    std::vector<double> frameTimes;
};

// Keeps lent frames as a graph would: each for a few frames, or all of them once told to. Every
// frame is compared with the same frame drawn afresh when it arrives, and with its own copy from
// then when it is given back, so a frame drawn over while held shows up.
class THoldingSink final : public TCaptureSink {
  public:
    THoldingSink(const TTestPatternSource& source, int fps) : FSource(source), FFps(fps) {}

    bool WriteAudio(const uint8_t*, int) override { return true; }
    void PutVideoFrame(const uint8_t*, int, double) override { ++copied; }
    double EncodedSeconds() const override { return 1e9; }

    void PutLentVideoFrame(const std::shared_ptr<TLentFrame>& frame, double time) override {
        std::lock_guard lock(FLock);
        std::vector<uint8_t> fresh;
        FSource.RenderFrame(std::llround(time * FFps), fresh);
        if (frame->Pixels != fresh) ++wrongOnArrival;
        FHeld.push_back({frame, fresh, arrivals + 1 + arrivals % 4});
        ++arrivals;
        if (holdAll) return;
        while (!FHeld.empty() && FHeld.front().ReturnAt <= arrivals) GiveBack();
    }

    size_t Held() {
        std::lock_guard lock(FLock);
        return FHeld.size();
    }
    void GiveAllBack() {
        std::lock_guard lock(FLock);
        while (!FHeld.empty()) GiveBack();
    }

    std::atomic<bool> holdAll{false};
    std::atomic<int> arrivals{0};
    int wrongOnArrival = 0;  // under FLock, or after the source stopped
    int changedWhileHeld = 0;
    int copied = 0;

  private:
    struct THeld {
        std::shared_ptr<TLentFrame> Frame;
        std::vector<uint8_t> Pixels;
        int ReturnAt;
    };
    void GiveBack() {
        if (FHeld.front().Frame->Pixels != FHeld.front().Pixels) ++changedWhileHeld;
        FHeld.front().Frame->Return();
        FHeld.pop_front();
    }

    const TTestPatternSource& FSource;
    const int FFps;
    std::mutex FLock;
    std::deque<THeld> FHeld;
};

struct Pixel {
    int b, g, r;
    bool operator==(const Pixel&) const = default;
};

Pixel At(const std::vector<uint8_t>& frame, int pitch, int x, int y) {
    const uint8_t* p = frame.data() + static_cast<size_t>(y) * pitch + x * 3;
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(TestPatternSource, DrawsBarsSquareAndWhiteSeconds) {
    TRecordingSink sink;
    TTestPatternSource source(sink, 642, 480, 30, false);
    ASSERT_EQ(source.RowPitch(), 1928);  // 642 * 3 rounded up to 4 bytes
    std::vector<uint8_t> frame;

    source.RenderFrame(1, frame);
    ASSERT_EQ(frame.size(), 1928u * 480);
    const Pixel expected[8] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                               {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int bar = 0; bar < 8; ++bar) {
        const int x = bar * 642 / 8 + 642 / 16;
        EXPECT_EQ(At(frame, 1928, x, 0), expected[bar]) << "bar " << bar;
        EXPECT_EQ(At(frame, 1928, x, 359), expected[bar]) << "bar " << bar;
    }
    // Square of frame 1 starts at x = 8 in the middle of the bottom band.
    const int squareY = 360 + (120 - 32) / 2;
    EXPECT_EQ(At(frame, 1928, 7, squareY), (Pixel{0, 0, 0}));
    EXPECT_EQ(At(frame, 1928, 8, squareY), (Pixel{255, 255, 255}));
    EXPECT_EQ(At(frame, 1928, 39, squareY + 31), (Pixel{255, 255, 255}));
    EXPECT_EQ(At(frame, 1928, 40, squareY), (Pixel{0, 0, 0}));

    source.RenderFrame(2, frame);
    EXPECT_EQ(At(frame, 1928, 8, squareY), (Pixel{0, 0, 0}));
    EXPECT_EQ(At(frame, 1928, 16, squareY), (Pixel{255, 255, 255}));

    for (int64_t whole : {0, 30, 60}) {
        source.RenderFrame(whole, frame);
        EXPECT_EQ(At(frame, 1928, 641, 0), (Pixel{255, 255, 255}));
        EXPECT_EQ(At(frame, 1928, 0, 479), (Pixel{255, 255, 255}));
    }
}

TEST(TestPatternSource, FastModeStaysABoundedLeadAheadOfTheEncoder) {
    TRecordingSink sink;
    TTestPatternSource source(sink, 64, 48, 30, true);
    source.Start();
    while (sink.FrameTimes().size() < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // With the encoder at 0 s only frames up to 0.15 s may go out (0, 0.033, ... 0.133).
    EXPECT_EQ(sink.FrameTimes().size(), 5u);
    sink.encoded = 1.0;
    while (sink.FrameTimes().size() < 35) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    source.StopThread();
    const auto times = sink.FrameTimes();
    EXPECT_EQ(times.size(), 35u);
    EXPECT_DOUBLE_EQ(times[0], 0.0);
    EXPECT_DOUBLE_EQ(times[1], 0.033);  // millisecond resolution
    EXPECT_DOUBLE_EQ(times[30], 1.0);
    EXPECT_EQ(sink.frameSize, ((64 * 3 + 3) & ~3) * 48);
}

// Frames go out without a copy, each drawn over an earlier one; a held frame is never drawn on,
// and with every frame held the source loses frames instead of taking more memory.
TEST(TestPatternSource, LentFramesShowTheirOwnPictureAndAreNotDrawnOnWhileHeld) {
    constexpr int Fps = 5;  // a white frame every fifth: bars and white follow each other often
    TRecordingSink unused;
    const TTestPatternSource reference(unused, 66, 48, Fps, true);  // draws frames afresh
    THoldingSink sink(reference, Fps);
    TTestPatternSource source(sink, 66, 48, Fps, true);
    source.Start();
    while (sink.arrivals < 200) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sink.holdAll = true;
    const int before = sink.arrivals;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Held: the frames not yet given back plus every arrival since; no ninth frame is made.
    EXPECT_EQ(sink.Held(), 8u);
    EXPECT_LE(sink.arrivals - before, 8);
    sink.holdAll = false;
    sink.GiveAllBack();
    while (sink.arrivals < before + 200) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    source.StopThread();
    sink.GiveAllBack();
    EXPECT_EQ(sink.wrongOnArrival, 0);
    EXPECT_EQ(sink.changedWhileHeld, 0);
    EXPECT_EQ(sink.copied, 0);
}

TEST(TestToneSource, BeepsDuringTheFirstTenthOfEverySecond) {
    TRecordingSink sink;
    TTestToneSource source(sink, 44100, 2, false);
    const auto& second = source.OneSecond();
    ASSERT_EQ(second.size(), 88200u);
    double peak = 0;
    for (int i = 0; i < 4410; ++i) {
        EXPECT_EQ(second[2 * i], second[2 * i + 1]) << "channels differ at " << i;
        peak = std::max(peak, std::abs(double(second[2 * i])));
    }
    EXPECT_NEAR(peak, 16383, 2);
    EXPECT_EQ(second[0], 0);       // starts at phase 0
    EXPECT_GT(second[2 * 11], 0);  // a quarter period into the 1000 Hz sine
    for (size_t i = 2 * 4410; i < second.size(); ++i) ASSERT_EQ(second[i], 0) << "at " << i;
}

TEST(TestToneSource, FastModeRetriesUntilTheQueueTakesTheBytes) {
    // 10 ms chunks of 80 samples, and a device's 1024-sample buffers.
    for (const auto& [chunkFrames, chunkBytes] : {std::pair{0, 160u}, std::pair{1024, 2048u}}) {
        TRecordingSink sink;
        sink.refuseAudio = true;
        TTestToneSource source(sink, 8000, 1, true, chunkFrames);
        sink.encoded = 100;
        source.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(sink.AudioBytes(), 0u);
        sink.refuseAudio = false;
        while (sink.AudioBytes() < 8000 * 2 * 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        source.StopThread();
        // Nothing was skipped while the queue was full: the signal starts at its first sample,
        // and goes on into the next second without a seam.
        const auto audio = sink.Audio();
        const auto& second = source.OneSecond();
        EXPECT_EQ(audio.size() % chunkBytes, 0u) << chunkFrames;
        EXPECT_EQ(0, std::memcmp(audio.data(), second.data(), second.size() * 2)) << chunkFrames;
        EXPECT_EQ(0,
                  std::memcmp(audio.data() + second.size() * 2, second.data(), second.size() * 2))
            << chunkFrames;
    }
}
