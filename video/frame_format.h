#pragma once
// The two forms a video frame takes between capture, the video processor and the Theora
// encoder: packed RGB (uncompressed RGB in the bitmap header), and planar Y'CbCr 4:2:0 (I420:
// the Y plane, then Cb, then Cr), which camera frames keep from capture to the encoder so that
// they are never converted to RGB and back.

#include <cstdint>

#include "video/bitmap_info_header.h"

enum class TFrameFormat { Bgrx, I420 };

// 'I420' as a little-endian four-character code, in biCompression; biBitCount 12. Studio
// swing (Y 16..235), as the encoder takes it.
inline constexpr uint32_t I420_COMPRESSION = 0x30323449;
// 'J420': the same layout in full range (Y 0..255), as JPEG decoders deliver it.
inline constexpr uint32_t J420_COMPRESSION = 0x3032344A;

inline bool IsI420Header(const TBitmapInfoHeader& header) {
    return (header.biCompression == I420_COMPRESSION || header.biCompression == J420_COMPRESSION) &&
           header.biBitCount == 12;
}
inline bool IsFullRangeHeader(const TBitmapInfoHeader& header) {
    return IsI420Header(header) && header.biCompression == J420_COMPRESSION;
}

// Where the planes of one I420 picture lie in its buffer, in bytes.
struct TI420Layout {
    int64_t YStride = 0;
    int64_t ChromaStride = 0;  // Cb and Cr alike
    int64_t ChromaHeight = 0;
    int64_t CbOffset = 0;
    int64_t CrOffset = 0;
    int64_t Size = 0;
    bool operator==(const TI420Layout&) const = default;
};

// GStreamer's default layout, in which the capture tap delivers: rows padded to 4 bytes, the
// chroma of an odd last row or column rounded up.
inline constexpr TI420Layout CaptureI420Layout(int64_t width, int64_t height) {
    TI420Layout layout;
    layout.YStride = (width + 3) & ~int64_t{3};
    layout.ChromaStride = (((width + 1) & ~int64_t{1}) / 2 + 3) & ~int64_t{3};
    layout.ChromaHeight = ((height + 1) & ~int64_t{1}) / 2;
    layout.CbOffset = layout.YStride * ((height + 1) & ~int64_t{1});
    layout.CrOffset = layout.CbOffset + layout.ChromaStride * layout.ChromaHeight;
    layout.Size = layout.CrOffset + layout.ChromaStride * layout.ChromaHeight;
    return layout;
}

// The packed layout of the processor's output (width and height even): what the encoder takes.
inline constexpr TI420Layout PackedI420Layout(int64_t width, int64_t height) {
    TI420Layout layout;
    layout.YStride = width;
    layout.ChromaStride = width / 2;
    layout.ChromaHeight = height / 2;
    layout.CbOffset = width * height;
    layout.CrOffset = layout.CbOffset + layout.ChromaStride * layout.ChromaHeight;
    layout.Size = layout.CrOffset + layout.ChromaStride * layout.ChromaHeight;
    return layout;
}

// The header of I420 frames of that size in the capture layout, top row first.
inline TBitmapInfoHeader I420BitmapHeader(int32_t width, int32_t height, bool fullRange = false) {
    TBitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biBitCount = 12;
    header.biCompression = fullRange ? J420_COMPRESSION : I420_COMPRESSION;
    header.biSizeImage = static_cast<uint32_t>(CaptureI420Layout(width, height).Size);
    return header;
}

// Black in studio-swing Y'CbCr, as the RGB path converts (0, 0, 0).
inline constexpr uint8_t BlackLuma = 16;
inline constexpr uint8_t NeutralChroma = 128;
