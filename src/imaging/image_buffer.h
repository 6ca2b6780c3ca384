#pragma once
// TImageBuffer: the one image representation of the system.
//
// Rows are addressed top first whatever the storage: ScanLine(0) is the top row. Memory storage
// keeps the rows bottom-up in one block, temp-file storage top-down in a mapped file, surface
// storage in the rows of a TSurface. Every row is padded to a multiple of four bytes.
//
// Row pointers: with temp-file storage the documented contract is that a row pointer stays valid
// only until the next ScanLine call on the same buffer (code reading one buffer and writing
// another may hold one row of each). This implementation maps the whole file at once, so pointers
// in fact stay valid until the storage changes, but callers must not rely on more than the
// contract.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/mapped_temp_file.h"
#include "imaging/pixel_kind.h"
#include "imaging/pixel_memory.h"

namespace luma {

class TCanvas;
class TSurface;

// The eight operations every image buffer class offers.
class TImageBufferBase {
public:
    virtual ~TImageBufferBase() = default;
    virtual uint8_t* ScanLine(int32_t row) = 0;
    virtual int32_t BitCount() const = 0;
    virtual int32_t Height() const = 0;
    virtual int32_t Width() const = 0;
    virtual TPixelKind PixelKind() const = 0;
    virtual int32_t RowLen() const = 0;
    virtual void Allocate(int32_t width, int32_t height, TPixelKind kind) = 0;
    virtual void Assign(const TImageBufferBase& source) = 0;
};

class TImageBuffer final : public TImageBufferBase {
public:
    // Tag for the alpha-plane constructor.
    struct TAsAlphaPlane {};
    static constexpr TAsAlphaPlane AsAlphaPlane{};

    // Empty image, psTempFile storage (small images go to memory at Allocate), bwThreshold,
    // threshold = DefaultTempFileThreshold().
    TImageBuffer();
    // An alpha plane: pk8Gray, filled with 255; psSurface storage becomes psMemory.
    TImageBuffer(TAsAlphaPlane, int32_t width, int32_t height, TPixelStorage storage);
    ~TImageBuffer() override;
    TImageBuffer(const TImageBuffer&) = delete;
    TImageBuffer& operator=(const TImageBuffer&) = delete;

    // --- the eight base operations ---
    // Row `row` (0 = top). Not range-checked. See the note on row pointers above.
    uint8_t* ScanLine(int32_t row) override {
        return rowBase_ + static_cast<std::ptrdiff_t>(row) * rowStep_;
    }
    const uint8_t* ScanLine(int32_t row) const {
        return rowBase_ + static_cast<std::ptrdiff_t>(row) * rowStep_;
    }
    int32_t BitCount() const override { return bitCount_; }
    int32_t Height() const override { return height_; }
    int32_t Width() const override { return width_; }
    TPixelKind PixelKind() const override { return kind_; }
    int32_t RowLen() const override { return rowLen_; }
    // (Re)creates storage for the size and kind; pixels are uninitialised. Frees the old image
    // first unless the surface is borrowed. Width or height <= 0 or pkNone leaves no pixels.
    void Allocate(int32_t width, int32_t height, TPixelKind kind) override;
    // Full copy of another TImageBuffer (pixels, palette, alpha plane, IsFull, BWConversion).
    void Assign(const TImageBufferBase& source) override;
    // Reads a surface of any format (same as CopyFromSurface).
    void Assign(const TSurface& source);

    // True when there are no pixels.
    bool Empty() const { return width_ <= 0 || height_ <= 0 || kind_ == pkNone; }

    // Releases pixels, palette, alpha plane, temp file and (unless borrowed) the surface; size
    // and kind become 0. The storage choice stays.
    void FreeImage();

    // Changes one dimension keeping the overlapping (top-left) pixels; new pixels undefined.
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    // Changes the canvas size keeping the picture at the alignment (0 left/top, 1 centre,
    // 2 right/bottom); new area takes `fill` (a level, or a TColor for 24-bit), the alpha plane's
    // new area `alphaFill`.
    void Resize(int32_t width, int32_t height, uint32_t fill, int32_t hAlign, int32_t vAlign,
                uint32_t alphaFill);

    // Converts every pixel to another kind (no-op when already that kind). On surface storage
    // only 1-bit <-> 24-bit; other requests there move the buffer to memory storage first.
    void ConvertPixelKind(TPixelKind kind);

    // Like Assign but without alpha plane, IsFull and BWConversion; clears IsFull.
    void CopyImageFrom(const TImageBuffer& source);
    // Hands every field and owned object to `target` (which frees its own image first); this
    // buffer becomes empty.
    void MoveTo(TImageBuffer& target);
    // Copies a rectangle of this buffer into `target` (same kind only), clipped to both.
    void CopyRect(TImageBuffer& target, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                  int32_t dstX, int32_t dstY) const;

    // Sets every pixel: a level for 1-bit (> 0 white), 8-bit and 16-bit kinds, a TColor for
    // 24-bit. Returns and stores IsFull (every pixel at the kind's maximum).
    bool Fill(uint32_t value);
    // Sets the pixels of the inclusive rectangle; leaves IsFull alone. Clipped to the image.
    void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);
    bool IsFull() const { return isFull_; }

    // The pixel as blue, green, red; black for pkNone. Not range-checked.
    TRGB PixelRGB(int32_t x, int32_t y) const;

    // The 256-entry palette of pk8Palette buffers, else null. On surface storage this is the
    // surface's own palette, so changes reach the surface at once.
    TRGB* Palette() { return palette_; }
    const TRGB* Palette() const { return palette_; }
    int32_t PaletteUsed() const { return paletteUsed_; }
    // Entry i; outside 0 .. PaletteUsed - 1 the read gives black and the write is ignored.
    TRGB PaletteEntry(int32_t index) const;
    void SetPaletteEntry(int32_t index, TRGB color);

    // The alpha plane (pk8Gray, same size, 255 = opaque), created filled with 255 on first use.
    TImageBuffer& AlphaChannel();
    // The alpha plane when one exists, else null (never creates one).
    TImageBuffer* AlphaPlane() { return alpha_.get(); }
    const TImageBuffer* AlphaPlane() const { return alpha_.get(); }
    bool HasAlphaChannel() const { return alpha_ != nullptr; }
    void RemoveAlphaChannel();
    bool IsAlphaPlane() const { return isAlphaPlane_; }

    TPixelStorage Storage() const { return storage_; }
    // Moves pixels and palette to another storage keeping size, kind and content (the alpha
    // plane is dropped). On an empty buffer only the storage choice changes.
    void SetStorage(TPixelStorage storage);

    // The drawing canvas; switches memory or temp-file storage to surface storage first.
    TCanvas& Canvas();
    // The surface of psSurface storage, else null.
    TSurface* Surface() const { return surface_; }
    bool SurfaceBorrowed() const { return surfaceBorrowed_; }
    // Uses a surface owned by the caller as storage (it must outlive its use here, or be
    // destroyed first: the buffer then becomes empty). 1-bit gives pk1Bit, 8-bit pk8Palette,
    // 24-bit pk24RGB; other surface formats are converted to 24 bits.
    void WrapSurface(TSurface& surface, bool freeFirst);
    // Writes this image into a surface of the matching format.
    void CopyToSurface(TSurface& surface) const;
    // Reads a surface of any format.
    void CopyFromSurface(const TSurface& surface);

    // Pixel-data size in bytes above which Allocate moves to a temporary file.
    int64_t TempFileThreshold() const { return tempFileThreshold_; }
    void SetTempFileThreshold(int64_t bytes) { tempFileThreshold_ = bytes; }
    // Half of the kernel's MemAvailable, or 32 MiB when it reports none.
    static int64_t DefaultTempFileThreshold();

    TBWConversion BWConversion() const { return bwConversion_; }
    void SetBWConversion(TBWConversion conversion) { bwConversion_ = conversion; }

private:
    friend class TSurface;
    struct TNoMeasure {};
    // An empty buffer with the given threshold and storage choice (for scratch buffers).
    TImageBuffer(TNoMeasure, int64_t threshold, TPixelStorage storage);

    void SetKindFields(TPixelKind kind);
    void ClearPixels();
    void AttachSurface(TSurface* surface);
    void DetachSurface();
    void SetupSurfaceFor(int32_t width, int32_t height, TPixelKind kind);
    void TakeFieldsFromSurface();
    void SurfaceChanged();
    void SurfaceDestroyed();
    void CopyPixelsFrom(const TImageBuffer& source);
    void ConvertRowsFrom(const TImageBuffer& source);
    void MoveRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t dx, int32_t dy,
                  uint32_t fill);
    void ResizeOne(int32_t width, int32_t height, uint32_t fill, int32_t hAlign, int32_t vAlign);
    void MakeAlphaPlane(int32_t width, int32_t height);
    void QuantizeFrom(const TImageBuffer& source);

    std::unique_ptr<TMappedTempFile> tempFile_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bitCount_ = 0;
    int32_t rowLen_ = 0;
    TPixelKind kind_ = pkNone;
    uint8_t* rowBase_ = nullptr;     // address of row 0
    std::ptrdiff_t rowStep_ = 0;     // distance from one row to the next (negative in memory)
    TRGB* palette_ = nullptr;        // ownPalette_ or the surface's palette
    std::unique_ptr<std::array<TRGB, 256>> ownPalette_;
    int32_t paletteUsed_ = 0;
    std::unique_ptr<TImageBuffer> alpha_;
    bool isAlphaPlane_ = false;
    TPixelMemory memory_;
    std::unique_ptr<TSurface> ownSurface_;
    TSurface* surface_ = nullptr;
    TPixelStorage storage_ = psTempFile;
    bool isFull_ = false;
    bool surfaceBorrowed_ = false;
    int64_t tempFileThreshold_ = 0;
    TBWConversion bwConversion_ = bwThreshold;
    bool surfaceBusy_ = false;  // this buffer is changing its surface itself
};

}  // namespace luma
