// The common frame of the processing operations and the 1-bit to 24-bit conversion.

#include "imaging/image_proc.h"

#include <array>
#include <cstring>

#include "imaging/image_buffer.h"

namespace luma {

namespace {

// For each byte value, the eight 24-bit pixels its bits stand for (most significant bit first).
struct TExpandTable {
    std::array<std::array<uint8_t, 24>, 256> entry{};
    TExpandTable() {
        for (int v = 0; v < 256; ++v) {
            for (int bit = 0; bit < 8; ++bit) {
                const uint8_t level = (v & (0x80 >> bit)) ? 255 : 0;
                entry[v][bit * 3 + 0] = level;
                entry[v][bit * 3 + 1] = level;
                entry[v][bit * 3 + 2] = level;
            }
        }
    }
};

const TExpandTable& ExpandTable() {
    static const TExpandTable table;
    return table;
}

}  // namespace

void Expand1BitRowTo24(const uint8_t* source, uint8_t* target, int32_t width) {
    const auto& table = ExpandTable().entry;
    const int32_t whole = width / 8;
    for (int32_t i = 0; i < whole; ++i) {
        std::memcpy(target + static_cast<std::ptrdiff_t>(i) * 24, table[source[i]].data(), 24);
    }
    const int32_t rest = width % 8;
    if (rest > 0) {
        std::memcpy(target + static_cast<std::ptrdiff_t>(whole) * 24, table[source[whole]].data(),
                    static_cast<size_t>(rest) * 3);
    }
}

TImageBuffer* TImageProc::Begin(uint32_t acceptedKinds) const {
    if (image_ == nullptr || image_->Width() <= 0 || image_->Height() <= 0) return nullptr;
    if ((acceptedKinds & KindBit(image_->PixelKind())) == 0) return nullptr;
    return image_;
}

void TImageProc::ConvertTo24Bit() {
    TImageBuffer* image = Begin(KindBit(pk1Bit));
    if (image == nullptr) return;
    TImageBuffer copy;
    copy.SetTempFileThreshold(image->TempFileThreshold());
    copy.CopyImageFrom(*image);
    const int32_t width = image->Width();
    const int32_t height = image->Height();
    image->Allocate(width, height, pk24RGB);
    for (int32_t y = 0; y < height; ++y) {
        Expand1BitRowTo24(copy.ScanLine(y), image->ScanLine(y), width);
        Progress(y + 1, height);
    }
    Changed();
}

}  // namespace luma
