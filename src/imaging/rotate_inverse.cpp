// Rotation by inverse mapping with nearest pixels, used for 1-bit images (and the 8-bit alpha
// planes that go with them), where blending is meaningless. Each target pixel is traced back
// to a source pixel with sine and cosine cut to four decimals; the truncating arithmetic is
// split into a per-column and a per-row part, so the inner loop only adds two integers.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/rotate.h"

namespace luma {
namespace {

inline int64_t Trunc(double v) { return static_cast<int64_t>(v); }

// The source offsets of the columns and rows of the target, and the percent reporter.
struct TMapping {
    std::vector<int64_t> colX;
    std::vector<int64_t> colY;
    double cx = 0;
    double cy = 0;
    double tcy = 0;

    TMapping(const TInverseMap& m, int32_t width, int32_t height)
        : colX(static_cast<size_t>(m.width)), colY(static_cast<size_t>(m.width)) {
        cx = width / 2.0 - 0.5;
        cy = height / 2.0 - 0.5;
        const double tcx = m.width / 2.0 - 0.5;
        tcy = m.height / 2.0 - 0.5;
        for (int32_t k = 0; k < m.width; ++k) {
            const double dx = k - tcx;
            colX[static_cast<size_t>(k)] = Trunc(m.cs * dx);
            colY[static_cast<size_t>(k)] = Trunc(-m.sn * dx);
        }
    }
};

}  // namespace

TInverseMap ComputeInverseMap(double angle, int32_t width, int32_t height) {
    TInverseMap m;
    const double r = -angle * std::numbers::pi / 180.0;
    m.cs = std::trunc(std::cos(r) * 10000.0) / 10000.0;
    m.sn = std::trunc(std::sin(r) * 10000.0) / 10000.0;
    const double w = width;
    const double h = height;
    // With sine and cosine cut short a thin image can come out 0 pixels wide or high (a
    // 1-pixel row turned by 90.0001 degrees); keep at least one pixel.
    m.width = std::max<int32_t>(1, static_cast<int32_t>(std::abs(w * m.cs) + std::abs(h * m.sn)));
    m.height = std::max<int32_t>(1, static_cast<int32_t>(std::abs(-m.sn * w) + std::abs(m.cs * h)));
    return m;
}

void InverseMapRotate1Bit(const TPlaneView& source, const TPlaneView& target,
                          const TInverseMap& map, bool white, const TRotateProgress& progress) {
    const int32_t w = source.width;
    const int32_t h = source.height;
    const TMapping mp(map, w, h);
    const int32_t bytes = (map.width + 7) / 8;
    const uint8_t outside = white ? 1 : 0;
    for (int32_t o = 0; o < map.height; ++o) {
        const double dy = o - mp.tcy;
        const int64_t rowX = Trunc(mp.cx + map.sn * dy);
        const int64_t rowY = Trunc(mp.cy + map.cs * dy);
        uint8_t* d = target.Row(o);
        for (int32_t bx = 0; bx < bytes; ++bx) {
            const int32_t k0 = bx * 8;
            const int32_t n = std::min(8, map.width - k0);
            uint32_t acc = 0;
            for (int32_t b = 0; b < n; ++b) {
                const auto k = static_cast<size_t>(k0 + b);
                const int64_t sx = rowX + mp.colX[k];
                const int64_t sy = rowY + mp.colY[k];
                uint32_t bit = outside;
                if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                    const uint8_t* s = source.Row(static_cast<int32_t>(sy));
                    bit = (s[sx >> 3] >> (7 - (sx & 7))) & 1u;
                }
                acc |= bit << (7 - b);
            }
            d[bx] = static_cast<uint8_t>(acc);
        }
        if (progress) {
            progress(static_cast<int32_t>((o + 1) * (100.0 / (map.height + 0.5))));
        }
    }
}

void InverseMapRotate8Bit(const TPlaneView& source, const TPlaneView& target,
                          const TInverseMap& map, uint8_t background) {
    const int32_t w = source.width;
    const int32_t h = source.height;
    const TMapping mp(map, w, h);
    for (int32_t o = 0; o < map.height; ++o) {
        const double dy = o - mp.tcy;
        const int64_t rowX = Trunc(mp.cx + map.sn * dy);
        const int64_t rowY = Trunc(mp.cy + map.cs * dy);
        uint8_t* d = target.Row(o);
        for (int32_t k = 0; k < map.width; ++k) {
            const int64_t sx = rowX + mp.colX[static_cast<size_t>(k)];
            const int64_t sy = rowY + mp.colY[static_cast<size_t>(k)];
            d[k] = (sx >= 0 && sx < w && sy >= 0 && sy < h)
                       ? source.Row(static_cast<int32_t>(sy))[sx]
                       : background;
        }
    }
}

}  // namespace luma
