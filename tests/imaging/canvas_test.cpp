#include "imaging/canvas.h"

#include <gtest/gtest.h>

#include <set>

#include "imaging/image_buffer.h"
#include "imaging/surface.h"

namespace luma {
namespace {

// Bounding box of the pixels that differ from `background` (empty box: Right <= Left).
TRect InkBox(const TSurface& s, TColor background) {
    TRect box{s.Width(), s.Height(), 0, 0};
    for (int32_t y = 0; y < s.Height(); ++y) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            if (s.Pixel(x, y) == background) continue;
            box.Left = std::min(box.Left, x);
            box.Top = std::min(box.Top, y);
            box.Right = std::max(box.Right, x + 1);
            box.Bottom = std::max(box.Bottom, y + 1);
        }
    }
    return box;
}

TSurface& White(TSurface& s) {
    TCanvas& c = s.Canvas();
    c.Brush.Color = clWhite;
    c.FillRect(TRect{0, 0, s.Width(), s.Height()});
    return s;
}

TEST(CanvasFill, ClipsAtEveryEdge) {
    TSurface s(6, 5, sf24Bit);
    TCanvas& c = s.Canvas();
    c.Brush.Color = MakeColor(1, 2, 3);
    c.FillRect(TRect{-5, -5, 3, 2});
    c.FillRect(TRect{4, 3, 100, 100});
    c.FillRect(TRect{10, 10, 20, 20});  // entirely outside
    EXPECT_EQ(s.Pixel(0, 0), MakeColor(1, 2, 3));
    EXPECT_EQ(s.Pixel(2, 1), MakeColor(1, 2, 3));
    EXPECT_EQ(s.Pixel(3, 1), clBlack);
    EXPECT_EQ(s.Pixel(2, 2), clBlack);
    EXPECT_EQ(s.Pixel(5, 4), MakeColor(1, 2, 3));
    EXPECT_EQ(s.Pixel(3, 4), clBlack);

    TSurface m(10, 2, sf1Bit);
    m.Canvas().Brush.Color = clWhite;
    m.Canvas().FillRect(TRect{3, 1, 9, 2});
    EXPECT_EQ(m.Row(1)[0], 0x1F);
    EXPECT_EQ(m.Row(1)[1], 0x80);
    EXPECT_EQ(m.Row(0)[0], 0x00);
}

TEST(CanvasDraw, PlacesAndClipsSources) {
    TSurface src(4, 4, sf24Bit);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) src.SetPixel(x, y, MakeColor(uint8_t(10 * x + 1), uint8_t(10 * y + 1), 0));
    }
    struct Case { int32_t x, y; };
    const Case cases[] = {{-2, -1}, {3, 3}, {1, -3}, {-3, 2}, {5, 5}, {-4, 0}, {0, 0}};
    for (const Case& c : cases) {
        TSurface dst(5, 5, sf24Bit);
        dst.Canvas().Draw(c.x, c.y, src);
        for (int32_t y = 0; y < 5; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                const int32_t sx = x - c.x, sy = y - c.y;
                const bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
                ASSERT_EQ(dst.Pixel(x, y), inside ? src.Pixel(sx, sy) : clBlack)
                    << "at " << c.x << "," << c.y << " pixel " << x << "," << y;
            }
        }
    }
}

TEST(CanvasDraw, TransparentKeyAndBuffers) {
    TImageBuffer logo;
    logo.Allocate(3, 1, pk24RGB);
    logo.Fill(MakeColor(0, 255, 0));
    logo.FillRect(1, 0, 1, 0, MakeColor(255, 0, 0));
    TSurface dst(4, 1, sf24Bit);
    White(dst).Canvas().DrawTransparent(1, 0, logo, MakeColor(0, 255, 0));
    EXPECT_EQ(dst.Pixel(1, 0), clWhite);
    EXPECT_EQ(dst.Pixel(2, 0), MakeColor(255, 0, 0));
    EXPECT_EQ(dst.Pixel(3, 0), clWhite);
    dst.Canvas().Draw(-1, 0, logo);
    EXPECT_EQ(dst.Pixel(0, 0), MakeColor(255, 0, 0));
    EXPECT_EQ(dst.Pixel(1, 0), MakeColor(0, 255, 0));

    // A 24-bit source on a palette surface takes the nearest entries; a 1-bit buffer on 24 bits.
    TSurface pal(3, 1, sf8Bit);
    pal.Canvas().Draw(0, 0, logo);
    EXPECT_EQ(pal.Row(0)[0], 85);  // the gray-ramp entry nearest to pure green
    TImageBuffer bits;
    bits.Allocate(2, 1, pk1Bit);
    bits.Fill(0);
    bits.ScanLine(0)[0] = 0x40;
    TSurface rgb(2, 1, sf24Bit);
    rgb.Canvas().Draw(0, 0, bits);
    EXPECT_EQ(rgb.Pixel(0, 0), clBlack);
    EXPECT_EQ(rgb.Pixel(1, 0), clWhite);
}

TEST(CanvasText, TenPointsIsThirteenPixelEm) {
    TFont font;
    font.SetSize(10);
    EXPECT_EQ(font.Height, -13);
    EXPECT_EQ(font.Size(), 10);
    font.SetSize(8);
    EXPECT_EQ(font.Height, -11);

    TSurface s(200, 60, sf24Bit);
    TCanvas& c = White(s).Canvas();
    c.Font.Name = "DejaVu Sans";
    c.Font.SetSize(10);
    const TSize extent = c.TextExtent("Hello World");
    // Line height = (winAscent + winDescent) of the face at a 13-pixel em.
    EXPECT_GE(extent.cy, 15);
    EXPECT_LE(extent.cy, 16);
    EXPECT_GT(extent.cx, 11 * 4);
    EXPECT_LT(extent.cx, 11 * 13);
    EXPECT_EQ(c.TextExtent("").cx, 0);

    // The cap height of DejaVu Sans is 0.729 em: 9 to 10 rows of ink for "H" at 13 pixels.
    c.Font.Color = clBlack;
    c.Brush.Clear = true;
    c.TextOut(10, 10, "H");
    const TRect ink = InkBox(s, clWhite);
    EXPECT_GE(ink.Bottom - ink.Top, 9);
    EXPECT_LE(ink.Bottom - ink.Top, 10);
    // Twice the size: about twice the ink.
    TSurface big(200, 60, sf24Bit);
    TCanvas& b = White(big).Canvas();
    b.Font.Height = -26;
    b.Brush.Clear = true;
    b.TextOut(10, 10, "H");
    const TRect bigInk = InkBox(big, clWhite);
    EXPECT_GE(bigInk.Bottom - bigInk.Top, 18);
    EXPECT_LE(bigInk.Bottom - bigInk.Top, 20);
}

TEST(CanvasText, OnlyPixelsInsideTheTextCellChange) {
    TSurface s(160, 40, sf24Bit);
    TCanvas& c = White(s).Canvas();
    c.Font.SetSize(12);
    c.Font.Color = MakeColor(200, 0, 0);
    c.Brush.Clear = true;
    const TSize extent = c.TextExtent("Luma 42!");
    c.TextOut(7, 9, "Luma 42!");
    const TRect ink = InkBox(s, clWhite);
    ASSERT_LT(ink.Left, ink.Right) << "no text drawn";
    EXPECT_GE(ink.Left, 7);
    EXPECT_GE(ink.Top, 9);
    EXPECT_LE(ink.Right, 7 + extent.cx + 1);
    EXPECT_LE(ink.Bottom, 9 + extent.cy);
    // Coverage is blended: edges show intermediate colours.
    std::set<TColor> colours;
    for (int32_t y = ink.Top; y < ink.Bottom; ++y) {
        for (int32_t x = ink.Left; x < ink.Right; ++x) colours.insert(s.Pixel(x, y));
    }
    EXPECT_GT(colours.size(), 3u);

    // An opaque background fills exactly the text cell.
    TSurface o(160, 40, sf24Bit);
    TCanvas& oc = White(o).Canvas();
    oc.Font.SetSize(12);
    oc.Brush.Color = MakeColor(0, 0, 255);
    oc.TextOut(-3, 5, "Luma 42!");
    EXPECT_EQ(o.Pixel(0, 5), MakeColor(0, 0, 255));
    EXPECT_EQ(o.Pixel(0, 4), clWhite);
    EXPECT_EQ(o.Pixel(extent.cx - 3 - 1, 5 + extent.cy - 1), MakeColor(0, 0, 255));
    EXPECT_EQ(o.Pixel(extent.cx - 3, 5), clWhite);
    EXPECT_EQ(o.Pixel(0, 5 + extent.cy), clWhite);
}

TEST(CanvasText, IndexedSurfacesTakeTheNearestEntry) {
    for (TSurfaceFormat f : {sf1Bit, sf8Bit}) {
        TSurface s(100, 30, f);
        TCanvas& c = s.Canvas();
        c.Brush.Color = clWhite;
        c.FillRect(TRect{0, 0, 100, 30});
        c.Brush.Clear = true;
        c.Font.SetSize(14);
        c.Font.Color = MakeColor(20, 20, 20);
        c.TextOut(2, 2, "Wax");
        std::set<TColor> colours;
        for (int32_t y = 0; y < 30; ++y) {
            for (int32_t x = 0; x < 100; ++x) colours.insert(s.Pixel(x, y));
        }
        const TColor nearest = f == sf1Bit ? clBlack : MakeColor(20, 20, 20);
        EXPECT_EQ(colours, (std::set<TColor>{clWhite, nearest})) << int(f);
    }
}

TEST(CanvasText, StylesAndFallback) {
    TSurface s(10, 10, sf24Bit);
    TCanvas& c = s.Canvas();
    c.Font.SetSize(10);
    const TSize regular = c.TextExtent("Bold text");
    c.Font.Bold = true;
    const TSize bold = c.TextExtent("Bold text");
    EXPECT_GT(bold.cx, regular.cx);
    c.Font.Bold = false;

    // A face that is not installed falls back to fontconfig's best match.
    c.Font.Name = "No Such Face Anywhere";
    const TSize fallback = c.TextExtent("Bold text");
    EXPECT_GT(fallback.cx, 0);
    EXPECT_GT(fallback.cy, 0);

    // Underline: a solid row of text colour below the baseline, across the whole width.
    TSurface u(120, 30, sf24Bit);
    TCanvas& uc = White(u).Canvas();
    uc.Font.SetSize(10);
    uc.Font.Underline = true;
    uc.Brush.Clear = true;
    const TSize extent = uc.TextExtent("under");
    uc.TextOut(4, 4, "under");
    bool solidRow = false;
    for (int32_t y = 4; y < 4 + extent.cy; ++y) {
        bool all = true;
        for (int32_t x = 4; x < 4 + extent.cx; ++x) all = all && u.Pixel(x, y) == clBlack;
        solidRow = solidRow || all;
    }
    EXPECT_TRUE(solidRow);
    EXPECT_EQ(u.Pixel(4 + extent.cx, 4 + extent.cy - 1), clWhite);

    // Italic text leans: its ink differs from the upright text's.
    TSurface a(80, 30, sf24Bit), b(80, 30, sf24Bit);
    White(a).Canvas().Brush.Clear = true;
    White(b).Canvas().Brush.Clear = true;
    a.Canvas().TextOut(2, 2, "lll");
    b.Canvas().Font.Italic = true;
    b.Canvas().TextOut(2, 2, "lll");
    bool differs = false;
    for (int32_t y = 0; y < 30 && !differs; ++y) {
        for (int32_t x = 0; x < 80; ++x) differs = differs || a.Pixel(x, y) != b.Pixel(x, y);
    }
    EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace luma
