#include "tools/fuzz/decoded_image_check.h"
#include "video/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::optional<TPngImage> png = DecodePng(data, size)) CheckDecodedImage(png->Image);
    return 0;
}
