// The colour operations of TImageProc: colour reduction, black and white, gray.
// All of them accept only 24-bit images and do nothing to any other kind.

#include <vector>

#include "imaging/bw_convert.h"
#include "imaging/color_quantizer.h"
#include "imaging/gray.h"
#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"

namespace luma {

namespace {

constexpr int32_t kMaxColors = 1024;

// Replaces every pixel of a 24-bit image by its palette colour; `palette` has room for
// `colors` entries and receives the learnt palette.
void Reduce(const TImageProc& proc, TImageBuffer& image, int32_t colors, TRGB* palette) {
    TColorQuantizer quantizer(image, colors, palette, -1);
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    // The gray ramp and the image's own colours map every pixel to itself.
    const bool identity = quantizer.Path() == TColorQuantizer::qpGray ||
                          quantizer.Path() == TColorQuantizer::qpExact;
    std::vector<int32_t> indices(identity ? 0 : static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        if (!identity) {
            uint8_t* row = image.ScanLine(y);
            quantizer.IndexRow(row, width, indices.data());
            for (int32_t x = 0; x < width; ++x, row += 3) {
                const TRGB& c = palette[indices[static_cast<size_t>(x)]];
                row[0] = c.b;
                row[1] = c.g;
                row[2] = c.r;
            }
        }
        proc.Progress(y + 1, height);
    }
}

}  // namespace

void TImageProc::ConvertTo(int32_t colors, bool threshold) {
    TImageBuffer* image = Begin(KindBit(pk24RGB));
    if (image == nullptr) return;
    if (colors < 3) {
        if (threshold) {
            ConvertToBWThreshold(-1);
        } else {
            ConvertToBWOrdered();
        }
        return;
    }
    if (colors > kMaxColors) return;
    std::vector<TRGB> palette(static_cast<size_t>(colors));
    Reduce(*this, *image, colors, palette.data());
    Changed();
}

void TImageProc::ConvertToPalette(int32_t colors, TRGB* palette, bool threshold) {
    TImageBuffer* image = Begin(KindBit(pk24RGB));
    if (image == nullptr) return;
    if (colors < 3) {
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
        if (threshold) {
            ConvertToBWThreshold(-1);
        } else {
            ConvertToBWOrdered();
        }
        return;
    }
    if (colors > kMaxColors) return;
    Reduce(*this, *image, colors, palette);
    Changed();
}

template <typename PackRow>
void TImageProc::ToOneBit(TImageBuffer& image, PackRow packRow) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    TImageBuffer bits;
    bits.SetTempFileThreshold(image.TempFileThreshold());
    bits.Allocate(width, height, pk1Bit);
    for (int32_t y = 0; y < height; ++y) {
        packRow(image.ScanLine(y), width, y, bits.ScanLine(y));
        Progress(y + 1, height);
    }
    image.CopyImageFrom(bits);
    Changed();
}

void TImageProc::ConvertToBWOrdered() {
    TImageBuffer* image = Begin(KindBit(pk24RGB));
    if (image == nullptr) return;
    ToOneBit(*image, [](const uint8_t* src, int32_t width, int32_t y, uint8_t* dst) {
        OrderedRow24(src, width, y, dst);
    });
}

void TImageProc::ConvertToBWThreshold(int32_t threshold) {
    TImageBuffer* image = Begin(KindBit(pk24RGB));
    if (image == nullptr) return;
    if (threshold == -1) {
        threshold = MeanThreshold(*image);
    } else if (threshold == -2) {
        threshold = MaxEntropyThreshold(TRgbRows(*image));
    }
    ToOneBit(*image, [threshold](const uint8_t* src, int32_t width, int32_t, uint8_t* dst) {
        ThresholdRow24(src, width, threshold, dst);
    });
}

void TImageProc::ConvertToGray() {
    TImageBuffer* image = Begin(KindBit(pk24RGB));
    if (image == nullptr) return;
    const int32_t width = image->Width();
    const int32_t height = image->Height();
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = image->ScanLine(y);
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const uint8_t v = gray8(p[2], p[1], p[0]);
            p[0] = v;
            p[1] = v;
            p[2] = v;
        }
        Progress(y + 1, height);
    }
    Changed();
}

}  // namespace luma
