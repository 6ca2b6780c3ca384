// TImageBuffer: storage management, row addressing, pixel-kind conversions and copies.

#include "imaging/image_buffer.h"


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "imaging/bw_convert.h"
#include "imaging/canvas.h"
#include "imaging/color_quantizer.h"
#include "imaging/gray.h"
#include "imaging/image_proc.h"
#include "imaging/surface.h"

namespace luma {

namespace {

constexpr int64_t kFallbackThreshold = 32 * 1024 * 1024;
constexpr size_t kBounceSize = 1024 * 1024;

inline uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void Write16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline bool BitAt(const uint8_t* row, int32_t x) {
    return ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
}

TSurfaceFormat FormatForKind(TPixelKind kind) {
    switch (kind) {
    case pk1Bit: return sf1Bit;
    case pk8Palette:
    case pk8Gray:
    case pk16Gray: return sf8Bit;
    default: return sf24Bit;
    }
}

// Copies `count` bits, most significant bit first, from any bit position to any bit position,
// leaving the target bits outside the run unchanged. Reads no byte beyond the run.
void CopyBits(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit, int64_t count) {
    if (count <= 0) return;
    if ((srcBit & 7) == 0 && (dstBit & 7) == 0) {
        const auto whole = static_cast<size_t>(count >> 3);
        std::memmove(dst + (dstBit >> 3), src + (srcBit >> 3), whole);
        const int rest = static_cast<int>(count & 7);
        if (rest > 0) {
            const auto mask = static_cast<uint8_t>(0xFF00u >> rest);
            uint8_t& d = dst[(dstBit >> 3) + static_cast<int64_t>(whole)];
            d = static_cast<uint8_t>((d & ~mask) | (src[(srcBit >> 3) + static_cast<int64_t>(whole)] & mask));
        }
        return;
    }
    while (count > 0) {
        const int dOff = static_cast<int>(dstBit & 7);
        const int take = static_cast<int>(std::min<int64_t>(8 - dOff, count));
        const int64_t si = srcBit >> 3;
        const int sOff = static_cast<int>(srcBit & 7);
        uint32_t window = static_cast<uint32_t>(src[si]) << 8;
        if (sOff + take > 8) window |= src[si + 1];
        const uint32_t bits = (window >> (16 - sOff - take)) & ((1u << take) - 1);
        const int shift = 8 - dOff - take;
        const auto mask = static_cast<uint8_t>(((1u << take) - 1) << shift);
        uint8_t& d = dst[dstBit >> 3];
        d = static_cast<uint8_t>((d & ~mask) | (bits << shift));
        dstBit += take;
        srcBit += take;
        count -= take;
    }
}

// Sets or clears the bits of pixels x1..x2 (inclusive) of a 1-bit row.
void SetBitRange(uint8_t* row, int32_t x1, int32_t x2, bool on) {
    for (int32_t x = x1; x <= x2;) {
        if ((x & 7) == 0 && x + 7 <= x2) {
            const int32_t bytes = (x2 + 1 - x) / 8;
            std::memset(row + (x >> 3), on ? 0xFF : 0x00, static_cast<size_t>(bytes));
            x += bytes * 8;
            continue;
        }
        const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
        if (on) row[x >> 3] |= mask; else row[x >> 3] &= static_cast<uint8_t>(~mask);
        ++x;
    }
}

}  // namespace

int64_t TImageBuffer::DefaultTempFileThreshold() {
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        const int64_t kib = std::strtoll(line.c_str() + 13, nullptr, 10);
        if (kib > 0) return kib * 1024 / 2;
        break;
    }
    return kFallbackThreshold;
}

TImageBuffer::TImageBuffer()
    : tempFile_(std::make_unique<TMappedTempFile>()),
      tempFileThreshold_(DefaultTempFileThreshold()) {}

TImageBuffer::TImageBuffer(TNoMeasure, int64_t threshold, TPixelStorage storage)
    : tempFile_(std::make_unique<TMappedTempFile>()),
      storage_(storage == psSurface ? psTempFile : storage),
      tempFileThreshold_(threshold) {}

TImageBuffer::TImageBuffer(TAsAlphaPlane, int32_t width, int32_t height, TPixelStorage storage)
    : tempFile_(std::make_unique<TMappedTempFile>()),
      storage_(storage == psSurface ? psMemory : storage),
      tempFileThreshold_(DefaultTempFileThreshold()) {
    isAlphaPlane_ = true;
    Allocate(width, height, pk8Gray);
    Fill(255);
}

TImageBuffer::~TImageBuffer() { DetachSurface(); }

// ---------------------------------------------------------------------------------------------
// Storage

void TImageBuffer::SetKindFields(TPixelKind kind) {
    kind_ = kind;
    bitCount_ = KindBitCount(kind);
    const int64_t rowLen = (static_cast<int64_t>(width_) * bitCount_ + 31) / 32 * 4;
    if (rowLen > INT32_MAX) throw std::bad_alloc();
    rowLen_ = static_cast<int32_t>(rowLen);
}

void TImageBuffer::ClearPixels() {
    memory_.reset();
    tempFile_->Close();
    ownPalette_.reset();
    palette_ = nullptr;
    paletteUsed_ = 0;
    width_ = 0;
    height_ = 0;
    bitCount_ = 0;
    rowLen_ = 0;
    kind_ = pkNone;
    rowBase_ = nullptr;
    rowStep_ = 0;
    isFull_ = false;
}

void TImageBuffer::AttachSurface(TSurface* surface) {
    surface_ = surface;
    surface_->Attach(this);
}

void TImageBuffer::DetachSurface() {
    if (surface_ != nullptr) surface_->Detach(this);
    surface_ = nullptr;
    ownSurface_.reset();
    surfaceBorrowed_ = false;
}

void TImageBuffer::FreeImage() {
    alpha_.reset();
    ClearPixels();
    if (!surfaceBorrowed_) DetachSurface();
}

void TImageBuffer::Allocate(int32_t width, int32_t height, TPixelKind kind) {
    if (!surfaceBorrowed_) {
        FreeImage();
    } else {
        ClearPixels();  // a borrowed surface is re-formatted below; the alpha plane stays
    }
    if (kind > pk24RGB) kind = pkNone;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    kind_ = kind;
    if (width <= 0 || height <= 0 || kind == pkNone) return;

    SetKindFields(kind);
    const int64_t size = static_cast<int64_t>(rowLen_) * height_;
    if (storage_ == psTempFile && size < tempFileThreshold_) {
        storage_ = psMemory;
    } else if (storage_ == psMemory && (size > tempFileThreshold_ || size > int64_t{UINT32_MAX})) {
        storage_ = psTempFile;
    }

    if (storage_ == psTempFile) {
        if (tempFile_->Create(static_cast<uint64_t>(size))) {
            rowBase_ = tempFile_->Data();
            rowStep_ = rowLen_;
        } else {
            storage_ = psMemory;
        }
    }
    if (storage_ == psMemory) {
        memory_ = TPixelMemory(static_cast<size_t>(size));
        rowBase_ = memory_.data() + static_cast<std::ptrdiff_t>(height_ - 1) * rowLen_;
        rowStep_ = -static_cast<std::ptrdiff_t>(rowLen_);
    }
    if (storage_ == psSurface) {
        SetupSurfaceFor(width_, height_, kind);
    } else if (kind_ == pk8Palette) {
        ownPalette_ = std::make_unique<std::array<TRGB, 256>>();
        palette_ = ownPalette_->data();
        paletteUsed_ = 256;
    }
    isFull_ = false;
}

void TImageBuffer::SetupSurfaceFor(int32_t width, int32_t height, TPixelKind kind) {
    if (surface_ == nullptr) {
        ownSurface_ = std::make_unique<TSurface>();
        AttachSurface(ownSurface_.get());
    }
    if (kind == pk16Gray) kind = pk8Gray;  // surfaces hold no 16-bit gray
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (kind == pkNone) width = height = 0;

    struct TBusy {
        bool& flag;
        explicit TBusy(bool& f) : flag(f) { flag = true; }
        ~TBusy() { flag = false; }
    } busy(surfaceBusy_);
    surface_->SetSize(1, 1);
    surface_->SetFormat(FormatForKind(kind));
    if (kind == pk1Bit) {
        surface_->Palette()[0] = TRGB{0, 0, 0};
        surface_->Palette()[1] = TRGB{255, 255, 255};
    } else if (kind == pk8Gray) {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            surface_->Palette()[i] = TRGB{v, v, v};
        }
    }
    surface_->SetSize(width, height);

    memory_.reset();
    tempFile_->Close();
    ownPalette_.reset();
    width_ = width;
    height_ = height;
    SetKindFields(width > 0 && height > 0 ? kind : pkNone);
    if (kind_ == pkNone) {
        rowBase_ = nullptr;
        rowStep_ = 0;
    } else {
        rowBase_ = surface_->Row(0);
        rowStep_ = surface_->Stride();
    }
    palette_ = kind_ == pk8Palette ? surface_->Palette() : nullptr;
    paletteUsed_ = kind_ == pk8Palette ? 256 : 0;
}

void TImageBuffer::TakeFieldsFromSurface() {
    memory_.reset();
    tempFile_->Close();
    ownPalette_.reset();
    TSurface* s = surface_;
    if (s == nullptr) {
        ClearPixels();
        return;
    }
    TPixelKind kind = pk24RGB;
    switch (s->Format()) {
    case sf1Bit: kind = pk1Bit; break;
    case sf8Bit: kind = kind_ == pk8Gray ? pk8Gray : pk8Palette; break;
    case sf24Bit: kind = pk24RGB; break;
    default: {
        // Formats a buffer cannot address are turned into 24 bits.
        const bool was = surfaceBusy_;
        surfaceBusy_ = true;
        s->SetFormat(sf24Bit);
        surfaceBusy_ = was;
        kind = pk24RGB;
        break;
    }
    }
    width_ = s->Width();
    height_ = s->Height();
    if (s->Empty()) {
        width_ = height_ = 0;
        kind = pkNone;
    }
    SetKindFields(kind);
    if (kind_ == pkNone) {
        rowBase_ = nullptr;
        rowStep_ = 0;
    } else {
        rowBase_ = s->Row(0);
        rowStep_ = s->Stride();
    }
    palette_ = kind_ == pk8Palette ? s->Palette() : nullptr;
    paletteUsed_ = kind_ == pk8Palette ? 256 : 0;
}

void TImageBuffer::SurfaceChanged() {
    if (surfaceBusy_) return;
    TakeFieldsFromSurface();
    isFull_ = false;
}

void TImageBuffer::SurfaceDestroyed() {
    surface_ = nullptr;
    ownSurface_.release();  // never set for a surface destroyed by somebody else
    surfaceBorrowed_ = false;
    ClearPixels();
}

// ---------------------------------------------------------------------------------------------
// Moving and copying whole images

void TImageBuffer::MoveTo(TImageBuffer& target) {
    if (&target == this) return;
    target.FreeImage();
    target.DetachSurface();

    std::swap(target.tempFile_, tempFile_);
    target.width_ = width_;
    target.height_ = height_;
    target.bitCount_ = bitCount_;
    target.rowLen_ = rowLen_;
    target.kind_ = kind_;
    target.rowBase_ = rowBase_;
    target.rowStep_ = rowStep_;
    target.ownPalette_ = std::move(ownPalette_);
    target.palette_ = palette_;
    target.paletteUsed_ = paletteUsed_;
    // An alpha plane stays an alpha plane and never gets a plane of its own.
    if (!target.isAlphaPlane_) target.alpha_ = std::move(alpha_);
    alpha_.reset();
    target.memory_ = std::move(memory_);
    if (surface_ != nullptr) {
        TSurface* s = surface_;
        s->Detach(this);
        target.ownSurface_ = std::move(ownSurface_);
        target.surface_ = s;
        s->Attach(&target);
        surface_ = nullptr;
    }
    target.storage_ = storage_;
    target.isFull_ = isFull_;
    target.surfaceBorrowed_ = surfaceBorrowed_;
    target.tempFileThreshold_ = tempFileThreshold_;
    target.bwConversion_ = bwConversion_;

    surfaceBorrowed_ = false;
    palette_ = nullptr;
    ClearPixels();
}

void TImageBuffer::CopyPixelsFrom(const TImageBuffer& source) {
    const int32_t rows = std::min(height_, source.height_);
    const auto bytes = static_cast<size_t>(std::min(rowLen_, source.rowLen_));
    if (storage_ == psTempFile && source.storage_ == psTempFile && rowLen_ == source.rowLen_ &&
        height_ == source.height_) {
        // Both files hold the rows top-down with the same length: copy in 1-MiB chunks.
        const uint64_t total = tempFile_->Size();
        for (uint64_t done = 0; done < total; done += kBounceSize) {
            const auto n = static_cast<size_t>(std::min<uint64_t>(kBounceSize, total - done));
            std::memcpy(tempFile_->Data() + done, source.tempFile_->Data() + done, n);
        }
        return;
    }
    for (int32_t y = 0; y < rows; ++y) std::memcpy(ScanLine(y), source.ScanLine(y), bytes);
}

void TImageBuffer::Assign(const TImageBufferBase& base) {
    const auto* source = dynamic_cast<const TImageBuffer*>(&base);
    if (source == this) return;
    if (source == nullptr) {
        // Another buffer class: copy size, kind and rows through its interface.
        auto& other = const_cast<TImageBufferBase&>(base);
        FreeImage();
        Allocate(other.Width(), other.Height(), other.PixelKind());
        for (int32_t y = 0; y < height_; ++y) {
            std::memcpy(ScanLine(y), other.ScanLine(y),
                        static_cast<size_t>(std::min(rowLen_, other.RowLen())));
        }
        return;
    }
    CopyImageFrom(*source);
    isFull_ = source->isFull_;
    if (!isAlphaPlane_ && source->alpha_) AlphaChannel().Assign(*source->alpha_);
    bwConversion_ = source->bwConversion_;
}

void TImageBuffer::Assign(const TSurface& source) { CopyFromSurface(source); }

void TImageBuffer::CopyImageFrom(const TImageBuffer& source) {
    if (&source == this) {
        isFull_ = false;
        return;
    }
    if (storage_ == psSurface) {
        SetupSurfaceFor(source.width_, source.height_, source.kind_);
    } else {
        FreeImage();
        Allocate(source.width_, source.height_, source.kind_);
    }
    // On a surface a 16-bit gray source lands in 8-bit gray: ConvertRowsFrom takes the high
    // bytes instead of copying raw words into the narrower rows.
    if (!Empty() && !source.Empty()) ConvertRowsFrom(source);
    isFull_ = false;
}

// ---------------------------------------------------------------------------------------------
// Size changes

void TImageBuffer::SetWidth(int32_t width) {
    if (width == width_) return;
    if (alpha_) alpha_->SetWidth(width);
    if (storage_ == psSurface) {
        if (surface_ != nullptr && kind_ != pkNone) {
            surfaceBusy_ = true;
            surface_->SetWidth(std::max(width, 0));
            surfaceBusy_ = false;
            TakeFieldsFromSurface();
            isFull_ = false;
        } else {
            width_ = std::max(width, 0);
        }
        return;
    }
    if (kind_ == pkNone || height_ <= 0 || rowBase_ == nullptr) {
        width_ = std::max(width, 0);
        return;
    }
    TImageBuffer old(TNoMeasure{}, tempFileThreshold_, storage_);
    MoveTo(old);
    storage_ = old.storage_;
    Allocate(width, old.height_, old.kind_);
    if (!Empty()) {
        const auto bytes = static_cast<size_t>(std::min(rowLen_, old.rowLen_));
        for (int32_t y = 0; y < height_; ++y) std::memcpy(ScanLine(y), old.ScanLine(y), bytes);
        if (palette_ != nullptr && old.palette_ != nullptr) {
            std::memcpy(palette_, old.palette_, sizeof(TRGB) * 256);
        }
    }
    if (old.alpha_) AlphaChannel().Assign(*old.alpha_);
    isFull_ = false;
}

void TImageBuffer::SetHeight(int32_t height) {
    if (height == height_) return;
    if (alpha_) alpha_->SetHeight(height);
    if (storage_ == psSurface) {
        if (surface_ != nullptr && kind_ != pkNone) {
            surfaceBusy_ = true;
            surface_->SetHeight(std::max(height, 0));
            surfaceBusy_ = false;
            TakeFieldsFromSurface();
            isFull_ = false;
        } else {
            height_ = std::max(height, 0);
        }
        return;
    }
    if (kind_ == pkNone || width_ <= 0 || rowBase_ == nullptr) {
        height_ = std::max(height, 0);
        return;
    }
    TImageBuffer old(TNoMeasure{}, tempFileThreshold_, storage_);
    MoveTo(old);
    storage_ = old.storage_;
    Allocate(old.width_, height, old.kind_);
    if (!Empty()) {
        const int32_t rows = std::min(height_, old.height_);
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(ScanLine(y), old.ScanLine(y), static_cast<size_t>(rowLen_));
        }
        if (palette_ != nullptr && old.palette_ != nullptr) {
            std::memcpy(palette_, old.palette_, sizeof(TRGB) * 256);
        }
    }
    if (old.alpha_) AlphaChannel().Assign(*old.alpha_);
    isFull_ = false;
}

void TImageBuffer::MoveRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t dx,
                            int32_t dy, uint32_t fill) {
    if (width <= 0 || height <= 0) return;
    TImageBuffer scratch(TNoMeasure{}, tempFileThreshold_, psTempFile);
    scratch.Allocate(width, height, kind_);
    CopyRect(scratch, x, y, width, height, 0, 0);
    FillRect(x, y, x + width - 1, y + height - 1, fill);
    scratch.CopyRect(*this, 0, 0, width, height, dx, dy);
}

void TImageBuffer::ResizeOne(int32_t width, int32_t height, uint32_t fill, int32_t hAlign,
                             int32_t vAlign) {
    const int32_t oldW = width_;
    const int32_t oldH = height_;
    if (width < oldW) {
        if (hAlign == 1) MoveRect((oldW - width) / 2, 0, width, oldH, 0, 0, fill);
        else if (hAlign == 2) MoveRect(oldW - width, 0, width, oldH, 0, 0, fill);
    }
    if (height < oldH) {
        if (vAlign == 1) MoveRect(0, (oldH - height) / 2, width_, height, 0, 0, fill);
        else if (vAlign == 2) MoveRect(0, oldH - height, width_, height, 0, 0, fill);
    }
    SetWidth(width);
    SetHeight(height);
    if (oldW < width) {
        FillRect(oldW, 0, width - 1, height_ - 1, fill);
        if (hAlign == 1) MoveRect(0, 0, oldW, oldH, (width - oldW) / 2, 0, fill);
        else if (hAlign == 2) MoveRect(0, 0, oldW, oldH, width - oldW, 0, fill);
    }
    if (oldH < height) {
        FillRect(0, oldH, width_ - 1, height - 1, fill);
        if (vAlign == 1) MoveRect(0, 0, width_, oldH, 0, (height - oldH) / 2, fill);
        else if (vAlign == 2) MoveRect(0, 0, width_, oldH, 0, height - oldH, fill);
    }
}

void TImageBuffer::Resize(int32_t width, int32_t height, uint32_t fill, int32_t hAlign,
                          int32_t vAlign, uint32_t alphaFill) {
    if (alpha_) alpha_->ResizeOne(width, height, alphaFill, hAlign, vAlign);
    ResizeOne(width, height, fill, hAlign, vAlign);
    isFull_ = false;
}

// ---------------------------------------------------------------------------------------------
// Conversions

void TImageBuffer::ConvertRowsFrom(const TImageBuffer& source) {
    const int32_t w = std::min(width_, source.width_);
    const int32_t h = std::min(height_, source.height_);
    const TPixelKind from = source.kind_;

    if (from == kind_) {
        CopyPixelsFrom(source);
        if (palette_ != nullptr && source.palette_ != nullptr) {
            std::memcpy(palette_, source.palette_,
                        sizeof(TRGB) * static_cast<size_t>(std::min(source.paletteUsed_, 256)));
        }
        return;
    }

    // Gray levels of the palette entries, for palette sources.
    std::array<uint8_t, 256> gray8Of{};
    std::array<uint16_t, 256> gray16Of{};
    if (from == pk8Palette) {
        for (int i = 0; i < 256; ++i) {
            const TRGB& e = source.palette_[i];
            gray8Of[i] = gray8(e.r, e.g, e.b);
            gray16Of[i] = gray16(e.r, e.g, e.b);
        }
    }
    auto grayRamp = [this] {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            palette_[i] = TRGB{v, v, v};
        }
    };

    switch (kind_) {
    case pk1Bit: {
        const bool ordered = bwConversion_ == bwOrdered;
        const int32_t threshold = ordered ? 0 : MeanThreshold(source);
        std::vector<uint8_t> levels(static_cast<size_t>(w));
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.ScanLine(y);
            switch (from) {
            case pk8Palette:
                for (int32_t x = 0; x < w; ++x) levels[x] = gray8Of[s[x]];
                break;
            case pk8Gray: std::memcpy(levels.data(), s, static_cast<size_t>(w)); break;
            case pk16Gray:
                for (int32_t x = 0; x < w; ++x) levels[x] = s[2 * x + 1];
                break;
            case pk24RGB:
                for (int32_t x = 0; x < w; ++x) levels[x] = gray8(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
                break;
            default: break;
            }
            uint8_t* d = ScanLine(y);
            if (ordered) OrderedRow8(levels.data(), w, y, d);
            else ThresholdRow8(levels.data(), w, threshold, d);
        }
        break;
    }
    case pk8Palette: {
        if (from == pk24RGB) {
            QuantizeFrom(source);
            break;
        }
        if (from == pk1Bit) {
            palette_[0] = TRGB{0, 0, 0};
            palette_[1] = TRGB{255, 255, 255};
        } else {
            grayRamp();
        }
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.ScanLine(y);
            uint8_t* d = ScanLine(y);
            if (from == pk1Bit) {
                for (int32_t x = 0; x < w; ++x) d[x] = BitAt(s, x) ? 1 : 0;
            } else if (from == pk8Gray) {
                std::memcpy(d, s, static_cast<size_t>(w));
            } else {
                for (int32_t x = 0; x < w; ++x) d[x] = s[2 * x + 1];
            }
        }
        break;
    }
    case pk8Gray:
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.ScanLine(y);
            uint8_t* d = ScanLine(y);
            switch (from) {
            case pk1Bit:
                for (int32_t x = 0; x < w; ++x) d[x] = BitAt(s, x) ? 255 : 0;
                break;
            case pk8Palette:
                for (int32_t x = 0; x < w; ++x) d[x] = gray8Of[s[x]];
                break;
            case pk16Gray:
                for (int32_t x = 0; x < w; ++x) d[x] = s[2 * x + 1];
                break;
            case pk24RGB:
                for (int32_t x = 0; x < w; ++x) d[x] = gray8(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
                break;
            default: break;
            }
        }
        break;
    case pk16Gray:
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.ScanLine(y);
            uint8_t* d = ScanLine(y);
            switch (from) {
            case pk1Bit:
                for (int32_t x = 0; x < w; ++x) Write16(d + 2 * x, BitAt(s, x) ? 65535 : 0);
                break;
            case pk8Palette:
                for (int32_t x = 0; x < w; ++x) Write16(d + 2 * x, gray16Of[s[x]]);
                break;
            case pk8Gray:
                for (int32_t x = 0; x < w; ++x) Write16(d + 2 * x, static_cast<uint32_t>(s[x]) * 256);
                break;
            case pk24RGB:
                for (int32_t x = 0; x < w; ++x) {
                    Write16(d + 2 * x, gray16(s[3 * x + 2], s[3 * x + 1], s[3 * x]));
                }
                break;
            default: break;
            }
        }
        break;
    case pk24RGB:
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.ScanLine(y);
            uint8_t* d = ScanLine(y);
            switch (from) {
            case pk1Bit: Expand1BitRowTo24(s, d, w); break;
            case pk8Palette:
                for (int32_t x = 0; x < w; ++x) {
                    const TRGB& e = source.palette_[s[x]];
                    d[3 * x] = e.b;
                    d[3 * x + 1] = e.g;
                    d[3 * x + 2] = e.r;
                }
                break;
            case pk8Gray:
                for (int32_t x = 0; x < w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = s[x];
                break;
            case pk16Gray:
                for (int32_t x = 0; x < w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = s[2 * x + 1];
                break;
            default: break;
            }
        }
        break;
    default: break;
    }
}

void TImageBuffer::QuantizeFrom(const TImageBuffer& source) {
    TColorQuantizer quantizer(source, 256, palette_, -1);
    const int32_t w = std::min(width_, source.width_);
    const int32_t h = std::min(height_, source.height_);
    std::vector<int32_t> indices(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        quantizer.IndexRow(source.ScanLine(y), w, indices.data());
        uint8_t* d = ScanLine(y);
        for (int32_t x = 0; x < w; ++x) d[x] = static_cast<uint8_t>(indices[x]);
    }
}

void TImageBuffer::ConvertPixelKind(TPixelKind kind) {
    if (kind == kind_ || kind == pkNone || kind > pk24RGB || Empty()) return;
    if (storage_ == psSurface) {
        // Converted in place on the surface, so that an image kept in a surface (the image
        // component's) stays visible there; the alpha plane stays.
        TImageBuffer old(TNoMeasure{}, tempFileThreshold_, psTempFile);
        old.CopyImageFrom(*this);
        SetupSurfaceFor(width_, height_, kind);
        ConvertRowsFrom(old);
        isFull_ = false;
        return;
    }
    TImageBuffer old(TNoMeasure{}, tempFileThreshold_, storage_);
    MoveTo(old);
    storage_ = old.storage_;
    Allocate(old.width_, old.height_, kind);
    ConvertRowsFrom(old);
}

void TImageBuffer::SetStorage(TPixelStorage storage) {
    if (storage == storage_ || storage > psSurface) return;
    TImageBuffer old(TNoMeasure{}, tempFileThreshold_, storage_);
    MoveTo(old);
    storage_ = storage;
    if (old.Empty()) return;
    Allocate(old.width_, old.height_, old.kind_);
    ConvertRowsFrom(old);
    isFull_ = old.isFull_;
}

// ---------------------------------------------------------------------------------------------
// Rectangles and pixels

void TImageBuffer::CopyRect(TImageBuffer& target, int32_t srcX, int32_t srcY, int32_t width,
                            int32_t height, int32_t dstX, int32_t dstY) const {
    if (kind_ != target.kind_ || Empty() || target.Empty()) return;
    int32_t dx = std::min(std::max(dstX, 0), target.width_ - 1);
    int32_t dy = std::min(std::max(dstY, 0), target.height_ - 1);
    if (dstX < 0) {
        srcX -= dstX;
        width += dstX;
    }
    if (dstY < 0) {
        srcY -= dstY;
        height += dstY;
    }
    const int32_t sx = std::min(std::max(srcX, 0), width_ - 1);
    const int32_t sy = std::min(std::max(srcY, 0), height_ - 1);
    width = std::min({width, width_ - sx, target.width_ - dx});
    height = std::min({height, height_ - sy, target.height_ - dy});
    if (width <= 0 || height <= 0) return;

    // Within one buffer, copy rows in the order that never overwrites unread rows; 1-bit runs
    // that may overlap inside a row go through a copy of the source row.
    const bool same = &target == this;
    const bool upwards = same && dy > sy;
    std::vector<uint8_t> rowCopy(same && kind_ == pk1Bit ? static_cast<size_t>(rowLen_) : 0);
    for (int32_t i = 0; i < height; ++i) {
        const int32_t r = upwards ? height - 1 - i : i;
        const uint8_t* s = ScanLine(sy + r);
        uint8_t* d = target.ScanLine(dy + r);
        if (kind_ == pk1Bit) {
            if (same) {
                std::memcpy(rowCopy.data(), s, rowCopy.size());
                s = rowCopy.data();
            }
            CopyBits(s, sx, d, dx, width);
        } else {
            const int32_t bpp = bitCount_ / 8;
            std::memmove(d + static_cast<std::ptrdiff_t>(dx) * bpp, s + static_cast<std::ptrdiff_t>(sx) * bpp,
                         static_cast<size_t>(width) * static_cast<size_t>(bpp));
        }
    }
}

bool TImageBuffer::Fill(uint32_t value) {
    bool full = false;
    switch (kind_) {
    case pk1Bit: full = value != 0; break;
    case pk8Palette:
    case pk8Gray: full = value == 255; break;
    case pk16Gray: full = value == 65535; break;
    case pk24RGB: full = value == clWhite; break;
    default: break;
    }
    if (!Empty()) {
        uint8_t* first = ScanLine(0);
        switch (kind_) {
        case pk1Bit: std::memset(first, value > 0 ? 0xFF : 0x00, static_cast<size_t>(rowLen_)); break;
        case pk8Palette:
        case pk8Gray: std::memset(first, static_cast<int>(value & 0xFF), static_cast<size_t>(rowLen_)); break;
        case pk16Gray:
            for (int32_t x = 0; x < width_; ++x) Write16(first + 2 * x, value);
            break;
        case pk24RGB: {
            const TRGB c = ToRGB(value);
            for (int32_t x = 0; x < width_; ++x) {
                first[3 * x] = c.b;
                first[3 * x + 1] = c.g;
                first[3 * x + 2] = c.r;
            }
            break;
        }
        default: break;
        }
        for (int32_t y = 1; y < height_; ++y) {
            std::memcpy(ScanLine(y), ScanLine(0), static_cast<size_t>(rowLen_));
        }
    }
    isFull_ = full;
    return full;
}

void TImageBuffer::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value) {
    if (Empty()) return;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_ - 1);
    y2 = std::min(y2, height_ - 1);
    if (x1 > x2 || y1 > y2) return;
    const TRGB c = ToRGB(value);
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = ScanLine(y);
        switch (kind_) {
        case pk1Bit: SetBitRange(row, x1, x2, value != 0); break;
        case pk8Palette:
        case pk8Gray: std::memset(row + x1, static_cast<int>(value & 0xFF), static_cast<size_t>(x2 - x1 + 1)); break;
        case pk16Gray:
            for (int32_t x = x1; x <= x2; ++x) Write16(row + 2 * x, value);
            break;
        case pk24RGB:
            for (int32_t x = x1; x <= x2; ++x) {
                row[3 * x] = c.b;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.r;
            }
            break;
        default: break;
        }
    }
}

TRGB TImageBuffer::PixelRGB(int32_t x, int32_t y) const {
    if (Empty()) return TRGB{};
    const uint8_t* row = ScanLine(y);
    switch (kind_) {
    case pk1Bit: return BitAt(row, x) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
    case pk8Palette: return palette_[row[x]];
    case pk8Gray: return TRGB{row[x], row[x], row[x]};
    case pk16Gray: return TRGB{row[2 * x + 1], row[2 * x + 1], row[2 * x + 1]};
    case pk24RGB: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    default: return TRGB{};
    }
}

TRGB TImageBuffer::PaletteEntry(int32_t index) const {
    if (palette_ == nullptr || index < 0 || index >= paletteUsed_) return TRGB{};
    return palette_[index];
}

void TImageBuffer::SetPaletteEntry(int32_t index, TRGB color) {
    if (palette_ == nullptr || index < 0 || index >= paletteUsed_) return;
    palette_[index] = color;
}

// ---------------------------------------------------------------------------------------------
// Alpha plane

void TImageBuffer::MakeAlphaPlane(int32_t width, int32_t height) {
    alpha_.reset(new TImageBuffer(TNoMeasure{}, tempFileThreshold_,
                                  storage_ == psSurface ? psMemory : storage_));
    alpha_->isAlphaPlane_ = true;
    alpha_->Allocate(width, height, pk8Gray);
    alpha_->Fill(255);
}

TImageBuffer& TImageBuffer::AlphaChannel() {
    if (isAlphaPlane_) return *this;
    if (!alpha_) MakeAlphaPlane(width_, height_);
    return *alpha_;
}

void TImageBuffer::RemoveAlphaChannel() {
    if (!isAlphaPlane_) alpha_.reset();
}

// ---------------------------------------------------------------------------------------------
// Surfaces

TCanvas& TImageBuffer::Canvas() {
    if (storage_ != psSurface) SetStorage(psSurface);
    if (surface_ == nullptr) {
        ownSurface_ = std::make_unique<TSurface>();
        AttachSurface(ownSurface_.get());
    }
    return surface_->Canvas();
}

void TImageBuffer::WrapSurface(TSurface& surface, bool freeFirst) {
    if (freeFirst) FreeImage();
    if (&surface == ownSurface_.get()) {
        storage_ = psSurface;
        return;
    }
    DetachSurface();
    ClearPixels();
    AttachSurface(&surface);
    surfaceBorrowed_ = true;
    storage_ = psSurface;
    TakeFieldsFromSurface();
    isFull_ = false;
}

void TImageBuffer::CopyToSurface(TSurface& surface) const {
    if (&surface == surface_) return;
    surface.SetSize(1, 1);
    surface.SetFormat(FormatForKind(kind_));
    TRGB* pal = surface.Palette();
    switch (kind_) {
    case pk1Bit:
        pal[0] = TRGB{0, 0, 0};
        pal[1] = TRGB{255, 255, 255};
        break;
    case pk8Palette: std::memcpy(pal, palette_, sizeof(TRGB) * 256); break;
    case pk8Gray:
    case pk16Gray:
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            pal[i] = TRGB{v, v, v};
        }
        break;
    default: break;
    }
    if (Empty()) {
        surface.SetSize(0, 0);
        return;
    }
    surface.SetSize(width_, height_);
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* s = ScanLine(y);
        uint8_t* d = surface.Row(y);
        if (kind_ == pk16Gray) {
            for (int32_t x = 0; x < width_; ++x) d[x] = s[2 * x + 1];
        } else {
            std::memcpy(d, s, static_cast<size_t>(rowLen_));
        }
    }
}

void TImageBuffer::CopyFromSurface(const TSurface& surface) {
    if (&surface == surface_) return;
    if (storage_ == psSurface) {
        if (surface_ == nullptr) {
            ownSurface_ = std::make_unique<TSurface>();
            AttachSurface(ownSurface_.get());
        }
        surfaceBusy_ = true;
        surface_->Assign(surface);
        surfaceBusy_ = false;
        kind_ = pkNone;  // an 8-bit surface gives a palette image
        TakeFieldsFromSurface();
        isFull_ = false;
        return;
    }
    const int32_t w = surface.Width();
    const int32_t h = surface.Height();
    TPixelKind kind = pk24RGB;
    switch (surface.Format()) {
    case sf1Bit: kind = surface.IsMonochrome() ? pk1Bit : pk8Palette; break;
    case sf4Bit:
    case sf8Bit: kind = pk8Palette; break;
    default: kind = pk24RGB; break;
    }
    Allocate(w, h, surface.Empty() ? pkNone : kind);
    if (Empty()) return;
    if (kind == pk8Palette) {
        const int32_t n = surface.PaletteSize();
        for (int32_t i = 0; i < n; ++i) palette_[i] = surface.Palette()[i];
    }
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = surface.Row(y);
        uint8_t* d = ScanLine(y);
        switch (surface.Format()) {
        case sf1Bit:
            if (kind == pk1Bit) {
                std::memcpy(d, s, static_cast<size_t>(rowLen_));
            } else {
                for (int32_t x = 0; x < w; ++x) d[x] = BitAt(s, x) ? 1 : 0;
            }
            break;
        case sf4Bit:
            for (int32_t x = 0; x < w; ++x) {
                d[x] = (x & 1) ? static_cast<uint8_t>(s[x >> 1] & 0x0F) : static_cast<uint8_t>(s[x >> 1] >> 4);
            }
            break;
        case sf8Bit:
        case sf24Bit: std::memcpy(d, s, static_cast<size_t>(rowLen_)); break;
        case sf15Bit:
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = Read16(s + 2 * x);
                d[3 * x] = static_cast<uint8_t>((v & 31u) << 3);
                d[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 31u) << 3);
                d[3 * x + 2] = static_cast<uint8_t>(((v >> 10) & 31u) << 3);
            }
            break;
        case sf16Bit:
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = Read16(s + 2 * x);
                d[3 * x] = static_cast<uint8_t>((v & 31u) << 3);
                d[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 63u) << 2);
                d[3 * x + 2] = static_cast<uint8_t>(((v >> 11) & 31u) << 3);
            }
            break;
        case sf32Bit:
            for (int32_t x = 0; x < w; ++x) {
                d[3 * x] = s[4 * x];
                d[3 * x + 1] = s[4 * x + 1];
                d[3 * x + 2] = s[4 * x + 2];
            }
            break;
        }
    }
    isFull_ = false;
}

}  // namespace luma
