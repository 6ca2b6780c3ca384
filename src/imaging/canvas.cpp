// TCanvas: rectangles, image drawing and FreeType text on a TSurface.

#include "imaging/canvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "imaging/font_cache.h"
#include "imaging/image_buffer.h"
#include "imaging/surface.h"

namespace luma {

namespace {

// round(a x b / c) with halves away from zero, for font sizes.
int32_t MulDivRound(int32_t a, int32_t b, int32_t c) {
    const int64_t p = static_cast<int64_t>(a) * b;
    const int64_t half = c / 2;
    return static_cast<int32_t>(p >= 0 ? (p + half) / c : -((-p + half) / c));
}

// Decodes UTF-8; malformed bytes become U+FFFD.
std::vector<char32_t> DecodeUtf8(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int len = 0;
        char32_t cp = 0;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + static_cast<size_t>(len) > text.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) { out.push_back(0xFFFD); ++i; continue; }
        out.push_back(cp);
        i += static_cast<size_t>(len);
    }
    return out;
}

// Writes colours into a surface of any format; indexed formats take the nearest entry.
class TPixelWriter {
public:
    explicit TPixelWriter(TSurface& s) : s_(s) {}

    void Put(int32_t x, int32_t y, TColor c) {
        c &= 0xFFFFFF;
        uint8_t* row = s_.Row(y);
        switch (s_.Format()) {
        case sf1Bit: {
            const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
            if (Index(c) & 1) row[x >> 3] |= mask; else row[x >> 3] &= static_cast<uint8_t>(~mask);
            break;
        }
        case sf4Bit: {
            uint8_t& b = row[x >> 1];
            const auto v = static_cast<uint8_t>(Index(c) & 0x0F);
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
            break;
        }
        case sf8Bit: row[x] = static_cast<uint8_t>(Index(c)); break;
        case sf24Bit:
        case sf32Bit: {
            uint8_t* p = row + (s_.Format() == sf24Bit ? 3 : 4) * x;
            p[0] = ColorB(c);
            p[1] = ColorG(c);
            p[2] = ColorR(c);
            break;
        }
        default: s_.SetPixel(x, y, c); break;
        }
    }

    // Blends `c` over the pixel with coverage 0..255 (direct-colour formats only).
    void Blend(int32_t x, int32_t y, TColor c, uint32_t a) {
        if (a == 0) return;
        if (a >= 255) {
            Put(x, y, c);
            return;
        }
        const TColor d = s_.Pixel(x, y);
        auto mix = [a](uint32_t f, uint32_t b) {
            return static_cast<uint8_t>((f * a + b * (255 - a) + 127) / 255);
        };
        Put(x, y, MakeColor(mix(ColorR(c), ColorR(d)), mix(ColorG(c), ColorG(d)), mix(ColorB(c), ColorB(d))));
    }

private:
    int32_t Index(TColor c) {
        auto it = cache_.find(c);
        if (it != cache_.end()) return it->second;
        const int32_t i = s_.NearestIndex(c);
        cache_.emplace(c, i);
        return i;
    }

    TSurface& s_;
    std::unordered_map<TColor, int32_t> cache_;
};

bool Indexed(TSurfaceFormat f) { return f == sf1Bit || f == sf4Bit || f == sf8Bit; }

// The part of a source of size w x h placed at (x, y) that lies inside the target surface.
struct TClip {
    int32_t sx = 0, sy = 0, dx = 0, dy = 0, w = 0, h = 0;
};
TClip ClipTo(const TSurface& target, int32_t x, int32_t y, int32_t w, int32_t h) {
    TClip c;
    c.sx = x < 0 ? -x : 0;
    c.sy = y < 0 ? -y : 0;
    c.dx = std::max(x, 0);
    c.dy = std::max(y, 0);
    c.w = std::min(w - c.sx, target.Width() - c.dx);
    c.h = std::min(h - c.sy, target.Height() - c.dy);
    if (c.w < 0) c.w = 0;
    if (c.h < 0) c.h = 0;
    return c;
}

// Draws the part of a source whose pixels `pixel(x, y)` gives as colours.
template <typename Pixel>
void DrawPixels(TSurface& target, const TClip& c, bool useKey, TColor key, Pixel pixel) {
    TPixelWriter writer(target);
    key &= 0xFFFFFF;
    for (int32_t j = 0; j < c.h; ++j) {
        for (int32_t i = 0; i < c.w; ++i) {
            const TColor color = pixel(c.sx + i, c.sy + j) & 0xFFFFFF;
            if (useKey && color == key) continue;
            writer.Put(c.dx + i, c.dy + j, color);
        }
    }
}

void DrawSurface(TSurface& target, int32_t x, int32_t y, const TSurface& source, bool useKey, TColor key) {
    if (&source == &target) return;
    const TClip c = ClipTo(target, x, y, source.Width(), source.Height());
    if (c.w <= 0 || c.h <= 0) return;
    const bool samePixels = source.Format() == target.Format() &&
                            (source.Format() == sf24Bit || source.Format() == sf32Bit ||
                             (source.Format() == sf8Bit &&
                              std::memcmp(source.Palette(), target.Palette(), sizeof(TRGB) * 256) == 0));
    if (!useKey && samePixels) {
        const int32_t bpp = source.BitsPerPixel() / 8;
        for (int32_t j = 0; j < c.h; ++j) {
            std::memcpy(target.Row(c.dy + j) + static_cast<size_t>(c.dx) * bpp,
                        source.Row(c.sy + j) + static_cast<size_t>(c.sx) * bpp,
                        static_cast<size_t>(c.w) * bpp);
        }
        return;
    }
    DrawPixels(target, c, useKey, key, [&source](int32_t px, int32_t py) { return source.Pixel(px, py); });
}

void DrawBuffer(TSurface& target, int32_t x, int32_t y, const TImageBuffer& source, bool useKey, TColor key) {
    if (source.Empty() || source.Surface() == &target) return;
    const TClip c = ClipTo(target, x, y, source.Width(), source.Height());
    if (c.w <= 0 || c.h <= 0) return;
    if (!useKey && source.PixelKind() == pk24RGB && target.Format() == sf24Bit) {
        for (int32_t j = 0; j < c.h; ++j) {
            std::memcpy(target.Row(c.dy + j) + static_cast<size_t>(c.dx) * 3,
                        source.ScanLine(c.sy + j) + static_cast<size_t>(c.sx) * 3, static_cast<size_t>(c.w) * 3);
        }
        return;
    }
    DrawPixels(target, c, useKey, key,
               [&source](int32_t px, int32_t py) { return ToColor(source.PixelRGB(px, py)); });
}

}  // namespace

int32_t TFont::Size() const { return -MulDivRound(Height, 72, 96); }

void TFont::SetSize(int32_t points) { Height = -MulDivRound(points, 96, 72); }

void TCanvas::FillRect(const TRect& rect) {
    const int32_t x1 = std::max(rect.Left, 0);
    const int32_t y1 = std::max(rect.Top, 0);
    const int32_t x2 = std::min(rect.Right, surface_.Width());
    const int32_t y2 = std::min(rect.Bottom, surface_.Height());
    if (x1 >= x2 || y1 >= y2) return;
    const TColor c = Brush.Color & 0xFFFFFF;
    if (surface_.Format() == sf24Bit) {
        for (int32_t y = y1; y < y2; ++y) {
            uint8_t* p = surface_.Row(y) + static_cast<size_t>(x1) * 3;
            for (int32_t x = x1; x < x2; ++x, p += 3) {
                p[0] = ColorB(c);
                p[1] = ColorG(c);
                p[2] = ColorR(c);
            }
        }
        return;
    }
    TPixelWriter writer(surface_);
    for (int32_t y = y1; y < y2; ++y) {
        for (int32_t x = x1; x < x2; ++x) writer.Put(x, y, c);
    }
}

void TCanvas::Draw(int32_t x, int32_t y, const TSurface& source) { DrawSurface(surface_, x, y, source, false, 0); }

void TCanvas::Draw(int32_t x, int32_t y, const TImageBuffer& source) { DrawBuffer(surface_, x, y, source, false, 0); }

void TCanvas::DrawTransparent(int32_t x, int32_t y, const TSurface& source, TColor key) {
    DrawSurface(surface_, x, y, source, true, key);
}

void TCanvas::DrawTransparent(int32_t x, int32_t y, const TImageBuffer& source, TColor key) {
    DrawBuffer(surface_, x, y, source, true, key);
}

namespace {

// Lays out (and optionally draws) one line of text. Returns its extent.
TSize RenderLine(TSurface* target, const TFont& font, int32_t x, int32_t y, std::string_view text,
                 const TBrush* brush) {
    TFontCache& cache = TFontCache::Instance();
    std::lock_guard<std::mutex> lock(cache.Lock());
    const TFaceMatch match = cache.Find(font.Name, font.Bold, font.Italic);
    if (match.face == nullptr) return TSize{};
    FT_Face face = match.face;
    const int32_t em = TFontCache::EmForHeight(face, font.Height);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) return TSize{};
    const TLineMetrics metrics = TFontCache::Metrics(face, em);
    const std::vector<char32_t> codes = DecodeUtf8(text);

    // First pass: advances only, for the extent (and the background of opaque text).
    auto loadGlyph = [&](char32_t code, bool render) -> FT_GlyphSlot {
        const FT_UInt index = FT_Get_Char_Index(face, code);
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return nullptr;
        FT_GlyphSlot slot = face->glyph;
        if (match.oblique) FT_GlyphSlot_Oblique(slot);
        if (match.embolden) FT_GlyphSlot_Embolden(slot);
        if (render && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return nullptr;
        return slot;
    };
    int32_t width = 0;
    std::vector<int32_t> advances;
    advances.reserve(codes.size());
    for (char32_t code : codes) {
        FT_GlyphSlot slot = loadGlyph(code, false);
        const int32_t adv = slot != nullptr ? static_cast<int32_t>((slot->advance.x + 32) >> 6) : 0;
        advances.push_back(adv);
        width += adv;
    }
    const TSize extent{width, metrics.Height()};
    if (target == nullptr) return extent;

    TSurface& s = *target;
    const bool indexed = Indexed(s.Format());
    if (brush != nullptr && !brush->Clear) {
        TCanvas& canvas = s.Canvas();
        const TColor saved = canvas.Brush.Color;
        canvas.Brush.Color = brush->Color;
        canvas.FillRect(TRect{x, y, x + width, y + extent.cy});
        canvas.Brush.Color = saved;
    }

    TPixelWriter writer(s);
    const TColor color = font.Color & 0xFFFFFF;
    const int32_t baseline = y + metrics.ascent;
    int32_t pen = x;
    for (size_t k = 0; k < codes.size(); ++k) {
        FT_GlyphSlot slot = loadGlyph(codes[k], true);
        if (slot != nullptr) {
            const FT_Bitmap& bm = slot->bitmap;
            const int32_t left = pen + slot->bitmap_left;
            const int32_t top = baseline - slot->bitmap_top;
            for (int32_t j = 0; j < static_cast<int32_t>(bm.rows); ++j) {
                const int32_t py = top + j;
                if (py < 0 || py >= s.Height()) continue;
                const uint8_t* src = bm.buffer + static_cast<std::ptrdiff_t>(j) * bm.pitch;
                for (int32_t i = 0; i < static_cast<int32_t>(bm.width); ++i) {
                    const int32_t px = left + i;
                    if (px < 0 || px >= s.Width()) continue;
                    const uint32_t a = src[i];
                    if (indexed) {
                        if (a >= 128) writer.Put(px, py, color);
                    } else {
                        writer.Blend(px, py, color, a);
                    }
                }
            }
        }
        pen += advances[k];
    }

    if (font.Underline && width > 0) {
        const int32_t upem = face->units_per_EM;
        int32_t thickness = static_cast<int32_t>((static_cast<int64_t>(face->underline_thickness) * em + upem / 2) / upem);
        thickness = std::max(thickness, 1);
        int32_t offset = static_cast<int32_t>((static_cast<int64_t>(-face->underline_position) * em + upem / 2) / upem);
        offset = std::clamp(offset, 1, std::max(metrics.descent - thickness, 1));
        for (int32_t j = 0; j < thickness; ++j) {
            const int32_t py = baseline + offset + j;
            if (py < 0 || py >= s.Height()) continue;
            for (int32_t px = std::max(x, 0); px < std::min(x + width, s.Width()); ++px) writer.Put(px, py, color);
        }
    }
    return extent;
}

}  // namespace

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view text) { RenderLine(&surface_, Font, x, y, text, &Brush); }

TSize TCanvas::TextExtent(std::string_view text) { return RenderLine(nullptr, Font, 0, 0, text, nullptr); }

}  // namespace luma
