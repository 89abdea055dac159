#pragma once
// The two forms a video frame takes between capture, the video processor and the Theora
// encoder: packed RGB (uncompressed RGB in the bitmap header), and planar Y'CbCr 4:2:0 (I420:
// the Y plane, then Cb, then Cr), which camera frames keep from capture to the encoder so that
// they are never converted to RGB and back.

#include <cstdint>

#include "video/bitmap_info_header.h"

enum class TFrameFormat { Bgrx, I420 };

// A four-character code as biCompression holds it: the first character in the low byte.
inline constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

// I420, biBitCount 12, in studio swing (Y 16..235), as the encoder takes it.
inline constexpr uint32_t I420_COMPRESSION = FourCc('I', '4', '2', '0');
// The same layout in full range (Y 0..255), as JPEG decoders deliver it.
inline constexpr uint32_t J420_COMPRESSION = FourCc('J', '4', '2', '0');
// What webcams deliver raw, in studio swing: packed 4:2:2 (biBitCount 16) with Y first or Cb
// first, and 4:2:0 with Cb and Cr interleaved in one plane (biBitCount 12). The video processor
// turns them into I420 as it takes each frame in.
inline constexpr uint32_t YUY2_COMPRESSION = FourCc('Y', 'U', 'Y', '2');
inline constexpr uint32_t UYVY_COMPRESSION = FourCc('U', 'Y', 'V', 'Y');
inline constexpr uint32_t NV12_COMPRESSION = FourCc('N', 'V', '1', '2');

inline bool IsI420Header(const TBitmapInfoHeader& header) {
    return (header.biCompression == I420_COMPRESSION || header.biCompression == J420_COMPRESSION) &&
           header.biBitCount == 12;
}
inline bool IsFullRangeHeader(const TBitmapInfoHeader& header) {
    return IsI420Header(header) && header.biCompression == J420_COMPRESSION;
}
// A camera's Y'CbCr in one of the forms above: the frames the planar path takes.
inline bool IsYCbCrHeader(const TBitmapInfoHeader& header) {
    switch (header.biCompression) {
        case YUY2_COMPRESSION:
        case UYVY_COMPRESSION:
            return header.biBitCount == 16;
        case NV12_COMPRESSION:
            return header.biBitCount == 12;
        default:
            return IsI420Header(header);
    }
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

// GStreamer's layout of packed 4:2:2 (YUY2, UYVY) rows: two bytes a pixel, the width taken
// even, padded to 4 bytes.
inline constexpr int64_t CapturePackedStride(int64_t width) {
    return (((width + 1) & ~int64_t{1}) * 2 + 3) & ~int64_t{3};
}

// GStreamer's layout of NV12: the Y plane as in I420, then one plane of Cb, Cr pairs, rows
// padded to 4 bytes.
struct TNv12Layout {
    int64_t YStride = 0;
    int64_t ChromaStride = 0;
    int64_t ChromaOffset = 0;
    int64_t Size = 0;
};
inline constexpr TNv12Layout CaptureNv12Layout(int64_t width, int64_t height) {
    TNv12Layout layout;
    layout.YStride = (width + 3) & ~int64_t{3};
    layout.ChromaStride = (((width + 1) & ~int64_t{1}) + 3) & ~int64_t{3};
    layout.ChromaOffset = layout.YStride * ((height + 1) & ~int64_t{1});
    layout.Size = layout.ChromaOffset + layout.ChromaStride * (((height + 1) & ~int64_t{1}) / 2);
    return layout;
}

// The header of camera frames of that size in one of the forms above, top row first:
// biSizeImage is the size of one frame in GStreamer's layout.
inline TBitmapInfoHeader YCbCrBitmapHeader(uint32_t compression, int32_t width, int32_t height) {
    TBitmapInfoHeader header = I420BitmapHeader(width, height, compression == J420_COMPRESSION);
    header.biCompression = compression;
    if (compression == YUY2_COMPRESSION || compression == UYVY_COMPRESSION) {
        header.biBitCount = 16;
        header.biSizeImage = static_cast<uint32_t>(CapturePackedStride(width) * height);
    } else if (compression == NV12_COMPRESSION) {
        header.biSizeImage = static_cast<uint32_t>(CaptureNv12Layout(width, height).Size);
    }
    return header;
}

// Black in studio-swing Y'CbCr, as the RGB path converts (0, 0, 0).
inline constexpr uint8_t BlackLuma = 16;
inline constexpr uint8_t NeutralChroma = 128;
