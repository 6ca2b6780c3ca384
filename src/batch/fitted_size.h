#pragma once
// Fitting an image into a size box while keeping its proportions.

#include "batch/img_settings.h"

namespace luma {

// The size of a W x H image fitted into a bw x bh box. The percentages are computed in 80-bit
// extended precision and stored as doubles, the products truncated: some sizes lose a pixel
// (15 x 15 into 100 x 100 gives 99 x 99), exactly as the stored settings have always produced.
TDimensions FittedSize(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight);

}  // namespace luma
