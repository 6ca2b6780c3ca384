#pragma once
// TColorQuantizer: learns a palette of at most n colours for a 24-bit image and maps colours to
// palette indices.
//
// Four paths, chosen at construction:
//   - gray: n = 256 and every pixel gray; the palette is the identity gray ramp.
//   - exact: the image has no more than n distinct colours; the palette lists them in order of
//     first appearance (scan top row first, left to right).
//   - box split (n < 128): variance-based splitting of a 5-bit-per-channel histogram
//     (box_split.h).
//   - network (n >= 128): a self-organising colour network (neuquant.h).
// Only the entries the chosen path fills are written into the caller's palette array; the rest
// keep whatever the caller put there.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/pixel_kind.h"

namespace luma {

class TImageBuffer;
class TBoxSplit;
class TNeuQuant;

// Read-only access to the rows of a 24-bit (blue, green, red) image: either plain memory
// (first row + stride in bytes, which may be negative) or a TImageBuffer's ScanLine.
class TRgbRows {
public:
    TRgbRows(const uint8_t* firstRow, std::ptrdiff_t stride, int32_t width, int32_t height)
        : first_(firstRow), stride_(stride), width_(width), height_(height) {}
    // The buffer must be pk24RGB; it must outlive this view.
    explicit TRgbRows(const TImageBuffer& image);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Row y (0 = top). Not range-checked.
    const uint8_t* Row(int32_t y) const;

private:
    const TImageBuffer* image_ = nullptr;
    const uint8_t* first_ = nullptr;
    std::ptrdiff_t stride_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

class TColorQuantizer {
public:
    enum TPath : uint8_t {
        qpGray = 0,      // identity gray ramp
        qpExact = 1,     // the image's own colours
        qpBoxSplit = 2,  // variance box split (n < 128)
        qpNetwork = 3,   // self-organising network (n >= 128)
    };

    // The largest colour count the integer learning rules of the network can take.
    static constexpr int32_t kMaxColors = 16384;

    // Learns a palette of `colors` colours (limited to 1 .. kMaxColors) from a 24-bit image and
    // writes it into `palette` (room for `colors` entries). quality -1 chooses the network's
    // sampling factor from the image size; 0..100 gives it directly (100 = every pixel).
    TColorQuantizer(const TRgbRows& image, int32_t colors, TRGB* palette, int32_t quality = -1);
    // The same over a buffer; a buffer that is not pk24RGB counts as an image without pixels
    // (the exact path with no colours).
    TColorQuantizer(const TImageBuffer& image, int32_t colors, TRGB* palette,
                    int32_t quality = -1);
    ~TColorQuantizer();
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    // The palette index of a colour. On the exact path a colour the image did not contain gives
    // -1; callers map only the image's own pixels.
    int32_t ColorIndex(uint8_t blue, uint8_t green, uint8_t red) const;
    int32_t ColorIndex(TRGB color) const { return ColorIndex(color.b, color.g, color.r); }

    // ColorIndex of every pixel of a 24-bit row, `width` pixels, into `indices`. Faster than
    // calling ColorIndex per pixel: tables and a cache of recent answers give the same results.
    // Not const because it fills that cache.
    void IndexRow(const uint8_t* bgrRow, int32_t width, int32_t* indices);

    // The requested number of colours n.
    int32_t Colors() const { return colors_; }
    TPath Path() const { return path_; }
    // How many palette entries the chosen path wrote (0 .. n).
    int32_t PaletteCount() const { return paletteCount_; }

private:
    void Learn(const TRgbRows& image, TRGB* palette, int32_t quality);
    bool TryGray(const TRgbRows& image, TRGB* palette);
    bool TryExact(const TRgbRows& image, TRGB* palette);
    int32_t ExactIndex(uint32_t key) const;

    int32_t colors_ = 0;
    TPath path_ = qpExact;
    int32_t paletteCount_ = 0;
    // Exact path: the colours (blue | green << 8 | red << 16) in first-appearance order, and an
    // open-addressing table (key + 1, position) for lookups.
    std::vector<uint32_t> exact_;
    std::vector<uint32_t> exactKeys_;
    std::vector<int32_t> exactSlots_;
    uint32_t exactMask_ = 0;
    int exactShift_ = 32;
    std::unique_ptr<TBoxSplit> boxSplit_;
    std::unique_ptr<TNeuQuant> network_;
    // Network path: a direct-mapped cache of search results (colour key + 1, index).
    std::vector<uint64_t> cache_;
};

}  // namespace luma
