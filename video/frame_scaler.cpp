#include "video/frame_scaler.h"

#include <libyuv/convert_argb.h>

#include <algorithm>
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

namespace {

// Source span [First, Last) that one target pixel averages: the source pixels whose index
// maps into it, at least one.
struct TSpan {
    int32_t First = 0;
    int32_t Last = 0;
};

TSpan SpanOf(int32_t target, int32_t sourceSize, int32_t targetSize) {
    auto first = static_cast<int32_t>(int64_t{target} * sourceSize / targetSize);
    auto last = static_cast<int32_t>(int64_t{target + 1} * sourceSize / targetSize);
    return {first, std::max(last, first + 1)};
}

// Below this many pixels per average, (sum + count / 2) * ceil(2^32 / count) >> 32 equals
// the rounded quotient exactly; above it the division is done outright.
constexpr uint64_t ReciprocalLimit = 4096;

}  // namespace

// Averages the source area under each target pixel, rounded to nearest, straight from the
// 24-bit rows; libyuv's box filter truncates (a white area comes out 253).
void TFrameScaler::ScaleFiltered(const uint8_t* firstRow, int64_t rowStep,
                                 const TPictureRect& source, uint8_t* picture) {
    const int32_t sourceWidth = source.Width();
    if (FColumnSpans.size() != size_t(FPictureWidth) || FSpanSourceWidth != sourceWidth) {
        FSpanSourceWidth = sourceWidth;
        FColumnSpans.resize(size_t(FPictureWidth));
        for (int32_t x = 0; x < FPictureWidth; ++x) {
            TSpan span = SpanOf(x, sourceWidth, FPictureWidth);
            FColumnSpans[x] = {span.First * 3, span.Last * 3};
        }
    }
    FRowSums.resize(size_t(sourceWidth) * 3);
    for (int32_t y = 0; y < FPictureHeight; ++y) {
        TSpan rows = SpanOf(y, source.Height(), FPictureHeight);
        std::fill(FRowSums.begin(), FRowSums.end(), 0);
        for (int32_t r = rows.First; r < rows.Last; ++r) {
            const uint8_t* in = firstRow + r * rowStep;
            uint32_t* sums = FRowSums.data();
            for (int32_t i = 0; i < sourceWidth * 3; ++i) sums[i] += in[i];
        }
        AverageColumns(rows.Last - rows.First, picture + int64_t{y} * FOutputStride);
    }
}

void TFrameScaler::AverageColumns(int32_t rowCount, uint8_t* out) {
    for (int32_t x = 0; x < FPictureWidth; ++x, out += 4) {
        const auto [first, last] = FColumnSpans[x];
        uint64_t total[3] = {0, 0, 0};
        for (int32_t i = first; i < last; i += 3) {
            total[0] += FRowSums[i];
            total[1] += FRowSums[i + 1];
            total[2] += FRowSums[i + 2];
        }
        const uint64_t count = uint64_t(rowCount) * uint64_t((last - first) / 3);
        if (count < ReciprocalLimit) {
            const uint64_t reciprocal = ((uint64_t{1} << 32) + count - 1) / count;
            for (int c = 0; c < 3; ++c) out[c] = uint8_t((total[c] + count / 2) * reciprocal >> 32);
        } else {
            for (int c = 0; c < 3; ++c) out[c] = uint8_t((total[c] + count / 2) / count);
        }
        out[3] = 255;
    }
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
