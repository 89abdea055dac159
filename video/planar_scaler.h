#pragma once
// Crops and scales an I420 capture (top row first, in the capture layout) into the picture area
// of an I420 output frame (packed layout, picture in columns 0..W-1 of the last H rows, the
// rest black), without leaving Y'CbCr. The camera-frame counterpart of TFrameScaler; owned by
// the video processor and used only by its consumer thread.

#include <cstdint>

#include "video/frame_format.h"
#include "video/frame_scaler.h"

class TPlanarScaler final {
  public:
    // inputWidth x inputHeight: the capture; picture and frame sizes as the processor has them
    // (frame sides even).
    TPlanarScaler(int32_t inputWidth, int32_t inputHeight, int32_t pictureWidth,
                  int32_t pictureHeight, int32_t frameWidth, int32_t frameHeight);

    // High quality averages the source area under each target pixel (libyuv's box filter), the
    // plain mode takes the nearest source sample. input holds InputBytes(); output the whole
    // output frame, whose padding is cleared here as well.
    void Scale(const uint8_t* input, const TPictureRect& source, bool highQuality, uint8_t* output);

    // True when a capture of `source` already is the output frame byte for byte: the whole
    // picture at the frame's size, in the same layout. It is then used as it is.
    bool CaptureIsOutput(const TPictureRect& source) const;

    // Fills a whole output frame, or a whole input, with black.
    void FillOutputBlack(uint8_t* output) const;
    void FillInputBlack(uint8_t* input) const;

    int64_t InputBytes() const { return FInput.Size; }
    int64_t OutputBytes() const { return FOutput.Size; }

  private:
    void ClearPadding(uint8_t* output) const;

    int32_t FInputWidth;
    int32_t FInputHeight;
    int32_t FPictureWidth;
    int32_t FPictureHeight;
    int32_t FFrameWidth;
    int32_t FFrameHeight;
    TI420Layout FInput;
    TI420Layout FOutput;
};
