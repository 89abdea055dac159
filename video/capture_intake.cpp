#include "video/capture_intake.h"

#include <libyuv/convert.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// out = in x factor + offset, rounded, both in 16 fractional bits. Plain arithmetic in blocks of
// a fixed length, which the compiler vectorises at -O2 (an open-ended loop it does not).
inline __attribute__((always_inline)) void SqueezeBody(const uint8_t* __restrict from,
                                                       uint8_t* __restrict to, int64_t count,
                                                       uint32_t factor, uint32_t offset) {
    const auto one = [factor, offset](uint8_t value) {
        return static_cast<uint8_t>((value * factor + offset + (1u << 15)) >> 16);
    };
    constexpr int Block = 32;
    int64_t i = 0;
    for (; i + Block <= count; i += Block) {
        for (int k = 0; k < Block; ++k) to[i + k] = one(from[i + k]);
    }
    for (; i < count; ++i) to[i] = one(from[i]);
}

void SqueezePlain(const uint8_t* __restrict from, uint8_t* __restrict to, int64_t count,
                  uint32_t factor, uint32_t offset) {
    SqueezeBody(from, to, count, factor, offset);
}

using TSqueeze = void (*)(const uint8_t*, uint8_t*, int64_t, uint32_t, uint32_t);

// With AVX2 the 32-bit products fill twice the lanes: half the time for a JPEG camera's frame.
// Chosen by a plain test on first use rather than by target_clones, whose load-time resolver
// runs before a sanitizer's runtime is up and crashes a ThreadSanitizer build at start.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void SqueezeAvx2(const uint8_t* __restrict from,
                                                 uint8_t* __restrict to, int64_t count,
                                                 uint32_t factor, uint32_t offset) {
    SqueezeBody(from, to, count, factor, offset);
}
#endif

void Squeeze(const uint8_t* from, uint8_t* to, int64_t count, uint32_t factor, uint32_t offset) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const TSqueeze chosen = __builtin_cpu_supports("avx2") ? SqueezeAvx2 : SqueezePlain;
#else
    static const TSqueeze chosen = SqueezePlain;
#endif
    chosen(from, to, count, factor, offset);
}

// Full range to studio swing: luma x 219/255 + 16, chroma 128 + (x - 128) x 224/255.
void ToStudioSwing(const uint8_t* from, int64_t bytes, const TI420Layout& layout, uint8_t* to) {
    Squeeze(from, to, std::min(bytes, layout.CbOffset), 56285, 16 << 16);
    if (bytes > layout.CbOffset) {
        Squeeze(from + layout.CbOffset, to + layout.CbOffset, bytes - layout.CbOffset, 57570,
                1019803);
    }
}

}  // namespace

TCaptureIntake::TCaptureIntake(const TBitmapInfoHeader& header)
    : FForm(header.biCompression),
      FWidth(header.biWidth),
      FHeight(static_cast<int32_t>(std::llabs(header.biHeight))),
      FOutput(CaptureI420Layout(FWidth, FHeight)),
      FSourceBytes(YCbCrBitmapHeader(FForm, FWidth, FHeight).biSizeImage) {}

int64_t TCaptureIntake::Take(const uint8_t* source, int64_t size, uint8_t* output) const {
    if (FForm == I420_COMPRESSION || FForm == J420_COMPRESSION) {
        const int64_t bytes = std::min(size, FOutput.Size);
        if (FForm == J420_COMPRESSION) {
            ToStudioSwing(source, bytes, FOutput, output);
        } else {
            std::memcpy(output, source, static_cast<size_t>(bytes));
        }
        return bytes;
    }
    if (size < FSourceBytes) return 0;
    uint8_t* y = output;
    uint8_t* cb = output + FOutput.CbOffset;
    uint8_t* cr = output + FOutput.CrOffset;
    const int yStride = int(FOutput.YStride), cStride = int(FOutput.ChromaStride);
    int failed = -1;
    switch (FForm) {
        case YUY2_COMPRESSION:
            failed = libyuv::YUY2ToI420(source, int(CapturePackedStride(FWidth)), y, yStride, cb,
                                        cStride, cr, cStride, FWidth, FHeight);
            break;
        case UYVY_COMPRESSION:
            failed = libyuv::UYVYToI420(source, int(CapturePackedStride(FWidth)), y, yStride, cb,
                                        cStride, cr, cStride, FWidth, FHeight);
            break;
        case NV12_COMPRESSION: {
            const TNv12Layout nv12 = CaptureNv12Layout(FWidth, FHeight);
            failed = libyuv::NV12ToI420(source, int(nv12.YStride), source + nv12.ChromaOffset,
                                        int(nv12.ChromaStride), y, yStride, cb, cStride, cr,
                                        cStride, FWidth, FHeight);
            break;
        }
        default:
            break;
    }
    return failed == 0 ? FOutput.Size : 0;
}
