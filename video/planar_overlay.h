#pragma once
// The overlay image for I420 frames: converted once, when it is loaded, into Y'CbCr planes
// plus an alpha plane, then blended onto every frame with libyuv. Placed like TOverlayPlane (an
// image of the frame's size covers it one to one; another is anchored at the top-left of the
// picture as displayed and clipped to the frame). Colours follow the RGB path's studio-swing
// conversion, and each chroma sample is the alpha-weighted mean of its four pixels, so that the
// blend matches blending in RGB and converting afterwards.

#include <cstdint>
#include <vector>

#include "video/bgra_image.h"

class TPlanarOverlay final {
  public:
    TPlanarOverlay(const TBgraImage& image, int32_t frameWidth, int32_t frameHeight,
                   int32_t pictureHeight);

    // Source-over blend onto a packed I420 frame of the size given at construction.
    void BlendOnto(uint8_t* frame) const;

    bool Empty() const { return FWidth <= 0 || FHeight <= 0; }

  private:
    void Convert(const TBgraImage& image, int32_t imageTop);
    void ConvertChroma(const TBgraImage& image, int32_t imageTop, int32_t row, int32_t column);

    int32_t FFrameWidth = 0;
    int32_t FFrameHeight = 0;
    int32_t FTop = 0;  // frame row of the planes' first row: even, so chroma rows line up
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<uint8_t> FY, FCb, FCr, FAlpha;  // FWidth (chroma: half) bytes per row
};
