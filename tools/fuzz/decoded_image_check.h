#pragma once
// What every decoder promises about an image it returns, checked on each fuzzer input.

#include <cstdlib>

#include "video/bgra_image.h"

inline void CheckDecodedImage(const TBgraImage& image) {
    if (!ImageDimensionsAllowed(image.Width, image.Height) || !image.Pixels) std::abort();
    // Touch the first and the last byte: the block must really be that large.
    volatile uint8_t first = image.Pixels[0];
    volatile uint8_t last = image.Row(image.Height - 1)[image.Stride() - 1];
    (void)first;
    (void)last;
}
