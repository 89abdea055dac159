#include "tests/support/image_files.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

TCapture MakeCapture(int width, int height, bool topDown, const TPixelFn& pixel) {
    TCapture capture;
    capture.Header.biWidth = width;
    capture.Header.biHeight = topDown ? -height : height;
    capture.Header.biBitCount = 24;
    const int64_t pitch = BitmapRowPitch(24, width);
    capture.Header.biSizeImage = static_cast<uint32_t>(pitch * height);
    capture.Bytes.assign(static_cast<size_t>(pitch * height), 0);
    for (int y = 0; y < height; ++y) {
        int row = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x) {
            TBgr c = pixel(x, y);
            uint8_t* p = capture.Bytes.data() + row * pitch + 3 * x;
            p[0] = c.B;
            p[1] = c.G;
            p[2] = c.R;
        }
    }
    return capture;
}

void WritePng(const std::string& path, const TPngSpec& spec) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, spec.Width, spec.Height, 8, spec.ColourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec.Palette.empty()) {
        std::vector<png_color> palette(spec.Palette.size() / 3);
        std::memcpy(palette.data(), spec.Palette.data(), spec.Palette.size());
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (!spec.Trns.empty()) {
        if (spec.ColourType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, spec.Trns.data(), static_cast<int>(spec.Trns.size()), nullptr);
        } else {
            png_color_16 colour{};
            auto word = [&](size_t i) { return png_uint_16(spec.Trns[i] << 8 | spec.Trns[i + 1]); };
            if (spec.ColourType == PNG_COLOR_TYPE_GRAY) {
                colour.gray = word(0);
            } else {
                colour.red = word(0);
                colour.green = word(2);
                colour.blue = word(4);
            }
            png_set_tRNS(png, info, nullptr, 0, &colour);
        }
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    for (int y = 0; y < spec.Height; ++y) {
        png_write_row(png, spec.Pixels.data() + rowBytes * y);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

void WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int i = 0; i < info.num_components; ++i) {
        info.comp_info[i].h_samp_factor = 1;
        info.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row =
            const_cast<JSAMPROW>(pixels.data() + size_t(info.next_scanline) * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

void WriteTestOverlays(const TTempFolder& folder) {
    TPngSpec png = Png(64, 48, PNG_COLOR_TYPE_RGBA, {});
    for (int i = 0; i < 64 * 48; ++i) {
        const std::vector<uint8_t> p = i % 64 < 32 ? std::vector<uint8_t>{255, 0, 0, 128}
                                                   : std::vector<uint8_t>{0, 255, 0, 255};
        png.Pixels.insert(png.Pixels.end(), p.begin(), p.end());
    }
    WritePng(folder.File("alpha.png"), png);
    std::vector<uint8_t> rgb(64 * 48 * 3, 0);
    for (int y = 16; y < 32; ++y) {
        for (int x = 16; x < 48; ++x) rgb[(y * 64 + x) * 3 + 2] = 255;
    }
    WriteJpeg(folder.File("key.jpg"), 64, 48, 3, rgb);
}
