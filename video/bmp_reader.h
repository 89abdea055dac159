#pragma once
// Decodes a Windows BMP file held in memory: 1-, 4- and 8-bit palette images, 16-, 24- and
// 32-bit uncompressed ones (32-bit as BGRX), and 16/32-bit images with colour masks.
// Compressed (RLE) files and images above MaxImageDimension are refused. Never reads outside
// [data, data + size). Alpha of every pixel is 255.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "video/bgra_image.h"

std::optional<TBgraImage> DecodeBmp(const uint8_t* data, size_t size);
