#pragma once
// Crops and scales a 24-bit BGR capture into the picture area of a 32-bit BGRX output frame
// (top row first, picture in columns 0..W-1 of the last H rows). Takes bottom-up (positive
// biHeight) and top-down (negative biHeight) input alike. Owned by the video processor and
// used only by its consumer thread.

#include <cstdint>
#include <vector>

#include "video/bitmap_info_header.h"

// A rectangle of the captured picture as displayed: origin top-left, right and bottom
// exclusive. The scaler trusts it to lie inside the picture.
struct TPictureRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};

class TFrameScaler final {
  public:
    // input must be a 24-bit uncompressed header with positive width and non-zero height.
    TFrameScaler(const TBitmapInfoHeader& input, int32_t pictureWidth, int32_t pictureHeight,
                 int32_t outputStride, int32_t outputHeight);

    // High quality averages the source area under each target pixel (libyuv's box filter);
    // the plain mode takes the nearest source pixel. input holds InputBytes(); output the whole
    // output frame.
    void Scale(const uint8_t* input, const TPictureRect& source, bool highQuality, uint8_t* output);

    int64_t InputBytes() const { return FInputStride * FInputHeight; }

  private:
    void ScaleFiltered(const uint8_t* firstRow, int64_t rowStep, const TPictureRect& source,
                       uint8_t* picture);
    void ScaleNearest(const uint8_t* firstRow, int64_t rowStep, const TPictureRect& source,
                      uint8_t* picture);

    int64_t FInputStride = 0;
    int64_t FInputHeight = 0;
    bool FTopDown = false;
    int32_t FPictureWidth = 0;
    int32_t FPictureHeight = 0;
    int32_t FOutputStride = 0;
    int32_t FOutputHeight = 0;
    std::vector<uint8_t> FArgb;     // high quality: the source rectangle widened to 32 bits
    std::vector<uint8_t> FArgbRow;  // plain mode: one source row widened to 32 bits
};
