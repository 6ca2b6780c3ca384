#pragma once
// TImageProc: the processing operations applied to one attached image buffer.
//
// Every operation follows the same frame: do nothing when there is no image or its kind is not
// accepted (Begin), transform the buffer in place (reporting row progress through OnProgress
// when set), then tell the owner of the image that it changed (Changed). No undo copies are
// kept: AutoUndo and UndoLimit are carried as settings only.
//
// The operations are implemented in several files: the frame and ConvertTo24Bit in
// image_proc.cpp, Resample in image_proc_resample.cpp, the colour operations in
// image_proc_color.cpp, Rotate and Flip in image_proc_rotate.cpp.

#include <cstdint>
#include <functional>
#include <utility>

#include "imaging/pixel_kind.h"
#include "imaging/resample_filter.h"

namespace luma {

class TImageBuffer;

enum TFlipDirection : uint8_t {
    fdHorizontal = 0,  // mirror left <-> right
    fdVertical = 1,    // mirror top <-> bottom
};

class TImageProc {
public:
    // Percent 0..100.
    using TProgressHandler = std::function<void(int32_t percent)>;
    // Called after every operation that changed the image.
    using TChangedHandler = std::function<void()>;

    TImageProc() = default;
    explicit TImageProc(TImageBuffer* image) : image_(image) {}
    TImageProc(const TImageProc&) = delete;
    TImageProc& operator=(const TImageProc&) = delete;

    // Attaches the buffer the operations work on (null detaches).
    void AttachImage(TImageBuffer* image) { image_ = image; }
    void DetachImage() { image_ = nullptr; }
    TImageBuffer* AttachedBuffer() const { return image_; }
    // The hook the owning image component uses to refresh itself after a change.
    void SetOnChanged(TChangedHandler handler) { onChanged_ = std::move(handler); }

    TProgressHandler OnProgress;
    bool AutoUndo = true;
    int32_t UndoLimit = 1;
    // Background used by Rotate when its background argument is 0xFFFFFFFF (-1).
    TColor Background = clWhite;

    // --- operations ---
    // Scales to the target size (rules for -1, 0 and negative sizes included).
    void Resample(int32_t newWidth, int32_t newHeight, TResampleFilter filter);
    // 1-bit to 24-bit; other kinds unchanged.
    void ConvertTo24Bit();
    // Colour reduction of a 24-bit image.
    void ConvertTo(int32_t colors, bool threshold);
    // As ConvertTo; also writes the palette used into `palette` (room for `colors` entries,
    // at least 2).
    void ConvertToPalette(int32_t colors, TRGB* palette, bool threshold);
    void ConvertToBWOrdered();
    // threshold: -1 automatic mean, -2 maximum entropy, otherwise a gray level.
    void ConvertToBWThreshold(int32_t threshold);
    void ConvertToGray();
    // Counter-clockwise rotation by `angle` degrees.
    void Rotate(double angle, bool smooth, uint8_t method, TColor background);
    void Flip(TFlipDirection direction);

    // --- the common steps, for the operation files ---
    static constexpr uint32_t KindBit(TPixelKind kind) { return 1u << kind; }
    static constexpr uint32_t AnyKind =
        (1u << pk1Bit) | (1u << pk8Palette) | (1u << pk8Gray) | (1u << pk16Gray) | (1u << pk24RGB);
    // The attached image when it has pixels and its kind is in `acceptedKinds` (KindBit mask),
    // else null: the operation then does nothing.
    TImageBuffer* Begin(uint32_t acceptedKinds) const;
    // trunc(done x (100 / (total + 0.5))).
    static int32_t ProgressPercent(int64_t done, int64_t total) {
        return static_cast<int32_t>(static_cast<double>(done) *
                                    (100.0 / (static_cast<double>(total) + 0.5)));
    }
    // Reports ProgressPercent(done, total) when a handler is set.
    void Progress(int64_t done, int64_t total) const {
        if (OnProgress) OnProgress(ProgressPercent(done, total));
    }
    // Tells the owner that the image changed.
    void Changed() const {
        if (onChanged_) onChanged_();
    }

private:
    // Replaces a 24-bit image by 1-bit rows made by packRow(src, width, y, dst).
    template <typename PackRow>
    void ToOneBit(TImageBuffer& image, PackRow packRow);

    TImageBuffer* image_ = nullptr;
    TChangedHandler onChanged_;
};

// Expands one row of 1-bit pixels (`width` pixels) into 24-bit black/white pixels a byte
// (eight pixels) at a time through a 256 x 24-byte table.
void Expand1BitRowTo24(const uint8_t* source, uint8_t* target, int32_t width);

}  // namespace luma
