/* Row-pair kernel on 128-bit vectors, 16 pixels per row and step. SSE2 is part of x86-64, so
 * this kernel runs everywhere the library does. */

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <stdint.h>

#define PW_VEC __m128i
#define PW_PIXELS 4
#define PW_TARGET __attribute__((target("sse2")))
#define PW_KERNEL PlanewrightRowPairSse2
#define PW_LOAD(p) _mm_loadu_si128((const __m128i*)(const void*)(p))
#define PW_SET32 _mm_set1_epi32
#define PW_AND _mm_and_si128
#define PW_ADD16 _mm_add_epi16
#define PW_ADD32 _mm_add_epi32
#define PW_SRLI16 _mm_srli_epi16
#define PW_SRAI32 _mm_srai_epi32
#define PW_MADD _mm_madd_epi16
/* 32-bit elements of a and b picked per 128-bit lane, as shufps does */
#define PW_SHUFFLE32(a, b, imm) \
    _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), imm))
#define PW_PACKS32 _mm_packs_epi32
#define PW_PACKUS16 _mm_packus_epi16
#define PW_STORE_LUMA PwStoreLuma
#define PW_STORE_CHROMA PwStoreChroma

static inline PW_TARGET void PwStoreLuma(uint8_t* dst, __m128i bytes) {
    _mm_storeu_si128((__m128i*)(void*)dst, bytes);
}

static inline PW_TARGET void PwStoreChroma(uint8_t* cb, uint8_t* cr, __m128i bytes) {
    _mm_storel_epi64((__m128i*)(void*)cb, bytes);
    _mm_storel_epi64((__m128i*)(void*)cr, _mm_srli_si128(bytes, 8));
}

#include "planewright/row_pair_simd.h"

#endif
