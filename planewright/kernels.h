#pragma once
/* Internal to libplanewright: the lookup tables, the row-pair kernels and the frame driver.
 * Nothing here is exported; the only export is RGB2YUV. */

#include <stddef.h>
#include <stdint.h>

/* 15 fractional bits. Offsets carry the black level plus one half, so the final shift rounds. */
enum {
    kFractionBits = 15,
    kLumaRedCoef = 8421,
    kLumaGreenCoef = 16515,
    kLumaBlueCoef = 3211,
    kLumaOffset = 540672, /* 16.5 << 15 */
    kCbRedCoef = -4849,
    kCbGreenCoef = -9535,
    kChroma0439Coef = 14385, /* Cb from blue and Cr from red */
    kCrGreenCoef = -12058,
    kCrBlueCoef = -2326,
    kChromaOffset = 4210688, /* 128.5 << 15 */
};

/* entry v = offset + v * coefficient */
extern const int32_t kLumaRed[256];
extern const int32_t kLumaGreen[256];
extern const int32_t kLumaBlue[256];
extern const int32_t kCbRed[256];
extern const int32_t kCbGreen[256];
extern const int32_t kChroma0439[256];
extern const int32_t kCrGreen[256];
extern const int32_t kCrBlue[256];

/* Two source rows and where their luma and the shared chroma row go. source[1] and luma[1]
 * are null for the last row of an odd height. ahead: bytes from a source row to the same
 * row of the next pair, 0 when there is none (the kernels prefetch there, never outside
 * the frame). */
typedef struct {
    const uint8_t* source[2];
    ptrdiff_t ahead;
    uint8_t* luma[2];
    uint8_t* cb;
    uint8_t* cr;
} TRowPair;

/* Converts columns of a full row pair from `from` on, in whole vector steps, and returns the
 * column where it stopped (even, at most width). Narrower kernels, then the tables, finish. */
typedef int32_t (*TRowPairKernel)(const TRowPair* rows, int32_t from, int32_t width);

int32_t PlanewrightRowPairSse2(const TRowPair* rows, int32_t from, int32_t width);
int32_t PlanewrightRowPairAvx2(const TRowPair* rows, int32_t from, int32_t width);
int32_t PlanewrightRowPairAvx512(const TRowPair* rows, int32_t from, int32_t width);

/* The kernels one conversion runs, widest first; the tables always finish. */
enum { kMaxKernels = 4 };
typedef struct {
    TRowPairKernel kernels[kMaxKernels];
    int count;
} TKernelChain;

/* Table version: columns [from, width) of a row pair or of a single last row, including a
 * partial block for an odd last column. */
void PlanewrightRowPairTables(const TRowPair* rows, int32_t from, int32_t width);

/* Whole frame with one kernel chain (empty: tables only); arguments as RGB2YUV's. */
void PlanewrightConvertFrame(const TKernelChain* chain, const uint8_t* source, int32_t width,
                             int32_t height, uint8_t* yPlane, uint8_t* cbPlane, uint8_t* crPlane,
                             int32_t sourcePitch, int32_t yPitch);

/* The chain that starts with the named kernel ("avx512", "avx2", "sse2", "tables") and goes
 * on with the narrower ones. Returns 0 for an unknown name or a kernel this CPU lacks. */
int PlanewrightChainByName(const char* name, TKernelChain* chain);

/* The chain from the widest kernel this CPU runs. */
void PlanewrightBestChain(TKernelChain* chain);
