/* The body of a vector row-pair kernel, shared by the SSE2 and AVX2 files. Before including
 * it, a file defines PW_VEC (its integer vector type), PW_PIXELS (pixels per vector),
 * PW_TARGET (the target attribute), PW_KERNEL (the function name) and these operations:
 *   PW_LOAD(p), PW_SET32(v), PW_AND, PW_ADD16, PW_ADD32, PW_SRLI16, PW_SRAI32, PW_MADD,
 *   PW_PAIR_SUMS(a, b)   sums of adjacent pixels of a then b, in block order as StoreChroma
 *                        expects it,
 *   PW_STORE_LUMA(dst, y0, y1, y2, y3)   32-bit lumas of four vectors, as bytes in order,
 *   PW_STORE_CHROMA(cb, cr, cb0, cb1, cr0, cr1)   32-bit chromas of two PW_PAIR_SUMS results.
 *
 * The sums are exactly the tables': each pixel splits into the 16-bit words (blue, red) and
 * (green, ignored byte); one multiply-add per word pair with 16-bit coefficients gives the
 * 32-bit table sum; a zero coefficient drops the ignored byte. Block sums stay within 16 bits
 * (4 x 255 + 2), and words never carry into each other. */

#include "planewright/kernels.h"

#define PW_WORD_PAIR(low, high) \
    PW_SET32((int32_t)(((uint32_t)(high) << 16) | ((uint32_t)(low)&0xFFFFu)))

typedef struct {
    PW_VEC blueRed;
    PW_VEC greenRest;
} TPwChannels;

static inline PW_TARGET TPwChannels PwSplit(const uint8_t* pixels) {
    const PW_VEC packed = PW_LOAD(pixels);
    TPwChannels channels;
    channels.blueRed = PW_AND(packed, PW_SET32(0x00FF00FF));
    channels.greenRest = PW_SRLI16(packed, 8);
    return channels;
}

static inline PW_TARGET PW_VEC PwLuma(TPwChannels c) {
    const PW_VEC sum = PW_ADD32(PW_MADD(c.blueRed, PW_WORD_PAIR(kLumaBlueCoef, kLumaRedCoef)),
                                PW_MADD(c.greenRest, PW_WORD_PAIR(kLumaGreenCoef, 0)));
    return PW_SRAI32(PW_ADD32(sum, PW_SET32(kLumaOffset)), kFractionBits);
}

/* (sum of four + 2) >> 2 for the blocks of two vectors per row */
static inline PW_TARGET TPwChannels PwBlockAverage(const TPwChannels top[2],
                                                   const TPwChannels bottom[2]) {
    const PW_VEC two = PW_SET32(0x00020002);
    TPwChannels average;
    average.blueRed = PW_SRLI16(
        PW_ADD16(PW_PAIR_SUMS(PW_ADD16(top[0].blueRed, bottom[0].blueRed),
                              PW_ADD16(top[1].blueRed, bottom[1].blueRed)),
                 two),
        2);
    average.greenRest = PW_SRLI16(
        PW_ADD16(PW_PAIR_SUMS(PW_ADD16(top[0].greenRest, bottom[0].greenRest),
                              PW_ADD16(top[1].greenRest, bottom[1].greenRest)),
                 two),
        2);
    return average;
}

static inline PW_TARGET PW_VEC PwChroma(TPwChannels average, PW_VEC blueRedCoefs,
                                        PW_VEC greenCoefs) {
    const PW_VEC sum = PW_ADD32(PW_MADD(average.blueRed, blueRedCoefs),
                                PW_MADD(average.greenRest, greenCoefs));
    return PW_SRAI32(PW_ADD32(sum, PW_SET32(kChromaOffset)), kFractionBits);
}

PW_TARGET int32_t PW_KERNEL(const TRowPair* rows, int32_t width) {
    enum { kVectors = 4, kStep = kVectors * PW_PIXELS };
    const PW_VEC cbBlueRed = PW_WORD_PAIR(kChroma0439Coef, kCbRedCoef);
    const PW_VEC cbGreen = PW_WORD_PAIR(kCbGreenCoef, 0);
    const PW_VEC crBlueRed = PW_WORD_PAIR(kCrBlueCoef, kChroma0439Coef);
    const PW_VEC crGreen = PW_WORD_PAIR(kCrGreenCoef, 0);
    int32_t x = 0;
    for (; x + kStep <= width; x += kStep) {
        TPwChannels pixels[2][kVectors];
        for (int r = 0; r < 2; ++r) {
            for (int v = 0; v < kVectors; ++v) {
                pixels[r][v] = PwSplit(rows->source[r] + 4 * (x + v * PW_PIXELS));
            }
            PW_STORE_LUMA(rows->luma[r] + x, PwLuma(pixels[r][0]), PwLuma(pixels[r][1]),
                          PwLuma(pixels[r][2]), PwLuma(pixels[r][3]));
        }
        const TPwChannels first = PwBlockAverage(&pixels[0][0], &pixels[1][0]);
        const TPwChannels second = PwBlockAverage(&pixels[0][2], &pixels[1][2]);
        PW_STORE_CHROMA(rows->cb + x / 2, rows->cr + x / 2, PwChroma(first, cbBlueRed, cbGreen),
                        PwChroma(second, cbBlueRed, cbGreen),
                        PwChroma(first, crBlueRed, crGreen),
                        PwChroma(second, crBlueRed, crGreen));
    }
    return x;
}
