#pragma once
// Mirroring of pixel rows and planes: left-right and top-bottom, for 1-bit, 8-bit and 24-bit
// planes. 1-bit rows are mirrored a byte at a time through a bit-reversal table, then shifted
// back to the left edge when the width is not a multiple of eight.

#include <cstdint>

#include "imaging/rotate.h"

namespace luma {

// The byte with its eight bits in reverse order.
uint8_t ReverseBits(uint8_t value);

// Writes the left-right mirror of a 1-bit row of `width` pixels into `target` (which must not
// overlap `source`). Exactly (width + 7) / 8 bytes are written; bits beyond the width are 0.
void MirrorRow1Bit(const uint8_t* source, uint8_t* target, int32_t width);

// Mirrors every row of the plane in place. bitsPerPixel: 1, 8 or 24.
void FlipPlaneHorizontal(const TPlaneView& plane, int32_t bitsPerPixel);
// Swaps rows top to bottom in place; `rowBytes` bytes of each row are moved.
void FlipPlaneVertical(const TPlaneView& plane, int32_t rowBytes);

}  // namespace luma
