#include "video/bmp_reader.h"

#include <bit>
#include <cstring>

#include "video/bitmap_info_header.h"

namespace {

constexpr size_t FileHeaderSize = 14;
constexpr size_t MaxPaletteEntries = 256;

template <typename T>
T ReadLittle(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);  // x86 and ARM Linux are little-endian
    return value;
}

// One colour mask of a 16- or 32-bit image, widened to 8 bits.
struct TChannelMask {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0;

    explicit TChannelMask(uint32_t mask = 0) : Mask(mask) {
        if (mask == 0) return;
        Shift = std::countr_zero(mask);
        Max = mask >> Shift;
    }

    uint8_t Extract(uint32_t pixel) const {
        if (Max == 0) return 0;
        // 64 bits: a mask wider than 24 bits would overflow the product in 32.
        return static_cast<uint8_t>(uint64_t{(pixel & Mask) >> Shift} * 255u / Max);
    }
};

struct TBmpLayout {
    TBitmapInfoHeader Header;
    int32_t Width = 0;
    int32_t Height = 0;
    bool TopDown = false;
    TChannelMask Red, Green, Blue;
    uint8_t Palette[MaxPaletteEntries][4] = {};  // blue, green, red, unused
    size_t PaletteSize = 0;
    size_t PixelOffset = 0;
    size_t Pitch = 0;
};

bool ReadMasks(const uint8_t* data, size_t size, size_t at, TBmpLayout& layout) {
    if (layout.Header.biCompression == BI_BITFIELDS_COMPRESSION) {
        if (at > size || size - at < 12) return false;
        layout.Red = TChannelMask(ReadLittle<uint32_t>(data + at));
        layout.Green = TChannelMask(ReadLittle<uint32_t>(data + at + 4));
        layout.Blue = TChannelMask(ReadLittle<uint32_t>(data + at + 8));
    } else if (layout.Header.biBitCount == 16) {
        layout.Red = TChannelMask(0x7C00);
        layout.Green = TChannelMask(0x03E0);
        layout.Blue = TChannelMask(0x001F);
    }
    return true;
}

bool ReadPalette(const uint8_t* data, size_t size, size_t at, TBmpLayout& layout) {
    size_t entries = size_t{1} << layout.Header.biBitCount;
    if (layout.Header.biClrUsed != 0 && layout.Header.biClrUsed < entries) {
        entries = layout.Header.biClrUsed;
    }
    if (at > size || (size - at) / 4 < entries) return false;
    std::memcpy(layout.Palette, data + at, entries * 4);
    layout.PaletteSize = entries;
    return true;
}

bool FormatSupported(const TBitmapInfoHeader& h) {
    switch (h.biBitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
            return h.biCompression == BI_RGB_COMPRESSION;
        case 16:
        case 32:
            return h.biCompression == BI_RGB_COMPRESSION ||
                   h.biCompression == BI_BITFIELDS_COMPRESSION;
        default:
            return false;
    }
}

std::optional<TBmpLayout> ReadLayout(const uint8_t* data, size_t size) {
    if (size < FileHeaderSize + sizeof(TBitmapInfoHeader) || data[0] != 'B' || data[1] != 'M') {
        return std::nullopt;
    }
    TBmpLayout layout;
    std::memcpy(&layout.Header, data + FileHeaderSize, sizeof layout.Header);
    const TBitmapInfoHeader& h = layout.Header;
    // 40 is the plain header; 52, 56, 108 and 124 are its extensions, which carry the masks
    // inside and are otherwise ignored here.
    if (h.biSize < sizeof(TBitmapInfoHeader) || h.biSize > 124 || !FormatSupported(h)) {
        return std::nullopt;
    }
    int64_t height = h.biHeight;
    layout.TopDown = height < 0;
    if (layout.TopDown) height = -height;
    if (!ImageDimensionsAllowed(h.biWidth, height)) return std::nullopt;
    layout.Width = h.biWidth;
    layout.Height = static_cast<int32_t>(height);

    size_t tables = FileHeaderSize + h.biSize;
    if (h.biSize >= 52 && h.biCompression == BI_BITFIELDS_COMPRESSION) {
        tables = FileHeaderSize + sizeof(TBitmapInfoHeader);  // masks sit inside the header
    }
    if (!ReadMasks(data, size, tables, layout)) return std::nullopt;
    if (h.biBitCount <= 8 && !ReadPalette(data, size, tables, layout)) return std::nullopt;

    layout.PixelOffset = ReadLittle<uint32_t>(data + 10);
    layout.Pitch = static_cast<size_t>(BitmapRowPitch(h.biBitCount, layout.Width));
    size_t lastRow = (static_cast<size_t>(h.biBitCount) * layout.Width + 7) / 8;
    // The last row may lack its padding; every other row must be whole.
    if (layout.PixelOffset > size || size - layout.PixelOffset < lastRow ||
        (size - layout.PixelOffset - lastRow) / layout.Pitch < size_t(layout.Height - 1)) {
        return std::nullopt;
    }
    return layout;
}

void DecodePaletteRow(const TBmpLayout& layout, const uint8_t* src, uint8_t* dst) {
    const int bits = layout.Header.biBitCount;
    const int perByte = 8 / bits;
    const unsigned indexMask = (1u << bits) - 1;
    for (int32_t x = 0; x < layout.Width; ++x) {
        int shift = (perByte - 1 - x % perByte) * bits;
        size_t index = (src[x / perByte] >> shift) & indexMask;
        static constexpr uint8_t Black[4] = {0, 0, 0, 0};
        const uint8_t* colour = index < layout.PaletteSize ? layout.Palette[index] : Black;
        std::memcpy(dst + 4 * x, colour, 3);
        dst[4 * x + 3] = 255;
    }
}

void DecodeMaskedRow(const TBmpLayout& layout, const uint8_t* src, uint8_t* dst) {
    const bool wide = layout.Header.biBitCount == 32;
    for (int32_t x = 0; x < layout.Width; ++x) {
        uint32_t pixel =
            wide ? ReadLittle<uint32_t>(src + 4 * x) : ReadLittle<uint16_t>(src + 2 * x);
        dst[4 * x] = layout.Blue.Extract(pixel);
        dst[4 * x + 1] = layout.Green.Extract(pixel);
        dst[4 * x + 2] = layout.Red.Extract(pixel);
        dst[4 * x + 3] = 255;
    }
}

void DecodeDirectRow(const TBmpLayout& layout, const uint8_t* src, uint8_t* dst) {
    const int step = layout.Header.biBitCount / 8;
    for (int32_t x = 0; x < layout.Width; ++x) {
        std::memcpy(dst + 4 * x, src + step * x, 3);
        dst[4 * x + 3] = 255;
    }
}

}  // namespace

std::optional<TBgraImage> DecodeBmp(const uint8_t* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    std::optional<TBmpLayout> layout = ReadLayout(data, size);
    if (!layout) return std::nullopt;

    const TBitmapInfoHeader& h = layout->Header;
    auto decodeRow = &DecodeDirectRow;
    if (h.biBitCount <= 8) {
        decodeRow = &DecodePaletteRow;
    } else if (h.biBitCount == 16 || h.biCompression == BI_BITFIELDS_COMPRESSION) {
        decodeRow = &DecodeMaskedRow;
    }

    TBgraImage image(layout->Width, layout->Height);
    for (int32_t y = 0; y < layout->Height; ++y) {
        int32_t fileRow = layout->TopDown ? y : layout->Height - 1 - y;
        const uint8_t* src = data + layout->PixelOffset + layout->Pitch * fileRow;
        decodeRow(*layout, src, image.Row(y));
    }
    return image;
}
