#pragma once
// TPlaneMask: a plain 1-bit or 8-bit plane (alpha or mask) carried between the image buffer,
// scaling and the PNG writer. One zero-initialised block, rows bottom-up; Row(0) is the top row.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace luma {

class TImageBuffer;

class TPlaneMask {
public:
    TPlaneMask() = default;
    TPlaneMask(int32_t width, int32_t height, int32_t bitsPerPixel) {
        Allocate(width, height, bitsPerPixel);
    }

    // Zero-filled plane; bitsPerPixel 1 or 8. Non-positive sizes give an empty plane.
    void Allocate(int32_t width, int32_t height, int32_t bitsPerPixel);
    void Clear();

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t BitsPerPixel() const { return bits_; }
    int32_t RowLen() const { return rowLen_; }
    bool Empty() const { return data_.empty(); }

    uint8_t* Row(int32_t row) {
        return data_.data() + static_cast<std::ptrdiff_t>(height_ - 1 - row) * rowLen_;
    }
    const uint8_t* Row(int32_t row) const {
        return data_.data() + static_cast<std::ptrdiff_t>(height_ - 1 - row) * rowLen_;
    }

    // Takes size and rows of an 8-bit buffer (an alpha plane) as they are; other kinds give an
    // empty plane.
    void CopyFrom(const TImageBuffer& plane);
    // Allocates `target` at the plane's size as pk8Gray (8-bit) or pk1Bit (1-bit) and copies
    // the rows.
    void CopyTo(TImageBuffer& target) const;

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bits_ = 8;
    int32_t rowLen_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace luma
