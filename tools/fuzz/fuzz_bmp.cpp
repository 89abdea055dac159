#include "tools/fuzz/decoded_image_check.h"
#include "video/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::optional<TBgraImage> image = DecodeBmp(data, size)) CheckDecodedImage(*image);
    return 0;
}
