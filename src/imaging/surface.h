#pragma once
// TSurface: a drawable bitmap with a palette, direct row access and a canvas.
//
// Rows are kept top-down in one block, each padded to a multiple of four bytes, so a row of a
// 1-, 8- or 24-bit surface has exactly the layout of an image-buffer row of the matching kind.
// Pixel formats follow the usual device-independent layouts: 1 and 4 bits leftmost pixel in the
// high bits, 8-bit palette indexes, 15-bit 5-5-5 and 16-bit 5-6-5 little-endian words (blue in
// the low bits), 24-bit blue/green/red and 32-bit blue/green/red/unused.
//
// An image buffer may keep its pixels in a surface (psSurface storage). The surface tells every
// such buffer when its size or format changes or when it is destroyed, so the buffer's row
// addressing never goes stale.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/pixel_kind.h"
#include "imaging/pixel_memory.h"

namespace luma {

class TCanvas;
class TImageBuffer;

enum TSurfaceFormat : uint8_t {
    sf1Bit = 0,
    sf4Bit = 1,
    sf8Bit = 2,
    sf15Bit = 3,
    sf16Bit = 4,
    sf24Bit = 5,
    sf32Bit = 6,
};

constexpr int32_t SurfaceFormatBits(TSurfaceFormat f) {
    switch (f) {
    case sf1Bit: return 1;
    case sf4Bit: return 4;
    case sf8Bit: return 8;
    case sf15Bit:
    case sf16Bit: return 16;
    case sf24Bit: return 24;
    case sf32Bit: return 32;
    }
    return 24;
}

class TSurface {
public:
    // An empty 24-bit surface (0 x 0).
    TSurface();
    TSurface(int32_t width, int32_t height, TSurfaceFormat format);
    ~TSurface();
    TSurface(const TSurface&) = delete;
    TSurface& operator=(const TSurface&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TSurfaceFormat Format() const { return format_; }
    int32_t BitsPerPixel() const { return SurfaceFormatBits(format_); }
    // Bytes per row, a multiple of four.
    int32_t Stride() const { return stride_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }

    // Changes the size; pixels inside both the old and the new size stay, new pixels are 0.
    void SetSize(int32_t width, int32_t height);
    void SetWidth(int32_t width) { SetSize(width, height_); }
    void SetHeight(int32_t height) { SetSize(width_, height); }
    // Changes the pixel format, converting the existing pixels (to the nearest palette entry
    // for indexed formats). A new indexed format starts with its default palette: black/white
    // for 1 bit, the 16 standard colours for 4 bits, a gray ramp for 8 bits.
    void SetFormat(TSurfaceFormat format);

    // Row y, 0 the top row. Not range-checked.
    uint8_t* Row(int32_t y) { return bits_.data() + static_cast<std::ptrdiff_t>(y) * stride_; }
    const uint8_t* Row(int32_t y) const {
        return bits_.data() + static_cast<std::ptrdiff_t>(y) * stride_;
    }

    // The palette of the indexed formats: PaletteSize() entries (2, 16 or 256; 0 otherwise),
    // stored blue, green, red. Writing entries through Palette() is allowed.
    int32_t PaletteSize() const;
    TRGB* Palette() { return palette_.data(); }
    const TRGB* Palette() const { return palette_.data(); }
    TColor PaletteColor(int32_t index) const;
    void SetPaletteColor(int32_t index, TColor color);
    // Index of the palette entry nearest to the colour (squared distance, lowest index on ties).
    int32_t NearestIndex(TColor color) const;
    // A 1-bit surface whose palette is black (0) and white (1).
    bool IsMonochrome() const;

    // Single pixels as colours; slow, for tests and edges only. Not range-checked.
    TColor Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor color);

    // Copies format, size, palette and pixels of another surface.
    void Assign(const TSurface& source);

    TCanvas& Canvas();

private:
    friend class TImageBuffer;
    friend class TCanvas;
    void Attach(TImageBuffer* buffer);
    void Detach(TImageBuffer* buffer);
    void NotifyChanged();
    void SetDefaultPalette();
    uint32_t RawPixel(int32_t x, int32_t y) const;
    void SetRawPixel(int32_t x, int32_t y, uint32_t value);

    int32_t width_ = 0;
    int32_t height_ = 0;
    TSurfaceFormat format_ = sf24Bit;
    int32_t stride_ = 0;
    TPixelMemory bits_;
    std::array<TRGB, 256> palette_{};
    std::unique_ptr<TCanvas> canvas_;
    std::vector<TImageBuffer*> watchers_;
};

}  // namespace luma
