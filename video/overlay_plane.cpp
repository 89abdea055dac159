#include "video/overlay_plane.h"

#include <libyuv/planar_functions.h>

#include <algorithm>

TOverlayPlane::TOverlayPlane(const TBgraImage& image, int32_t frameWidth, int32_t frameHeight,
                             int32_t pictureHeight) {
    bool frameSized = image.Width == frameWidth && image.Height == frameHeight;
    FTop = frameSized ? 0 : std::clamp(frameHeight - pictureHeight, 0, frameHeight);
    FWidth = std::min(image.Width, frameWidth);
    FHeight = std::min(image.Height, frameHeight - FTop);
    if (Empty()) return;

    FPixels.resize(static_cast<size_t>(FWidth) * FHeight * 4);
    uint8_t* out = FPixels.data();
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* in = image.Row(y);
        for (int32_t x = 0; x < FWidth; ++x, in += 4, out += 4) {
            const unsigned alpha = in[3];
            // Divided by 256, not 255: an opaque 255 becomes 254.
            out[0] = static_cast<uint8_t>(in[0] * alpha >> 8);
            out[1] = static_cast<uint8_t>(in[1] * alpha >> 8);
            out[2] = static_cast<uint8_t>(in[2] * alpha >> 8);
            out[3] = static_cast<uint8_t>(alpha);
        }
    }
}

void TOverlayPlane::BlendOnto(uint8_t* frame, int32_t frameStride) const {
    if (Empty()) return;
    uint8_t* target = frame + static_cast<ptrdiff_t>(FTop) * frameStride;
    libyuv::ARGBBlend(FPixels.data(), FWidth * 4, target, frameStride, target, frameStride, FWidth,
                      FHeight);
}
