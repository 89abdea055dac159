#include "video/planar_overlay.h"

#include <libyuv/planar_functions.h>

#include <algorithm>

namespace {

// The RGB path's fixed-point factors (15 fractional bits, studio swing, offsets rounding).
int32_t Luma(int32_t r, int32_t g, int32_t b) {
    return (8421 * r + 16515 * g + 3211 * b + 540672) >> 15;
}
int32_t Cb(int32_t r, int32_t g, int32_t b) {
    return (-4849 * r - 9535 * g + 14385 * b + 4210688) >> 15;
}
int32_t Cr(int32_t r, int32_t g, int32_t b) {
    return (14385 * r - 12058 * g - 2326 * b + 4210688) >> 15;
}

}  // namespace

TPlanarOverlay::TPlanarOverlay(const TBgraImage& image, int32_t frameWidth, int32_t frameHeight,
                               int32_t pictureHeight)
    : FFrameWidth(frameWidth), FFrameHeight(frameHeight) {
    const bool frameSized = image.Width == frameWidth && image.Height == frameHeight;
    const int32_t imageTop =
        frameSized ? 0 : std::clamp(frameHeight - pictureHeight, 0, frameHeight);
    FTop = imageTop & ~1;
    FWidth = std::min(image.Width, frameWidth);
    FHeight = std::min(image.Height, frameHeight - imageTop) + (imageTop - FTop);
    if (std::min(image.Height, frameHeight - imageTop) <= 0 || FWidth <= 0) FHeight = 0;
    if (Empty()) return;
    Convert(image, imageTop);
}

// Rows of the planes above the image's first one (an odd top) stay transparent.
void TPlanarOverlay::Convert(const TBgraImage& image, int32_t imageTop) {
    const size_t chromaWidth = size_t(FWidth + 1) / 2;
    const size_t chromaHeight = size_t(FHeight + 1) / 2;
    FY.assign(size_t(FWidth) * FHeight, 0);
    FAlpha.assign(size_t(FWidth) * FHeight, 0);
    FCb.assign(chromaWidth * chromaHeight, 128);
    FCr.assign(chromaWidth * chromaHeight, 128);
    for (int32_t row = imageTop - FTop; row < FHeight; ++row) {
        const uint8_t* in = image.Row(row - (imageTop - FTop));
        for (int32_t x = 0; x < FWidth; ++x, in += 4) {
            FY[size_t(row) * FWidth + x] = static_cast<uint8_t>(Luma(in[2], in[1], in[0]));
            FAlpha[size_t(row) * FWidth + x] = in[3];
        }
    }
    for (int32_t row = 0; row < FHeight; row += 2) {
        for (int32_t column = 0; column < FWidth; column += 2) {
            ConvertChroma(image, imageTop, row, column);
        }
    }
}

// One chroma sample: the colour of the block's pixels weighted by their alpha, so transparent
// pixels lend it nothing.
void TPlanarOverlay::ConvertChroma(const TBgraImage& image, int32_t imageTop, int32_t row,
                                   int32_t column) {
    int32_t sum[3] = {0, 0, 0};
    int32_t weight = 0;
    for (int32_t y = row; y < std::min(row + 2, FHeight); ++y) {
        const int32_t imageRow = y - (imageTop - FTop);
        if (imageRow < 0) continue;
        for (int32_t x = column; x < std::min(column + 2, FWidth); ++x) {
            const uint8_t* p = image.Row(imageRow) + size_t(x) * 4;
            for (int c = 0; c < 3; ++c) sum[c] += p[c] * p[3];
            weight += p[3];
        }
    }
    if (weight == 0) return;
    const int32_t b = (sum[0] + weight / 2) / weight;
    const int32_t g = (sum[1] + weight / 2) / weight;
    const int32_t r = (sum[2] + weight / 2) / weight;
    const size_t at = size_t(row / 2) * size_t((FWidth + 1) / 2) + size_t(column / 2);
    FCb[at] = static_cast<uint8_t>(Cb(r, g, b));
    FCr[at] = static_cast<uint8_t>(Cr(r, g, b));
}

void TPlanarOverlay::BlendOnto(uint8_t* frame) const {
    if (Empty()) return;
    const int32_t chromaStride = FFrameWidth / 2;
    const int32_t overlayChroma = (FWidth + 1) / 2;
    uint8_t* y = frame + int64_t{FTop} * FFrameWidth;
    const int64_t chromaAt = int64_t{FTop / 2} * chromaStride;
    uint8_t* cb = frame + int64_t{FFrameWidth} * FFrameHeight + chromaAt;
    uint8_t* cr = cb + int64_t{chromaStride} * (FFrameHeight / 2);
    libyuv::I420Blend(FY.data(), FWidth, FCb.data(), overlayChroma, FCr.data(), overlayChroma, y,
                      FFrameWidth, cb, chromaStride, cr, chromaStride, FAlpha.data(), FWidth, y,
                      FFrameWidth, cb, chromaStride, cr, chromaStride, FWidth, FHeight);
}
