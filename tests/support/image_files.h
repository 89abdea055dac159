#pragma once
// Writes small test images with libpng and libjpeg, and builds captured frames.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_folder.h"
#include "video/bitmap_info_header.h"

struct TBgr {
    uint8_t B = 0, G = 0, R = 0;
    bool operator==(const TBgr&) const = default;
};

// Colour of displayed pixel (x, y), origin top-left.
using TPixelFn = std::function<TBgr(int x, int y)>;

// A 24-bit capture in the given row order, rows padded to 4 bytes.
struct TCapture {
    TBitmapInfoHeader Header;
    std::vector<uint8_t> Bytes;
};
TCapture MakeCapture(int width, int height, bool topDown, const TPixelFn& pixel);

// 8-bit PNG; bytes per pixel follow the colour type (gray 1, gray+alpha 2, RGB 3, RGBA 4,
// palette 1), in the file's own channel order (R, G, B, A). trns: raw tRNS chunk contents
// (palette alphas, or the 16-bit colour), empty for none. palette: RGB triplets.
struct TPngSpec {
    int Width = 0;
    int Height = 0;
    int ColourType = 0;
    std::vector<uint8_t> Pixels;
    std::vector<uint8_t> Palette;
    std::vector<uint8_t> Trns;
};
inline TPngSpec Png(int width, int height, int colourType, std::vector<uint8_t> pixels,
                    std::vector<uint8_t> palette = {}, std::vector<uint8_t> trns = {}) {
    return {width, height, colourType, std::move(pixels), std::move(palette), std::move(trns)};
}
void WritePng(const std::string& path, const TPngSpec& spec);

// Quality-100 JPEG without chroma subsampling; components 1 (grey) or 3 (R, G, B).
void WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels);

// Two 64 x 48 overlays in `folder`: "alpha.png", the left half red at alpha 128 and the right
// half opaque green; "key.jpg", black (the default colour key) around an opaque blue block
// (columns 16..47, rows 16..31).
void WriteTestOverlays(const TTempFolder& folder);
