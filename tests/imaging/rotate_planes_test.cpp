// The pixel-level rotation and mirroring routines, checked against per-pixel definitions and
// hand-computed sizes.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/flip.h"
#include "imaging/rotate.h"

namespace luma {
namespace {

// A plane with its own bytes, rows padded to four bytes like an image buffer.
struct TPlane {
    std::vector<uint8_t> bytes;
    TPlaneView view;
    int32_t bits = 0;

    TPlane(int32_t width, int32_t height, int32_t bitsPerPixel) : bits(bitsPerPixel) {
        const int32_t stride = ((width * bitsPerPixel + 31) / 32) * 4;
        bytes.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
        view = TPlaneView{bytes.data(), stride, width, height};
    }
    TPlane(const TPlane& other) : bytes(other.bytes), view(other.view), bits(other.bits) {
        view.base = bytes.data();
    }
    TPlane& operator=(const TPlane&) = delete;
    void Randomise(uint32_t seed) {
        std::mt19937 rng(seed);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    }
    int Bit(int32_t x, int32_t y) const { return (view.Row(y)[x / 8] >> (7 - x % 8)) & 1; }
    const uint8_t* Pixel(int32_t x, int32_t y) const {
        return view.Row(y) + static_cast<std::ptrdiff_t>(x) * (bits / 8);
    }
    // The bits after the last pixel of each row's last byte.
    bool TailBitsClear() const {
        const int32_t rest = view.width % 8;
        if (rest == 0) return true;
        const auto mask = static_cast<uint8_t>(0xFF >> rest);
        for (int32_t y = 0; y < view.height; ++y) {
            if (view.Row(y)[view.width / 8] & mask) return false;
        }
        return true;
    }
};

// Source pixel of target (x, y) for a counter-clockwise or clockwise quarter turn.
void QuarterSource(bool clockwise, int32_t w, int32_t h, int32_t x, int32_t y, int32_t& sx,
                   int32_t& sy) {
    if (!clockwise) {
        sx = w - 1 - y;
        sy = x;
    } else {
        sx = y;
        sy = h - 1 - x;
    }
}

struct TSize {
    int32_t w;
    int32_t h;
};
// Sizes around the 64-pixel tiles and the 8-pixel bit blocks.
const TSize kSizes[] = {{1, 1}, {3, 5}, {9, 13}, {17, 9}, {64, 65}, {70, 130}, {131, 67}};

TEST(RotatePlanes, ByteQuarterAndHalfTurnsMoveEveryPixelWhereTheDefinitionSays) {
    for (const int32_t bpp : {1, 3}) {
        for (const TSize size : kSizes) {
            SCOPED_TRACE(testing::Message() << bpp << " bytes " << size.w << "x" << size.h);
            TPlane source(size.w, size.h, bpp * 8);
            source.Randomise(static_cast<uint32_t>(size.w * 1000 + size.h));
            for (const bool clockwise : {false, true}) {
                TPlane target(size.h, size.w, bpp * 8);
                QuarterTurnBytes(source.view, target.view, bpp, clockwise);
                for (int32_t y = 0; y < size.w; ++y) {
                    for (int32_t x = 0; x < size.h; ++x) {
                        int32_t sx = 0;
                        int32_t sy = 0;
                        QuarterSource(clockwise, size.w, size.h, x, y, sx, sy);
                        for (int32_t c = 0; c < bpp; ++c) {
                            ASSERT_EQ(target.Pixel(x, y)[c], source.Pixel(sx, sy)[c])
                                << (clockwise ? "cw" : "ccw") << " at " << x << "," << y;
                        }
                    }
                }
            }
            TPlane half(size.w, size.h, bpp * 8);
            HalfTurnBytes(source.view, half.view, bpp);
            for (int32_t y = 0; y < size.h; ++y) {
                for (int32_t x = 0; x < size.w; ++x) {
                    for (int32_t c = 0; c < bpp; ++c) {
                        ASSERT_EQ(half.Pixel(x, y)[c],
                                  source.Pixel(size.w - 1 - x, size.h - 1 - y)[c]);
                    }
                }
            }
        }
    }
}

TEST(RotatePlanes, OneBitTurnsAreBitExactAndLeaveNoStrayBitsPastTheWidth) {
    for (const TSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
        TPlane source(size.w, size.h, 1);
        source.Randomise(static_cast<uint32_t>(size.w * 7 + size.h));
        for (const bool clockwise : {false, true}) {
            TPlane target(size.h, size.w, 1);
            QuarterTurn1Bit(source.view, target.view, clockwise);
            for (int32_t y = 0; y < size.w; ++y) {
                for (int32_t x = 0; x < size.h; ++x) {
                    int32_t sx = 0;
                    int32_t sy = 0;
                    QuarterSource(clockwise, size.w, size.h, x, y, sx, sy);
                    ASSERT_EQ(target.Bit(x, y), source.Bit(sx, sy))
                        << (clockwise ? "cw" : "ccw") << " at " << x << "," << y;
                }
            }
            EXPECT_TRUE(target.TailBitsClear());
        }
        TPlane half(size.w, size.h, 1);
        HalfTurn1Bit(source.view, half.view);
        for (int32_t y = 0; y < size.h; ++y) {
            for (int32_t x = 0; x < size.w; ++x) {
                ASSERT_EQ(half.Bit(x, y), source.Bit(size.w - 1 - x, size.h - 1 - y));
            }
        }
        EXPECT_TRUE(half.TailBitsClear());
    }
}

TEST(RotatePlanes, OneBitMirrorHandlesWidthsThatAreNotMultiplesOfEight) {
    EXPECT_EQ(ReverseBits(0x01), 0x80);
    EXPECT_EQ(ReverseBits(0xB4), 0x2D);
    for (const int32_t width : {1, 7, 8, 9, 13, 16, 17, 63}) {
        SCOPED_TRACE(width);
        TPlane plane(width, 3, 1);
        plane.Randomise(static_cast<uint32_t>(width));
        const TPlane original = plane;
        FlipPlaneHorizontal(plane.view, 1);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                ASSERT_EQ(plane.Bit(x, y), original.Bit(width - 1 - x, y)) << x << "," << y;
            }
        }
        EXPECT_TRUE(plane.TailBitsClear());
    }
    // Width 9: pixels 0 and 8 set (bytes 0x80 0x80) stay at the two ends.
    const uint8_t row[2] = {0x80, 0x80};
    uint8_t out[2] = {0xFF, 0xFF};
    MirrorRow1Bit(row, out, 9);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0x80);
    // Width 13: only pixel 0 set; mirrored it is pixel 12 (second byte, bit 3).
    const uint8_t row13[2] = {0x80, 0x00};
    MirrorRow1Bit(row13, out, 13);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x08);
}

TEST(RotatePlanes, ByteFlipsMirrorOddSizes) {
    TPlane plane(5, 3, 24);
    plane.Randomise(5);
    const TPlane original = plane;
    FlipPlaneHorizontal(plane.view, 24);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                ASSERT_EQ(plane.Pixel(x, y)[c], original.Pixel(4 - x, y)[c]);
            }
        }
    }
    FlipPlaneHorizontal(plane.view, 24);
    FlipPlaneVertical(plane.view, 15);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                ASSERT_EQ(plane.Pixel(x, y)[c], original.Pixel(x, 2 - y)[c]);
            }
        }
    }
}

TEST(RotatePlanes, ShearGeometryOfAHundredSquareByThirtyDegrees) {
    // g = tan 15 = 0.26795, h = sin 30 = 0.5:
    // l = round(100 g + 101) = 128; u = round(100 + 0.5 x 128 + 1) = 165;
    // t = round(0.5 x 28) = 14; o = 165 - 28 = 137; u2 = round(g x 51) = 14;
    // w2 = round(128 + g x 137 + 1 - 28) = round(137.71) = 138.
    const TShearGeometry g = ComputeShearGeometry(30.0, 100, 100);
    EXPECT_EQ(g.l, 128);
    EXPECT_EQ(g.u, 165);
    EXPECT_EQ(g.t, 14);
    EXPECT_EQ(g.o, 137);
    EXPECT_EQ(g.u2, 14);
    EXPECT_EQ(g.w2, 138);
    // The direction does not change the sizes.
    const TShearGeometry n = ComputeShearGeometry(-30.0, 100, 100);
    EXPECT_EQ(n.l, 128);
    EXPECT_EQ(n.o, 137);
    EXPECT_EQ(n.w2, 138);
}

TEST(RotatePlanes, ShearRunPlacesBlendsAndClips) {
    const uint8_t bg = 7;
    const uint8_t src[4] = {11, 101, 201, 255};
    struct TCase {
        const char* name;
        int32_t shift;
        bool smooth;
        int32_t w1;
        std::vector<uint8_t> expected;
    };
    const TCase cases[] = {
        {"plain copy", 2, false, 0, {7, 7, 11, 101, 201, 255, 7, 7}},
        // A whole-pixel shift with smoothing keeps odd values exactly.
        {"smooth, no fraction", 1, true, 0, {7, 11, 101, 201, 255, 7, 7, 7}},
        // Half a pixel: (2048 p + 2048 c + 2048) >> 12, and one more pixel after the run.
        {"smooth, half", 1, true, 2048, {7, 9, 56, 151, 228, 131, 7, 7}},
        // A negative weight extrapolates: (5120 c - 1024 p + 2048) >> 12, clamped to 255
        // for the last pixel (269); no extra pixel after the run.
        {"smooth, negative", 0, true, -1024, {12, 124, 226, 255, 7, 7, 7, 7}},
        {"clipped left", -2, false, 0, {201, 255, 7, 7, 7, 7, 7, 7}},
        {"clipped right", 6, false, 0, {7, 7, 7, 7, 7, 7, 11, 101}},
        // (p + 3 c + 2) >> 2; the extra pixel would fall at 8 and is dropped.
        {"clipped right, smooth tail dropped", 4, true, 1024,
         {7, 7, 7, 7, 10, 79, 176, 242}},
        {"outside", 9, true, 1024, {7, 7, 7, 7, 7, 7, 7, 7}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out(8, 0);
        ShearRun(src, 4, out.data(), 8, c.shift, 1, c.smooth, c.w1, &bg);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(RotatePlanes, InverseMapSizeUsesTruncatedSineAndCosine) {
    // cos 30 cut to 0.866, sin(-30) = -0.49999999999999994 cut to -0.4999:
    // width trunc(86.6 + 24.995) = 111, height trunc(49.99 + 43.3) = 93.
    const TInverseMap m = ComputeInverseMap(30.0, 100, 50);
    EXPECT_DOUBLE_EQ(m.cs, 0.866);
    EXPECT_DOUBLE_EQ(m.sn, -0.4999);
    EXPECT_EQ(m.width, 111);
    EXPECT_EQ(m.height, 93);
    // A single pixel turned just past 90 degrees keeps one pixel.
    const TInverseMap thin = ComputeInverseMap(90.00001, 1, 1);
    EXPECT_EQ(thin.width, 1);
    EXPECT_EQ(thin.height, 1);
}

}  // namespace
}  // namespace luma
