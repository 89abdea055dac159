#include <gtest/gtest.h>

#include <array>
#include <random>
#include <thread>
#include <vector>

#include "tests/planewright/conversion_harness.h"

namespace {

// Every test runs once per converter: the export with its own kernel choice, and each kernel
// forced, so that every kernel is held to the same answers on this machine.
class PlanewrightConversion : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        TSourceFrame probe(2, 2, 8);
        TPlanes planes(2, 2, 2);
        if (!Convert(probe, planes)) {
            GTEST_SKIP() << GetParam() << " kernel not supported by this CPU";
        }
    }

    bool Convert(const TSourceFrame& source, TPlanes& planes) {
        return ConvertWith(GetParam(), source.Data(), source.Width(), source.Height(), planes.Y(),
                           planes.Cb(), planes.Cr(), source.Pitch(), planes.YPitch());
    }

    void ExpectMatchesReference(const TSourceFrame& source, int32_t yPitch) {
        TPlanes expected(source.Width(), source.Height(), yPitch);
        ReferenceConvert(source, expected);
        TPlanes actual(source.Width(), source.Height(), yPitch);
        Convert(source, actual);
        EXPECT_EQ(actual.FirstDifference(expected), "")
            << source.Width() << "x" << source.Height() << " source pitch " << source.Pitch()
            << " Y pitch " << yPitch;
        EXPECT_TRUE(actual.GuardsIntact());
    }
};

struct TSize {
    int32_t width, height;
};

struct TColourCase {
    const char* name;
    uint8_t blue, green, red;
    uint8_t y, cb, cr;
};

TEST_P(PlanewrightConversion, ListedColoursGiveTheirStudioSwingValues) {
    const TColourCase cases[] = {
        {"black", 0, 0, 0, 16, 128, 128},  {"white", 255, 255, 255, 235, 128, 128},
        {"red", 0, 0, 255, 82, 90, 240},   {"green", 0, 255, 0, 145, 54, 34},
        {"blue", 255, 0, 0, 41, 240, 110},
    };
    // 120 columns: one step of each vector kernel (64 + 32 + 16), then the tables
    const int32_t width = 120, height = 4;
    for (const TColourCase& colour : cases) {
        SCOPED_TRACE(colour.name);
        TSourceFrame source(width, height, 4 * width);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                source.SetPixel(x, y, colour.blue, colour.green, colour.red);
            }
        }
        TPlanes planes(width, height, width);
        Convert(source, planes);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                ASSERT_EQ(planes.YAt(x, y), colour.y) << x << "," << y;
                ASSERT_EQ(planes.CbAt(x / 2, y / 2), colour.cb) << x << "," << y;
                ASSERT_EQ(planes.CrAt(x / 2, y / 2), colour.cr) << x << "," << y;
            }
        }
    }
}

TEST_P(PlanewrightConversion, FourthByteHasNoEffect) {
    std::mt19937 random(7);
    TSourceFrame source(70, 6, 4 * 70);
    source.Randomise(random);
    TPlanes first(70, 6, 70);
    Convert(source, first);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 70; ++x) {
            source.Pixel(x, y)[3] ^= static_cast<uint8_t>(1 + random() % 255);
        }
    }
    TPlanes second(70, 6, 70);
    Convert(source, second);
    EXPECT_EQ(second.FirstDifference(first), "");
}

// Luma follows each pixel; chroma follows the rounded average colour of the block. Here the
// truncated average and the average of per-pixel chroma both give Cb 160, Cr 97.
TEST_P(PlanewrightConversion, ChromaComesFromTheRoundedBlockAverage) {
    const int32_t width = 64;  // the block repeated, so vector kernels see it too
    TSourceFrame source(width, 2, 4 * width);
    for (int32_t x = 0; x < width; x += 2) {
        source.SetPixel(x, 0, 100, 128, 1);
        source.SetPixel(x + 1, 0, 254, 128, 50);
        source.SetPixel(x, 1, 255, 50, 1);
        source.SetPixel(x + 1, 1, 0, 100, 101);
    }
    TPlanes planes(width, 2, width);
    Convert(source, planes);
    for (int32_t x = 0; x < width; x += 2) {
        ASSERT_EQ(planes.YAt(x, 0), 91);
        ASSERT_EQ(planes.YAt(x + 1, 0), 118);
        ASSERT_EQ(planes.YAt(x, 1), 66);
        ASSERT_EQ(planes.YAt(x + 1, 1), 92);
        ASSERT_EQ(planes.CbAt(x / 2, 0), 159);
        ASSERT_EQ(planes.CrAt(x / 2, 0), 96);
    }
}

// Padding past each source row must not be read as pixels; planes land at the Y pitch and at
// half of it (rounded down) for chroma, and the gaps between rows keep their bytes.
TEST_P(PlanewrightConversion, PitchesWiderThanTheRows) {
    std::mt19937 random(11);
    const std::array<std::array<int32_t, 4>, 3> cases = {{
        // width, height, source pitch, Y pitch
        {48, 6, 4 * 48 + 20, 61},
        {80, 4, 4 * 80 + 4, 97},
        {34, 5, 4 * 34 + 256, 40},
    }};
    for (const auto& [width, height, sourcePitch, yPitch] : cases) {
        TSourceFrame source(width, height, sourcePitch);
        source.Randomise(random);
        ExpectMatchesReference(source, yPitch);
    }
}

// An odd last column or row is a partial block; nothing outside the buffers is touched
// (the source is allocated to its last pixel, the planes sit between guards).
TEST_P(PlanewrightConversion, OddAndTinySizesConvertPartialBlocks) {
    std::mt19937 random(5);
    const TSize sizes[] = {{1, 1},  {1, 2},  {2, 1},  {3, 3},  {5, 2},   {2, 5},
                           {31, 1}, {33, 3}, {63, 7}, {65, 9}, {121, 3}, {96, 5}};
    for (const auto& [width, height] : sizes) {
        TSourceFrame source(width, height, 4 * width);
        source.Randomise(random);
        ExpectMatchesReference(source, width + (width & 1));
    }
}

TEST_P(PlanewrightConversion, EmptyOrNegativeSizesTouchNothing) {
    const std::array<std::array<int32_t, 2>, 5> sizes = {
        {{0, 4}, {4, 0}, {-2, 4}, {4, -2}, {-4, -4}}};
    TSourceFrame source(4, 4, 16);
    for (const auto& [width, height] : sizes) {
        TPlanes planes(0, 0, 4);
        ConvertWith(GetParam(), source.Data(), width, height, planes.Y(), planes.Cb(), planes.Cr(),
                    16, 4);
        EXPECT_TRUE(planes.GuardsIntact()) << width << "x" << height;
    }
}

// Random frames at the sizes the program uses and at sizes that leave vector tails; the
// second pass draws only extreme channel values so block sums reach their limits.
TEST_P(PlanewrightConversion, RandomFramesMatchTheFormulas) {
    std::mt19937 random(1);
    const std::array<std::array<int32_t, 2>, 6> sizes = {
        {{16, 16}, {48, 32}, {176, 144}, {200, 18}, {640, 480}, {1280, 720}}};
    for (const auto& [width, height] : sizes) {
        TSourceFrame source(width, height, 4 * width);
        source.Randomise(random);
        ExpectMatchesReference(source, width);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                static const uint8_t extremes[4] = {0, 1, 254, 255};
                source.SetPixel(x, y, extremes[random() % 4], extremes[random() % 4],
                                extremes[random() % 4]);
            }
        }
        ExpectMatchesReference(source, width);
    }
}

// The library keeps no state: threads converting their own frames at once get the same
// answers as one alone.
TEST(PlanewrightThreads, ConcurrentCallsDoNotInterfere) {
    constexpr int kThreads = 4;
    std::vector<TSourceFrame> sources;
    std::vector<TPlanes> expected, actual;
    std::mt19937 random(9);
    for (int t = 0; t < kThreads; ++t) {
        sources.emplace_back(200 + 16 * t, 30, 4 * (200 + 16 * t));
        sources.back().Randomise(random);
        expected.emplace_back(200 + 16 * t, 30, 200 + 16 * t);
        ReferenceConvert(sources.back(), expected.back());
        actual.emplace_back(200 + 16 * t, 30, 200 + 16 * t);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int repeat = 0; repeat < 20; ++repeat) {
                ConvertWith("export", sources[t].Data(), sources[t].Width(), sources[t].Height(),
                            actual[t].Y(), actual[t].Cb(), actual[t].Cr(), sources[t].Pitch(),
                            actual[t].YPitch());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(actual[t].FirstDifference(expected[t]), "") << "thread " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, PlanewrightConversion, ::testing::ValuesIn(kConverters),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
