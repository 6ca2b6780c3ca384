// The two-colour test (see two_color_mask.h).
//
// Only the first two distinct colours matter, so two comparisons per pixel replace a set of the
// colours seen; the scan still finishes the row in which a third colour turns up, as the writers
// expect, and the mask is built while scanning.

#include "imaging/two_color_mask.h"

#include <cstring>
#include <utility>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"

namespace luma {

namespace {

// Row y of any kind as blue, green, red triples (the colours PixelRGB gives).
void ReadRowBGR(const TImageBuffer& image, int32_t y, uint8_t* out) {
    const int32_t width = image.Width();
    const uint8_t* row = image.ScanLine(y);
    switch (image.PixelKind()) {
    case pk24RGB: std::memcpy(out, row, static_cast<size_t>(width) * 3); break;
    case pk1Bit: Expand1BitRowTo24(row, out, width); break;
    case pk8Palette: {
        const TRGB* palette = image.Palette();
        for (int32_t x = 0; x < width; ++x, out += 3) {
            const TRGB& entry = palette[row[x]];
            out[0] = entry.b;
            out[1] = entry.g;
            out[2] = entry.r;
        }
        break;
    }
    case pk8Gray:
        for (int32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = row[x];
        break;
    case pk16Gray:
        for (int32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = row[2 * x + 1];
        break;
    default: std::memset(out, 0, static_cast<size_t>(width) * 3); break;
    }
}

// round(gray100 / 100) with ties to even, gray100 = 21 R + 71 G + 8 B.
int32_t RoundedGray(uint32_t key) {
    const uint32_t b = key & 0xFF;
    const uint32_t g = (key >> 8) & 0xFF;
    const uint32_t r = (key >> 16) & 0xFF;
    const uint32_t gray100 = 21 * r + 71 * g + 8 * b;
    uint32_t q = gray100 / 100;
    const uint32_t rest = gray100 % 100;
    if (rest > 50 || (rest == 50 && (q & 1) != 0)) ++q;
    return static_cast<int32_t>(q);
}

TRGB KeyColor(uint32_t key) {
    return TRGB{static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                static_cast<uint8_t>(key >> 16)};
}

}  // namespace

bool TwoColorMask(const TImageBuffer& image, TImageBuffer& mask, TRGB& color0, TRGB& color1) {
    if (image.Empty() || image.PixelKind() == pkNone) return false;
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3);
    TImageBuffer bits;
    bits.SetTempFileThreshold(image.TempFileThreshold());
    bits.Allocate(width, height, pk1Bit);
    const int32_t rowLen = bits.RowLen();

    int32_t seen = 0;
    uint32_t first = 0;
    uint32_t second = 0;
    for (int32_t y = 0; y < height; ++y) {
        ReadRowBGR(image, y, bgr.data());
        uint8_t* out = bits.ScanLine(y);
        std::memset(out, 0, static_cast<size_t>(rowLen));
        bool third = false;
        const uint8_t* p = bgr.data();
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const uint32_t key = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                 (static_cast<uint32_t>(p[2]) << 16);
            if (seen == 0) {
                first = key;
                seen = 1;
            }
            if (key == first) continue;
            out[x >> 3] = static_cast<uint8_t>(out[x >> 3] | (0x80u >> (x & 7)));
            if (seen == 1) {
                second = key;
                seen = 2;
            } else if (key != second) {
                third = true;
            }
        }
        if (third) return false;
    }
    if (seen != 2) return false;

    if (RoundedGray(second) < RoundedGray(first)) {
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* out = bits.ScanLine(y);
            for (int32_t i = 0; i < rowLen; ++i) out[i] = static_cast<uint8_t>(~out[i]);
        }
        std::swap(first, second);
    }
    bits.MoveTo(mask);
    color0 = KeyColor(first);
    color1 = KeyColor(second);
    return true;
}

}  // namespace luma
