/* The body of a vector row-pair kernel, shared by the SSE2, AVX2 and AVX-512 files. Before
 * including it, a file defines PW_VEC (its integer vector type), PW_PIXELS (pixels per vector),
 * PW_TARGET (the target attribute), PW_KERNEL (the function name) and these operations
 * (a step is four vectors per row):
 *   PW_LOAD(p), PW_SET32(v), PW_AND, PW_ADD16, PW_ADD32, PW_SRLI16, PW_SRAI32, PW_MADD,
 *   PW_SHUFFLE32(a, b, imm)   shufps on integer vectors,
 *   PW_PACKS32, PW_PACKUS16   packssdw and packuswb (per 128-bit lane),
 *   PW_STORE_LUMA(dst, bytes)   the packed lumas of one row's step, stored in pixel order,
 *   PW_STORE_CHROMA(cb, cr, bytes)   the packed Cb then Cr of one step, stored in block order.
 *
 * The sums are exactly the tables': each pixel splits into the 16-bit words (blue, red) and
 * (green, ignored byte); one multiply-add per word pair with 16-bit coefficients gives the
 * 32-bit table sum; a zero coefficient drops the ignored byte. Block sums stay within 16 bits
 * (4 x 255 + 2), and words never carry into each other. */

#include <stddef.h>

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

/* Sums of adjacent pixels: per 128-bit lane, the two blocks of a, then the two of b. With
 * 128-bit vectors that is plain block order; wider ones leave it to PW_STORE_CHROMA. */
static inline PW_TARGET PW_VEC PwPairSums(PW_VEC a, PW_VEC b) {
    return PW_ADD16(PW_SHUFFLE32(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                    PW_SHUFFLE32(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

static inline PW_TARGET TPwChannels PwAdd(TPwChannels a, TPwChannels b) {
    TPwChannels sum;
    sum.blueRed = PW_ADD16(a.blueRed, b.blueRed);
    sum.greenRest = PW_ADD16(a.greenRest, b.greenRest);
    return sum;
}

/* (sum of four + 2) >> 2 for the blocks of two vectors of column sums */
static inline PW_TARGET TPwChannels PwBlockAverage(TPwChannels left, TPwChannels right) {
    const PW_VEC two = PW_SET32(0x00020002);
    TPwChannels average;
    average.blueRed = PW_SRLI16(PW_ADD16(PwPairSums(left.blueRed, right.blueRed), two), 2);
    average.greenRest = PW_SRLI16(PW_ADD16(PwPairSums(left.greenRest, right.greenRest), two), 2);
    return average;
}

static inline PW_TARGET PW_VEC PwChroma(TPwChannels average, PW_VEC blueRedCoefs,
                                        PW_VEC greenCoefs) {
    const PW_VEC sum =
        PW_ADD32(PW_MADD(average.blueRed, blueRedCoefs), PW_MADD(average.greenRest, greenCoefs));
    return PW_SRAI32(PW_ADD32(sum, PW_SET32(kChromaOffset)), kFractionBits);
}

/* The luma of two vectors of one row, and their channels. The same columns of the next row
 * pair are prefetched, one hint per 64-byte line: the hardware prefetcher alone leaves a
 * frame from memory waiting on most lines. */
static inline PW_TARGET PW_VEC PwLumaPair(const uint8_t* source, ptrdiff_t ahead,
                                          TPwChannels channels[2]) {
    PW_VEC lumas[2];
    for (int v = 0; v < 2; ++v) {
        if ((4 * v * PW_PIXELS) % 64 == 0) {
            _mm_prefetch((const char*)source + 4 * v * PW_PIXELS + ahead, _MM_HINT_T0);
        }
        channels[v] = PwSplit(source + 4 * v * PW_PIXELS);
        lumas[v] = PwLuma(channels[v]);
    }
    return PW_PACKS32(lumas[0], lumas[1]);
}

/* Half a step: two vectors of both rows. Packed 16-bit lumas of each row go to luma[], the
 * 32-bit Cb and Cr of their blocks to chroma[]. Halves keep few vectors alive at once. */
static inline PW_TARGET void PwHalfStep(const uint8_t* top, const uint8_t* bottom, ptrdiff_t ahead,
                                        PW_VEC luma[2], PW_VEC chroma[2]) {
    TPwChannels upper[2];
    TPwChannels lower[2];
    luma[0] = PwLumaPair(top, ahead, upper);
    luma[1] = PwLumaPair(bottom, ahead, lower);
    const TPwChannels average =
        PwBlockAverage(PwAdd(upper[0], lower[0]), PwAdd(upper[1], lower[1]));
    chroma[0] =
        PwChroma(average, PW_WORD_PAIR(kChroma0439Coef, kCbRedCoef), PW_WORD_PAIR(kCbGreenCoef, 0));
    chroma[1] = PwChroma(average, PW_WORD_PAIR(kCrBlueCoef, kChroma0439Coef),
                         PW_WORD_PAIR(kCrGreenCoef, 0));
}

PW_TARGET int32_t PW_KERNEL(const TRowPair* rows, int32_t from, int32_t width) {
    enum { kStep = 4 * PW_PIXELS, kHalf = 2 * PW_PIXELS };
    const uint8_t* const top = rows->source[0];
    const uint8_t* const bottom = rows->source[1];
    uint8_t* const lumaTop = rows->luma[0];
    uint8_t* const lumaBottom = rows->luma[1];
    uint8_t* const cb = rows->cb;
    uint8_t* const cr = rows->cr;
    const ptrdiff_t ahead = rows->ahead;
    int32_t x = from;
    for (; width - x >= kStep; x += kStep) {
        PW_VEC first[2], second[2], firstChroma[2], secondChroma[2];
        PwHalfStep(top + 4 * (ptrdiff_t)x, bottom + 4 * (ptrdiff_t)x, ahead, first, firstChroma);
        PwHalfStep(top + 4 * (ptrdiff_t)(x + kHalf), bottom + 4 * (ptrdiff_t)(x + kHalf), ahead,
                   second, secondChroma);
        PW_STORE_LUMA(lumaTop + x, PW_PACKUS16(first[0], second[0]));
        PW_STORE_LUMA(lumaBottom + x, PW_PACKUS16(first[1], second[1]));
        /* Cb of both halves, then Cr */
        PW_STORE_CHROMA(cb + x / 2, cr + x / 2,
                        PW_PACKUS16(PW_PACKS32(firstChroma[0], secondChroma[0]),
                                    PW_PACKS32(firstChroma[1], secondChroma[1])));
    }
    return x;
}
