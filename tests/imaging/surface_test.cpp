#include "imaging/surface.h"

#include <gtest/gtest.h>

namespace luma {
namespace {

TEST(Surface, FormatsAndPalettes) {
    struct Case { TSurfaceFormat format; int32_t bits; int32_t stride; int32_t palette; };
    const Case cases[] = {
        {sf1Bit, 1, 4, 2}, {sf4Bit, 4, 8, 16}, {sf8Bit, 8, 12, 256}, {sf15Bit, 16, 20, 0},
        {sf16Bit, 16, 20, 0}, {sf24Bit, 24, 32, 0}, {sf32Bit, 32, 40, 0},
    };
    for (const Case& c : cases) {
        TSurface s(10, 3, c.format);
        EXPECT_EQ(s.BitsPerPixel(), c.bits);
        EXPECT_EQ(s.Stride(), c.stride);
        EXPECT_EQ(s.PaletteSize(), c.palette);
        EXPECT_EQ(s.Row(1) - s.Row(0), c.stride);
    }
    TSurface mono(3, 3, sf1Bit);
    EXPECT_TRUE(mono.IsMonochrome());
    mono.SetPaletteColor(1, MakeColor(255, 0, 0));
    EXPECT_FALSE(mono.IsMonochrome());
    EXPECT_EQ(mono.NearestIndex(MakeColor(200, 10, 10)), 1);
}

TEST(Surface, ColoursRoundTripPerFormat) {
    const TColor colour = MakeColor(0xF8, 0x80, 0x08);  // exact in 5-5-5 and 5-6-5
    for (TSurfaceFormat f : {sf15Bit, sf16Bit, sf24Bit, sf32Bit}) {
        TSurface s(2, 2, f);
        s.SetPixel(1, 1, colour);
        EXPECT_EQ(s.Pixel(1, 1), colour) << int(f);
        EXPECT_EQ(s.Pixel(0, 1), clBlack) << int(f);
    }
    TSurface s4(3, 1, sf4Bit);
    s4.SetPixel(1, 0, MakeColor(0, 0, 250));  // nearest of the 16 standard colours: blue
    EXPECT_EQ(s4.Pixel(1, 0), MakeColor(0, 0, 255));
    EXPECT_EQ(s4.Row(0)[0], 0x0C);  // left pixel in the high nibble
}

TEST(Surface, SizeChangesKeepOverlappingPixels) {
    for (TSurfaceFormat f : {sf1Bit, sf4Bit, sf8Bit, sf16Bit, sf24Bit, sf32Bit}) {
        TSurface ref(1, 1, f);
        ref.SetPixel(0, 0, clWhite);
        const TColor white = ref.Pixel(0, 0);  // 5-6-5 white is 248, 252, 248
        TSurface s(9, 4, f);
        s.SetPixel(8, 3, clWhite);
        s.SetPixel(2, 1, clWhite);
        s.SetSize(12, 5);
        EXPECT_EQ(s.Pixel(8, 3), white) << int(f);
        EXPECT_EQ(s.Pixel(2, 1), white) << int(f);
        EXPECT_EQ(s.Pixel(9, 3), clBlack) << int(f);
        EXPECT_EQ(s.Pixel(2, 4), clBlack) << int(f);
        // Shrinking drops pixels; growing again shows new (black) pixels, not old ones.
        s.SetSize(3, 2);
        EXPECT_EQ(s.Pixel(2, 1), white) << int(f);
        s.SetSize(12, 5);
        EXPECT_EQ(s.Pixel(8, 3), clBlack) << int(f);
    }
    // A 1-bit row cut inside a byte keeps no stale bits past the new width.
    TSurface m(16, 1, sf1Bit);
    m.Row(0)[0] = 0xFF;
    m.SetSize(3, 1);
    EXPECT_EQ(m.Row(0)[0], 0xE0);
}

TEST(Surface, FormatChangeConvertsPixels) {
    TSurface s(2, 1, sf24Bit);
    s.SetPixel(0, 0, MakeColor(100, 100, 100));
    s.SetPixel(1, 0, clWhite);
    s.SetFormat(sf8Bit);  // default palette: gray ramp
    EXPECT_EQ(s.Row(0)[0], 100);
    EXPECT_EQ(s.Row(0)[1], 255);
    s.SetFormat(sf1Bit);
    EXPECT_EQ(s.Pixel(0, 0), clBlack);
    EXPECT_EQ(s.Pixel(1, 0), clWhite);

    TSurface copy;
    copy.Assign(s);
    EXPECT_EQ(copy.Format(), sf1Bit);
    EXPECT_EQ(copy.Pixel(1, 0), clWhite);
}

}  // namespace
}  // namespace luma
