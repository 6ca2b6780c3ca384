// Left-right and top-bottom mirroring of pixel planes, in place.

#include "imaging/flip.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace luma {
namespace {

constexpr std::array<uint8_t, 256> MakeBitReversal() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int b = 0; b < 8; ++b) {
            if (v & (1 << b)) r |= 0x80 >> b;
        }
        table[static_cast<size_t>(v)] = static_cast<uint8_t>(r);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kBitReversal = MakeBitReversal();

}  // namespace

uint8_t ReverseBits(uint8_t value) { return kBitReversal[value]; }

void MirrorRow1Bit(const uint8_t* source, uint8_t* target, int32_t width) {
    if (width <= 0) return;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) target[i] = kBitReversal[source[bytes - 1 - i]];
    const int32_t rest = width % 8;
    if (rest == 0) return;
    // The unused low bits of the last source byte now lead the row: move every bit left by
    // their number so that the first pixel sits in bit 7 again.
    const int shift = 8 - rest;
    for (int32_t i = 0; i + 1 < bytes; ++i) {
        target[i] = static_cast<uint8_t>((target[i] << shift) | (target[i + 1] >> (8 - shift)));
    }
    target[bytes - 1] = static_cast<uint8_t>(target[bytes - 1] << shift);
}

void FlipPlaneHorizontal(const TPlaneView& plane, int32_t bitsPerPixel) {
    const int32_t w = plane.width;
    if (w <= 0 || plane.height <= 0) return;
    if (bitsPerPixel == 1) {
        const int32_t bytes = (w + 7) / 8;
        auto scratch = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(bytes));
        for (int32_t y = 0; y < plane.height; ++y) {
            uint8_t* row = plane.Row(y);
            MirrorRow1Bit(row, scratch.get(), w);
            std::memcpy(row, scratch.get(), static_cast<size_t>(bytes));
        }
        return;
    }
    if (bitsPerPixel == 8) {
        for (int32_t y = 0; y < plane.height; ++y) std::reverse(plane.Row(y), plane.Row(y) + w);
        return;
    }
    if (bitsPerPixel == 24) {
        for (int32_t y = 0; y < plane.height; ++y) {
            uint8_t* a = plane.Row(y);
            uint8_t* b = a + static_cast<std::ptrdiff_t>(w - 1) * 3;
            while (a < b) {
                std::swap(a[0], b[0]);
                std::swap(a[1], b[1]);
                std::swap(a[2], b[2]);
                a += 3;
                b -= 3;
            }
        }
    }
}

void FlipPlaneVertical(const TPlaneView& plane, int32_t rowBytes) {
    if (rowBytes <= 0 || plane.height <= 1) return;
    for (int32_t top = 0, bottom = plane.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(plane.Row(top), plane.Row(top) + rowBytes, plane.Row(bottom));
    }
}

}  // namespace luma
