// Camera frames (I420, YUY2, UYVY, NV12) through the video processor against the same scene as RGB:
// the two paths must agree on sizes, placement and orientation exactly and on colour within 3
// levels.
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

// The planes in the capture layout of I420.
std::vector<uint8_t> I420Bytes(const TPlanes& planes) {
    const TI420Layout layout = CaptureI420Layout(planes.Width, planes.Height);
    std::vector<uint8_t> bytes(size_t(layout.Size));
    for (int y = 0; y < planes.Height; ++y) {
        std::copy_n(&planes.Y[size_t(y) * planes.Width], planes.Width, &bytes[y * layout.YStride]);
    }
    for (int y = 0; y < layout.ChromaHeight; ++y) {
        const size_t from = size_t(y) * planes.ChromaWidth();
        std::copy_n(&planes.Cb[from], planes.ChromaWidth(),
                    &bytes[layout.CbOffset + y * layout.ChromaStride]);
        std::copy_n(&planes.Cr[from], planes.ChromaWidth(),
                    &bytes[layout.CrOffset + y * layout.ChromaStride]);
    }
    return bytes;
}

// The planes as packed 4:2:2 (YUY2, or UYVY with Cb first): each chroma sample on both of its
// rows, an odd last column doubled.
std::vector<uint8_t> PackedBytes(const TPlanes& planes, bool chromaFirst) {
    const int64_t stride = CapturePackedStride(planes.Width);
    std::vector<uint8_t> bytes(size_t(stride * planes.Height));
    for (int y = 0; y < planes.Height; ++y) {
        for (int x = 0; x < planes.Width; x += 2) {
            uint8_t* p = &bytes[y * stride + x * 2];
            const int y0 = planes.At(0, x, y),
                      y1 = planes.At(0, std::min(x + 1, planes.Width - 1), y);
            const uint8_t quad[4] = {uint8_t(y0), uint8_t(planes.At(1, x, y)), uint8_t(y1),
                                     uint8_t(planes.At(2, x, y))};
            const uint8_t swapped[4] = {quad[1], quad[0], quad[3], quad[2]};
            std::copy_n(chromaFirst ? swapped : quad, 4, p);
        }
    }
    return bytes;
}

// The planes as NV12: the Y plane, then Cb and Cr interleaved.
std::vector<uint8_t> Nv12Bytes(const TPlanes& planes) {
    const TNv12Layout layout = CaptureNv12Layout(planes.Width, planes.Height);
    std::vector<uint8_t> bytes(size_t(layout.Size));
    for (int y = 0; y < planes.Height; ++y) {
        std::copy_n(&planes.Y[size_t(y) * planes.Width], planes.Width, &bytes[y * layout.YStride]);
    }
    for (int y = 0; y < (planes.Height + 1) / 2; ++y) {
        for (int x = 0; x < planes.ChromaWidth(); ++x) {
            uint8_t* p = &bytes[layout.ChromaOffset + y * layout.ChromaStride + x * 2];
            p[0] = planes.Cb[size_t(y) * planes.ChromaWidth() + x];
            p[1] = planes.Cr[size_t(y) * planes.ChromaWidth() + x];
        }
    }
    return bytes;
}

// The scene as a camera would deliver it: I420 in studio swing or, as from a JPEG camera, in
// full range; or YUY2, UYVY or NV12 as a webcam sends them raw.
TCapture CameraCapture(int width, int height, const TPixelFn& pixel, uint32_t form) {
    TPlanes planes = Convert(width, height, pixel);
    if (form == J420_COMPRESSION) {
        Expand(planes.Y, 16, 255.0 / 219, 0);
        Expand(planes.Cb, 128, 255.0 / 224, 128);
        Expand(planes.Cr, 128, 255.0 / 224, 128);
    }
    const TBitmapInfoHeader header = YCbCrBitmapHeader(form, width, height);
    switch (form) {
        case YUY2_COMPRESSION:
        case UYVY_COMPRESSION:
            return {header, PackedBytes(planes, form == UYVY_COMPRESSION)};
        case NV12_COMPRESSION:
            return {header, Nv12Bytes(planes)};
        default:
            return {header, I420Bytes(planes)};
    }
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
    uint32_t Form = I420_COMPRESSION;
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
    const TCapture yuv = CameraCapture(c.Width, c.Height, scene, c.Form);
    ASSERT_EQ(yuv.Bytes.size(), yuv.Header.biSizeImage);
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

using TCameraFrameTest = TProcessorTest;

// A raw camera frame too short to rearrange is dropped with one line for the run, and the next
// whole one is taken as usual.
TEST_F(TCameraFrameTest, AShortRawFrameIsDroppedWithOneLineAndTheNextIsTaken) {
    const TCapture whole = CameraCapture(
        64, 32, [](int, int) { return Uniform(255); }, YUY2_COMPRESSION);
    ASSERT_EQ(whole.Bytes.size(), 4096u);
    TVideoProcessor processor(whole.Header);
    std::vector<uint8_t> frame(size_t(processor.GetFrameSize()));
    for (int i = 0; i < 2; ++i) processor.PutFrame(whole.Bytes.data(), 4095, 0);
    EXPECT_FALSE(processor.GetFrame(frame.data(), 0));
    const std::string log = TakeLog();
    const std::string line = "Video frame dropped: 4095 bytes where the format needs 4096\r\n";
    ASSERT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << log;
    processor.PutFrame(whole.Bytes.data(), int32_t(whole.Bytes.size()), 0.1);
    ASSERT_TRUE(processor.GetFrame(frame.data(), 0.1));
    EXPECT_EQ(frame[0], 235);
    EXPECT_EQ(frame[size_t(processor.GetFrameSize()) - 1], 128);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TPlanarPathTest,
    ::testing::Values(
        TCase{"CaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "", I420_COMPRESSION},
        TCase{"OddSizePadded", 322, 242, false, false, 0, 0, true, "", I420_COMPRESSION},
        TCase{"CropAndHighQualityResize", 640, 480, true, true, 330, 250, true, "",
              I420_COMPRESSION},
        TCase{"CropAndPlainResize", 640, 480, true, true, 200, 150, false, "", I420_COMPRESSION},
        TCase{"AlphaOverlay", 320, 240, false, false, 0, 0, true, "alpha.png", I420_COMPRESSION},
        TCase{"ColourKeyOverlayOverCropAndResize", 640, 480, true, true, 330, 251, true, "key.jpg",
              I420_COMPRESSION},
        TCase{"FullRangeCaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "alpha.png",
              J420_COMPRESSION},
        TCase{"FullRangeCropAndResize", 640, 480, true, true, 330, 250, true, "", J420_COMPRESSION},
        TCase{"Yuy2CaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "", YUY2_COMPRESSION},
        TCase{"Yuy2OddSizeWithOverlay", 321, 241, false, false, 0, 0, true, "alpha.png",
              YUY2_COMPRESSION},
        TCase{"UyvyCropAndResize", 640, 480, true, true, 330, 250, true, "", UYVY_COMPRESSION},
        TCase{"Nv12CaptureIsTheFrame", 320, 240, false, false, 0, 0, true, "", NV12_COMPRESSION},
        TCase{"Nv12OddSizeCropAndPlainResize", 323, 243, true, true, 200, 150, false, "key.jpg",
              NV12_COMPRESSION}),
    [](const auto& info) { return info.param.Name; });

}  // namespace
