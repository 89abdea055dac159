/* The eight lookup tables of the table version, built at compile time from the coefficients. */

#include "planewright/kernels.h"

#define PW_ENTRY(coef, offset, v) ((offset) + (v) * (coef))
#define PW_4(coef, offset, v)                                                                      \
    PW_ENTRY(coef, offset, (v)), PW_ENTRY(coef, offset, (v) + 1), PW_ENTRY(coef, offset, (v) + 2), \
        PW_ENTRY(coef, offset, (v) + 3)
#define PW_16(coef, offset, v)                                                         \
    PW_4(coef, offset, (v)), PW_4(coef, offset, (v) + 4), PW_4(coef, offset, (v) + 8), \
        PW_4(coef, offset, (v) + 12)
#define PW_64(coef, offset, v)                                                              \
    PW_16(coef, offset, (v)), PW_16(coef, offset, (v) + 16), PW_16(coef, offset, (v) + 32), \
        PW_16(coef, offset, (v) + 48)
#define PW_TABLE(coef, offset)                                                     \
    {                                                                              \
        PW_64(coef, offset, 0), PW_64(coef, offset, 64), PW_64(coef, offset, 128), \
            PW_64(coef, offset, 192)                                               \
    }

const int32_t kLumaRed[256] = PW_TABLE(kLumaRedCoef, kLumaOffset);
const int32_t kLumaGreen[256] = PW_TABLE(kLumaGreenCoef, 0);
const int32_t kLumaBlue[256] = PW_TABLE(kLumaBlueCoef, 0);
const int32_t kCbRed[256] = PW_TABLE(kCbRedCoef, kChromaOffset);
const int32_t kCbGreen[256] = PW_TABLE(kCbGreenCoef, 0);
const int32_t kChroma0439[256] = PW_TABLE(kChroma0439Coef, 0);
const int32_t kCrGreen[256] = PW_TABLE(kCrGreenCoef, kChromaOffset);
const int32_t kCrBlue[256] = PW_TABLE(kCrBlueCoef, 0);
