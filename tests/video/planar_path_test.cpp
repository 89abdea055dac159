// Camera frames (I420) through the video processor against the same scene as RGB: the two
// paths must agree on sizes, placement and orientation exactly and on colour within 3 levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "processor_fixture.h"
#include "video/frame_format.h"

namespace {

struct TPlanes {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Y, Cb, Cr;  // packed, chroma (Width + 1) / 2 wide
    int ChromaWidth() const { return (Width + 1) / 2; }
    int At(int plane, int x, int y) const {
        if (plane == 0) return Y[size_t(y) * Width + x];
        const auto& c = plane == 1 ? Cb : Cr;
        return c[size_t(y / 2) * ChromaWidth() + x / 2];
    }
};

// The RGB path's conversion: Y per pixel, chroma from the block's rounded mean colour.
TPlanes Convert(int width, int height, const std::function<TBgr(int, int)>& pixel) {
    TPlanes p;
    p.Width = width;
    p.Height = height;
    p.Y.resize(size_t(width) * height);
    const size_t chroma = size_t(p.ChromaWidth()) * ((height + 1) / 2);
    p.Cb.resize(chroma);
    p.Cr.resize(chroma);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const TBgr c = pixel(x, y);
            p.Y[size_t(y) * width + x] =
                uint8_t((8421 * c.R + 16515 * c.G + 3211 * c.B + 540672) >> 15);
        }
    }
    for (int y = 0; y < height; y += 2) {
        for (int x = 0; x < width; x += 2) {
            int sum[3] = {0, 0, 0}, n = 0;
            for (int dy = 0; dy < 2 && y + dy < height; ++dy) {
                for (int dx = 0; dx < 2 && x + dx < width; ++dx, ++n) {
                    const TBgr c = pixel(x + dx, y + dy);
                    sum[0] += c.R, sum[1] += c.G, sum[2] += c.B;
                }
            }
            const int r = (sum[0] + n / 2) / n, g = (sum[1] + n / 2) / n, b = (sum[2] + n / 2) / n;
            const size_t at = size_t(y / 2) * p.ChromaWidth() + x / 2;
            p.Cb[at] = uint8_t((-4849 * r - 9535 * g + 14385 * b + 4210688) >> 15);
            p.Cr[at] = uint8_t((14385 * r - 12058 * g - 2326 * b + 4210688) >> 15);
        }
    }
    return p;
}

// Studio swing to full range, as a JPEG decoder delivers it: (v - from) x scale + to.
void Expand(std::vector<uint8_t>& plane, int from, double scale, int to) {
    for (uint8_t& v : plane)
        v = uint8_t(std::clamp(std::lround((v - from) * scale + to), 0L, 255L));
}

// The scene as a camera would deliver it: I420 in the capture layout, in studio swing or, as
// from a JPEG camera, in full range.
TCapture I420Capture(int width, int height, const TPixelFn& pixel, bool fullRange) {
    TPlanes planes = Convert(width, height, pixel);
    if (fullRange) {
        Expand(planes.Y, 16, 255.0 / 219, 0);
        Expand(planes.Cb, 128, 255.0 / 224, 128);
        Expand(planes.Cr, 128, 255.0 / 224, 128);
    }
    const TI420Layout layout = CaptureI420Layout(width, height);
    TCapture capture{I420BitmapHeader(width, height, fullRange),
                     std::vector<uint8_t>(size_t(layout.Size))};
    for (int y = 0; y < height; ++y) {
        std::copy_n(&planes.Y[size_t(y) * width], width, &capture.Bytes[y * layout.YStride]);
    }
    for (int y = 0; y < layout.ChromaHeight; ++y) {
        const size_t from = size_t(y) * planes.ChromaWidth();
        std::copy_n(&planes.Cb[from], planes.ChromaWidth(),
                    &capture.Bytes[layout.CbOffset + y * layout.ChromaStride]);
        std::copy_n(&planes.Cr[from], planes.ChromaWidth(),
                    &capture.Bytes[layout.CrOffset + y * layout.ChromaStride]);
    }
    return capture;
}

// An output frame as planes: the RGB path's converted, the I420 path's as it is.
TPlanes FramePlanes(const TVideoProcessor& processor, const std::vector<uint8_t>& frame) {
    const int w = processor.OutputWidth(), h = processor.OutputHeight();
    if (processor.OutputFormat() == TFrameFormat::Bgrx) {
        return Convert(w, h, [&](int x, int y) {
            const uint8_t* p = &frame[(size_t(y) * w + x) * 4];
            return TBgr{p[0], p[1], p[2]};
        });
    }
    const TI420Layout layout = PackedI420Layout(w, h);
    TPlanes p;
    p.Width = w;
    p.Height = h;
    p.Y.assign(frame.begin(), frame.begin() + layout.CbOffset);
    p.Cb.assign(frame.begin() + layout.CbOffset, frame.begin() + layout.CrOffset);
    p.Cr.assign(frame.begin() + layout.CrOffset, frame.end());
    return p;
}

// Eight bars across the top three quarters (white, yellow, cyan, green, magenta, red, blue,
// black), a grey band below: a mirror or a shift shows.
const TBgr Bars[8] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                      {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
const TBgr Band{64, 96, 128};

struct TCase {
    std::string Name;
    int Width, Height;
    bool Crop = false;
    bool Resize = false;
    int ResizeW = 0, ResizeH = 0;
    bool HighQuality = true;
    std::string Overlay;  // "", "alpha.png", "key.jpg"
    bool FullRange = false;
};

class TPlanarPathTest : public TProcessorTest, public ::testing::WithParamInterface<TCase> {
  protected:
    TTempFolder FFolder;
};

TEST_P(TPlanarPathTest, MatchesTheRgbPath) {
    const TCase& c = GetParam();
    TVideoProcessing& o = Settings.Processing;
    o.Crop = c.Crop;
    o.CropL = o.CropR = o.CropT = o.CropB = 8;
    o.Resize = c.Resize;
    o.ResizeW = c.ResizeW;
    o.ResizeH = c.ResizeH;
    o.HighQualityResize = c.HighQuality;
    if (!c.Overlay.empty()) {
        WriteTestOverlays(FFolder);
        o.Overlay = true;
        o.OverlayImage = FFolder.File(c.Overlay);
        o.TransColor = true;
        o.OverlayColor = 0;
    }
    const TPixelFn scene = [&](int x, int y) {
        return y < c.Height * 3 / 4 ? Bars[x * 8 / c.Width] : Band;
    };
    const TCapture rgb = MakeCapture(c.Width, c.Height, false, scene);
    const TCapture yuv = I420Capture(c.Width, c.Height, scene, c.FullRange);
    TVideoProcessor rgbProcessor(rgb.Header), yuvProcessor(yuv.Header);
    ASSERT_EQ(yuvProcessor.OutputFormat(), TFrameFormat::I420);
    ASSERT_EQ(rgbProcessor.OutputFormat(), TFrameFormat::Bgrx);
    ASSERT_EQ(yuvProcessor.OutputWidth(), rgbProcessor.OutputWidth());
    ASSERT_EQ(yuvProcessor.OutputHeight(), rgbProcessor.OutputHeight());
    ASSERT_EQ(yuvProcessor.GetFrameSize(),
              yuvProcessor.OutputWidth() * yuvProcessor.OutputHeight() * 3 / 2);
    EXPECT_EQ(yuvProcessor.HasOverlay(), !c.Overlay.empty());
    const TPlanes expected = FramePlanes(rgbProcessor, Process(rgbProcessor, rgb).Bytes);
    const TPlanes actual = FramePlanes(yuvProcessor, Process(yuvProcessor, yuv).Bytes);

    const int w = yuvProcessor.PictureWidth(), h = yuvProcessor.PictureHeight();
    const int top = yuvProcessor.OutputHeight() - h;
    // Padding: black, exactly, in both paths.
    for (int y = 0; y < expected.Height; ++y) {
        for (int x = 0; x < expected.Width; ++x) {
            if (y >= top && x < w) continue;
            ASSERT_EQ(actual.At(0, x, y), 16) << x << "," << y;
            if (y / 2 >= top / 2 && x / 2 < (w + 1) / 2) continue;  // shared chroma row
            ASSERT_EQ(actual.At(1, x, y), 128) << x << "," << y;
            ASSERT_EQ(actual.At(2, x, y), 128) << x << "," << y;
        }
    }
    // The picture: every 2 x 2 block away from an edge of the scene or the overlay. Edges may
    // differ more: the two paths filter them in different colour spaces.
    int compared = 0;
    for (int y = top + 4; y < top + h - 4; y += 2) {
        for (int x = 0; x + 4 < w; x += 2) {
            bool edge = false;
            for (int dy = -3; dy <= 4 && !edge; ++dy) {
                for (int dx = -3; dx <= 4 && !edge; ++dx) {
                    const int ax = std::clamp(x + dx, 0, w - 1),
                              ay = std::clamp(y + dy, top, top + h - 1);
                    for (int plane = 0; plane < 3 && !edge; ++plane) {
                        edge = std::abs(expected.At(plane, ax, ay) - expected.At(plane, x, y)) > 3;
                    }
                }
            }
            if (edge) continue;
            ++compared;
            for (int plane = 0; plane < 3; ++plane) {
                ASSERT_NEAR(actual.At(plane, x, y), expected.At(plane, x, y), 3)
                    << "plane " << plane << " at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(compared, w * h / 8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TPlanarPathTest,
    ::testing::Values(
        TCase{"CaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "", false},
        TCase{"OddSizePadded", 322, 242, false, false, 0, 0, true, "", false},
        TCase{"CropAndHighQualityResize", 640, 480, true, true, 330, 250, true, "", false},
        TCase{"CropAndPlainResize", 640, 480, true, true, 200, 150, false, "", false},
        TCase{"AlphaOverlay", 320, 240, false, false, 0, 0, true, "alpha.png", false},
        TCase{"ColourKeyOverlayOverCropAndResize", 640, 480, true, true, 330, 251, true, "key.jpg",
              false},
        TCase{"FullRangeCaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "alpha.png", true},
        TCase{"FullRangeCropAndResize", 640, 480, true, true, 330, 250, true, "", true}),
    [](const auto& info) { return info.param.Name; });

}  // namespace
