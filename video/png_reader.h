#pragma once
// Decodes a PNG file held in memory with libpng, every colour type and bit depth, into 8-bit
// BGRA, and reports which kind of transparency the file carries. Images above
// MaxImageDimension, truncated files and damaged data are refused; libpng errors never leave
// this function other than as "no image".

#include <cstddef>
#include <cstdint>
#include <optional>

#include "video/bgra_image.h"

enum class TPngTransparency {
    None,    // alpha 255 everywhere
    Colour,  // transparent colours only: alpha 0 on them, 255 elsewhere
    Alpha,   // an alpha channel, or palette entries partly transparent: the file's own alpha
};

struct TPngImage {
    TBgraImage Image;
    TPngTransparency Transparency = TPngTransparency::None;
};

std::optional<TPngImage> DecodePng(const uint8_t* data, size_t size);
