#include "imaging/plane_mask.h"

#include <algorithm>
#include <cstring>

#include "imaging/image_buffer.h"

namespace luma {

void TPlaneMask::Allocate(int32_t width, int32_t height, int32_t bitsPerPixel) {
    Clear();
    bits_ = bitsPerPixel == 1 ? 1 : 8;
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    rowLen_ = RowLenFor(width, bits_);
    data_.assign(static_cast<size_t>(rowLen_) * static_cast<size_t>(height_), 0);
}

void TPlaneMask::Clear() {
    width_ = 0;
    height_ = 0;
    rowLen_ = 0;
    data_.clear();
    data_.shrink_to_fit();
}

void TPlaneMask::CopyFrom(const TImageBuffer& plane) {
    const int32_t bits = plane.PixelKind() == pk1Bit ? 1 : 8;
    if (plane.Empty() || (plane.PixelKind() != pk8Gray && plane.PixelKind() != pk1Bit)) {
        Clear();
        return;
    }
    Allocate(plane.Width(), plane.Height(), bits);
    const auto bytes = static_cast<size_t>(std::min(rowLen_, plane.RowLen()));
    for (int32_t y = 0; y < height_; ++y) std::memcpy(Row(y), plane.ScanLine(y), bytes);
}

void TPlaneMask::CopyTo(TImageBuffer& target) const {
    target.Allocate(width_, height_, bits_ == 1 ? pk1Bit : pk8Gray);
    if (target.Empty()) return;
    const auto bytes = static_cast<size_t>(std::min(rowLen_, target.RowLen()));
    for (int32_t y = 0; y < height_; ++y) std::memcpy(target.ScanLine(y), Row(y), bytes);
}

}  // namespace luma
