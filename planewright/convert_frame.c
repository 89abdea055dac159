/* Walks a frame in row pairs: the vector kernels take what they can of each pair, widest
 * first, and the tables finish it; an odd last row goes to the tables alone. */

#include <stddef.h>

#include "planewright/kernels.h"

void PlanewrightConvertFrame(const TKernelChain* chain, const uint8_t* source, int32_t width,
                             int32_t height, uint8_t* yPlane, uint8_t* cbPlane, uint8_t* crPlane,
                             int32_t sourcePitch, int32_t yPitch) {
    /* A row loop that counts down by two to exactly zero would never end on an odd or
     * negative height; stepping up to the height cannot overrun. */
    if (width <= 0 || height <= 0) {
        return;
    }
    /* arithmetic shift: rounds toward minus infinity */
    const ptrdiff_t chromaPitch = yPitch >> 1;
    /* 64 bits, so that stepping past a height near INT32_MAX cannot overflow */
    for (int64_t row = 0; row < height; row += 2) {
        const int wholePair = height - row >= 2;
        TRowPair rows;
        rows.source[0] = source + (ptrdiff_t)row * sourcePitch;
        rows.source[1] = wholePair ? rows.source[0] + sourcePitch : NULL;
        rows.ahead = height - row >= 4 ? 2 * (ptrdiff_t)sourcePitch : 0;
        rows.luma[0] = yPlane + (ptrdiff_t)row * yPitch;
        rows.luma[1] = wholePair ? rows.luma[0] + yPitch : NULL;
        rows.cb = cbPlane + (ptrdiff_t)(row / 2) * chromaPitch;
        rows.cr = crPlane + (ptrdiff_t)(row / 2) * chromaPitch;
        int32_t done = 0;
        for (int k = 0; wholePair && k < chain->count; ++k) {
            done = chain->kernels[k](&rows, done, width);
        }
        PlanewrightRowPairTables(&rows, done, width);
    }
}
