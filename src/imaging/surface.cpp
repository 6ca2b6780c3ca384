#include "imaging/surface.h"

#include <algorithm>
#include <cstring>

#include "imaging/canvas.h"
#include "imaging/image_buffer.h"

namespace luma {

namespace {

constexpr int32_t StrideFor(int32_t width, TSurfaceFormat format) {
    return RowLenFor(width, SurfaceFormatBits(format));
}

// The sixteen colours of the default 4-bit palette (black, the dark colours, light gray, dark
// gray, the bright colours, white), as 0x00BBGGRR.
constexpr TColor kStandard16[16] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

}  // namespace

TSurface::TSurface() = default;

TSurface::TSurface(int32_t width, int32_t height, TSurfaceFormat format) {
    format_ = format;
    SetDefaultPalette();
    SetSize(width, height);
}

TSurface::~TSurface() {
    // Buffers that keep their pixels here must forget this surface.
    std::vector<TImageBuffer*> watchers;
    watchers.swap(watchers_);
    for (TImageBuffer* buffer : watchers) buffer->SurfaceDestroyed();
}

void TSurface::Attach(TImageBuffer* buffer) {
    if (std::find(watchers_.begin(), watchers_.end(), buffer) == watchers_.end()) {
        watchers_.push_back(buffer);
    }
}

void TSurface::Detach(TImageBuffer* buffer) {
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), buffer), watchers_.end());
}

void TSurface::NotifyChanged() {
    // A copy: a buffer may detach itself while being told.
    const std::vector<TImageBuffer*> watchers = watchers_;
    for (TImageBuffer* buffer : watchers) buffer->SurfaceChanged();
}

int32_t TSurface::PaletteSize() const {
    switch (format_) {
    case sf1Bit: return 2;
    case sf4Bit: return 16;
    case sf8Bit: return 256;
    default: return 0;
    }
}

void TSurface::SetDefaultPalette() {
    palette_.fill(TRGB{});
    switch (format_) {
    case sf1Bit:
        palette_[1] = TRGB{255, 255, 255};
        break;
    case sf4Bit:
        for (int i = 0; i < 16; ++i) palette_[i] = ToRGB(kStandard16[i]);
        break;
    case sf8Bit:
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            palette_[i] = TRGB{v, v, v};
        }
        break;
    default:
        break;
    }
}

TColor TSurface::PaletteColor(int32_t index) const {
    if (index < 0 || index >= 256) return clBlack;
    return ToColor(palette_[index]);
}

void TSurface::SetPaletteColor(int32_t index, TColor color) {
    if (index < 0 || index >= 256) return;
    palette_[index] = ToRGB(color);
}

int32_t TSurface::NearestIndex(TColor color) const {
    const int32_t n = PaletteSize();
    int32_t best = 0;
    int64_t bestDist = INT64_MAX;
    const int32_t r = ColorR(color), g = ColorG(color), b = ColorB(color);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t dr = palette_[i].r - r, dg = palette_[i].g - g, db = palette_[i].b - b;
        const int64_t d = static_cast<int64_t>(dr) * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

bool TSurface::IsMonochrome() const {
    return format_ == sf1Bit && palette_[0] == TRGB{0, 0, 0} && palette_[1] == TRGB{255, 255, 255};
}

uint32_t TSurface::RawPixel(int32_t x, int32_t y) const {
    const uint8_t* row = Row(y);
    switch (format_) {
    case sf1Bit: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case sf4Bit: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case sf8Bit: return row[x];
    case sf15Bit:
    case sf16Bit: return static_cast<uint32_t>(row[2 * x]) | (static_cast<uint32_t>(row[2 * x + 1]) << 8);
    case sf24Bit: {
        const uint8_t* p = row + 3 * x;
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16);
    }
    case sf32Bit: {
        const uint8_t* p = row + 4 * x;
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16);
    }
    }
    return 0;
}

void TSurface::SetRawPixel(int32_t x, int32_t y, uint32_t value) {
    uint8_t* row = Row(y);
    switch (format_) {
    case sf1Bit: {
        const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
        if (value & 1u) row[x >> 3] |= mask; else row[x >> 3] &= static_cast<uint8_t>(~mask);
        break;
    }
    case sf4Bit: {
        uint8_t& byte = row[x >> 1];
        if (x & 1) byte = static_cast<uint8_t>((byte & 0xF0u) | (value & 0x0Fu));
        else byte = static_cast<uint8_t>((byte & 0x0Fu) | ((value & 0x0Fu) << 4));
        break;
    }
    case sf8Bit: row[x] = static_cast<uint8_t>(value); break;
    case sf15Bit:
    case sf16Bit:
        row[2 * x] = static_cast<uint8_t>(value);
        row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
        break;
    case sf24Bit:
    case sf32Bit: {
        uint8_t* p = row + (format_ == sf24Bit ? 3 : 4) * x;
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
        p[2] = static_cast<uint8_t>(value >> 16);
        break;
    }
    }
}

TColor TSurface::Pixel(int32_t x, int32_t y) const {
    const uint32_t raw = RawPixel(x, y);
    switch (format_) {
    case sf1Bit:
    case sf4Bit:
    case sf8Bit: return ToColor(palette_[raw]);
    case sf15Bit:
        return MakeColor(static_cast<uint8_t>(((raw >> 10) & 31u) << 3),
                         static_cast<uint8_t>(((raw >> 5) & 31u) << 3),
                         static_cast<uint8_t>((raw & 31u) << 3));
    case sf16Bit:
        return MakeColor(static_cast<uint8_t>(((raw >> 11) & 31u) << 3),
                         static_cast<uint8_t>(((raw >> 5) & 63u) << 2),
                         static_cast<uint8_t>((raw & 31u) << 3));
    case sf24Bit:
    case sf32Bit: return ToColor(TRGB{static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
                                      static_cast<uint8_t>(raw >> 16)});
    }
    return clBlack;
}

void TSurface::SetPixel(int32_t x, int32_t y, TColor color) {
    const uint32_t r = ColorR(color), g = ColorG(color), b = ColorB(color);
    switch (format_) {
    case sf1Bit:
    case sf4Bit:
    case sf8Bit: SetRawPixel(x, y, static_cast<uint32_t>(NearestIndex(color))); break;
    case sf15Bit: SetRawPixel(x, y, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)); break;
    case sf16Bit: SetRawPixel(x, y, ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)); break;
    case sf24Bit:
    case sf32Bit: SetRawPixel(x, y, b | (g << 8) | (r << 16)); break;
    }
}

void TSurface::SetSize(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    const int32_t stride = StrideFor(width, format_);
    TPixelMemory bits(static_cast<size_t>(stride) * static_cast<size_t>(height));
    const int32_t keepRows = std::min(height, height_);
    const int32_t keepWidth = std::min(width, width_);
    const int64_t keepBits = static_cast<int64_t>(keepWidth) * BitsPerPixel();
    const auto wholeBytes = static_cast<size_t>(keepBits / 8);
    const int32_t restBits = static_cast<int32_t>(keepBits % 8);
    for (int32_t y = 0; y < keepRows; ++y) {
        const uint8_t* src = Row(y);
        uint8_t* dst = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        std::memcpy(dst, src, wholeBytes);
        if (restBits > 0) {
            // Low-bit formats: keep only the bits of the pixels that remain.
            const auto mask = static_cast<uint8_t>(0xFFu << (8 - restBits));
            dst[wholeBytes] = static_cast<uint8_t>(src[wholeBytes] & mask);
        }
    }
    bits_.swap(bits);
    width_ = width;
    height_ = height;
    stride_ = stride;
    NotifyChanged();
}

void TSurface::SetFormat(TSurfaceFormat format) {
    if (format == format_) return;
    TSurface old(0, 0, format_);
    if (!Empty()) {
        old.width_ = width_;
        old.height_ = height_;
        old.stride_ = stride_;
        old.bits_.swap(bits_);  // the old pixels are only read from here on
    }
    old.palette_ = palette_;
    format_ = format;
    SetDefaultPalette();
    stride_ = StrideFor(width_, format_);
    bits_ = TPixelMemory(static_cast<size_t>(stride_) * static_cast<size_t>(height_));
    for (int32_t y = 0; y < height_; ++y) {
        for (int32_t x = 0; x < width_; ++x) SetPixel(x, y, old.Pixel(x, y));
    }
    NotifyChanged();
}

void TSurface::Assign(const TSurface& source) {
    if (&source == this) return;
    format_ = source.format_;
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    bits_ = source.bits_.Clone();
    palette_ = source.palette_;
    NotifyChanged();
}

TCanvas& TSurface::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
    return *canvas_;
}

}  // namespace luma

