// Exact quarter and half turns.
//
// Byte pixels are moved tile by tile (64 x 64 pixels), so that the rows a tile reads and the
// rows it writes stay in the first-level cache while the pixels cross over. 1-bit planes are
// turned eight rows by eight columns at a time: the eight source bytes form an 8 x 8 bit
// matrix that is transposed inside one 64-bit word.

#include <algorithm>
#include <cstring>

#include "imaging/flip.h"
#include "imaging/rotate.h"

namespace luma {
namespace {

constexpr int32_t kTile = 64;

template <int32_t Bpp>
inline void CopyPixel(uint8_t* d, const uint8_t* s) {
    if constexpr (Bpp == 1) {
        d[0] = s[0];
    } else {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

template <int32_t Bpp>
void TurnTiled(const TPlaneView& s, const TPlaneView& t, bool clockwise) {
    const int32_t w = s.width;
    const int32_t h = s.height;
    for (int32_t j0 = 0; j0 < h; j0 += kTile) {
        const int32_t n = std::min(h, j0 + kTile) - j0;
        for (int32_t i0 = 0; i0 < w; i0 += kTile) {
            const int32_t i1 = std::min(w, i0 + kTile);
            for (int32_t i = i0; i < i1; ++i) {
                // Source column i, rows j0 .. j0 + n - 1, becomes a run of target row pixels.
                uint8_t* d;
                const uint8_t* p;
                std::ptrdiff_t step;
                if (!clockwise) {
                    d = t.Row(w - 1 - i) + static_cast<std::ptrdiff_t>(j0) * Bpp;
                    p = s.Row(j0) + static_cast<std::ptrdiff_t>(i) * Bpp;
                    step = s.stride;
                } else {
                    d = t.Row(i) + static_cast<std::ptrdiff_t>(j0) * Bpp;
                    p = s.Row(h - 1 - j0) + static_cast<std::ptrdiff_t>(i) * Bpp;
                    step = -s.stride;
                }
                int32_t k = 0;
                if constexpr (Bpp == 3) {
                    // Four-byte moves: the byte read past the pixel is the next pixel of the
                    // same source row (i + 1 < w), and the byte written past it is overwritten
                    // by the next pixel of the run; the last pixel of the run moves three bytes.
                    if (i + 1 < w) {
                        for (; k + 1 < n; ++k) {
                            uint32_t v;
                            std::memcpy(&v, p, 4);
                            std::memcpy(d, &v, 4);
                            d += 3;
                            p += step;
                        }
                    }
                }
                for (; k < n; ++k) {
                    CopyPixel<Bpp>(d, p);
                    d += Bpp;
                    p += step;
                }
            }
        }
    }
}

template <int32_t Bpp>
void HalfTurnRows(const TPlaneView& s, const TPlaneView& t) {
    const int32_t w = s.width;
    for (int32_t y = 0; y < s.height; ++y) {
        const uint8_t* p = s.Row(y);
        uint8_t* d = t.Row(s.height - 1 - y) + static_cast<std::ptrdiff_t>(w - 1) * Bpp;
        for (int32_t x = 0; x < w; ++x) {
            CopyPixel<Bpp>(d, p);
            p += Bpp;
            d -= Bpp;
        }
    }
}

// Transposes an 8 x 8 bit matrix held row by row, first row in the top byte and first column
// in the top bit of each byte.
inline uint64_t Transpose8x8(uint64_t x) {
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x ^= t ^ (t << 28);
    return x;
}

}  // namespace

void QuarterTurnBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                      bool clockwise) {
    if (source.width <= 0 || source.height <= 0) return;
    if (bytesPerPixel == 3) {
        TurnTiled<3>(source, target, clockwise);
    } else {
        TurnTiled<1>(source, target, clockwise);
    }
}

void HalfTurnBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel) {
    if (source.width <= 0 || source.height <= 0) return;
    if (bytesPerPixel == 3) {
        HalfTurnRows<3>(source, target);
    } else {
        HalfTurnRows<1>(source, target);
    }
}

void CopyPlaneBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel) {
    const auto bytes = static_cast<size_t>(source.width) * static_cast<size_t>(bytesPerPixel);
    for (int32_t y = 0; y < source.height; ++y) std::memcpy(target.Row(y), source.Row(y), bytes);
}

void QuarterTurn1Bit(const TPlaneView& source, const TPlaneView& target, bool clockwise) {
    const int32_t w = source.width;
    const int32_t h = source.height;
    if (w <= 0 || h <= 0) return;
    const int32_t sourceBytes = (w + 7) / 8;
    // Bands of 64 source rows keep the target writes of one band within eight bytes per row.
    for (int32_t band = 0; band < h; band += 64) {
        const int32_t bandEnd = std::min(h, band + 64);
        for (int32_t bx = 0; bx < sourceBytes; ++bx) {
            const int32_t columns = std::min(8, w - bx * 8);
            for (int32_t j0 = band; j0 < bandEnd; j0 += 8) {
                // Row r of the block is target column j0 + r; the source row it comes from
                // depends on the direction. Rows past the end read as 0.
                uint64_t m = 0;
                for (int32_t r = 0; r < 8; ++r) {
                    const int32_t j = j0 + r;
                    uint8_t b = 0;
                    if (j < h) b = source.Row(clockwise ? h - 1 - j : j)[bx];
                    m |= static_cast<uint64_t>(b) << (8 * (7 - r));
                }
                m = Transpose8x8(m);
                for (int32_t c = 0; c < columns; ++c) {
                    const int32_t i = bx * 8 + c;
                    const auto out = static_cast<uint8_t>(m >> (8 * (7 - c)));
                    target.Row(clockwise ? i : w - 1 - i)[j0 / 8] = out;
                }
            }
        }
    }
}

void HalfTurn1Bit(const TPlaneView& source, const TPlaneView& target) {
    for (int32_t y = 0; y < source.height; ++y) {
        MirrorRow1Bit(source.Row(y), target.Row(source.height - 1 - y), source.width);
    }
}

}  // namespace luma
