#pragma once
// TCanvas: drawing on a TSurface: filled rectangles, other images (opaque or with a key colour)
// and single-line text.
//
// Text is rasterised with FreeType; the face is found with fontconfig (a face that is not
// installed falls back to fontconfig's best match). Sizes are in points at 96 dpi, so 10 points
// give a 13-pixel em. On 24-bit (and 15/16/32-bit) surfaces glyph coverage is blended with the
// background; on indexed surfaces every covered pixel takes the palette entry nearest to the
// text colour.

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/pixel_kind.h"

namespace luma {

class TSurface;
class TImageBuffer;

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;   // exclusive
    int32_t Bottom = 0;  // exclusive
};

struct TSize {
    int32_t cx = 0;
    int32_t cy = 0;
};

struct TFont {
    std::string Name = "DejaVu Sans";
    // Pixel height: negative = em height, positive = cell height (ascent + descent). 0 = default.
    int32_t Height = -13;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    TColor Color = clBlack;

    // Size in points at 96 dpi: Height = -round(points x 96 / 72) (halves away from zero).
    int32_t Size() const;
    void SetSize(int32_t points);
};

struct TBrush {
    TColor Color = clWhite;
    // Clear: text is drawn without filling its background.
    bool Clear = false;
};

class TCanvas {
public:
    explicit TCanvas(TSurface& surface) : surface_(surface) {}
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TFont Font;
    TBrush Brush;

    // Fills the rectangle (right and bottom exclusive) with Brush.Color, clipped to the surface.
    void FillRect(const TRect& rect);

    // Draws another surface or image with its top-left corner at (x, y), clipped at every edge.
    void Draw(int32_t x, int32_t y, const TSurface& source);
    void Draw(int32_t x, int32_t y, const TImageBuffer& source);
    // As Draw, but source pixels of colour `key` are left out.
    void DrawTransparent(int32_t x, int32_t y, const TSurface& source, TColor key);
    void DrawTransparent(int32_t x, int32_t y, const TImageBuffer& source, TColor key);

    // Writes one line of UTF-8 text with its cell's top-left corner at (x, y), in Font; fills
    // the text cell with Brush.Color first unless Brush.Clear.
    void TextOut(int32_t x, int32_t y, std::string_view text);
    // Width (sum of hinted advances) and height (line height of the face) of one line.
    TSize TextExtent(std::string_view text);
    int32_t TextWidth(std::string_view text) { return TextExtent(text).cx; }
    int32_t TextHeight(std::string_view text) { return TextExtent(text).cy; }

    TSurface& Surface() { return surface_; }

private:
    TSurface& surface_;
};

}  // namespace luma
