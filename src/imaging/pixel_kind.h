#pragma once
// Basic pixel vocabulary shared by the image buffer, the drawing surface and every algorithm.

#include <cstdint>

namespace luma {

// What one pixel of an image buffer holds. Stored in one byte; values are fixed.
enum TPixelKind : uint8_t {
    pkNone = 0,      // no image
    pk1Bit = 1,      // 8 pixels a byte, leftmost in bit 7; 1 = white, 0 = black
    pk8Palette = 2,  // one byte: index into the 256-entry palette
    pk8Gray = 3,     // one byte: 0 black .. 255 white
    pk16Gray = 4,    // one little-endian 16-bit word: 0 .. 65535
    pk24RGB = 5,     // three bytes: blue, green, red
};

// Where the pixels of an image buffer live.
enum TPixelStorage : uint8_t {
    psMemory = 0,    // one heap block, rows bottom-up
    psTempFile = 1,  // a memory-mapped temporary file, rows top-down
    psSurface = 2,   // a drawing surface (TSurface) with a canvas
};

// How a conversion to 1 bit per pixel decides black or white.
enum TBWConversion : uint8_t {
    bwOrdered = 0,    // 8 x 8 ordered dither
    bwThreshold = 1,  // automatic mean threshold
};

// A colour value: red in the lowest byte, then green, then blue (0x00BBGGRR).
using TColor = uint32_t;

constexpr TColor MakeColor(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr uint8_t ColorR(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t ColorG(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t ColorB(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// One palette entry or one 24-bit pixel, in memory order blue, green, red.
struct TRGB {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    friend constexpr bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3, "TRGB must be exactly three bytes");

constexpr TRGB ToRGB(TColor c) { return TRGB{ColorB(c), ColorG(c), ColorR(c)}; }
constexpr TColor ToColor(TRGB p) { return MakeColor(p.r, p.g, p.b); }

// Bits per pixel of a kind: 0, 1, 8, 8, 16, 24.
constexpr int32_t KindBitCount(TPixelKind kind) {
    switch (kind) {
    case pk1Bit: return 1;
    case pk8Palette:
    case pk8Gray: return 8;
    case pk16Gray: return 16;
    case pk24RGB: return 24;
    default: return 0;
    }
}

// Bytes per row: padded to a multiple of four bytes.
constexpr int32_t RowLenFor(int32_t width, int32_t bitCount) {
    return static_cast<int32_t>(((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4);
}

}  // namespace luma
