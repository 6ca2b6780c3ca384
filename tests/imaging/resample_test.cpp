// The scalers: contributor lists, the two-pass filtered scaler (plain and vector paths), the
// plain scaler, the fast linear scaler and the area scaler.

#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/plane_mask.h"
#include "imaging/resample_contributors.h"

namespace luma {
namespace {

using TPixelFn = std::function<TRGB(int32_t x, int32_t y)>;

void Make24(TImageBuffer& image, int32_t w, int32_t h, const TPixelFn& fn) {
    image.Allocate(w, h, pk24RGB);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const TRGB p = fn(x, y);
            row[3 * x] = p.b;
            row[3 * x + 1] = p.g;
            row[3 * x + 2] = p.r;
        }
    }
}

TRGB Pixel(const TImageBuffer& image, int32_t x, int32_t y) {
    const uint8_t* p = image.ScanLine(y) + 3 * x;
    return TRGB{p[0], p[1], p[2]};
}

TRGB Gray(uint8_t v) { return TRGB{v, v, v}; }

// Noise with flat patches and hard edges, so that overshoot, clamping and every tail path of the
// vector code are exercised.
TPixelFn PhotoLike(uint32_t seed) {
    auto values = std::make_shared<std::vector<uint8_t>>(4096 * 3);
    std::mt19937 rng(seed);
    for (auto& v : *values) v = static_cast<uint8_t>(rng());
    return [values](int32_t x, int32_t y) {
        if ((x / 7 + y / 5) % 3 == 0) return TRGB{255, 0, 255};
        if ((x / 11) % 4 == 1) return TRGB{0, 0, 0};
        const size_t i = static_cast<size_t>((x * 31 + y * 17) % 4096) * 3;
        return TRGB{(*values)[i], (*values)[i + 1], (*values)[i + 2]};
    };
}

bool SamePixels(const TImageBuffer& a, const TImageBuffer& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelKind() != b.PixelKind()) return false;
    const int32_t bytes = (a.Width() * a.BitCount() + 7) / 8;
    for (int32_t y = 0; y < a.Height(); ++y) {
        if (!std::equal(a.ScanLine(y), a.ScanLine(y) + bytes, b.ScanLine(y))) return false;
    }
    return true;
}

// ---- contributor lists -------------------------------------------------------------------

TEST(ResampleContributors, EnlargingTwoToFourWithTriangle) {
    const auto lists = BuildContributors(2, 4, rfTriangle);
    ASSERT_EQ(lists.size(), 4u);
    // Column 1: centre 1/3, weights round(2/3 x 256) and round(1/3 x 256).
    ASSERT_EQ(lists[1].items.size(), 2u);
    EXPECT_EQ(lists[1].items[0].pixel, 0);
    EXPECT_EQ(lists[1].items[0].weight, 171);
    EXPECT_EQ(lists[1].items[1].pixel, 1);
    EXPECT_EQ(lists[1].items[1].weight, 85);
    // Column 3: centre exactly 1.0, source column 1 alone.
    ASSERT_EQ(lists[3].items.size(), 1u);
    EXPECT_EQ(lists[3].items[0].pixel, 1);
    EXPECT_EQ(lists[3].items[0].weight, 256);
}

TEST(ResampleContributors, ShrinkingThousandToHundredWithLanczos3) {
    const auto lists = BuildContributors(1000, 100, rfLanczos3);
    ASSERT_EQ(lists.size(), 100u);
    // Radius 3 / (99 / 999) = 30.27 source pixels: room for trunc(2 x 30.27 + 1) = 61.
    size_t most = 0;
    for (const auto& list : lists) {
        EXPECT_EQ(list.capacity, 61);
        most = std::max(most, list.items.size());
    }
    EXPECT_LE(most, 61u);
    EXPECT_GE(most, 40u);
}

TEST(ResampleContributors, ListsStayWithinTheirRoomAndTheImage) {
    const int32_t sizes[][2] = {{2, 4}, {3, 2}, {10, 3}, {7, 7}, {100, 33}, {5, 17}, {1, 9}, {9, 1}, {640, 100}};
    for (int f = rfTriangle; f <= rfLinear; ++f) {
        for (const auto& s : sizes) {
            const auto lists = BuildContributors(s[0], s[1], static_cast<TResampleFilter>(f));
            for (const auto& list : lists) {
                SCOPED_TRACE(testing::Message() << "filter " << f << ", " << s[0] << " -> " << s[1]);
                EXPECT_LE(static_cast<int32_t>(list.items.size()), list.capacity);
                int32_t sum = 0;
                for (const auto& c : list.items) {
                    EXPECT_GE(c.pixel, 0);
                    EXPECT_LT(c.pixel, s[0]);
                    EXPECT_NE(c.weight, 0);
                    sum += c.weight;
                }
                EXPECT_EQ(sum, list.weightSum);
                int32_t spanSum = 0;
                for (int32_t w : list.weights) spanSum += w;
                EXPECT_EQ(spanSum, list.weightSum);
            }
        }
    }
}

TEST(ResampleContributors, ScaleAndMirrorRules) {
    EXPECT_DOUBLE_EQ(ContributorScale(5, 1), 1.0 / 5.0);
    EXPECT_DOUBLE_EQ(ContributorScale(1, 7), 7.0);
    EXPECT_DOUBLE_EQ(ContributorScale(1000, 100), 99.0 / 999.0);
    EXPECT_EQ(MirrorIndex(-1, 5), 1);
    EXPECT_EQ(MirrorIndex(3, 5), 3);
    EXPECT_EQ(MirrorIndex(5, 5), 4);
    EXPECT_EQ(MirrorIndex(6, 5), 3);
    // Wider than the image: limited after mirroring.
    EXPECT_EQ(MirrorIndex(-7, 3), 2);
    EXPECT_EQ(MirrorIndex(9, 3), 0);
}

TEST(ResampleContributors, KernelValues) {
    struct Case {
        TResampleFilter filter;
        double x;
        double value;
    };
    const Case cases[] = {
        {rfTriangle, 0.25, 0.75},      {rfTriangle, -1.0, 0.0},
        {rfHermite, 0.5, 0.5},         {rfBell, 0.0, 0.75},
        {rfBell, 1.0, 0.125},          {rfBell, 1.5, 0.0},
        {rfBSpline, 0.0, 2.0 / 3.0},   {rfBSpline, 1.0, 1.0 / 6.0},
        {rfLanczos3, 0.0, 1.0},        {rfMitchell, 0.0, 8.0 / 9.0},
        {rfMitchell, 1.0, 1.0 / 18.0}, {rfNearest, 0.5, 1.0},
        {rfNearest, -0.5, 0.0},        {rfLinear, -1.0, 0.0},
        {rfLinear, 0.5, 0.5},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(FilterSpec(c.filter).kernel(c.x), c.value, 1e-12) << int(c.filter) << " at " << c.x;
    }
    EXPECT_NEAR(FilterSpec(rfLanczos3).kernel(1.0), 0.0, 1e-15);
    EXPECT_LT(FilterSpec(rfLanczos3).kernel(1.5), 0.0);
    EXPECT_EQ(FilterSpec(rfLanczos3).support, 3.0);
    EXPECT_EQ(FilterSpec(rfBell).support, 1.5);
    EXPECT_EQ(FilterSpec(rfNone).kernel, nullptr);
}

TEST(ResampleContributors, ExtremeShrinkKeepsEveryListFilled) {
    // Every weight of 256 x 0.75 x 2/1999 rounds to zero; such lists take the nearest pixel.
    const auto lists = BuildContributors(2000, 3, rfBell);
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].items.size(), 1u);
    EXPECT_EQ(lists[0].items[0].pixel, 0);
    EXPECT_EQ(lists[1].items[0].pixel, 1000);
    EXPECT_EQ(lists[2].items[0].pixel, 1999);
}

// ---- two-pass filtered scaler ----------------------------------------------------------------

TEST(ResampleTwoPass, TriangleTwoByTwoToFourByFour) {
    TImageBuffer source;
    const TRGB colors[2][2] = {{{0, 10, 200}, {255, 40, 0}}, {{100, 100, 100}, {0, 0, 50}}};
    Make24(source, 2, 2, [&](int32_t x, int32_t y) { return colors[y][x]; });
    for (TScalerPath path : {TScalerPath::Plain, TScalerPath::Best}) {
        TImageBuffer target;
        target.Allocate(4, 4, pk24RGB);
        ScaleFiltered(source, target, rfTriangle, {}, path);
        // Row 3 and column 3 copy source row 1 / column 1 exactly.
        EXPECT_EQ(Pixel(target, 3, 0), colors[0][1]);
        EXPECT_EQ(Pixel(target, 3, 3), colors[1][1]);
        EXPECT_EQ(Pixel(target, 0, 3), colors[1][0]);
        EXPECT_EQ(Pixel(target, 0, 0), colors[0][0]);
        // Column 1 of row 0: (171 a + 85 b) div 256 per channel.
        const TRGB a = colors[0][0];
        const TRGB b = colors[0][1];
        EXPECT_EQ(Pixel(target, 1, 0), (TRGB{uint8_t((171 * a.b + 85 * b.b) / 256),
                                             uint8_t((171 * a.g + 85 * b.g) / 256),
                                             uint8_t((171 * a.r + 85 * b.r) / 256)}));
    }
}

TEST(ResampleTwoPass, OvershootAtEdgesIsClamped) {
    // A black-to-white step: the negative lobes push sums beyond 0..255 next to the edge.
    for (TResampleFilter filter : {rfMitchell, rfLanczos3}) {
        TImageBuffer source;
        Make24(source, 12, 2, [](int32_t x, int32_t) { return Gray(x < 6 ? 0 : 255); });
        TImageBuffer target;
        target.Allocate(31, 2, pk24RGB);
        ScaleFiltered(source, target, filter, {}, TScalerPath::Plain);
        const auto lists = BuildContributors(12, 31, filter);
        bool sawHigh = false;
        bool sawLow = false;
        for (int32_t x = 0; x < 31; ++x) {
            int32_t sum = 0;
            for (const auto& c : lists[static_cast<size_t>(x)].items) sum += c.weight * (c.pixel < 6 ? 0 : 255);
            const int32_t q = sum / lists[static_cast<size_t>(x)].Divisor();
            if (q > 255) {
                sawHigh = true;
                EXPECT_EQ(Pixel(target, x, 0).g, 255) << x;
            } else if (q < 0) {
                sawLow = true;
                EXPECT_EQ(Pixel(target, x, 0).g, 0) << x;
            } else {
                EXPECT_EQ(Pixel(target, x, 0).g, q) << x;
            }
        }
        EXPECT_TRUE(sawHigh) << int(filter);
        EXPECT_TRUE(sawLow) << int(filter);
    }
}

TEST(ResampleTwoPass, VectorPathMatchesPlainPathBitForBit) {
    if (!ResampleVectorPathAvailable()) GTEST_SKIP() << "no vector path on this processor";
    const int32_t sizes[][4] = {
        {40, 30, 17, 11},  {37, 29, 101, 67}, {64, 48, 64, 48}, {5, 3, 2, 7},   {200, 9, 1, 3},
        {3, 50, 70, 1},    {120, 80, 13, 9},  {33, 2, 66, 4},   {2, 2, 35, 33}, {300, 20, 299, 19},
    };
    for (int f = rfTriangle; f <= rfLinear; ++f) {
        const auto filter = static_cast<TResampleFilter>(f);
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << "filter " << f << ": " << s[0] << "x" << s[1] << " -> "
                                            << s[2] << "x" << s[3]);
            TImageBuffer source;
            Make24(source, s[0], s[1], PhotoLike(static_cast<uint32_t>(f * 100 + s[0])));
            TImageBuffer plain;
            TImageBuffer fast;
            plain.Allocate(s[2], s[3], pk24RGB);
            fast.Allocate(s[2], s[3], pk24RGB);
            ScaleFiltered(source, plain, filter, {}, TScalerPath::Plain);
            ScaleFiltered(source, fast, filter, {}, TScalerPath::Best);
            EXPECT_TRUE(SamePixels(plain, fast));

            // One channel: an 8-bit plane and a 1-bit image.
            TPlaneMask plane(s[0], s[1], 8);
            for (int32_t y = 0; y < s[1]; ++y) {
                for (int32_t x = 0; x < s[0]; ++x) plane.Row(y)[x] = Pixel(source, x, y).g;
            }
            TPlaneMask planePlain(s[2], s[3], 8);
            TPlaneMask planeFast(s[2], s[3], 8);
            ScalePlaneFiltered(plane, planePlain, filter, TScalerPath::Plain);
            ScalePlaneFiltered(plane, planeFast, filter, TScalerPath::Best);
            for (int32_t y = 0; y < s[3]; ++y) {
                ASSERT_TRUE(std::equal(planePlain.Row(y), planePlain.Row(y) + s[2], planeFast.Row(y))) << y;
            }

            TImageBuffer bits;
            bits.Allocate(s[0], s[1], pk1Bit);
            bits.Fill(0);
            for (int32_t y = 0; y < s[1]; ++y) {
                for (int32_t x = 0; x < s[0]; ++x) {
                    if (Pixel(source, x, y).r > 127) bits.ScanLine(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
                }
            }
            ScaleFiltered(bits, plain, filter, {}, TScalerPath::Plain);
            ScaleFiltered(bits, fast, filter, {}, TScalerPath::Best);
            EXPECT_TRUE(SamePixels(plain, fast));
        }
    }
}

// The scaler computes target rows from a small ring of filtered rows; the literal procedure
// (whole work image first, then column by column) must give the same pixels.
TEST(ResampleTwoPass, MatchesTheLiteralTwoPassProcedure) {
    const int32_t sizes[][4] = {{9, 300, 5, 13}, {50, 7, 120, 41}, {31, 23, 31, 60}, {4, 90, 4, 2}};
    for (TResampleFilter filter : {rfBell, rfLanczos3, rfBSpline}) {
        for (const auto& s : sizes) {
            const int32_t sw = s[0], sh = s[1], dw = s[2], dh = s[3];
            TImageBuffer source;
            Make24(source, sw, sh, PhotoLike(static_cast<uint32_t>(sw * sh)));
            const auto clampDiv = [](int32_t sum, const TContributorList& list) {
                return static_cast<uint8_t>(std::clamp(sum / list.Divisor(), 0, 255));
            };
            const auto columns = BuildContributors(sw, dw, filter);
            std::vector<uint8_t> work(static_cast<size_t>(dw) * sh * 3);
            for (int32_t r = 0; r < sh; ++r) {
                for (int32_t i = 0; i < dw; ++i) {
                    for (int32_t c = 0; c < 3; ++c) {
                        int32_t sum = 0;
                        for (const auto& k : columns[static_cast<size_t>(i)].items) {
                            sum += k.weight * source.ScanLine(r)[3 * k.pixel + c];
                        }
                        work[(static_cast<size_t>(r) * dw + i) * 3 + c] = clampDiv(sum, columns[static_cast<size_t>(i)]);
                    }
                }
            }
            const auto rows = BuildContributors(sh, dh, filter);
            TImageBuffer target;
            target.Allocate(dw, dh, pk24RGB);
            ScaleFiltered(source, target, filter);
            for (int32_t k = 0; k < dw; ++k) {
                for (int32_t i = 0; i < dh; ++i) {
                    for (int32_t c = 0; c < 3; ++c) {
                        int32_t sum = 0;
                        for (const auto& e : rows[static_cast<size_t>(i)].items) {
                            sum += e.weight * work[(static_cast<size_t>(e.pixel) * dw + k) * 3 + c];
                        }
                        ASSERT_EQ(target.ScanLine(i)[3 * k + c], clampDiv(sum, rows[static_cast<size_t>(i)]))
                            << "filter " << int(filter) << ", " << sw << "x" << sh << " -> " << dw << "x" << dh
                            << " at " << k << "," << i;
                    }
                }
            }
        }
    }
}

TEST(ResampleTwoPass, OneBitSourceGivesGrayLevels) {
    TImageBuffer bits;
    bits.Allocate(16, 4, pk1Bit);
    for (int32_t y = 0; y < 4; ++y) bits.ScanLine(y)[0] = bits.ScanLine(y)[1] = 0xF0;  // 4 white, 4 black
    for (TResampleFilter filter : {rfTriangle, rfHermite, rfFastLinear, rfBilinear, rfBicubic}) {
        TImageBuffer target;
        target.Allocate(6, 3, pk24RGB);
        ScaleFiltered(bits, target, filter);
        bool sawMid = false;
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 6; ++x) {
                const TRGB p = Pixel(target, x, y);
                EXPECT_EQ(p.b, p.g);
                EXPECT_EQ(p.g, p.r);
                if (p.g > 0 && p.g < 255) sawMid = true;
            }
        }
        EXPECT_TRUE(sawMid) << int(filter);
        EXPECT_EQ(Pixel(target, 0, 0).g, 255) << int(filter);
    }
}

TEST(ResampleTwoPass, OtherKindsAreReadAsTwentyFourBit) {
    TImageBuffer gray;
    gray.Allocate(9, 5, pk8Gray);
    TImageBuffer wide;
    wide.Allocate(9, 5, pk16Gray);
    TImageBuffer palette;
    palette.Allocate(9, 5, pk8Palette);
    for (int i = 0; i < 256; ++i) palette.SetPaletteEntry(i, Gray(uint8_t(255 - i)));
    TImageBuffer rgb;
    Make24(rgb, 9, 5, [](int32_t x, int32_t y) { return Gray(uint8_t(x * 29 + y * 7)); });
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 9; ++x) {
            const uint8_t v = Pixel(rgb, x, y).g;
            gray.ScanLine(y)[x] = v;
            wide.ScanLine(y)[2 * x] = 0x7F;
            wide.ScanLine(y)[2 * x + 1] = v;
            palette.ScanLine(y)[x] = uint8_t(255 - v);
        }
    }
    TImageBuffer expected;
    expected.Allocate(4, 7, pk24RGB);
    ScaleFiltered(rgb, expected, rfHermite);
    for (const TImageBuffer* source : {&gray, &wide, &palette}) {
        TImageBuffer target;
        target.Allocate(4, 7, pk24RGB);
        ScaleFiltered(*source, target, rfHermite);
        EXPECT_TRUE(SamePixels(expected, target)) << int(source->PixelKind());
    }
}

TEST(ResampleTwoPass, OnePixelSourceIsReplicated) {
    TImageBuffer source;
    Make24(source, 1, 1, [](int32_t, int32_t) { return TRGB{1, 2, 3}; });
    for (TResampleFilter filter : {rfBell, rfLanczos3, rfFastLinear, rfBicubic}) {
        TImageBuffer target;
        target.Allocate(5, 4, pk24RGB);
        target.Fill(clBlack);
        ScaleFiltered(source, target, filter);
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(Pixel(target, x, y), (TRGB{1, 2, 3}));
        }
    }
}

TEST(ResampleTwoPass, ExtremeShrinkIsNotBlack) {
    TImageBuffer source;
    Make24(source, 3000, 2, [](int32_t, int32_t) { return Gray(200); });
    TImageBuffer target;
    target.Allocate(4, 2, pk24RGB);
    ScaleFiltered(source, target, rfBell);
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(Pixel(target, x, 1), Gray(200));
}

TEST(ResampleTwoPass, ProgressRisesToTheEnd) {
    TImageBuffer source;
    Make24(source, 30, 20, PhotoLike(3));
    TImageBuffer target;
    target.Allocate(12, 50, pk24RGB);
    std::vector<int32_t> seen;
    ScaleFiltered(source, target, rfBell, [&](int32_t p) { seen.push_back(p); });
    // One report per target row; the end is trunc((sh + dw) x 100 / (sh + dw + 0.5)).
    ASSERT_EQ(seen.size(), 50u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.front(), 0);
    EXPECT_EQ(seen.back(), int32_t(32 * (100.0 / 32.5)));
}

// ---- plain scaler -------------------------------------------------------------------------

TEST(ResamplePlain, PicksColumnsByTruncation) {
    struct Case {
        TPixelKind kind;
        int32_t from;
        int32_t to;
        std::vector<int32_t> columns;
    };
    const Case cases[] = {
        {pk24RGB, 3, 2, {0, 1}}, {pk24RGB, 2, 3, {0, 0, 1}}, {pk8Gray, 3, 2, {0, 1}},
        {pk8Palette, 2, 3, {0, 0, 1}}, {pk16Gray, 3, 2, {0, 1}}, {pk1Bit, 3, 2, {0, 1}},
        {pk1Bit, 2, 3, {0, 0, 1}}, {pk1Bit, 10, 19, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << ", " << c.from << " -> " << c.to);
        TImageBuffer source;
        source.Allocate(c.from, 2, c.kind);
        TImageBuffer target;
        target.Allocate(c.to, 3, c.kind);
        const int32_t bpp = source.BitCount();
        for (int32_t y = 0; y < 2; ++y) {
            uint8_t* row = source.ScanLine(y);
            std::fill(row, row + source.RowLen(), 0);
            for (int32_t x = 0; x < c.from; ++x) {
                if (bpp == 1) {
                    if ((x + y) % 2 == 1) row[x / 8] |= uint8_t(0x80 >> (x % 8));
                } else {
                    for (int32_t b = 0; b < bpp / 8; ++b) row[x * bpp / 8 + b] = uint8_t(10 * x + 100 * y + b);
                }
            }
        }
        if (c.kind == pk8Palette) source.SetPaletteEntry(7, TRGB{7, 8, 9});
        ScalePlain(source, target);
        // Rows: 2 -> 3 takes 0, 0, 1.
        const int32_t rowOf[3] = {0, 0, 1};
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < c.to; ++x) {
                const int32_t sx = c.columns[static_cast<size_t>(x)];
                const int32_t sy = rowOf[y];
                if (bpp == 1) {
                    const bool bit = (target.ScanLine(y)[x / 8] & (0x80 >> (x % 8))) != 0;
                    EXPECT_EQ(bit, (sx + sy) % 2 == 1) << x << "," << y;
                } else {
                    for (int32_t b = 0; b < bpp / 8; ++b) {
                        EXPECT_EQ(target.ScanLine(y)[x * bpp / 8 + b], source.ScanLine(sy)[sx * bpp / 8 + b]);
                    }
                }
            }
        }
        if (c.kind == pk8Palette) {
            EXPECT_EQ(target.PaletteEntry(7), (TRGB{7, 8, 9}));
        }
    }
}

// ---- fast linear and area scalers ----------------------------------------------------------

TEST(ResampleFastLinear, InterpolatesAndAveragesAsSpecified) {
    TPlaneMask source(4, 1, 8);
    const uint8_t values[4] = {0, 255, 90, 30};
    std::copy_n(values, 4, source.Row(0));

    // Enlarging 4 -> 8: half-way values truncate toward zero: 0 -> 255 gives 127, 255 -> 90 gives
    // 255 + (-165 / 2) = 173.
    TPlaneMask wide(8, 1, 8);
    ScalePlaneFiltered(source, wide, rfFastLinear);
    const uint8_t expectedWide[8] = {0, 127, 255, 173, 90, 60, 30, 30};
    EXPECT_TRUE(std::equal(expectedWide, expectedWide + 8, wide.Row(0)));

    // Shrinking 4 -> 2: target 0 averages sources 0..2 (both ends included), target 1 is source 2.
    TPlaneMask narrow(2, 1, 8);
    ScalePlaneFiltered(source, narrow, rfFastLinear);
    EXPECT_EQ(narrow.Row(0)[0], (0 + 255 + 90) / 3);
    EXPECT_EQ(narrow.Row(0)[1], 90);

    // Rows the same way: 3 rows -> 6.
    TPlaneMask column(1, 3, 8);
    column.Row(0)[0] = 255;
    column.Row(1)[0] = 0;
    column.Row(2)[0] = 100;
    TPlaneMask tall(1, 6, 8);
    ScalePlaneFiltered(column, tall, rfBicubic);  // planes take the fast linear scaler
    const uint8_t expectedTall[6] = {255, 128, 0, 50, 100, 100};
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(tall.Row(y)[0], expectedTall[y]) << y;

    // Same size: a copy.
    TPlaneMask same(4, 1, 8);
    ScalePlaneFiltered(source, same, rfFastLinear);
    EXPECT_TRUE(std::equal(values, values + 4, same.Row(0)));
}

TEST(ResampleArea, FlatAreasStayFlatAndEdgesStayInRange) {
    const int32_t sizes[][2] = {{7, 5}, {40, 30}, {13, 60}};
    for (bool bicubic : {false, true}) {
        for (const auto& s : sizes) {
            TImageBuffer flat;
            Make24(flat, 20, 15, [](int32_t, int32_t) { return TRGB{200, 13, 77}; });
            TImageBuffer target;
            target.Allocate(s[0], s[1], pk24RGB);
            ScaleFiltered(flat, target, bicubic ? rfBicubic : rfBilinear);
            for (int32_t y = 0; y < s[1]; ++y) {
                for (int32_t x = 0; x < s[0]; ++x) {
                    ASSERT_EQ(Pixel(target, x, y), (TRGB{200, 13, 77})) << bicubic << " " << s[0] << "x" << s[1] << " at " << x << "," << y;
                }
            }
        }
        // A step enlarged: monotonic from black to white for bilinear, within range for bicubic.
        TImageBuffer step;
        Make24(step, 4, 2, [](int32_t x, int32_t) { return Gray(x < 2 ? 0 : 255); });
        TImageBuffer target;
        target.Allocate(16, 2, pk24RGB);
        ScaleFiltered(step, target, bicubic ? rfBicubic : rfBilinear);
        EXPECT_EQ(Pixel(target, 0, 0).g, 0);
        EXPECT_EQ(Pixel(target, 15, 0).g, 255);
        if (!bicubic) {
            for (int32_t x = 1; x < 16; ++x) EXPECT_GE(Pixel(target, x, 0).g, Pixel(target, x - 1, 0).g);
        }
    }
}

}  // namespace
}  // namespace luma
