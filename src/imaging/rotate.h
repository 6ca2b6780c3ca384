#pragma once
// Pixel-level rotation algorithms, independent of TImageBuffer.
//
// Every routine works on TPlaneView: a first-row pointer, a signed distance between rows and a
// size. Rows are top first; 24-bit pixels are blue, green, red; 8-bit pixels are one byte; 1-bit
// rows are packed eight pixels a byte with the leftmost pixel in the most significant bit.
//
// What lives here:
//  - exact quarter and half turns (cache-blocked for byte pixels, 8 x 8 bit-block transposes
//    for 1-bit rows);
//  - the three-shear rotation of 24-bit and 8-bit planes by at most 45 degrees, optionally
//    smoothed with 12-bit weights;
//  - the inverse-mapping rotation of 1-bit and 8-bit planes (nearest pixel, sine and cosine cut
//    to four decimals);
//  - the interpolating rotation (bilinear or bicubic) with a three-pixel margin.
// image_proc_rotate.cpp chooses between them and moves the results into the image.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace luma {

struct TPlaneView {
    uint8_t* base = nullptr;  // row 0 (the top row)
    std::ptrdiff_t stride = 0;  // bytes from one row to the next (may be negative)
    int32_t width = 0;   // pixels
    int32_t height = 0;  // rows

    uint8_t* Row(int32_t r) const { return base + static_cast<std::ptrdiff_t>(r) * stride; }
};

// Percent reports, 0..100; may be empty.
using TRotateProgress = std::function<void(int32_t percent)>;

// --- quarter and half turns of 8-bit (bytesPerPixel 1) and 24-bit (3) planes ---
// The target must be source.height x source.width (quarter) or the source size (half).
// Counter-clockwise: target (x = j, y = W - 1 - i) = source (x = i, y = j).
// Clockwise:         target (x = j, y = i)         = source (x = i, y = H - 1 - j).
void QuarterTurnBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                      bool clockwise);
void HalfTurnBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel);
// Copies the pixel bytes of every row (the padding is left alone).
void CopyPlaneBytes(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel);

// --- quarter and half turns of 1-bit planes, bit-exact ---
// Target bits beyond its width are written as 0.
void QuarterTurn1Bit(const TPlaneView& source, const TPlaneView& target, bool clockwise);
void HalfTurn1Bit(const TPlaneView& source, const TPlaneView& target);

// --- three-shear rotation ---
// Sizes of the three shears for a residual angle c (degrees, |c| <= 45, c != 0) of a w x h
// plane. Shear 1 yields l x h, shear 2 l x o, shear 3 w2 x o.
struct TShearGeometry {
    double f = 0;  // the angle in radians
    double g = 0;  // |tan(f / 2)|
    double h = 0;  // |sin f|
    int32_t width = 0;   // w
    int32_t height = 0;  // h
    int32_t l = 0;   // width after shear 1
    int32_t u = 0;   // height of shear 2 before trimming
    int32_t t = 0;   // trim of shear 2 at top and bottom
    int32_t o = 0;   // height after shear 2 (and the final height)
    int32_t u2 = 0;  // trim of shear 3 on the left
    int32_t w2 = 0;  // final width
};
TShearGeometry ComputeShearGeometry(double c, int32_t width, int32_t height);

// Rotates source (geometry.width x geometry.height) into target (geometry.w2 x geometry.o)
// through two scratch planes. background: bytesPerPixel bytes. Progress runs over the
// h + l + o rows and columns of the three shears.
void ShearRotate(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                 const TShearGeometry& geometry, bool smooth, const uint8_t* background,
                 const TRotateProgress& progress);

// One row of a shear: the source run of `count` pixels is placed at `shift` in a target run of
// `targetCount` pixels (pixels falling outside are dropped, the rest is background). With
// smoothing, pixel k of the run blends source k - 1 (background before the first) with
// weight w1 and source k with 4096 - w1; when w1 > 0 one more pixel after the run blends the
// last source pixel with the background. Exposed for tests.
void ShearRun(const uint8_t* source, int32_t count, uint8_t* target, int32_t targetCount,
              int32_t shift, int32_t bytesPerPixel, bool smooth, int32_t w1,
              const uint8_t* background);

// --- inverse-mapping rotation (1-bit images and their 8-bit alpha planes) ---
// angle in degrees, counter-clockwise. Sine and cosine are cut to four decimals.
struct TInverseMap {
    double cs = 0;
    double sn = 0;
    int32_t width = 0;
    int32_t height = 0;
};
TInverseMap ComputeInverseMap(double angle, int32_t width, int32_t height);
// Target is map.width x map.height. Points outside the source take `white` (1-bit) or
// `background` (8-bit).
void InverseMapRotate1Bit(const TPlaneView& source, const TPlaneView& target,
                          const TInverseMap& map, bool white, const TRotateProgress& progress);
void InverseMapRotate8Bit(const TPlaneView& source, const TPlaneView& target,
                          const TInverseMap& map, uint8_t background);

// --- interpolating rotation (method 1 bilinear, 2 bicubic) of 24-bit (3) or 8-bit (1) planes ---
// The source is taken with a margin of three background pixels on every side; the result is
// the turned, enlarged picture with that margin cut off again.
struct TSmoothSize {
    int32_t width = 0;
    int32_t height = 0;
};
TSmoothSize ComputeSmoothSize(double angle, int32_t width, int32_t height);
void SmoothRotate(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                  double angle, int32_t method, const uint8_t* background,
                  const TRotateProgress& progress);

}  // namespace luma
