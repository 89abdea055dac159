#include "video/png_reader.h"

#include <png.h>

#include <cstring>
#include <new>

namespace {

constexpr png_alloc_size_t MaxChunkBytes = 16 * 1024 * 1024;

struct TPngDecode {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t Position = 0;
    TPngImage Result;
    std::unique_ptr<png_bytep[]> Rows;
};

void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, size_t length) {
    auto* d = static_cast<TPngDecode*>(png_get_io_ptr(png));
    if (length > d->Size - d->Position) png_error(png, "truncated");
    std::memcpy(out, d->Data + d->Position, length);
    d->Position += length;
}

TPngTransparency TransparencyOf(png_structp png, png_infop info) {
    int colourType = png_get_color_type(png, info);
    if (colourType & PNG_COLOR_MASK_ALPHA) return TPngTransparency::Alpha;
    if (!png_get_valid(png, info, PNG_INFO_tRNS)) return TPngTransparency::None;
    if (colourType != PNG_COLOR_TYPE_PALETTE) return TPngTransparency::Colour;
    // A palette's entries carry their own alpha; when each is either clear or opaque the file
    // only cuts colours out, like a single transparent colour.
    png_bytep alphas = nullptr;
    int count = 0;
    png_get_tRNS(png, info, &alphas, &count, nullptr);
    for (int i = 0; i < count; ++i) {
        if (alphas[i] != 0 && alphas[i] != 255) return TPngTransparency::Alpha;
    }
    return TPngTransparency::Colour;
}

// Asks libpng for 8-bit BGRA whatever the file holds.
void RequestBgra(png_structp png, png_infop info) {
    int colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // only acts when there is no alpha yet
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Only trivially destructible locals live here: a longjmp out of libpng lands in this frame.
bool RunDecode(png_structp png, png_infop info, TPngDecode& d) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_set_user_limits(png, MaxImageDimension, MaxImageDimension);
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_set_read_fn(png, &d, ReadBytes);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Mutated inputs would almost all die at the checksum, before reaching the decoding.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_read_info(png, info);
    d.Result.Transparency = TransparencyOf(png, info);
    RequestBgra(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    if (!ImageDimensionsAllowed(width, height) || png_get_rowbytes(png, info) != width * 4) {
        return false;
    }
    d.Result.Image = TBgraImage(static_cast<int32_t>(width), static_cast<int32_t>(height));
    d.Rows.reset(new png_bytep[height]);
    for (png_uint_32 y = 0; y < height; ++y) d.Rows[y] = d.Result.Image.Row(int32_t(y));
    png_read_image(png, d.Rows.get());
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

std::optional<TPngImage> DecodePng(const uint8_t* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png == nullptr) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    TPngDecode d;
    d.Data = data;
    d.Size = size;
    bool decoded = false;
    try {
        decoded = info != nullptr && RunDecode(png, info, d);
    } catch (const std::bad_alloc&) {
        // thrown by our own allocation of the image, never from inside libpng
    }
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (!decoded) return std::nullopt;
    return std::move(d.Result);
}
