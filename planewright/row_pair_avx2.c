/* Row-pair kernel on 256-bit vectors, 32 pixels per row and step. The instructions work
 * within 128-bit lanes, so the stores put the lanes' results back into pixel order. */

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <stdint.h>

#define PW_VEC __m256i
#define PW_PIXELS 8
#define PW_TARGET __attribute__((target("avx2")))
#define PW_KERNEL PlanewrightRowPairAvx2
#define PW_LOAD(p) _mm256_loadu_si256((const __m256i*)(const void*)(p))
#define PW_SET32 _mm256_set1_epi32
#define PW_AND _mm256_and_si256
#define PW_ADD16 _mm256_add_epi16
#define PW_ADD32 _mm256_add_epi32
#define PW_SRLI16 _mm256_srli_epi16
#define PW_SRAI32 _mm256_srai_epi32
#define PW_MADD _mm256_madd_epi16
/* 32-bit elements of a and b picked per 128-bit lane, as shufps does */
#define PW_SHUFFLE32(a, b, imm) \
    _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), imm))
#define PW_PACKS32 _mm256_packs_epi32
#define PW_PACKUS16 _mm256_packus_epi16
#define PW_STORE_LUMA PwStoreLuma
#define PW_STORE_CHROMA PwStoreChroma

/* After the packs, 32-bit groups of four pixels sit in the order 0 2 4 6 | 1 3 5 7. */
static inline PW_TARGET void PwStoreLuma(uint8_t* dst, __m256i bytes) {
    const __m256i ordered =
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256((__m256i*)(void*)dst, ordered);
}

/* After the packs, 16-bit pairs of blocks sit per lane as Cb 0 2 4 6, Cr 0 2 4 6 | Cb 1 3 5 7,
 * Cr 1 3 5 7: gather Cb into the low lane and Cr into the high one, then interleave pairs. */
static inline PW_TARGET void PwStoreChroma(uint8_t* cb, uint8_t* cr, __m256i bytes) {
    const __m256i planes = _mm256_permute4x64_epi64(bytes, _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i interleave =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                         11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i ordered = _mm256_shuffle_epi8(planes, interleave);
    _mm_storeu_si128((__m128i*)(void*)cb, _mm256_castsi256_si128(ordered));
    _mm_storeu_si128((__m128i*)(void*)cr, _mm256_extracti128_si256(ordered, 1));
}

#include "planewright/row_pair_simd.h"

#endif
