/* Row-pair kernel on 512-bit vectors, 64 pixels per row and step. As with 256 bits, the
 * instructions work within 128-bit lanes; one permute per store restores pixel order. */

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <stdint.h>

#define PW_VEC __m512i
#define PW_PIXELS 16
#define PW_TARGET __attribute__((target("avx512f,avx512bw")))
#define PW_KERNEL PlanewrightRowPairAvx512
#define PW_LOAD(p) _mm512_loadu_si512((const void*)(p))
#define PW_SET32 _mm512_set1_epi32
#define PW_AND _mm512_and_si512
#define PW_ADD16 _mm512_add_epi16
#define PW_ADD32 _mm512_add_epi32
#define PW_SRLI16 _mm512_srli_epi16
#define PW_SRAI32 _mm512_srai_epi32
#define PW_MADD _mm512_madd_epi16
/* 32-bit elements of a and b picked per 128-bit lane, as shufps does */
#define PW_SHUFFLE32(a, b, imm) \
    _mm512_castps_si512(_mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), imm))
#define PW_PACKS32 _mm512_packs_epi32
#define PW_PACKUS16 _mm512_packus_epi16
#define PW_STORE_LUMA PwStoreLuma
#define PW_STORE_CHROMA PwStoreChroma

/* After the packs, lane i holds the four-pixel groups i, 4 + i, 8 + i, 12 + i. */
static inline PW_TARGET void PwStoreLuma(uint8_t* dst, __m512i bytes) {
    const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    _mm512_storeu_si512((void*)dst, _mm512_permutexvar_epi32(order, bytes));
}

/* After the packs, lane i holds the 16-bit block pairs i, 4 + i, 8 + i, 12 + i of Cb, then the
 * same of Cr: one word permute puts all Cb pairs in order in the low half, Cr in the high. */
static inline PW_TARGET void PwStoreChroma(uint8_t* cb, uint8_t* cr, __m512i bytes) {
    const __m512i order =
        _mm512_set_epi16(31, 23, 15, 7, 30, 22, 14, 6, 29, 21, 13, 5, 28, 20, 12, 4, 27, 19, 11, 3,
                         26, 18, 10, 2, 25, 17, 9, 1, 24, 16, 8, 0);
    const __m512i ordered = _mm512_permutexvar_epi16(order, bytes);
    _mm256_storeu_si256((__m256i*)(void*)cb, _mm512_castsi512_si256(ordered));
    _mm256_storeu_si256((__m256i*)(void*)cr, _mm512_extracti64x4_epi64(ordered, 1));
}

#include "planewright/row_pair_simd.h"

#endif
