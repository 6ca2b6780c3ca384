#pragma once
// Vector kernels of the two-pass scaler (AVX2), used only after Avx2Available() said yes.
//
// They compute exactly what the plain loops compute: integer products summed in 32-bit lanes,
// then the sum divided by the list's divisor with truncation and clamped to 0..255. The division
// is done in single precision, which is exact for the ranges the caller guarantees (|sum| < 2^24,
// 1 <= |divisor| < 2^17: the quotient of two such floats never rounds across an integer below 256).
//
// Horizontal kernels read "extended" planes: one byte per pixel and channel, with the mirrored
// border pixels already in place, so every target pixel is a dot product of `chunks` x 8
// consecutive bytes starting at start[i] with 8 x chunks int16 weights. Weights are laid out per
// pair of target pixels: for pair p and chunk k, 8 weights of pixel 2p then 8 of pixel 2p + 1.

#include <cstdint>

namespace luma::resample_simd {

// Whether the processor offers AVX2 (checked once).
bool Avx2Available();

// Splits `count` three-byte pixels into three planes.
void Deinterleave3Avx2(const uint8_t* source, int32_t count, uint8_t* plane0, uint8_t* plane1,
                       uint8_t* plane2);

// Three channels, `pairs` pairs of target pixels. divisors: 8 floats per pair (4 copies of each
// pixel's divisor). Writes 6 bytes per pair and up to 2 bytes beyond the last pair.
void Horizontal3Avx2(const uint8_t* plane0, const uint8_t* plane1, const uint8_t* plane2,
                     const int32_t* start, const int16_t* weights, int32_t chunks,
                     const float* divisors, int32_t pairs, uint8_t* out);

// One channel, `octets` groups of eight target pixels; divisors: one float per pixel.
void Horizontal1Avx2(const uint8_t* plane, const int32_t* start, const int16_t* weights,
                     int32_t chunks, const float* divisors, int32_t octets, uint8_t* out);

// Vertical pass over one target row: out[x] = clamp(trunc(sum_k w_k rows_k[x] / divisor)) for
// x = 0 .. n - 1 in steps of 32; rows come in pairs with their weights packed as int16 pairs
// (low half the first row's). Returns n rounded down to a multiple of 32: the caller finishes.
int32_t VerticalAvx2(const uint8_t* const* rows, const uint32_t* weightPairs, int32_t pairs,
                     float divisor, int32_t bytes, uint8_t* out);

}  // namespace luma::resample_simd
