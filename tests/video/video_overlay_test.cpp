#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>

#include "processor_fixture.h"

namespace {

const TBgr Under{40, 80, 120};

class TVideoOverlayTest : public TProcessorTest {
  protected:
    void UseOverlay(const std::string& name) {
        Settings.Processing.Overlay = true;
        Settings.Processing.OverlayImage = FFolder.File(name);
    }

    // A width x height RGBA PNG with every pixel (r, g, b, a).
    void WriteFlatPng(const std::string& name, int width, int height, std::vector<uint8_t> rgba) {
        TPngSpec spec = Png(width, height, PNG_COLOR_TYPE_RGBA, {});
        for (int i = 0; i < width * height; ++i) {
            spec.Pixels.insert(spec.Pixels.end(), rgba.begin(), rgba.end());
        }
        WritePng(FFolder.File(name), spec);
    }

    TTempFolder FFolder;
};

// overlay + under x (255 - alpha) / 255, with the overlay premultiplied by alpha / 256;
// the blend's own rounding may differ by one.
void ExpectBlend(TBgr actual, TBgr over, int alpha, TBgr under) {
    auto blend = [&](int o, int u) { return o * alpha / 256 + u * (255 - alpha) / 255.0; };
    EXPECT_NEAR(actual.B, blend(over.B, under.B), 1.01);
    EXPECT_NEAR(actual.G, blend(over.G, under.G), 1.01);
    EXPECT_NEAR(actual.R, blend(over.R, under.R), 1.01);
}

TEST_F(TVideoOverlayTest, PngAlphaChannelBlendsOverThePicture) {
    // Left half white at alpha 128, right half fully transparent; bottom row opaque blue.
    TPngSpec spec = Png(32, 32, PNG_COLOR_TYPE_RGBA, {});
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            std::vector<uint8_t> p = y == 31  ? std::vector<uint8_t>{0, 0, 255, 255}
                                     : x < 16 ? std::vector<uint8_t>{255, 255, 255, 128}
                                              : std::vector<uint8_t>{255, 255, 255, 0};
            spec.Pixels.insert(spec.Pixels.end(), p.begin(), p.end());
        }
    }
    WritePng(FFolder.File("logo.png"), spec);
    UseOverlay("logo.png");
    TCapture capture = MakeCapture(32, 32, false, [](int, int) { return Under; });
    TVideoProcessor processor(capture.Header);
    ASSERT_TRUE(processor.HasOverlay());
    TOutput out = Process(processor, capture);

    ExpectBlend(out.At(0, 0), {255, 255, 255}, 127, Under);
    ExpectBlend(out.At(15, 30), {255, 255, 255}, 127, Under);
    EXPECT_EQ(out.At(16, 0), Under);
    EXPECT_EQ(out.At(31, 30), Under);
    ExpectBlend(out.At(5, 31), {255, 0, 0}, 254, Under);
}

TEST_F(TVideoOverlayTest, DefaultSettingsMakeBlackJpegPixelsTransparent) {
    Settings.Processing.TransColor = true;
    std::vector<uint8_t> grey(16 * 16);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = i % 16 < 8 ? 0 : 200;
    WriteJpeg(FFolder.File("logo.jpg"), 16, 16, 1, grey);
    UseOverlay("logo.jpg");
    TCapture capture = MakeCapture(16, 16, true, [](int, int) { return Under; });
    TOutput out = ProcessOnce(capture);
    EXPECT_EQ(out.At(3, 3), Under);
    ExpectBlend(out.At(12, 3), Uniform(200), 255, Under);
}

TEST_F(TVideoOverlayTest, GifNameLogsAndFramesComeWithoutOverlay) {
    WriteFlatPng("logo.gif", 16, 16, {255, 255, 255, 255});
    UseOverlay("logo.gif");
    TCapture capture = MakeCapture(16, 16, false, [](int, int) { return Under; });
    TVideoProcessor processor(capture.Header);
    EXPECT_NE(TakeLog().find("Unknown overlay image file type"), std::string::npos);
    EXPECT_FALSE(processor.HasOverlay());
    EXPECT_EQ(Process(processor, capture).At(7, 7), Under);

    UseOverlay("missing.png");
    EXPECT_FALSE(TVideoProcessor(capture.Header).HasOverlay());
    EXPECT_EQ(TakeLog(), "");
}

// Picture 40 x 20 in a 48 x 32 frame: picture rows 12..31, columns 0..39.
class TOverlayPlacementTest : public TVideoOverlayTest {
  protected:
    void SetUp() override {
        TVideoOverlayTest::SetUp();
        Settings.Processing.Resize = true;
        Settings.Processing.ResizeW = 40;
        Settings.Processing.ResizeH = 20;
    }

    // Rows and columns of the frame that came out white.
    TOutput Run(int width, int height) {
        WriteFlatPng("logo.png", width, height, {255, 255, 255, 255});
        UseOverlay("logo.png");
        return ProcessOnce(MakeCapture(40, 20, false, [](int, int) { return TBgr{}; }));
    }

    static bool White(const TOutput& out, int x, int y) { return out.At(x, y).G >= 250; }
};

TEST_F(TOverlayPlacementTest, SmallerImageSitsAtThePicturesTopLeft) {
    TOutput out = Run(8, 8);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) {
            bool inside = x < 8 && y >= 12 && y < 20;
            ASSERT_EQ(White(out, x, y), inside) << x << "," << y;
        }
    }
}

TEST_F(TOverlayPlacementTest, FrameSizedImageCoversTheFrameOneToOne) {
    TOutput out = Run(48, 32);
    EXPECT_TRUE(White(out, 0, 0));
    EXPECT_TRUE(White(out, 47, 31));
}

TEST_F(TOverlayPlacementTest, LargerImageIsClippedToTheFrame) {
    TOutput out = Run(64, 64);
    EXPECT_FALSE(White(out, 0, 11));
    EXPECT_TRUE(White(out, 0, 12));
    EXPECT_TRUE(White(out, 47, 31));
}

}  // namespace
