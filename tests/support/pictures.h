#pragma once
// Small pictures built in memory for the imaging and format tests.

#include <cstdint>
#include <functional>

#include "imaging/image_buffer.h"

namespace luma::test {

using TPixelFn = std::function<TRGB(int32_t x, int32_t y)>;

// A 24-bit picture whose pixels come from pixel(x, y).
inline void MakePicture(TImageBuffer& image, int32_t width, int32_t height, const TPixelFn& pixel) {
    image.Allocate(width, height, pk24RGB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            const TRGB c = pixel(x, y);
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
    }
}

}  // namespace luma::test
