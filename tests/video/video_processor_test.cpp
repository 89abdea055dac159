#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "processor_fixture.h"

namespace {

// Every pixel distinct, so a shifted or mirrored copy cannot pass.
TBgr Gradient(int x, int y) {
    return {uint8_t(x), uint8_t(y), uint8_t((x >> 8) | (y >> 8) << 4)};
}

const TBgr Red{0, 0, 255}, Green{0, 255, 0}, Blue{255, 0, 0}, White{255, 255, 255};

// Four quadrants: red top-left, green top-right, blue bottom-left, white bottom-right.
TPixelFn Quadrants(int width, int height) {
    return [=](int x, int y) {
        if (y < height / 2) return x < width / 2 ? Red : Green;
        return x < width / 2 ? Blue : White;
    };
}

void ExpectNear(TBgr actual, TBgr expected, int tolerance) {
    EXPECT_NEAR(actual.B, expected.B, tolerance) << actual << " vs " << expected;
    EXPECT_NEAR(actual.G, expected.G, tolerance) << actual << " vs " << expected;
    EXPECT_NEAR(actual.R, expected.R, tolerance) << actual << " vs " << expected;
}

using TVideoProcessorTest = TProcessorTest;

TEST_F(TVideoProcessorTest, CropWithoutResizeCopiesTheInnerRectangleOneToOne) {
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = Settings.Processing.CropR = 8;
    Settings.Processing.CropT = Settings.Processing.CropB = 8;
    for (bool topDown : {false, true}) {
        TCapture capture = MakeCapture(352, 288, topDown, Gradient);
        TVideoProcessor processor(capture.Header);
        ASSERT_EQ(processor.PictureWidth(), 336);
        ASSERT_EQ(processor.PictureHeight(), 272);
        ASSERT_EQ(processor.GetFrameSize(), 336 * 4 * 272);
        TOutput out = Process(processor, capture);
        for (int y = 0; y < 272; ++y) {
            for (int x = 0; x < 336; ++x) {
                ASSERT_EQ(out.At(x, y), Gradient(x + 8, y + 8)) << x << "," << y;
            }
        }
    }
}

class TResizeModeTest : public TProcessorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TResizeModeTest, ResizedPictureSitsInTheLastRowsWithBlackPadding) {
    Settings.Processing.HighQualityResize = GetParam();
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 330;
    Settings.Processing.ResizeH = 250;
    TCapture capture = MakeCapture(640, 480, false, Quadrants(640, 480));
    TVideoProcessor processor(capture.Header);
    ASSERT_EQ(processor.OutputWidth(), 336);
    ASSERT_EQ(processor.OutputHeight(), 256);
    ASSERT_EQ(processor.OutputStride(), 336 * 4);
    TOutput out = Process(processor, capture);

    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 336; ++x) {
            if (y < 6 || x >= 330) {
                ASSERT_EQ(out.At(x, y), TBgr{}) << x << "," << y;
            }
        }
    }
    // Picture rows 6..255; each quadrant away from the seams keeps its colour (the filtered
    // mode may round down a little).
    const int tolerance = GetParam() ? 3 : 0;
    ExpectNear(out.At(0, 6), Red, tolerance);
    ExpectNear(out.At(160, 128), Red, tolerance);
    ExpectNear(out.At(329, 6), Green, tolerance);
    ExpectNear(out.At(170, 129), Green, tolerance);
    ExpectNear(out.At(0, 255), Blue, tolerance);
    ExpectNear(out.At(160, 133), Blue, tolerance);
    ExpectNear(out.At(329, 255), White, tolerance);
}

TEST_P(TResizeModeTest, CropRectangleIsWhatGetsScaled) {
    Settings.Processing.HighQualityResize = GetParam();
    // Keep x 160..639, y 0..239 of a picture whose columns below 320 are red, scaled by half.
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = 160;
    Settings.Processing.CropB = 240;
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 240;
    Settings.Processing.ResizeH = 120;
    TCapture capture = MakeCapture(640, 480, false, [](int x, int y) {
        return y >= 240 ? Blue : x < 320 ? Red : Green;
    });
    TOutput out = Process(*std::make_unique<TVideoProcessor>(capture.Header), capture);
    ASSERT_EQ(out.Width, 240);
    ASSERT_EQ(out.Height, 128);
    for (int y = 8; y < 128; ++y) {
        EXPECT_EQ(out.At(0, y), Red);
        EXPECT_EQ(out.At(79, y), Red);
        EXPECT_EQ(out.At(80, y), Green);
        EXPECT_EQ(out.At(239, y), Green);
    }
}

TEST_P(TResizeModeTest, TopDownAndBottomUpInputGiveTheSameFrame) {
    Settings.Processing.HighQualityResize = GetParam();
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = 3;
    Settings.Processing.CropT = 5;
    Settings.Processing.CropB = 1;
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 100;
    Settings.Processing.ResizeH = 70;
    // Width 161 makes the 24-bit rows need padding.
    TOutput bottomUp = ProcessOnce(MakeCapture(161, 120, false, Gradient));
    TOutput topDown = ProcessOnce(MakeCapture(161, 120, true, Gradient));
    EXPECT_EQ(bottomUp.Bytes, topDown.Bytes);
    if (!GetParam()) {
        EXPECT_EQ(topDown.At(0, 80 - 70), Gradient(3, 5)) << "the crop's top-left comes first";
    }
}

TEST_F(TVideoProcessorTest, HighQualityAveragesTheAreaAndPlainTakesOnePixel) {
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 2;
    Settings.Processing.ResizeH = 1;
    // Columns alternate 0 and 255; each target pixel covers two columns and two rows.
    TCapture capture =
        MakeCapture(4, 2, false, [](int x, int) { return Uniform(x % 2 ? 255 : 0); });
    Settings.Processing.HighQualityResize = true;
    TOutput averaged = ProcessOnce(capture);
    EXPECT_EQ(averaged.At(0, 15), Uniform(128));  // 127.5 rounds up
    EXPECT_EQ(averaged.At(1, 15), Uniform(128));
    Settings.Processing.HighQualityResize = false;
    TOutput nearest = ProcessOnce(capture);
    EXPECT_EQ(nearest.At(0, 15), Uniform(255));
    EXPECT_EQ(nearest.At(1, 15), Uniform(255));
}

INSTANTIATE_TEST_SUITE_P(HighQualityAndPlain, TResizeModeTest, ::testing::Bool());

TEST_F(TVideoProcessorTest, EachRequestTakesTheFirstFrameAtOrAfterItsTime) {
    TCapture frames[3] = {MakeCapture(16, 16, false, [](int, int) { return Red; }),
                          MakeCapture(16, 16, false, [](int, int) { return Green; }),
                          MakeCapture(16, 16, false, Gradient)};
    TVideoProcessor processor(frames[0].Header);
    const double times[3] = {0.00, 0.10, 0.21};
    for (int i = 0; i < 3; ++i) {
        processor.PutFrame(frames[i].Bytes.data(), int32_t(frames[i].Bytes.size()), times[i]);
    }
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    auto request = [&](double time) {
        EXPECT_TRUE(processor.GetFrame(buffer.data(), time));
        return TBgr{buffer[0], buffer[1], buffer[2]};
    };
    EXPECT_EQ(request(0.0), Red);
    EXPECT_EQ(processor.WaitingFrames(), 3);
    EXPECT_EQ(request(1.0 / 15), Green);
    EXPECT_EQ(processor.WaitingFrames(), 2);
    EXPECT_EQ(request(2.0 / 15), Gradient(0, 0));
    EXPECT_EQ(processor.WaitingFrames(), 1);
    std::vector<uint8_t> first = buffer;

    // A repeat must come from the cached result: a changed crop would show if it ran again.
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = 4;
    request(3.0 / 15);
    EXPECT_EQ(buffer, first);
    EXPECT_EQ(processor.WaitingFrames(), 1);
}

TEST_F(TVideoProcessorTest, FramesStampedInWholeMillisecondsAnswerTheirOwnFrameTime) {
    // A 15 fps source as the capture clock stamps it: whole milliseconds, cut down, counted
    // from a first frame that was cut down as well. Each output frame must show the picture
    // taken at its time, not the next one.
    constexpr int Count = 16;
    std::vector<TCapture> frames;
    for (int n = 0; n < Count; ++n) {
        const auto shade = static_cast<uint8_t>(n * 15);
        frames.push_back(MakeCapture(16, 16, false, [shade](int, int) { return Uniform(shade); }));
    }
    std::vector<uint8_t> buffer;
    for (double firstMs : {0.0, 12345.6, 12345.2}) {
        TVideoProcessor processor(frames[0].Header);
        buffer.resize(size_t(processor.GetFrameSize()));
        for (int n = 0; n < Count; ++n) {
            const double stampMs = std::floor(firstMs + n * 1000.0 / 15) - std::floor(firstMs);
            processor.PutFrame(frames[n].Bytes.data(), int32_t(frames[n].Bytes.size()),
                               stampMs / 1000);
        }
        for (int n = 0; n < Count; ++n) {
            ASSERT_TRUE(processor.GetFrame(buffer.data(), n / 15.0));
            EXPECT_EQ(buffer[0], n * 15)
                << "output frame " << n << ", first frame at " << firstMs << " ms";
        }
    }

    // A frame stamped a whole millisecond early was taken before the time asked for.
    TVideoProcessor processor(frames[0].Header);
    processor.PutFrame(frames[1].Bytes.data(), int32_t(frames[1].Bytes.size()), 0.199);
    EXPECT_FALSE(processor.GetFrame(buffer.data(), 0.2));
    processor.PutFrame(frames[2].Bytes.data(), int32_t(frames[2].Bytes.size()), 0.2665);
    ASSERT_TRUE(processor.GetFrame(buffer.data(), 0.2));
    EXPECT_EQ(buffer[0], 2 * 15);
}

TEST_F(TVideoProcessorTest, RequestAfterEveryFrameWaitsAndKeepsThemAll) {
    TCapture capture = MakeCapture(16, 16, false, Gradient);
    TVideoProcessor processor(capture.Header);
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    EXPECT_FALSE(processor.GetFrame(buffer.data(), 0.0)) << "empty list";
    for (double time : {0.0, 0.1, 0.2}) {
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), time);
    }
    EXPECT_FALSE(processor.GetFrame(buffer.data(), 0.25));
    EXPECT_EQ(processor.WaitingFrames(), 3);
    EXPECT_EQ(processor.ProcessPos(), 10);

    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0.3);
    EXPECT_TRUE(processor.GetFrame(buffer.data(), 0.25));
    EXPECT_EQ(processor.WaitingFrames(), 1);
    EXPECT_EQ(processor.ProcessPos(), 10);

    // A frame without a time takes the last one given (0 at first), so it can be chosen.
    TVideoProcessor fresh(capture.Header);
    fresh.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), std::nan(""));
    EXPECT_TRUE(fresh.GetFrame(buffer.data(), 0.0));
    fresh.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0.5);
    fresh.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), INFINITY);
    EXPECT_FALSE(fresh.GetFrame(buffer.data(), 0.6)) << "the infinite time counts as 0.5";
}

TEST_F(TVideoProcessorTest, TheFortySecondWaitingFrameIsDropped) {
    TCapture capture = MakeCapture(16, 16, false, Gradient);
    TVideoProcessor processor(capture.Header);
    for (int i = 0; i < 42; ++i) {
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), i);
    }
    EXPECT_EQ(processor.WaitingFrames(), 41);
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    EXPECT_FALSE(processor.GetFrame(buffer.data(), 41)) << "frame 41 was never kept";
    EXPECT_TRUE(processor.GetFrame(buffer.data(), 40));
    EXPECT_EQ(processor.WaitingFrames(), 1);
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 41);
    EXPECT_EQ(processor.WaitingFrames(), 2);
}

TEST_F(TVideoProcessorTest, ShortCapturesOverwriteOnlyTheStartOfTheLastOne) {
    TCapture capture = MakeCapture(32, 32, false, Gradient);
    TCapture white = MakeCapture(32, 32, false, [](int, int) { return White; });
    TVideoProcessor processor(capture.Header);
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    auto pixel = [&](int x, int y) {
        const uint8_t* p = buffer.data() + 4 * (32 * y + x);
        return TBgr{p[0], p[1], p[2]};
    };
    processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 0);
    processor.PutFrame(white.Bytes.data(), 3 * 10, 1);  // the bottom row's first 10 pixels
    processor.PutFrame(nullptr, 0, 2);
    processor.PutFrame(white.Bytes.data(), -5, 3);
    ASSERT_TRUE(processor.GetFrame(buffer.data(), 0));
    EXPECT_EQ(pixel(9, 31), Gradient(9, 31));
    for (double time : {1, 2, 3}) {
        ASSERT_TRUE(processor.GetFrame(buffer.data(), time));
        EXPECT_EQ(pixel(9, 31), White) << time;
        EXPECT_EQ(pixel(10, 31), Gradient(10, 31)) << time;
        EXPECT_EQ(pixel(9, 30), Gradient(9, 30)) << time;
    }
}

// Frame buffers are reused from one capture to the next: no earlier picture, capture or
// overlay may show in the padding, and a short capture still starts from the last whole one.
TEST_F(TVideoProcessorTest, ReusedFrameBuffersStartClean) {
    TCapture captures[2] = {MakeCapture(20, 18, false, [](int, int) { return White; }),
                            MakeCapture(20, 18, false, Gradient)};
    TVideoProcessor processor(captures[0].Header);
    ASSERT_EQ(processor.OutputWidth(), 32);
    ASSERT_EQ(processor.OutputHeight(), 32);
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    auto paddingIsBlack = [&] {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (y >= 32 - 18 && x < 20) continue;
                for (int i = 0; i < 4; ++i) {
                    if (buffer[4 * (32 * y + x) + i] != 0) return false;
                }
            }
        }
        return true;
    };
    auto pixel = [&](int x, int y) {
        const uint8_t* p = buffer.data() + 4 * (32 * (32 - 18 + y) + x);
        return TBgr{p[0], p[1], p[2]};
    };
    for (int i = 0; i < 3 * int(TVideoProcessor::MaxSpareFrames); ++i) {
        // Two waiting at a time, so that frames pass through the spares in turn.
        const TCapture& capture = captures[i % 2];
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 2 * i);
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), 2 * i + 1);
        ASSERT_TRUE(processor.GetFrame(buffer.data(), 2 * i + 1)) << i;
        EXPECT_TRUE(paddingIsBlack()) << i;
        EXPECT_EQ(pixel(19, 0), i % 2 ? Gradient(19, 0) : White) << i;
        EXPECT_EQ(pixel(3, 17), i % 2 ? Gradient(3, 17) : White) << i;
    }
    // The last whole capture was the gradient; a short white one covers its bottom row start.
    processor.PutFrame(captures[0].Bytes.data(), 3 * 4, 100);
    ASSERT_TRUE(processor.GetFrame(buffer.data(), 100));
    EXPECT_EQ(pixel(3, 17), White);
    EXPECT_EQ(pixel(4, 17), Gradient(4, 17));
    EXPECT_EQ(pixel(19, 0), Gradient(19, 0));
    EXPECT_TRUE(paddingIsBlack());
}

TEST_F(TVideoProcessorTest, UnusableFormatsFailCreationWithTheHeaderInTheLog) {
    TBitmapInfoHeader header;
    header.biWidth = 320;
    header.biHeight = 240;
    header.biBitCount = 32;
    try {
        TVideoProcessor processor(header);
        FAIL() << "created from a 32-bit header";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "DIB Create error");
    }
    std::string log = TakeLog();
    size_t at = 0;
    for (const char* line : {"CreateDIBSection Failed: ", "B.biSize: 40\r\n", "B.biWidth: 320\r\n",
                             "B.biHeight: 240\r\n", "B.biPlanes: 1\r\n", "B.biBitCount: 32\r\n",
                             "B.biCompression: 0\r\n", "B.biSizeImage: 0\r\n"}) {
        at = log.find(line, at);
        EXPECT_NE(at, std::string::npos) << line << " in order in:\n" << log;
    }

    header.biBitCount = 24;
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = 200;
    Settings.Processing.CropR = 200;  // nothing left
    EXPECT_EQ(TVideoProcessor::Create(header), nullptr);
    Settings.Processing.Crop = false;
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 0;
    Settings.Processing.ResizeH = 240;
    EXPECT_EQ(TVideoProcessor::Create(header), nullptr);
    for (int32_t height : {0, 100000}) {
        Settings.Processing.Resize = false;
        header.biHeight = height;
        EXPECT_EQ(TVideoProcessor::Create(header), nullptr) << height;
    }
    EXPECT_NE(TakeLog().find("B.biHeight: 100000"), std::string::npos);
}

TEST_F(TVideoProcessorTest, CropValuesOutsideThePictureAreKeptInsideIt) {
    Settings.Processing.Crop = true;
    Settings.Processing.CropL = -20;
    Settings.Processing.CropT = 4;
    Settings.Processing.CropR = 1000;  // more than the width: clamped to the left edge
    Settings.Processing.CropB = -3;
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = 16;
    Settings.Processing.ResizeH = 16;
    TCapture capture = MakeCapture(64, 48, false, Gradient);
    EXPECT_EQ(TVideoProcessor::Create(capture.Header), nullptr);
    Settings.Processing.CropR = 32;
    TOutput out = ProcessOnce(capture);
    // Nearest samples of the 32 x 44 rectangle from (0, 4).
    EXPECT_EQ(out.At(0, 0), Gradient(1, 5));
    EXPECT_EQ(out.At(15, 15), Gradient(31, 46));
}

// One thread putting frames while another takes them; meant for ThreadSanitizer.
TEST_F(TVideoProcessorTest, ProducerAndConsumerThreadsShareTheWaitList) {
    constexpr int Frames = 120;
    std::vector<TCapture> captures;
    for (int i = 0; i < Frames; ++i) {
        captures.push_back(
            MakeCapture(16, 16, true, [i](int, int) { return Uniform(uint8_t(i)); }));
    }
    TVideoProcessor processor(captures[0].Header);
    std::thread producer([&] {
        for (int i = 0; i < Frames; ++i) {
            while (processor.WaitingFrames() >= int32_t(TVideoProcessor::MaxWaitingFrames)) {
                std::this_thread::yield();
            }
            processor.PutFrame(captures[i].Bytes.data(), int32_t(captures[i].Bytes.size()),
                               i / 30.0);
        }
    });
    std::vector<uint8_t> buffer(size_t(processor.GetFrameSize()));
    for (int n = 0; 2 * n < Frames; ++n) {
        while (!processor.GetFrame(buffer.data(), n / 15.0)) std::this_thread::yield();
        ASSERT_EQ(buffer[0], 2 * n) << "request " << n;
    }
    producer.join();
}

// Sanitizer runtimes end the process on a failed allocation instead of throwing.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool AllocationFailuresThrow = false;
#else
constexpr bool AllocationFailuresThrow = true;
#endif

size_t AddressSpaceBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    return pages * size_t(sysconf(_SC_PAGESIZE));
}

// In a child process: a 4096 x 4096 capture put three times with no room for a second frame.
// Exits 0 when the one that found no memory was dropped and said once.
void PutFramesWithoutMemory() {
    const TCapture capture = MakeCapture(4096, 4096, true, [](int, int) { return Red; });
    TVideoProcessor processor(capture.Header);
    // Room for what exists, not for another 64 MB frame.
    const rlimit limit{AddressSpaceBytes() + (16u << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    for (int i = 0; i < 3; ++i)
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), i);
    const std::string log = TakeLog();
    const size_t first = log.find("Video frame dropped: out of memory");
    const bool once = first != std::string::npos &&
                      log.find("Video frame dropped", first + 1) == std::string::npos;
    // The spare frame made at creation took the first capture.
    std::exit(once && processor.WaitingFrames() == 1 ? 0 : 1);
}

// A captured frame that finds no memory on the capture thread is dropped and said once; an
// escaping bad_alloc would end the program from inside the capture callback.
TEST_F(TVideoProcessorTest, FrameWithoutMemoryIsDroppedAndSaidOnce) {
    if (!AllocationFailuresThrow) GTEST_SKIP() << "the sanitizer runtime aborts instead";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PutFramesWithoutMemory(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
