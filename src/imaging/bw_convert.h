#pragma once
// Thresholds for turning an image into black and white.
//
// The automatic threshold is gray8 of the image's mean colour: per row the integer mean of each
// channel (sum div width), these means summed over the rows and divided (integer) by the height.
// A 1-bit image counts 255 for a set bit, a palette image its entries, an 8-bit gray image its
// level in all three channels and a 16-bit gray image the high byte of each level. An empty image
// has the mean 128, 128, 128. A pixel is white when its gray8 (or level) is not below the
// threshold.

#include <cstdint>

#include "imaging/pixel_kind.h"

namespace luma {

class TImageBuffer;
class TRgbRows;

// The mean colour of an image of any kind, by the row-wise rule above.
TRGB MeanColor(const TImageBuffer& image);
// The mean colour of 24-bit rows.
TRGB MeanColor(const TRgbRows& image);

// The automatic threshold: gray8 of the mean colour (128 for an empty image).
int32_t MeanThreshold(const TImageBuffer& image);
int32_t MeanThreshold(const TRgbRows& image);

// The maximum-entropy threshold from the gray8 histogram of a 24-bit image: the first level k
// in 1..255 with the largest summed entropy of the parts below and from k, among the levels that
// leave both parts non-empty; -2 for an image of one gray level (every pixel then stays white).
int32_t MaxEntropyThreshold(const TRgbRows& image);

// Writes one 1-bit row: pixel x is white when gray8 of the 24-bit pixel >= threshold. Padding
// bits of the last byte are cleared.
void ThresholdRow24(const uint8_t* bgrRow, int32_t width, int32_t threshold, uint8_t* bitRow);

// Writes one 1-bit row by the 8 x 8 ordered dither: pixel (x, y) is white when
// D[x mod 8][y mod 8] < gray8 div 4.
void OrderedRow24(const uint8_t* bgrRow, int32_t width, int32_t y, uint8_t* bitRow);

// The same two rules for a row of 8-bit gray levels in place of 24-bit pixels.
void ThresholdRow8(const uint8_t* levels, int32_t width, int32_t threshold, uint8_t* bitRow);
void OrderedRow8(const uint8_t* levels, int32_t width, int32_t y, uint8_t* bitRow);

}  // namespace luma
