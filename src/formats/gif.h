#pragma once
// GIF reading and writing (FileType 2). ReadGif and WriteGif follow the format-module contract of
// format_codec.h; the LZW data itself goes through the coder hooks (io_params.h), which the
// program fills with the coders of gif_lzw.h at start-up.
//
// The reader takes the image GifImageIndex names and scans the whole file to count the images;
// the writer writes one image with a global colour table, a graphic control extension and a
// comment extension.

#include "formats/format_codec.h"

namespace luma {

// Palette entries a GIF colour table with this size field (the low three bits of a flags byte)
// holds.
constexpr int32_t GifTableEntries(uint8_t sizeField) { return 2 << (sizeField & 7); }

// Largest width and height a GIF file can describe.
constexpr int32_t kGifMaxDimension = 65535;

// Longest comment sub-block; longer comment lines are split over several sub-blocks.
constexpr size_t kGifMaxSubBlock = 255;

}  // namespace luma
