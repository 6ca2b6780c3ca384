// AVX2 kernels of the two-pass scaler. Only plain pointer code lives here: the functions carry
// the avx2 target attribute themselves, so nothing of this file leaks AVX2 instructions into code
// shared with other translation units.

#include "imaging/resample_simd.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMA_HAVE_X86 1
#endif

namespace luma::resample_simd {

#ifdef LUMA_HAVE_X86

bool Avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
}

#define LUMA_AVX2 __attribute__((target("avx2")))

namespace {

LUMA_AVX2 inline __m256i LoadPair8(const uint8_t* a, const uint8_t* b) {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
    const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(lo, hi));
}

LUMA_AVX2 inline __m256i LoadWeights(const int16_t* w) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
}

// Truncating division of eight sums by eight divisors (exact for the guaranteed ranges).
LUMA_AVX2 inline __m256i Divide(__m256i sums, __m256 divisors) {
    return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(sums), divisors));
}

}  // namespace

LUMA_AVX2 void Deinterleave3Avx2(const uint8_t* source, int32_t count, uint8_t* plane0,
                                 uint8_t* plane1, uint8_t* plane2) {
    // Byte positions of each channel within 16 pixels (48 bytes = three vectors).
    const __m128i b0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i b1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i b2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    const __m128i g0 = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i g1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i g2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    const __m128i r0 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i r1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m128i r2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* s = source + static_cast<std::ptrdiff_t>(i) * 3;
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i c0 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, b0), _mm_shuffle_epi8(v1, b1)),
                                        _mm_shuffle_epi8(v2, b2));
        const __m128i c1 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, g0), _mm_shuffle_epi8(v1, g1)),
                                        _mm_shuffle_epi8(v2, g2));
        const __m128i c2 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, r0), _mm_shuffle_epi8(v1, r1)),
                                        _mm_shuffle_epi8(v2, r2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plane0 + i), c0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plane1 + i), c1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plane2 + i), c2);
    }
    for (; i < count; ++i) {
        const uint8_t* s = source + static_cast<std::ptrdiff_t>(i) * 3;
        plane0[i] = s[0];
        plane1[i] = s[1];
        plane2[i] = s[2];
    }
}

LUMA_AVX2 void Horizontal3Avx2(const uint8_t* plane0, const uint8_t* plane1,
                               const uint8_t* plane2, const int32_t* start,
                               const int16_t* weights, int32_t chunks, const float* divisors,
                               int32_t pairs, uint8_t* out) {
    // Moves B0 G0 R0 . B1 G1 R1 . into six consecutive bytes.
    const __m128i compact = _mm_setr_epi8(0, 1, 2, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (int32_t p = 0; p < pairs; ++p) {
        const int32_t s0 = start[2 * p];
        const int32_t s1 = start[2 * p + 1];
        const int16_t* w = weights + static_cast<std::ptrdiff_t>(p) * chunks * 16;
        __m256i acc0 = _mm256_setzero_si256();
        __m256i acc1 = _mm256_setzero_si256();
        __m256i acc2 = _mm256_setzero_si256();
        for (int32_t k = 0; k < chunks; ++k) {
            const __m256i wv = LoadWeights(w + k * 16);
            const int32_t o = k * 8;
            acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(LoadPair8(plane0 + s0 + o, plane0 + s1 + o), wv));
            acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(LoadPair8(plane1 + s0 + o, plane1 + s1 + o), wv));
            acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(LoadPair8(plane2 + s0 + o, plane2 + s1 + o), wv));
        }
        // Lane 0 holds pixel 2p, lane 1 pixel 2p + 1: [c0, c1, c2, c2] per lane.
        const __m256i h01 = _mm256_hadd_epi32(acc0, acc1);
        const __m256i h22 = _mm256_hadd_epi32(acc2, acc2);
        const __m256i sums = _mm256_hadd_epi32(h01, h22);
        const __m256i q = Divide(sums, _mm256_loadu_ps(divisors + static_cast<std::ptrdiff_t>(p) * 8));
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
        const __m128i bytes = _mm_shuffle_epi8(_mm_packus_epi16(words, words), compact);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(p) * 6), bytes);
    }
}

LUMA_AVX2 void Horizontal1Avx2(const uint8_t* plane, const int32_t* start, const int16_t* weights,
                               int32_t chunks, const float* divisors, int32_t octets,
                               uint8_t* out) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const std::ptrdiff_t pairStride = static_cast<std::ptrdiff_t>(chunks) * 16;
    for (int32_t g = 0; g < octets; ++g) {
        const int32_t* s = start + static_cast<std::ptrdiff_t>(g) * 8;
        const int16_t* w = weights + static_cast<std::ptrdiff_t>(g) * 4 * pairStride;
        __m256i acc0 = _mm256_setzero_si256();
        __m256i acc1 = _mm256_setzero_si256();
        __m256i acc2 = _mm256_setzero_si256();
        __m256i acc3 = _mm256_setzero_si256();
        for (int32_t k = 0; k < chunks; ++k) {
            const int32_t o = k * 8;
            const int16_t* wk = w + k * 16;
            acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(LoadPair8(plane + s[0] + o, plane + s[1] + o), LoadWeights(wk)));
            acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(LoadPair8(plane + s[2] + o, plane + s[3] + o), LoadWeights(wk + pairStride)));
            acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(LoadPair8(plane + s[4] + o, plane + s[5] + o), LoadWeights(wk + 2 * pairStride)));
            acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(LoadPair8(plane + s[6] + o, plane + s[7] + o), LoadWeights(wk + 3 * pairStride)));
        }
        // [x0 x2 x4 x6 | x1 x3 x5 x7] -> x0 .. x7
        const __m256i h = _mm256_hadd_epi32(_mm256_hadd_epi32(acc0, acc1), _mm256_hadd_epi32(acc2, acc3));
        const __m256i sums = _mm256_permutevar8x32_epi32(h, order);
        const __m256i q = Divide(sums, _mm256_loadu_ps(divisors + static_cast<std::ptrdiff_t>(g) * 8));
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(g) * 8),
                         _mm_packus_epi16(words, words));
    }
}

LUMA_AVX2 int32_t VerticalAvx2(const uint8_t* const* rows, const uint32_t* weightPairs,
                               int32_t pairs, float divisor, int32_t bytes, uint8_t* out) {
    const __m256 dv = _mm256_set1_ps(divisor);
    const __m256i zero = _mm256_setzero_si256();
    int32_t x = 0;
    for (; x + 32 <= bytes; x += 32) {
        __m256i acc0 = zero;
        __m256i acc1 = zero;
        __m256i acc2 = zero;
        __m256i acc3 = zero;
        for (int32_t p = 0; p < pairs; ++p) {
            const __m256i w = _mm256_set1_epi32(static_cast<int32_t>(weightPairs[p]));
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p] + x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p + 1] + x));
            // Within each 128-bit lane: bytes 0-7 and 8-15 of a and b interleaved.
            const __m256i lo = _mm256_unpacklo_epi8(a, b);
            const __m256i hi = _mm256_unpackhi_epi8(a, b);
            acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), w));
            acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), w));
            acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), w));
            acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), w));
        }
        // acc0: bytes 0-3 | 16-19, acc1: 4-7 | 20-23, acc2: 8-11 | 24-27, acc3: 12-15 | 28-31.
        const __m256i w01 = _mm256_packs_epi32(Divide(acc0, dv), Divide(acc1, dv));
        const __m256i w23 = _mm256_packs_epi32(Divide(acc2, dv), Divide(acc3, dv));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(w01, w23));
    }
    return x;
}

#else  // not x86: the plain loops do all the work

bool Avx2Available() { return false; }
void Deinterleave3Avx2(const uint8_t*, int32_t, uint8_t*, uint8_t*, uint8_t*) {}
void Horizontal3Avx2(const uint8_t*, const uint8_t*, const uint8_t*, const int32_t*,
                     const int16_t*, int32_t, const float*, int32_t, uint8_t*) {}
void Horizontal1Avx2(const uint8_t*, const int32_t*, const int16_t*, int32_t, const float*,
                     int32_t, uint8_t*) {}
int32_t VerticalAvx2(const uint8_t* const*, const uint32_t*, int32_t, float, int32_t, uint8_t*) {
    return 0;
}

#endif

}  // namespace luma::resample_simd
