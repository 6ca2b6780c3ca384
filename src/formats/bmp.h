#pragma once
// Windows bitmap files: ReadBmp and WriteBmp (declared with every format in format_codec.h) and
// the run-length coding of one row, which the tests check byte for byte.

#include <cstdint>
#include <span>
#include <vector>

#include "formats/format_codec.h"

namespace luma {

// Appends the run-length coding of one row of palette indices (`bits` 4 or 8) to `out`, ending
// with the end-of-line escape 0, 0. Runs of equal neighbours (up to 255) become (count, index);
// other pixels are gathered into literal pieces of at most 255: one pixel as (1, index), two as
// (1, a) (1, b) in 8-bit and (2, a x 16 + b) in 4-bit mode, three or more in absolute mode
// (0, n, packed indices, a zero byte when their byte count is odd).
void BmpEncodeRleRow(std::span<const uint8_t> indices, int32_t bits, std::vector<uint8_t>& out);

}  // namespace luma
