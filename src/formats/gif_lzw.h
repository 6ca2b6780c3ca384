#pragma once
// The variable-width LZW coder of GIF image data: the code-size byte, the data sub-blocks and the
// interlace order. Both directions work on memory; the GIF reader and writer, and the coder hooks of
// the I/O object, wrap them around their streams.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace luma {

// Outcome of decoding one image's data.
struct TGifLzwDecodeResult {
    bool ok = false;      // false: the data is unusable and the caller restores its read position
    size_t consumed = 0;  // bytes used from the start (code-size byte, sub-blocks, terminator)
};

// Decodes the image data that starts at data[0] (the code-size byte) into width x height indices,
// stored row by row; interlaced data is put back into row order. Indices past the last row are
// dropped; rows the data does not reach keep their previous content. Never reads past `data`.
TGifLzwDecodeResult GifLzwDecode(std::span<const uint8_t> data, int32_t width, int32_t height,
                                 bool interlaced, uint8_t* indices);

// Collects the sub-blocks that start at data[pos] into `out` (appended), up to a zero-size block or
// the end of the data; returns the position after the terminator (or the data's size).
size_t GifCollectSubBlocks(std::span<const uint8_t> data, size_t pos, std::vector<uint8_t>& out);

// Encodes width x height indices of `bits` bits each (1..8) and appends the code-size byte, the data
// sub-blocks and the terminating empty block to `out`. Interlaced output takes the rows in the four
// passes of the format.
void GifLzwEncode(const uint8_t* indices, int32_t width, int32_t height, int bits, bool interlaced,
                  std::vector<uint8_t>& out);

// Calls fn(row) for each row index in the order interlaced data stores them.
template <typename Fn>
void ForEachGifInterlacedRow(int32_t height, Fn&& fn) {
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int32_t row = kStart[pass]; row < height; row += kStep[pass]) fn(row);
}

}  // namespace luma
