#include "tests/planewright/conversion_harness.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "planewright/planewright.h"

namespace {

using TForcedConvert = int (*)(const char*, const uint8_t*, int32_t, int32_t, uint8_t*, uint8_t*,
                               uint8_t*, int32_t, int32_t);

void* Bind(const char* file, const char* symbol) {
    // Loaded once for the whole test run and never closed.
    void* library = dlopen((std::string(KZ_BIN_DIR) + "/" + file).c_str(), RTLD_NOW);
    if (!library) {
        throw std::runtime_error(dlerror());
    }
    void* address = dlsym(library, symbol);
    if (!address) {
        throw std::runtime_error(dlerror());
    }
    return address;
}

TRGB2YUVFunc Exported() {
    static const auto function =
        reinterpret_cast<TRGB2YUVFunc>(Bind(PLANEWRIGHT_LIBRARY_FILE, PLANEWRIGHT_EXPORT_NAME));
    return function;
}

TForcedConvert Forced() {
    static const auto function = reinterpret_cast<TForcedConvert>(
        Bind("libplanewright_testing.so", "PlanewrightConvertWithKernel"));
    return function;
}

int32_t Luma(int32_t blue, int32_t green, int32_t red) {
    return (8421 * red + 16515 * green + 3211 * blue + 540672) >> 15;
}

int32_t Cb(int32_t blue, int32_t green, int32_t red) {
    return (-4849 * red - 9535 * green + 14385 * blue + 4210688) >> 15;
}

int32_t Cr(int32_t blue, int32_t green, int32_t red) {
    return (14385 * red - 12058 * green - 2326 * blue + 4210688) >> 15;
}

size_t PlaneBytes(int32_t width, int32_t height, int32_t pitch) {
    return width > 0 && height > 0 ? static_cast<size_t>((height - 1) * pitch + width) : 0;
}

}  // namespace

const char* const kConverters[5] = {"export", "tables", "sse2", "avx2", "avx512"};

bool ConvertWith(const std::string& converter, const uint8_t* source, int32_t width, int32_t height,
                 uint8_t* yPlane, uint8_t* cbPlane, uint8_t* crPlane, int32_t sourcePitch,
                 int32_t yPitch) {
    if (converter == "export") {
        Exported()(source, width, height, yPlane, cbPlane, crPlane, sourcePitch, yPitch);
        return true;
    }
    return Forced()(converter.c_str(), source, width, height, yPlane, cbPlane, crPlane, sourcePitch,
                    yPitch) != 0;
}

TSourceFrame::TSourceFrame(int32_t width, int32_t height, int32_t pitch)
    : FWidth(width),
      FHeight(height),
      FPitch(pitch),
      FBytes(PlaneBytes(4 * width, height, pitch) + (width > 0 && height > 0 ? 0 : 1)) {}

void TSourceFrame::SetPixel(int32_t x, int32_t y, uint8_t blue, uint8_t green, uint8_t red) {
    uint8_t* pixel = Pixel(x, y);
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
}

void TSourceFrame::Randomise(std::mt19937& random) {
    for (uint8_t& byte : FBytes) {
        byte = static_cast<uint8_t>(random());
    }
}

TPlanes::TPlanes(int32_t width, int32_t height, int32_t yPitch) : FYPitch(yPitch) {
    const size_t sizes[3] = {
        PlaneBytes(width, height, yPitch),
        PlaneBytes((width + 1) / 2, (height + 1) / 2, yPitch >> 1),
        PlaneBytes((width + 1) / 2, (height + 1) / 2, yPitch >> 1),
    };
    for (int plane = 0; plane < 3; ++plane) {
        FBuffers[plane].assign(sizes[plane] + 2 * kGuard, kFill);
    }
}

uint8_t TPlanes::YAt(int32_t x, int32_t y) const {
    return FBuffers[0][kGuard + y * FYPitch + x];
}

uint8_t TPlanes::CbAt(int32_t x, int32_t y) const {
    return FBuffers[1][kGuard + y * ChromaPitch() + x];
}

uint8_t TPlanes::CrAt(int32_t x, int32_t y) const {
    return FBuffers[2][kGuard + y * ChromaPitch() + x];
}

bool TPlanes::GuardsIntact() const {
    for (const auto& buffer : FBuffers) {
        for (size_t i = 0; i < kGuard; ++i) {
            if (buffer[i] != kFill || buffer[buffer.size() - 1 - i] != kFill) {
                return false;
            }
        }
    }
    return true;
}

std::string TPlanes::FirstDifference(const TPlanes& other) const {
    static const char* const names[3] = {"Y", "Cb", "Cr"};
    for (int plane = 0; plane < 3; ++plane) {
        const auto& mine = FBuffers[plane];
        const auto& theirs = other.FBuffers[plane];
        if (mine.size() != theirs.size()) {
            return std::string(names[plane]) + " sizes differ";
        }
        for (size_t i = 0; i < mine.size(); ++i) {
            if (mine[i] != theirs[i]) {
                const long offset = static_cast<long>(i) - static_cast<long>(kGuard);
                return std::string(names[plane]) + " at byte offset " + std::to_string(offset) +
                       ": " + std::to_string(mine[i]) + " vs " + std::to_string(theirs[i]);
            }
        }
    }
    return {};
}

void ReferenceConvert(const TSourceFrame& source, TPlanes& planes) {
    const int32_t width = source.Width();
    const int32_t height = source.Height();
    for (int32_t by = 0; by < (height + 1) / 2; ++by) {
        for (int32_t bx = 0; bx < (width + 1) / 2; ++bx) {
            int32_t sum[3] = {0, 0, 0};
            int32_t count = 0;
            for (int32_t y = 2 * by; y < std::min(2 * by + 2, height); ++y) {
                for (int32_t x = 2 * bx; x < std::min(2 * bx + 2, width); ++x) {
                    const uint8_t* pixel = source.Data() + y * source.Pitch() + 4 * x;
                    planes.Y()[y * planes.YPitch() + x] =
                        static_cast<uint8_t>(Luma(pixel[0], pixel[1], pixel[2]));
                    for (int channel = 0; channel < 3; ++channel) {
                        sum[channel] += pixel[channel];
                    }
                    ++count;
                }
            }
            int32_t average[3];
            for (int channel = 0; channel < 3; ++channel) {
                average[channel] = (sum[channel] + count / 2) / count;
            }
            const int32_t at = by * planes.ChromaPitch() + bx;
            planes.Cb()[at] = static_cast<uint8_t>(Cb(average[0], average[1], average[2]));
            planes.Cr()[at] = static_cast<uint8_t>(Cr(average[0], average[1], average[2]));
        }
    }
}
