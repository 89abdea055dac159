#pragma once
// The overlay image premultiplied by its alpha and placed on the output frame, ready to be
// blended onto every frame. An image of exactly the frame size covers the frame one to one;
// any other size is anchored at the top-left corner of the picture as displayed (the frame's
// row frameHeight - pictureHeight) and clipped to the frame.

#include <cstdint>
#include <vector>

#include "video/bgra_image.h"

class TOverlayPlane final {
  public:
    TOverlayPlane(const TBgraImage& image, int32_t frameWidth, int32_t frameHeight,
                  int32_t pictureHeight);

    // Source-over blend of the premultiplied plane onto a top-row-first 32-bit frame of the
    // size given at construction: colour = overlay + frame x (255 - alpha) / 255.
    void BlendOnto(uint8_t* frame, int32_t frameStride) const;

    bool Empty() const { return FWidth <= 0 || FHeight <= 0; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }

  private:
    int32_t FTop = 0;  // frame row of the plane's first row
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<uint8_t> FPixels;  // premultiplied BGRA, 4 x FWidth bytes per row
};
