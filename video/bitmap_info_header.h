#pragma once
// The 40-byte device-independent bitmap header in which a video format travels from capture
// through the live encoder to the video processor. Laid out exactly as on disk and on Windows,
// so the BMP reader can take it straight from a file.

#include <cstdint>

#pragma pack(push, 1)
struct TBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: bottom row first; negative: top row first
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // 0 = uncompressed RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
#pragma pack(pop)

static_assert(sizeof(TBitmapInfoHeader) == 40);

inline constexpr uint32_t BI_RGB_COMPRESSION = 0;
inline constexpr uint32_t BI_BITFIELDS_COMPRESSION = 3;

// Bytes of one row: bits rounded up to whole 32-bit words. 64-bit so that no header value
// can overflow it; callers bound the dimensions before trusting the result.
inline constexpr int64_t BitmapRowPitch(int64_t bitCount, int64_t width) {
    return (bitCount * width + 31) / 32 * 4;
}
