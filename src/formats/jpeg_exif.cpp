#include "formats/jpeg_exif.h"

#include <cstring>

namespace luma {

namespace {

// A bounded view of the TIFF structure inside the EXIF block, in its own byte order.
class TTiffView {
public:
    TTiffView(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian) {}

    bool Has(size_t offset, size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    uint16_t U16(size_t offset) const {
        const uint8_t* p = data_ + offset;
        return bigEndian_ ? static_cast<uint16_t>((p[0] << 8) | p[1])
                          : static_cast<uint16_t>((p[1] << 8) | p[0]);
    }
    uint32_t U32(size_t offset) const {
        const uint8_t* p = data_ + offset;
        return bigEndian_ ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                          : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool bigEndian_;
};

constexpr uint16_t kTagXResolution = 0x011A;
constexpr uint16_t kTagYResolution = 0x011B;
constexpr uint16_t kTagResolutionUnit = 0x0128;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;
constexpr uint16_t kTypeSRational = 10;

// The rational an IFD entry points at, or 0 when it is of another type or out of bounds.
double ReadRational(const TTiffView& view, size_t entry) {
    const uint16_t type = view.U16(entry + 2);
    if (type != kTypeRational && type != kTypeSRational) {
        return 0;
    }
    const size_t offset = view.U32(entry + 8);
    if (!view.Has(offset, 8)) {
        return 0;
    }
    const uint32_t num = view.U32(offset);
    const uint32_t den = view.U32(offset + 4);
    if (den == 0) {
        return 0;
    }
    if (type == kTypeSRational) {
        return static_cast<double>(static_cast<int32_t>(num)) / static_cast<int32_t>(den);
    }
    return static_cast<double>(num) / den;
}

}  // namespace

std::optional<TExifResolution> ParseExifResolution(const uint8_t* data, size_t size) {
    static constexpr char kSignature[6] = {'E', 'x', 'i', 'f', '\0', '\0'};
    if (data == nullptr || size < sizeof(kSignature) + 8 ||
        std::memcmp(data, kSignature, sizeof(kSignature)) != 0) {
        return std::nullopt;
    }
    const uint8_t* tiff = data + sizeof(kSignature);
    const size_t tiffSize = size - sizeof(kSignature);
    bool bigEndian = false;
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        bigEndian = false;
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        bigEndian = true;
    } else {
        return std::nullopt;
    }
    const TTiffView view(tiff, tiffSize, bigEndian);
    if (view.U16(2) != 42) {
        return std::nullopt;
    }
    const size_t ifd = view.U32(4);
    if (!view.Has(ifd, 2)) {
        return std::nullopt;
    }
    const size_t count = view.U16(ifd);
    if (!view.Has(ifd + 2, count * 12)) {
        return std::nullopt;
    }
    TExifResolution result;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + i * 12;
        const uint16_t tag = view.U16(entry);
        if (tag == kTagXResolution) {
            result.x = ReadRational(view, entry);
        } else if (tag == kTagYResolution) {
            result.y = ReadRational(view, entry);
        } else if (tag == kTagResolutionUnit) {
            const uint16_t type = view.U16(entry + 2);
            if (type == kTypeShort) {
                result.unit = view.U16(entry + 8);
            } else if (type == kTypeLong) {
                result.unit = static_cast<int>(view.U32(entry + 8));
            }
        }
    }
    return result;
}

}  // namespace luma
