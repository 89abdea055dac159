#pragma once
// A decoded picture: 4 bytes per pixel (blue, green, red, alpha), top line first, rows packed.
// Move-only; the pixel block is left uninitialised on creation because the decoders fill every
// byte before the image leaves them.

#include <cstddef>
#include <cstdint>
#include <memory>

// Decoders refuse anything larger, before allocating.
inline constexpr int32_t MaxImageDimension = 8192;

struct TBgraImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::unique_ptr<uint8_t[]> Pixels;

    TBgraImage() = default;
    TBgraImage(int32_t width, int32_t height)
        : Width(width),
          Height(height),
          Pixels(new uint8_t[static_cast<size_t>(width) * static_cast<size_t>(height) * 4]) {}

    size_t Stride() const { return static_cast<size_t>(Width) * 4; }
    uint8_t* Row(int32_t y) { return Pixels.get() + Stride() * static_cast<size_t>(y); }
    const uint8_t* Row(int32_t y) const { return Pixels.get() + Stride() * static_cast<size_t>(y); }
};

inline bool ImageDimensionsAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= MaxImageDimension && height <= MaxImageDimension;
}
