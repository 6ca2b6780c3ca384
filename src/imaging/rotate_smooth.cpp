// Interpolating rotation by any angle: every target pixel is traced back about the centres of
// target and source and sampled bilinearly (2 x 2 pixels) or bicubically (4 x 4 pixels, the
// Keys kernel with a = -0.5). The source is surrounded by three background pixels on every
// side, which gives the edges a soft transition, and the margin is cut off the result again.
// Samples falling outside the margin are background too.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/rotate.h"

namespace luma {
namespace {

constexpr int32_t kMargin = 3;

inline double Cubic(double x) {
    constexpr double a = -0.5;
    x = std::abs(x);
    if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0) return ((a * x - 5.0 * a) * x + 8.0 * a) * x - 4.0 * a;
    return 0.0;
}

inline uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
}

template <int32_t Bpp, bool Bicubic>
void SmoothRotateT(const TPlaneView& s, const TPlaneView& t, double angle, const uint8_t* bg,
                   const TRotateProgress& progress) {
    const double rad = angle * std::numbers::pi / 180.0;
    const double cs = std::cos(rad);
    const double sn = std::sin(rad);
    const int32_t w = s.width;
    const int32_t h = s.height;
    const TSmoothSize size = ComputeSmoothSize(angle, w, h);
    const int32_t enlargedW = w + 2 * kMargin;
    const int32_t enlargedH = h + 2 * kMargin;
    const double tcx = (size.width + 2 * kMargin - 1) / 2.0;
    const double tcy = (size.height + 2 * kMargin - 1) / 2.0;
    const double scx = (enlargedW - 1) / 2.0;
    const double scy = (enlargedH - 1) / 2.0;

    // A pixel of the original picture, or the background off it (the margin and beyond).
    auto at = [&](int64_t x, int64_t y) -> const uint8_t* {
        if (x < 0 || y < 0 || x >= w || y >= h) return bg;
        return s.Row(static_cast<int32_t>(y)) + x * Bpp;
    };

    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* d = t.Row(y);
        const double dy = y + kMargin - tcy;
        for (int32_t x = 0; x < size.width; ++x, d += Bpp) {
            const double dx = x + kMargin - tcx;
            // Position in the original picture (the enlarged one less its margin).
            const double sx = cs * dx - sn * dy + scx - kMargin;
            const double sy = sn * dx + cs * dy + scy - kMargin;
            const double fx0 = std::floor(sx);
            const double fy0 = std::floor(sy);
            const double fx = sx - fx0;
            const double fy = sy - fy0;
            const auto x0 = static_cast<int64_t>(fx0);
            const auto y0 = static_cast<int64_t>(fy0);
            double acc[Bpp] = {};
            if constexpr (!Bicubic) {
                const uint8_t* p00 = at(x0, y0);
                const uint8_t* p10 = at(x0 + 1, y0);
                const uint8_t* p01 = at(x0, y0 + 1);
                const uint8_t* p11 = at(x0 + 1, y0 + 1);
                for (int32_t c = 0; c < Bpp; ++c) {
                    const double top = p00[c] + (p10[c] - p00[c]) * fx;
                    const double bottom = p01[c] + (p11[c] - p01[c]) * fx;
                    acc[c] = top + (bottom - top) * fy;
                }
            } else {
                double wx[4];
                double wy[4];
                for (int32_t i = 0; i < 4; ++i) {
                    wx[i] = Cubic(fx - (i - 1));
                    wy[i] = Cubic(fy - (i - 1));
                }
                for (int32_t j = 0; j < 4; ++j) {
                    for (int32_t i = 0; i < 4; ++i) {
                        const uint8_t* p = at(x0 + i - 1, y0 + j - 1);
                        const double weight = wx[i] * wy[j];
                        for (int32_t c = 0; c < Bpp; ++c) acc[c] += weight * p[c];
                    }
                }
            }
            for (int32_t c = 0; c < Bpp; ++c) d[c] = ToByte(acc[c]);
        }
        if (progress) progress(static_cast<int32_t>((y + 1) * (100.0 / (size.height + 0.5))));
    }
}

}  // namespace

TSmoothSize ComputeSmoothSize(double angle, int32_t width, int32_t height) {
    const double rad = angle * std::numbers::pi / 180.0;
    const double c = std::abs(std::cos(rad));
    const double s = std::abs(std::sin(rad));
    const double w = width + 2.0 * kMargin - 1.0;
    const double h = height + 2.0 * kMargin - 1.0;
    const auto tw = static_cast<int32_t>(std::nearbyint(c * w + s * h));
    const auto th = static_cast<int32_t>(std::nearbyint(s * w + c * h));
    // A one-pixel picture turned by a small angle would otherwise lose its last pixel.
    return TSmoothSize{std::max(1, tw - 2 * kMargin), std::max(1, th - 2 * kMargin)};
}

void SmoothRotate(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                  double angle, int32_t method, const uint8_t* background,
                  const TRotateProgress& progress) {
    if (source.width <= 0 || source.height <= 0) return;
    const bool bicubic = method == 2;
    if (bytesPerPixel == 3) {
        if (bicubic) {
            SmoothRotateT<3, true>(source, target, angle, background, progress);
        } else {
            SmoothRotateT<3, false>(source, target, angle, background, progress);
        }
    } else {
        if (bicubic) {
            SmoothRotateT<1, true>(source, target, angle, background, progress);
        } else {
            SmoothRotateT<1, false>(source, target, angle, background, progress);
        }
    }
}

}  // namespace luma
