// TImageProc::Rotate and TImageProc::Flip on image buffers: sizes, exact quarter turns,
// orientation of the general-angle paths, background, alpha plane, do-nothing cases.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <numbers>
#include <random>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "imaging/surface.h"

namespace luma {
namespace {

// A pattern in which every pixel of an image up to 4096 x 4096 differs from every other.
TRGB Tag(int32_t x, int32_t y) {
    return TRGB{static_cast<uint8_t>(x & 255), static_cast<uint8_t>(y & 255),
                static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4))};
}

TRGB At(const TImageBuffer& b, int32_t x, int32_t y) {
    const uint8_t* p = b.ScanLine(y) + static_cast<std::ptrdiff_t>(x) * 3;
    return TRGB{p[0], p[1], p[2]};
}

void Put(TImageBuffer& b, int32_t x, int32_t y, TRGB c) {
    uint8_t* p = b.ScanLine(y) + static_cast<std::ptrdiff_t>(x) * 3;
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

void MakeTagged(TImageBuffer& b, int32_t w, int32_t h) {
    b.Allocate(w, h, pk24RGB);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) Put(b, x, y, Tag(x, y));
    }
}

int Bit(const TImageBuffer& b, int32_t x, int32_t y) {
    return (b.ScanLine(y)[x / 8] >> (7 - x % 8)) & 1;
}

void MakeRandomBits(TImageBuffer& b, int32_t w, int32_t h, uint32_t seed) {
    b.Allocate(w, h, pk1Bit);
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t i = 0; i < b.RowLen(); ++i) b.ScanLine(y)[i] = static_cast<uint8_t>(rng());
    }
}

// Pixel bytes of every row (without the padding).
std::vector<uint8_t> PixelBytes(const TImageBuffer& b) {
    const int32_t n = b.PixelKind() == pk1Bit ? (b.Width() + 7) / 8 : b.Width() * b.BitCount() / 8;
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + n);
    return out;
}

const TRGB kBlack{0, 0, 0};
const TRGB kWhite{255, 255, 255};

TEST(Rotate, QuarterTurnsOf640x480MoveEveryPixelExactly) {
    struct TCase {
        double angle;
        bool clockwise;
    };
    // 90 and -270 turn counter-clockwise; 270 and -90 clockwise; whole turns more change nothing.
    const TCase cases[] = {{90, false}, {-270, false}, {450, false},
                           {270, true},  {-90, true},  {-450, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.angle);
        TImageBuffer image;
        MakeTagged(image, 640, 480);
        TImageProc proc(&image);
        proc.Rotate(c.angle, false, 0, clWhite);
        ASSERT_EQ(image.PixelKind(), pk24RGB);
        ASSERT_EQ(image.Width(), 480);
        ASSERT_EQ(image.Height(), 640);
        // The former top-right (or bottom-left) corner first, then every pixel.
        EXPECT_EQ(At(image, 0, 0), c.clockwise ? Tag(0, 479) : Tag(639, 0));
        for (int32_t y = 0; y < 640; ++y) {
            for (int32_t x = 0; x < 480; ++x) {
                const TRGB expected = c.clockwise ? Tag(y, 479 - x) : Tag(639 - y, x);
                ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(Rotate, HalfAndWholeTurnsOfA24BitImage) {
    TImageBuffer image;
    MakeTagged(image, 33, 17);
    const std::vector<uint8_t> original = PixelBytes(image);
    TImageProc proc(&image);
    for (const double angle : {360.0, -360.0, 720.0, 0.0004}) {
        SCOPED_TRACE(angle);
        proc.Rotate(angle, false, 0, clBlack);
        ASSERT_EQ(image.Width(), 33);
        ASSERT_EQ(image.Height(), 17);
        EXPECT_EQ(PixelBytes(image), original);
    }
    proc.Rotate(180, false, 0, clBlack);
    ASSERT_EQ(image.Width(), 33);
    for (int32_t y = 0; y < 17; ++y) {
        for (int32_t x = 0; x < 33; ++x) ASSERT_EQ(At(image, x, y), Tag(32 - x, 16 - y));
    }
}

TEST(Rotate, AHundredSquareBy30GrowsAsTheThreeShearsSayWithBackgroundCorners) {
    // First shear 128 columns, then 137 rows and 138 columns (worked out in the plane tests).
    const TRGB fill{10, 20, 30};
    TImageBuffer image;
    image.Allocate(100, 100, pk24RGB);
    image.Fill(ToColor(fill));
    TImageProc proc(&image);
    proc.Background = MakeColor(1, 2, 3);
    std::vector<int32_t> progress;
    proc.OnProgress = [&](int32_t p) { progress.push_back(p); };
    proc.Rotate(30, false, 0, 0xFFFFFFFF);  // -1: the processing object's background
    EXPECT_EQ(image.Width(), 138);
    EXPECT_EQ(image.Height(), 137);
    const TRGB bg = ToRGB(MakeColor(1, 2, 3));
    EXPECT_EQ(At(image, 0, 0), bg);
    EXPECT_EQ(At(image, 137, 0), bg);
    EXPECT_EQ(At(image, 0, 136), bg);
    EXPECT_EQ(At(image, 137, 136), bg);
    EXPECT_EQ(At(image, 69, 68), fill);
    // One report per row or column of the three shears: 100 + 128 + 137.
    ASSERT_EQ(progress.size(), 365u);
    for (size_t i = 1; i < progress.size(); ++i) ASSERT_LE(progress[i - 1], progress[i]);
    EXPECT_GE(progress.back(), 99);
    EXPECT_LE(progress.back(), 100);
}

TEST(Rotate, SmoothedShearsKeepAUniformInteriorExact) {
    // Odd channel values: a whole-pixel shift or a blend of two equal pixels must give them back.
    const TRGB fill{101, 57, 203};
    for (const double angle : {30.0, -17.5, 110.0}) {
        SCOPED_TRACE(angle);
        TImageBuffer image;
        image.Allocate(60, 40, pk24RGB);
        image.Fill(ToColor(fill));
        TImageProc proc(&image);
        proc.Rotate(angle, true, 0, clBlack);
        const int32_t cx = image.Width() / 2;
        const int32_t cy = image.Height() / 2;
        for (int32_t y = cy - 6; y <= cy + 6; ++y) {
            for (int32_t x = cx - 6; x <= cx + 6; ++x) ASSERT_EQ(At(image, x, y), fill);
        }
        EXPECT_EQ(At(image, 0, 0), kBlack);
    }
}

// Where the centre of a small white block ends up, against an exact counter-clockwise turn
// about the image centres: catches a shear or a mapping that turns the wrong way.
struct TOrientationCase {
    const char* name;
    double angle;
    bool oneBit;
    bool smooth;
    uint8_t method;
};

void PrintTo(const TOrientationCase& c, std::ostream* os) { *os << c.name; }

class RotateOrientation : public testing::TestWithParam<TOrientationCase> {};

TEST_P(RotateOrientation, BlockLandsWhereAnExactTurnPutsIt) {
    const TOrientationCase& c = GetParam();
    const int32_t w = 120;
    const int32_t h = 80;
    TImageBuffer image;
    image.Allocate(w, h, c.oneBit ? pk1Bit : pk24RGB);
    image.Fill(0);
    image.FillRect(100, 10, 107, 17, c.oneBit ? 1 : clWhite);
    TImageProc proc(&image);
    proc.Rotate(c.angle, c.smooth, c.method, clBlack);

    double sx = 0;
    double sy = 0;
    double n = 0;
    for (int32_t y = 0; y < image.Height(); ++y) {
        for (int32_t x = 0; x < image.Width(); ++x) {
            const bool on = c.oneBit ? Bit(image, x, y) != 0 : At(image, x, y).g > 128;
            if (on) {
                sx += x;
                sy += y;
                n += 1;
            }
        }
    }
    ASSERT_GT(n, 30);
    const double a = c.angle * std::numbers::pi / 180.0;
    const double rx = 103.5 - (w - 1) / 2.0;
    const double ry = 13.5 - (h - 1) / 2.0;
    const double ex = rx * std::cos(a) + ry * std::sin(a) + (image.Width() - 1) / 2.0;
    const double ey = -rx * std::sin(a) + ry * std::cos(a) + (image.Height() - 1) / 2.0;
    EXPECT_NEAR(sx / n, ex, 2.0);
    EXPECT_NEAR(sy / n, ey, 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RotateOrientation,
    testing::Values(TOrientationCase{"shear_30", 30, false, false, 0},
                    TOrientationCase{"shear_minus_30", -30, false, false, 0},
                    TOrientationCase{"shear_45", 45, false, true, 0},
                    TOrientationCase{"turn_and_shear_130", 130, false, false, 0},
                    TOrientationCase{"turn_and_shear_minus_100", -100, false, true, 0},
                    TOrientationCase{"bilinear_30", 30, false, true, 1},
                    TOrientationCase{"bicubic_minus_60", -60, false, true, 2},
                    TOrientationCase{"one_bit_30", 30, true, false, 0},
                    TOrientationCase{"one_bit_minus_135", -135, true, false, 0}),
    [](const testing::TestParamInfo<TOrientationCase>& p) { return p.param.name; });

TEST(Rotate, OneBitExactTurnsStayOneBit) {
    struct TCase {
        double angle;
        int turn;  // 1 counter-clockwise, -1 clockwise, 2 half
    };
    for (const TCase c : {TCase{90, 1}, TCase{270, -1}, TCase{-90, -1}, TCase{180, 2},
                          TCase{-180, 2}}) {
        SCOPED_TRACE(c.angle);
        TImageBuffer source;
        MakeRandomBits(source, 37, 21, 3);
        TImageBuffer image;
        image.Assign(source);
        TImageProc proc(&image);
        proc.Rotate(c.angle, false, 0, clWhite);
        ASSERT_EQ(image.PixelKind(), pk1Bit);
        ASSERT_EQ(image.Width(), c.turn == 2 ? 37 : 21);
        ASSERT_EQ(image.Height(), c.turn == 2 ? 21 : 37);
        for (int32_t y = 0; y < image.Height(); ++y) {
            for (int32_t x = 0; x < image.Width(); ++x) {
                int32_t sx = 0;
                int32_t sy = 0;
                if (c.turn == 1) {
                    sx = 36 - y;
                    sy = x;
                } else if (c.turn == -1) {
                    sx = y;
                    sy = 20 - x;
                } else {
                    sx = 36 - x;
                    sy = 20 - y;
                }
                ASSERT_EQ(Bit(image, x, y), Bit(source, sx, sy)) << x << "," << y;
            }
        }
    }
}

TEST(Rotate, OneBitBy30GrowsToTheBoundingBoxWithBackgroundCorners) {
    struct TCase {
        TColor background;
        int corner;
    };
    // Only a background with all three components non-zero counts as white.
    for (const TCase c : {TCase{clBlack, 0}, TCase{MakeColor(255, 0, 0), 0}, TCase{clWhite, 1},
                          TCase{MakeColor(1, 1, 1), 1}}) {
        SCOPED_TRACE(c.background);
        TImageBuffer image;
        image.Allocate(100, 50, pk1Bit);
        image.Fill(1);
        TImageProc proc(&image);
        proc.Rotate(30, false, 0, c.background);
        ASSERT_EQ(image.PixelKind(), pk1Bit);
        // trunc(100 x 0.866 + 50 x 0.4999) by trunc(100 x 0.4999 + 50 x 0.866).
        ASSERT_EQ(image.Width(), 111);
        ASSERT_EQ(image.Height(), 93);
        EXPECT_EQ(Bit(image, 0, 0), c.corner);
        EXPECT_EQ(Bit(image, 110, 0), c.corner);
        EXPECT_EQ(Bit(image, 0, 92), c.corner);
        EXPECT_EQ(Bit(image, 110, 92), c.corner);
        EXPECT_EQ(Bit(image, 55, 46), 1);
    }
}

TEST(Rotate, InterpolatingRotationSizeAndInterior) {
    // (100 + 6 - 1) x (cos 30 + sin 30) = 143.4 -> 143, less the 6-pixel margin: 137 x 137.
    const TRGB fill{101, 57, 203};
    for (const uint8_t method : {1, 2}) {
        SCOPED_TRACE(static_cast<int>(method));
        TImageBuffer image;
        image.Allocate(100, 100, pk24RGB);
        image.Fill(ToColor(fill));
        TImageProc proc(&image);
        proc.Rotate(30, true, method, clBlack);
        ASSERT_EQ(image.Width(), 137);
        ASSERT_EQ(image.Height(), 137);
        EXPECT_EQ(At(image, 0, 0), kBlack);
        EXPECT_EQ(At(image, 68, 68), fill);
    }
    // A whole multiple of 90 never takes the interpolating path: the turn stays exact.
    TImageBuffer image;
    MakeTagged(image, 30, 20);
    TImageProc proc(&image);
    proc.Rotate(90, true, 2, clBlack);
    ASSERT_EQ(image.Width(), 20);
    EXPECT_EQ(At(image, 0, 0), Tag(29, 0));
}

TEST(Rotate, AlphaPlaneIsTurnedAlongWithTransparentCorners) {
    struct TCase {
        const char* name;
        TPixelKind kind;
        double angle;
        bool smooth;
        uint8_t method;
    };
    const TCase cases[] = {
        {"24-bit shears", pk24RGB, 30, false, 0},
        {"24-bit smoothed shears", pk24RGB, -30, true, 0},
        {"24-bit interpolated", pk24RGB, 30, true, 1},
        {"1-bit inverse mapping", pk1Bit, 30, false, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TImageBuffer image;
        image.Allocate(100, 50, c.kind);
        image.Fill(c.kind == pk1Bit ? 1 : clWhite);
        image.AlphaChannel();
        TImageProc proc(&image);
        proc.Rotate(c.angle, c.smooth, c.method, clWhite);
        ASSERT_TRUE(image.HasAlphaChannel());
        const TImageBuffer& alpha = *image.AlphaPlane();
        ASSERT_EQ(alpha.Width(), image.Width());
        ASSERT_EQ(alpha.Height(), image.Height());
        EXPECT_GT(image.Width(), 100);
        const int32_t r = alpha.Width() - 1;
        const int32_t b = alpha.Height() - 1;
        EXPECT_EQ(alpha.ScanLine(0)[0], 0);
        EXPECT_EQ(alpha.ScanLine(0)[r], 0);
        EXPECT_EQ(alpha.ScanLine(b)[0], 0);
        EXPECT_EQ(alpha.ScanLine(b)[r], 0);
        EXPECT_EQ(alpha.ScanLine(b / 2)[r / 2], 255);
    }
    // Quarter turns move the alpha plane like the pixels.
    for (const TPixelKind kind : {pk24RGB, pk1Bit}) {
        TImageBuffer image;
        image.Allocate(40, 24, kind);
        image.Fill(0);
        image.AlphaChannel().ScanLine(0)[39] = 7;  // top-right
        TImageProc proc(&image);
        proc.Rotate(90, false, 0, clWhite);
        ASSERT_TRUE(image.HasAlphaChannel());
        ASSERT_EQ(image.AlphaPlane()->Width(), 24);
        ASSERT_EQ(image.AlphaPlane()->Height(), 40);
        EXPECT_EQ(image.AlphaPlane()->ScanLine(0)[0], 7);
        EXPECT_EQ(image.AlphaPlane()->ScanLine(39)[23], 255);
    }
}

TEST(Rotate, ImageOnABorrowedSurfaceIsTurnedInThatSurface) {
    // The image component keeps its picture in a surface of its own that the buffer borrows.
    for (const TPixelKind kind : {pk24RGB, pk1Bit}) {
        TSurface surface(40, 24, kind == pk1Bit ? sf1Bit : sf24Bit);
        TImageBuffer image;
        image.WrapSurface(surface, true);
        image.Fill(0);
        if (kind == pk1Bit) {
            image.ScanLine(0)[4] = 0x80;  // pixel (32, 0)
        } else {
            Put(image, 39, 0, kWhite);
        }
        image.AlphaChannel().ScanLine(0)[39] = 7;
        TImageProc proc(&image);
        proc.Rotate(90, false, 0, clWhite);
        ASSERT_EQ(image.Storage(), psSurface);
        ASSERT_EQ(surface.Width(), 24);
        ASSERT_EQ(surface.Height(), 40);
        ASSERT_EQ(image.PixelKind(), kind);
        if (kind == pk1Bit) {
            EXPECT_EQ(Bit(image, 0, 7), 1);  // x = 0, y = 39 - 32
        } else {
            EXPECT_EQ(At(image, 0, 0), kWhite);
        }
        ASSERT_EQ(image.AlphaPlane()->Width(), 24);
        ASSERT_EQ(image.AlphaPlane()->Height(), 40);
        EXPECT_EQ(image.AlphaPlane()->ScanLine(0)[0], 7);
    }
}

TEST(Rotate, DoesNothingWithoutAnImageForOtherKindsAndForAngleZero) {
    TImageBuffer empty;
    TImageProc none(&empty);
    none.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(empty.Width(), 0);
    TImageProc detached;
    detached.Rotate(90, false, 0, clWhite);

    int changes = 0;
    TImageBuffer gray;
    gray.Allocate(7, 3, pk8Gray);
    gray.Fill(9);
    TImageProc grayProc(&gray);
    grayProc.SetOnChanged([&] { ++changes; });
    grayProc.Rotate(90, false, 0, clWhite);
    grayProc.Flip(fdHorizontal);
    EXPECT_EQ(gray.Width(), 7);
    EXPECT_EQ(changes, 0);

    TImageBuffer image;
    MakeTagged(image, 9, 5);
    const std::vector<uint8_t> before = PixelBytes(image);
    TImageProc proc(&image);
    proc.SetOnChanged([&] { ++changes; });
    for (const double angle : {0.0, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()}) {
        proc.Rotate(angle, false, 0, clWhite);
    }
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(image.Width(), 9);
    EXPECT_EQ(PixelBytes(image), before);
    proc.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(changes, 1);
}

TEST(Flip, MirrorsOddWidthsOf24BitAnd1BitImages) {
    for (const int32_t w : {5, 9, 13, 17}) {
        for (const TPixelKind kind : {pk24RGB, pk1Bit}) {
            SCOPED_TRACE(testing::Message() << w << (kind == pk1Bit ? " 1-bit" : " 24-bit"));
            TImageBuffer source;
            if (kind == pk1Bit) {
                MakeRandomBits(source, w, 3, static_cast<uint32_t>(w));
            } else {
                MakeTagged(source, w, 3);
            }
            for (const TFlipDirection direction : {fdHorizontal, fdVertical}) {
                TImageBuffer image;
                image.Assign(source);
                image.AlphaChannel().ScanLine(0)[0] = 1;
                TImageProc proc(&image);
                proc.Flip(direction);
                for (int32_t y = 0; y < 3; ++y) {
                    for (int32_t x = 0; x < w; ++x) {
                        const int32_t sx = direction == fdHorizontal ? w - 1 - x : x;
                        const int32_t sy = direction == fdHorizontal ? y : 2 - y;
                        if (kind == pk1Bit) {
                            ASSERT_EQ(Bit(image, x, y), Bit(source, sx, sy)) << x << "," << y;
                        } else {
                            ASSERT_EQ(At(image, x, y), At(source, sx, sy)) << x << "," << y;
                        }
                    }
                }
                // The alpha plane takes no part in the flip.
                ASSERT_TRUE(image.HasAlphaChannel());
                EXPECT_EQ(image.AlphaPlane()->ScanLine(0)[0], 1);
            }
        }
    }
}

}  // namespace
}  // namespace luma
