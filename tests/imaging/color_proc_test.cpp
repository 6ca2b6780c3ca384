// The colour operations of TImageProc: ConvertTo, ConvertToPalette, the black-and-white
// conversions, ConvertToGray, and the automatic thresholds.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "imaging/bw_convert.h"
#include "imaging/color_quantizer.h"
#include "imaging/gray.h"
#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "support/pictures.h"

namespace luma {
namespace {

TRGB At(const TImageBuffer& image, int32_t x, int32_t y) {
    const uint8_t* p = image.ScanLine(y) + x * 3;
    return TRGB{p[0], p[1], p[2]};
}

bool Bit(const TImageBuffer& image, int32_t x, int32_t y) {
    return (image.ScanLine(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
}

std::vector<TRGB> Pixels(const TImageBuffer& image) {
    std::vector<TRGB> out;
    for (int32_t y = 0; y < image.Height(); ++y) {
        for (int32_t x = 0; x < image.Width(); ++x) out.push_back(At(image, x, y));
    }
    return out;
}

std::set<uint32_t> DistinctColors(const TImageBuffer& image) {
    std::set<uint32_t> out;
    for (const TRGB& c : Pixels(image)) out.insert(ToColor(c));
    return out;
}

TRGB PhotoPixel(int32_t x, int32_t y) {
    const uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u);
    const int noise = static_cast<int>(h % 7) - 3;
    auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return TRGB{clamp(x * 2 + noise), clamp(y * 3 - noise), clamp(200 - x - y + noise)};
}

TRGB ListedColor(int32_t k) {
    return TRGB{static_cast<uint8_t>(k), static_cast<uint8_t>(k * 3), static_cast<uint8_t>(k / 2)};
}

// Records progress reports and change notifications.
struct TWatch {
    std::vector<int32_t> progress;
    int changes = 0;
    void Attach(TImageProc& proc) {
        proc.OnProgress = [this](int32_t p) { progress.push_back(p); };
        proc.SetOnChanged([this] { ++changes; });
    }
};

TEST(ColorProc, ConvertToKeepsImagesWithFewColours) {
    struct TCase {
        int32_t distinct;
        int32_t colors;
    };
    for (const TCase c : {TCase{200, 256}, TCase{16, 16}, TCase{3, 3}, TCase{1000, 1024}}) {
        TImageBuffer image;
        test::MakePicture(image, 41, 30, [&](int32_t x, int32_t y) { return ListedColor((y * 41 + x) % c.distinct); });
        const std::vector<TRGB> before = Pixels(image);
        TImageProc proc(&image);
        proc.ConvertTo(c.colors, false);
        EXPECT_EQ(image.PixelKind(), pk24RGB);
        EXPECT_EQ(Pixels(image), before) << c.distinct << " colours, n = " << c.colors;
    }
}

TEST(ColorProc, ConvertTo256OfThreeHundredColoursUsesTheNetwork) {
    TImageBuffer image;
    test::MakePicture(image, 50, 40, [](int32_t x, int32_t y) { return ListedColor((y * 50 + x) % 300); });
    std::vector<TRGB> palette(256);
    TImageProc proc(&image);
    proc.ConvertToPalette(256, palette.data(), false);
    const std::set<uint32_t> result = DistinctColors(image);
    EXPECT_LE(result.size(), 256u);
    const std::set<uint32_t> paletteSet = [&] {
        std::set<uint32_t> s;
        for (const TRGB& c : palette) s.insert(ToColor(c));
        return s;
    }();
    for (uint32_t c : result) EXPECT_TRUE(paletteSet.count(c)) << std::hex << c;
}

TEST(ColorProc, ConvertTo16OfAPhoto) {
    TImageBuffer image;
    test::MakePicture(image, 96, 64, PhotoPixel);
    TImageProc proc(&image);
    TWatch watch;
    watch.Attach(proc);
    proc.ConvertTo(16, false);
    const std::set<uint32_t> result = DistinctColors(image);
    EXPECT_LE(result.size(), 16u);
    EXPECT_GT(result.size(), 8u);
    for (uint32_t c : result) {
        EXPECT_EQ(c & 0x070707u, 0u) << std::hex << c;
    }
    // Progress after every row: trunc(rows x (100 / (64 + 0.5))).
    ASSERT_EQ(watch.progress.size(), 64u);
    EXPECT_EQ(watch.progress.front(), 1);
    EXPECT_EQ(watch.progress[31], 49);
    EXPECT_EQ(watch.progress.back(), 99);
    EXPECT_EQ(watch.changes, 1);
}

TEST(ColorProc, ConvertTo256OfAGrayImageChangesNothing) {
    TImageBuffer image;
    test::MakePicture(image, 300, 20, [](int32_t x, int32_t y) {
        const auto v = static_cast<uint8_t>((x + y * 7) % 256);
        return TRGB{v, v, v};
    });
    const std::vector<TRGB> before = Pixels(image);
    TImageProc proc(&image);
    proc.ConvertTo(256, false);
    EXPECT_EQ(Pixels(image), before);
}

TEST(ColorProc, ConvertToTwoColours) {
    const auto midGray = [](int32_t, int32_t) { return TRGB{128, 128, 128}; };
    {
        // Ordered dither: level 128 div 4 = 32, white exactly where the matrix is below 32.
        TImageBuffer image;
        test::MakePicture(image, 16, 16, midGray);
        TImageProc proc(&image);
        proc.ConvertTo(2, false);
        ASSERT_EQ(image.PixelKind(), pk1Bit);
        int white = 0;
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 16; ++x) white += Bit(image, x, y) ? 1 : 0;
        }
        EXPECT_EQ(white, 128);
        EXPECT_TRUE(Bit(image, 0, 0));    // D[0][0] = 0
        EXPECT_FALSE(Bit(image, 1, 0));   // D[1][0] = 48
        EXPECT_FALSE(Bit(image, 0, 1));   // D[0][1] = 32 is not below 32
        EXPECT_TRUE(Bit(image, 4, 4));    // D[4][4] = 1
    }
    {
        // With the threshold flag: the mean of a uniform image is its own level, so all white.
        TImageBuffer image;
        test::MakePicture(image, 16, 16, midGray);
        std::vector<TRGB> palette(2);
        TImageProc proc(&image);
        proc.ConvertToPalette(2, palette.data(), true);
        ASSERT_EQ(image.PixelKind(), pk1Bit);
        EXPECT_TRUE(Bit(image, 0, 0));
        EXPECT_TRUE(Bit(image, 15, 15));
        EXPECT_EQ(palette[0], (TRGB{0, 0, 0}));
        EXPECT_EQ(palette[1], (TRGB{255, 255, 255}));
    }
}

TEST(ColorProc, DoesNothingOutsideItsLimits) {
    // More than 1,024 colours, and kinds other than 24-bit.
    TImageBuffer image;
    test::MakePicture(image, 20, 10, PhotoPixel);
    const std::vector<TRGB> before = Pixels(image);
    TImageProc proc(&image);
    TWatch watch;
    watch.Attach(proc);
    proc.ConvertTo(2000, false);
    proc.ConvertTo(1025, true);
    EXPECT_EQ(Pixels(image), before);

    TImageBuffer gray;
    gray.Allocate(8, 2, pk8Gray);
    gray.Fill(77);
    TImageProc grayProc(&gray);
    grayProc.OnProgress = proc.OnProgress;
    grayProc.ConvertTo(2, false);
    grayProc.ConvertToBWThreshold(-1);
    grayProc.ConvertToBWOrdered();
    grayProc.ConvertToGray();
    EXPECT_EQ(gray.PixelKind(), pk8Gray);
    EXPECT_EQ(gray.ScanLine(1)[7], 77);

    TImageBuffer empty;
    TImageProc emptyProc(&empty);
    emptyProc.ConvertTo(256, false);
    EXPECT_EQ(empty.PixelKind(), pkNone);
    EXPECT_TRUE(watch.progress.empty());
    EXPECT_EQ(watch.changes, 0);
}

TEST(ColorProc, QuantizerReadsOnlyTwentyFourBitBuffers) {
    // An 8-bit buffer has a third of the bytes a 24-bit row walk would read.
    TImageBuffer gray;
    gray.Allocate(40, 30, pk8Gray);
    gray.Fill(200);
    std::vector<TRGB> palette(16, TRGB{5, 5, 5});
    TColorQuantizer q(gray, 16, palette.data());
    EXPECT_EQ(q.Path(), TColorQuantizer::qpExact);
    EXPECT_EQ(q.PaletteCount(), 0);
    EXPECT_EQ(palette[0], (TRGB{5, 5, 5}));
}

TEST(ColorProc, AutomaticThresholdOfHalfBlackHalfWhite) {
    TImageBuffer image;
    test::MakePicture(image, 10, 4, [](int32_t x, int32_t) {
        return x < 5 ? TRGB{0, 0, 0} : TRGB{255, 255, 255};
    });
    EXPECT_EQ(MeanColor(image), (TRGB{127, 127, 127}));
    EXPECT_EQ(MeanThreshold(image), 127);
    TImageProc proc(&image);
    proc.ConvertToBWThreshold(-1);
    ASSERT_EQ(image.PixelKind(), pk1Bit);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(Bit(image, x, y), x >= 5) << x << "," << y;
    }
}

TEST(ColorProc, FixedThreshold) {
    // gray8 of 128,128,128 is 128 and of 127,127,127 is 127.
    TImageBuffer image;
    test::MakePicture(image, 2, 1, [](int32_t x, int32_t) {
        const auto v = static_cast<uint8_t>(128 - x);
        return TRGB{v, v, v};
    });
    TImageProc proc(&image);
    proc.ConvertToBWThreshold(128);
    ASSERT_EQ(image.PixelKind(), pk1Bit);
    EXPECT_TRUE(Bit(image, 0, 0));
    EXPECT_FALSE(Bit(image, 1, 0));
}

TEST(ColorProc, MeanColourRowByRow) {
    // Per row the integer mean of each channel, these summed and divided by the height:
    // blue (0 + 255 div 3) div 2 = 42, red (0 + 100 div 3) div 2 = 16.
    TImageBuffer image;
    test::MakePicture(image, 3, 2, [](int32_t x, int32_t y) {
        return y == 1 && x == 0 ? TRGB{255, 0, 100} : TRGB{0, 0, 0};
    });
    EXPECT_EQ(MeanColor(image), (TRGB{42, 0, 16}));

    TImageBuffer empty;
    EXPECT_EQ(MeanColor(empty), (TRGB{128, 128, 128}));
    EXPECT_EQ(MeanThreshold(empty), 128);

    // Other kinds: a set bit counts 255, a 16-bit level its high byte.
    TImageBuffer bits;
    bits.Allocate(9, 1, pk1Bit);
    bits.ScanLine(0)[0] = 0xF0;  // four white pixels of nine
    bits.ScanLine(0)[1] = 0x7F;  // the ninth pixel black; the other bits are padding
    EXPECT_EQ(MeanColor(bits), (TRGB{113, 113, 113}));
    TImageBuffer deep;
    deep.Allocate(2, 1, pk16Gray);
    const uint8_t levels[4] = {0xFF, 0x10, 0x00, 0x20};  // 0x10FF and 0x2000
    std::copy(levels, levels + 4, deep.ScanLine(0));
    EXPECT_EQ(MeanThreshold(deep), 24);
}

TEST(ColorProc, MaximumEntropyThreshold) {
    // Three gray levels: 40 (half the pixels), 120 and 200 (a quarter each). The best split
    // puts 40 alone below the threshold, which is then 41.
    TImageBuffer image;
    test::MakePicture(image, 4, 4, [](int32_t x, int32_t) {
        const uint8_t v = x < 2 ? 40 : (x == 2 ? 120 : 200);
        return TRGB{v, v, v};
    });
    EXPECT_EQ(MaxEntropyThreshold(TRgbRows(image)), 41);

    // Two levels: every split between them has entropy 0; the first one still separates them,
    // instead of the whole image turning white.
    TImageBuffer two;
    test::MakePicture(two, 4, 2, [](int32_t x, int32_t) {
        const uint8_t v = x < 2 ? 10 : 240;
        return TRGB{v, v, v};
    });
    EXPECT_EQ(MaxEntropyThreshold(TRgbRows(two)), 11);
    TImageProc proc(&two);
    proc.ConvertToBWThreshold(-2);
    ASSERT_EQ(two.PixelKind(), pk1Bit);
    EXPECT_FALSE(Bit(two, 0, 0));
    EXPECT_TRUE(Bit(two, 3, 1));

    // One level: no split exists.
    TImageBuffer flat;
    test::MakePicture(flat, 3, 3, [](int32_t, int32_t) { return TRGB{9, 9, 9}; });
    EXPECT_EQ(MaxEntropyThreshold(TRgbRows(flat)), -2);
}

TEST(ColorProc, ConvertToGray) {
    TImageBuffer image;
    const TRGB colors[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    test::MakePicture(image, 4, 1, [&](int32_t x, int32_t) { return colors[x]; });
    TImageProc proc(&image);
    proc.ConvertToGray();
    ASSERT_EQ(image.PixelKind(), pk24RGB);
    const uint8_t expected[4] = {53, 181, 20, 255};
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(At(image, x, 0), (TRGB{expected[x], expected[x], expected[x]})) << x;
    }
}

}  // namespace
}  // namespace luma
