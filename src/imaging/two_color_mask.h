#pragma once
// The two-colour test used by writers that can store a two-colour image as 1 bit per pixel.

#include "imaging/pixel_kind.h"

namespace luma {

class TImageBuffer;

// When `image` (any kind) has exactly two distinct colours: `mask` becomes a 1-bit buffer of the
// image's size with bit 0 for `color0` and 1 for `color1`, where color0 is the darker colour
// (round(gray100 / 100), gray100 = 21 R + 71 G + 8 B; the first colour met wins a tie), and the
// result is true. Otherwise `mask` and the colours are left alone and the result is false. The
// scan stops after the row in which a third colour appears.
bool TwoColorMask(const TImageBuffer& image, TImageBuffer& mask, TRGB& color0, TRGB& color1);

}  // namespace luma
