#pragma once
// PackBits run-length coding of byte rows (TIFF compression 32773).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace luma {

// Decodes from src starting at `pos` until `row` is full or the source ends; a run or literal that
// would overflow the row is cut at the row's end (its source bytes are still consumed). Returns the
// number of row bytes written; `pos` moves past the data used.
size_t PackBitsDecodeRow(std::span<const uint8_t> src, size_t& pos, std::span<uint8_t> row);

// Appends the coding of one row: runs of 4 to 128 equal bytes as (1 - length, byte), everything
// else as literal groups of at most 128 bytes (count - 1, bytes).
void PackBitsEncodeRow(std::span<const uint8_t> row, std::vector<uint8_t>& out);

}  // namespace luma
