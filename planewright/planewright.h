#pragma once
/* libplanewright.so: converts one 32-bit RGB frame into the Y, Cb and Cr planes of 4:2:0 YUV
 * (BT.601 limited range). The program loads the library by file name at run time and binds
 * its one export, RGB2YUV, by name.
 *
 * Source pixels are 4 bytes: blue, green, red and an ignored byte. The row at `source` becomes
 * Y row 0 (no flip). Cb and Cr hold one sample per 2 x 2 block and share the chroma pitch
 * yPitch >> 1 (arithmetic shift); there is no separate chroma pitch argument.
 *
 * An odd width or height converts the last column or row as a partial block: its chroma is
 * the rounded average of the pixels that exist. So the buffers must hold
 *   Y:       (height - 1) * yPitch + width bytes,
 *   Cb, Cr:  ((height + 1) / 2 - 1) * (yPitch >> 1) + (width + 1) / 2 bytes each,
 * and nothing outside them, nor past 4 * width bytes of any source row, is read or written.
 * With an odd width, a Y pitch of at least width + 1 keeps chroma rows from overlapping.
 * A width or height of 0 or less converts nothing.
 *
 * Stateless: any thread may call it, also several at once on different frames. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PLANEWRIGHT_LIBRARY_FILE "libplanewright.so"
#define PLANEWRIGHT_EXPORT_NAME "RGB2YUV"

typedef void (*TRGB2YUVFunc)(const uint8_t* source, int32_t width, int32_t height, uint8_t* yPlane,
                             uint8_t* cbPlane, uint8_t* crPlane, int32_t sourcePitch,
                             int32_t yPitch);

void RGB2YUV(const uint8_t* source, int32_t width, int32_t height, uint8_t* yPlane,
             uint8_t* cbPlane, uint8_t* crPlane, int32_t sourcePitch, int32_t yPitch);

#ifdef __cplusplus
}
#endif
