#include "video/frame_scaler.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <cstdlib>
#include <cstring>

TFrameScaler::TFrameScaler(const TBitmapInfoHeader& input, int32_t pictureWidth,
                           int32_t pictureHeight, int32_t outputStride, int32_t outputHeight)
    : FInputStride(BitmapRowPitch(input.biBitCount, input.biWidth)),
      FInputHeight(std::llabs(input.biHeight)),
      FTopDown(input.biHeight < 0),
      FPictureWidth(pictureWidth),
      FPictureHeight(pictureHeight),
      FOutputStride(outputStride),
      FOutputHeight(outputHeight) {}

void TFrameScaler::Scale(const uint8_t* input, const TPictureRect& source, bool highQuality,
                         uint8_t* output) {
    if (source.Width() <= 0 || source.Height() <= 0) return;
    // Walk the source in display order whatever its order in memory.
    int64_t memoryRow = FTopDown ? source.Top : FInputHeight - 1 - source.Top;
    const uint8_t* firstRow = input + memoryRow * FInputStride + int64_t{3} * source.Left;
    const int64_t rowStep = FTopDown ? FInputStride : -FInputStride;
    uint8_t* picture = output + int64_t{FOutputHeight - FPictureHeight} * FOutputStride;

    bool oneToOne = source.Width() == FPictureWidth && source.Height() == FPictureHeight;
    if (oneToOne) {
        libyuv::RGB24ToARGB(firstRow, static_cast<int>(rowStep), picture, FOutputStride,
                            FPictureWidth, FPictureHeight);
    } else if (highQuality) {
        ScaleFiltered(firstRow, rowStep, source, picture);
    } else {
        ScaleNearest(firstRow, rowStep, source, picture);
    }
}

void TFrameScaler::ScaleFiltered(const uint8_t* firstRow, int64_t rowStep,
                                 const TPictureRect& source, uint8_t* picture) {
    const int width = source.Width(), height = source.Height();
    FArgb.resize(static_cast<size_t>(width) * height * 4);
    libyuv::RGB24ToARGB(firstRow, static_cast<int>(rowStep), FArgb.data(), width * 4, width,
                        height);
    libyuv::ARGBScale(FArgb.data(), width * 4, width, height, picture, FOutputStride,
                      FPictureWidth, FPictureHeight, libyuv::kFilterBox);
}

// Converting only the pixels that are kept beats widening the whole source first.
void TFrameScaler::ScaleNearest(const uint8_t* firstRow, int64_t rowStep,
                                const TPictureRect& source, uint8_t* picture) {
    // Sample at the centre of each target pixel.
    if (FColumnSourceWidth != source.Width()) {
        FColumnSourceWidth = source.Width();
        FColumnOffset.resize(static_cast<size_t>(FPictureWidth));
        for (int32_t x = 0; x < FPictureWidth; ++x) {
            FColumnOffset[x] = 3 * static_cast<int32_t>((2 * int64_t{x} + 1) * source.Width() /
                                                        (2 * int64_t{FPictureWidth}));
        }
    }
    for (int32_t y = 0; y < FPictureHeight; ++y) {
        int64_t sourceRow = (2 * int64_t{y} + 1) * source.Height() / (2 * int64_t{FPictureHeight});
        const uint8_t* in = firstRow + sourceRow * rowStep;
        uint8_t* out = picture + int64_t{y} * FOutputStride;
        for (int32_t x = 0; x < FPictureWidth; ++x, out += 4) {
            const uint8_t* pixel = in + FColumnOffset[x];
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            out[3] = 255;
        }
    }
}
