#pragma once
// Test harness for libplanewright: the libraries bound at run time, frames whose planes sit
// between guard bytes, and an independent reference conversion straight from the formulas.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// "export" is RGB2YUV of the shipped library (its own kernel choice); "tables", "sse2",
// "avx2" and "avx512" start at that kernel through the test-only library (the narrower ones
// take what is left of a row).
extern const char* const kConverters[5];

// Runs one converter; false when this CPU lacks the kernel (the planes are then untouched).
bool ConvertWith(const std::string& converter, const uint8_t* source, int32_t width, int32_t height,
                 uint8_t* yPlane, uint8_t* cbPlane, uint8_t* crPlane, int32_t sourcePitch,
                 int32_t yPitch);

// Source pixels: exactly (height - 1) * pitch + 4 * width bytes, so that a read past the
// last pixel leaves the allocation (and AddressSanitizer reports it).
class TSourceFrame {
  public:
    TSourceFrame(int32_t width, int32_t height, int32_t pitch);

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    int32_t Pitch() const { return FPitch; }
    const uint8_t* Data() const { return FBytes.data(); }
    uint8_t* Pixel(int32_t x, int32_t y) { return FBytes.data() + y * FPitch + 4 * x; }
    void SetPixel(int32_t x, int32_t y, uint8_t blue, uint8_t green, uint8_t red);
    // Random pixels; the padding between rows gets random bytes too.
    void Randomise(std::mt19937& random);

  private:
    int32_t FWidth;
    int32_t FHeight;
    int32_t FPitch;
    std::vector<uint8_t> FBytes;
};

// Y, Cb and Cr buffers of exactly the documented sizes, each between guard bytes. Everything
// starts as a fill pattern, so comparing whole buffers also catches writes outside the
// samples (row gaps, guards).
class TPlanes {
  public:
    TPlanes(int32_t width, int32_t height, int32_t yPitch);

    uint8_t* Y() { return FBuffers[0].data() + kGuard; }
    uint8_t* Cb() { return FBuffers[1].data() + kGuard; }
    uint8_t* Cr() { return FBuffers[2].data() + kGuard; }
    int32_t YPitch() const { return FYPitch; }
    int32_t ChromaPitch() const { return FYPitch >> 1; }
    uint8_t YAt(int32_t x, int32_t y) const;
    uint8_t CbAt(int32_t x, int32_t y) const;
    uint8_t CrAt(int32_t x, int32_t y) const;
    bool GuardsIntact() const;
    // Empty when equal, else where the first difference lies.
    std::string FirstDifference(const TPlanes& other) const;

    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kFill = 0xA5;

  private:
    int32_t FYPitch;
    std::vector<uint8_t> FBuffers[3];
};

// Straight from the formulas, pixel by pixel; a partial block averages the pixels it has.
void ReferenceConvert(const TSourceFrame& source, TPlanes& planes);
