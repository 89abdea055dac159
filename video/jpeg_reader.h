#pragma once
// Decodes a JPEG file held in memory with libjpeg(-turbo). Greyscale, YCbCr and RGB files are
// supported; images above MaxImageDimension, truncated or damaged data (anything libjpeg
// warns about), and more than a sane number of progressive scans are refused. libjpeg errors
// never leave this function other than as "no image". Alpha of every pixel is 255.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "video/bgra_image.h"

std::optional<TBgraImage> DecodeJpeg(const uint8_t* data, size_t size);
