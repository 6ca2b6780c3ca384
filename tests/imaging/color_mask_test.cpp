// TwoColorMask: the 1-bit mask of a two-colour image, darker colour first.

#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/image_buffer.h"
#include "imaging/two_color_mask.h"

namespace luma {
namespace {

bool Bit(const TImageBuffer& image, int32_t x, int32_t y) {
    return (image.ScanLine(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
}

// A 24-bit image of `background` with a block of `ink` at columns 3..7 of rows 2..3; optionally
// the top-left pixel is ink too, so that the ink is met first.
void Page(TImageBuffer& image, TRGB background, TRGB ink, bool inkFirst) {
    image.Allocate(13, 5, pk24RGB);
    for (int32_t y = 0; y < 5; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < 13; ++x) {
            const bool isInk = (x >= 3 && x <= 7 && y >= 2 && y <= 3) || (inkFirst && x == 0 && y == 0);
            const TRGB c = isInk ? ink : background;
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
    }
}

TEST(ColorMask, BlackTextOnWhiteWhicheverComesFirst) {
    const TRGB white{255, 255, 255};
    const TRGB black{0, 0, 0};
    for (bool inkFirst : {false, true}) {
        TImageBuffer image;
        Page(image, white, black, inkFirst);
        TImageBuffer mask;
        TRGB c0{1, 1, 1};
        TRGB c1{1, 1, 1};
        ASSERT_TRUE(TwoColorMask(image, mask, c0, c1)) << inkFirst;
        EXPECT_EQ(c0, black);
        EXPECT_EQ(c1, white);
        ASSERT_EQ(mask.PixelKind(), pk1Bit);
        ASSERT_EQ(mask.Width(), 13);
        ASSERT_EQ(mask.Height(), 5);
        for (int32_t y = 0; y < 5; ++y) {
            for (int32_t x = 0; x < 13; ++x) {
                const bool isInk = (x >= 3 && x <= 7 && y >= 2 && y <= 3) || (inkFirst && x == 0 && y == 0);
                EXPECT_EQ(Bit(mask, x, y), !isInk) << x << "," << y;
            }
        }
    }
}

TEST(ColorMask, RoundedGrayTieKeepsTheFirstColour) {
    // gray100 250 rounds to 2 (ties to even), gray100 240 also to 2: no swap, although the
    // second colour is darker before rounding.
    const TRGB first{26, 0, 2};   // 21 x 2 + 8 x 26 = 250
    const TRGB second{30, 0, 0};  // 8 x 30 = 240
    TImageBuffer image;
    Page(image, first, second, false);
    TImageBuffer mask;
    TRGB c0;
    TRGB c1;
    ASSERT_TRUE(TwoColorMask(image, mask, c0, c1));
    EXPECT_EQ(c0, first);
    EXPECT_EQ(c1, second);
    EXPECT_FALSE(Bit(mask, 0, 0));
    EXPECT_TRUE(Bit(mask, 3, 2));
}

TEST(ColorMask, NotTwoColours) {
    TImageBuffer one;
    one.Allocate(4, 4, pk24RGB);
    one.Fill(MakeColor(10, 20, 30));
    TImageBuffer three;
    Page(three, TRGB{255, 255, 255}, TRGB{0, 0, 0}, false);
    three.ScanLine(4)[12 * 3] = 7;  // a third colour in the very last pixel
    TImageBuffer empty;
    for (const TImageBuffer* image : {&one, &three, &empty}) {
        TImageBuffer mask;
        mask.Allocate(2, 2, pk8Gray);
        TRGB c0{1, 2, 3};
        TRGB c1{4, 5, 6};
        EXPECT_FALSE(TwoColorMask(*image, mask, c0, c1));
        EXPECT_EQ(mask.PixelKind(), pk8Gray);
        EXPECT_EQ(c0, (TRGB{1, 2, 3}));
        EXPECT_EQ(c1, (TRGB{4, 5, 6}));
    }
}

TEST(ColorMask, OtherPixelKinds) {
    {
        // A palette image using two entries: white first, then dark red.
        TImageBuffer image;
        image.Allocate(10, 2, pk8Palette);
        image.SetPaletteEntry(0, TRGB{255, 255, 255});
        image.SetPaletteEntry(5, TRGB{0, 0, 128});
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t x = 0; x < 10; ++x) image.ScanLine(y)[x] = x % 3 == 1 ? 5 : 0;
        }
        TImageBuffer mask;
        TRGB c0;
        TRGB c1;
        ASSERT_TRUE(TwoColorMask(image, mask, c0, c1));
        EXPECT_EQ(c0, (TRGB{0, 0, 128}));
        EXPECT_EQ(c1, (TRGB{255, 255, 255}));
        for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(Bit(mask, x, 1), x % 3 != 1) << x;
    }
    {
        // A 1-bit image keeps its bits: black is already colour 0.
        TImageBuffer image;
        image.Allocate(11, 1, pk1Bit);
        image.ScanLine(0)[0] = 0xA5;
        image.ScanLine(0)[1] = 0x40;
        TImageBuffer mask;
        TRGB c0;
        TRGB c1;
        ASSERT_TRUE(TwoColorMask(image, mask, c0, c1));
        EXPECT_EQ(c0, (TRGB{0, 0, 0}));
        EXPECT_EQ(c1, (TRGB{255, 255, 255}));
        for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(Bit(mask, x, 0), Bit(image, x, 0)) << x;
    }
    {
        // A 16-bit gray image: levels with the same high byte are one colour.
        TImageBuffer image;
        image.Allocate(3, 1, pk16Gray);
        const uint8_t words[6] = {0x00, 0x90, 0xFF, 0x90, 0x00, 0x10};
        std::copy(words, words + 6, image.ScanLine(0));
        TImageBuffer mask;
        TRGB c0;
        TRGB c1;
        ASSERT_TRUE(TwoColorMask(image, mask, c0, c1));
        EXPECT_EQ(c0, (TRGB{0x10, 0x10, 0x10}));
        EXPECT_EQ(c1, (TRGB{0x90, 0x90, 0x90}));
        EXPECT_TRUE(Bit(mask, 0, 0));
        EXPECT_TRUE(Bit(mask, 1, 0));
        EXPECT_FALSE(Bit(mask, 2, 0));
    }
}

}  // namespace
}  // namespace luma
