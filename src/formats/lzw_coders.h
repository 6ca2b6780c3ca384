#pragma once
// The program's LZW coders in the shape of the I/O object's four coder hooks, and the one call
// that installs them (every front end makes it at start-up, and so do the tests that read or
// write GIF and LZW TIFF files).

#include "formats/io_params.h"

namespace luma {

bool GifLzwDecodeHook(TByteCursor& input, int32_t height, int32_t width, uint8_t* indices, bool interlaced);
void GifLzwEncodeHook(TOutputStream& output, int32_t height, int32_t width, int32_t bitsPerPixel,
                      const uint8_t* indices, bool interlaced);
bool TiffLzwDecodeHook(std::span<const uint8_t> compressed, std::span<uint8_t> row, TLzwStatePtr& state);
void TiffLzwEncodeHook(std::span<const uint8_t> row, std::vector<uint8_t>& output, TLzwStatePtr& state);

// Stores the four coders above into GifLzwDecoder, GifLzwEncoder, TiffLzwDecoder and
// TiffLzwEncoder.
void InstallLzwCoders();

}  // namespace luma
