/* The table version: the reference every vector kernel must match byte for byte, and the
 * finisher for the columns the kernels leave (a narrow tail, an odd last column or row). */

#include <stddef.h>

#include "planewright/kernels.h"

static inline uint8_t LumaOf(const uint8_t* pixel) {
    return (uint8_t)((kLumaRed[pixel[2]] + kLumaGreen[pixel[1]] + kLumaBlue[pixel[0]]) >>
                     kFractionBits);
}

/* blue, green, red: rounded averages of the block */
static inline void StoreChroma(const int32_t average[3], uint8_t* cb, uint8_t* cr) {
    *cb = (uint8_t)((kCbRed[average[2]] + kCbGreen[average[1]] + kChroma0439[average[0]]) >>
                    kFractionBits);
    *cr = (uint8_t)((kChroma0439[average[2]] + kCrGreen[average[1]] + kCrBlue[average[0]]) >>
                    kFractionBits);
}

/* A block of 1 or 2 rows by 1 or 2 columns. A partial block averages only the pixels that
 * exist, which equals repeating the edge pixel into the missing ones. */
static void ConvertBlock(const TRowPair* rows, int64_t x, int rowCount, int columnCount) {
    int32_t sum[3] = {0, 0, 0};
    for (int r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columnCount; ++c) {
            const uint8_t* pixel = rows->source[r] + 4 * (ptrdiff_t)(x + c);
            rows->luma[r][x + c] = LumaOf(pixel);
            sum[0] += pixel[0];
            sum[1] += pixel[1];
            sum[2] += pixel[2];
        }
    }
    const int shift = (rowCount == 2) + (columnCount == 2); /* pixel count = 1 << shift */
    const int32_t half = (1 << shift) >> 1;
    const int32_t average[3] = {(sum[0] + half) >> shift, (sum[1] + half) >> shift,
                                (sum[2] + half) >> shift};
    StoreChroma(average, rows->cb + x / 2, rows->cr + x / 2);
}

void PlanewrightRowPairTables(const TRowPair* rows, int32_t from, int32_t width) {
    const int rowCount = rows->source[1] ? 2 : 1;
    int64_t x = from; /* 64 bits: stepping past a width near INT32_MAX cannot overflow */
    if (rowCount == 2) {
        /* whole blocks without the partial-block bookkeeping */
        for (; width - x >= 2; x += 2) {
            const uint8_t* top = rows->source[0] + 4 * (ptrdiff_t)x;
            const uint8_t* bottom = rows->source[1] + 4 * (ptrdiff_t)x;
            rows->luma[0][x] = LumaOf(top);
            rows->luma[0][x + 1] = LumaOf(top + 4);
            rows->luma[1][x] = LumaOf(bottom);
            rows->luma[1][x + 1] = LumaOf(bottom + 4);
            int32_t average[3];
            for (int channel = 0; channel < 3; ++channel) {
                average[channel] =
                    (top[channel] + top[channel + 4] + bottom[channel] + bottom[channel + 4] + 2) >>
                    2;
            }
            StoreChroma(average, rows->cb + x / 2, rows->cr + x / 2);
        }
    }
    for (; x < width; x += 2) {
        ConvertBlock(rows, x, rowCount, width - x >= 2 ? 2 : 1);
    }
}
