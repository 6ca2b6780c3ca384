// Palette learning for 24-bit images: the choice between the gray ramp, the image's own colours,
// the box split and the network, and the mapping of colours to palette indices.

#include "imaging/color_quantizer.h"

#include "imaging/box_split.h"
#include "imaging/image_buffer.h"
#include "imaging/neuquant.h"

namespace luma {

namespace {

uint32_t ColorKey(const uint8_t* px) {
    return static_cast<uint32_t>(px[0]) | (static_cast<uint32_t>(px[1]) << 8) |
           (static_cast<uint32_t>(px[2]) << 16);
}

uint32_t HashKey(uint32_t key) { return key * 2654435761u; }

constexpr int kCacheBits = 18;

int32_t LimitColors(int32_t colors) {
    return colors < 1 ? 1 : (colors > TColorQuantizer::kMaxColors ? TColorQuantizer::kMaxColors
                                                                   : colors);
}

}  // namespace

TRgbRows::TRgbRows(const TImageBuffer& image)
    : image_(&image), width_(image.Width()), height_(image.Height()) {}

const uint8_t* TRgbRows::Row(int32_t y) const {
    if (image_ != nullptr) return image_->ScanLine(y);
    return first_ + static_cast<std::ptrdiff_t>(y) * stride_;
}

TColorQuantizer::TColorQuantizer(const TRgbRows& image, int32_t colors, TRGB* palette,
                                 int32_t quality)
    : colors_(LimitColors(colors)) {
    Learn(image, palette, quality);
}

TColorQuantizer::TColorQuantizer(const TImageBuffer& image, int32_t colors, TRGB* palette,
                                 int32_t quality)
    : colors_(LimitColors(colors)) {
    if (image.PixelKind() == pk24RGB) {
        Learn(TRgbRows(image), palette, quality);
    } else {
        Learn(TRgbRows(nullptr, 0, 0, 0), palette, quality);
    }
}

TColorQuantizer::~TColorQuantizer() = default;

void TColorQuantizer::Learn(const TRgbRows& image, TRGB* palette, int32_t quality) {
    if (colors_ == 256 && TryGray(image, palette)) {
        path_ = qpGray;
        return;
    }
    if (TryExact(image, palette)) {
        path_ = qpExact;
        return;
    }
    // More than n colours, so the image has at least n + 1 >= 2 pixels.
    if (colors_ < 128) {
        path_ = qpBoxSplit;
        boxSplit_ = std::make_unique<TBoxSplit>(image, colors_);
        boxSplit_->WritePalette(palette);
        paletteCount_ = boxSplit_->BoxCount();
        return;
    }
    path_ = qpNetwork;
    const int64_t pixels = static_cast<int64_t>(image.Width()) * image.Height();
    network_ = std::make_unique<TNeuQuant>(image, colors_,
                                           TNeuQuant::SamplingFactor(pixels, quality));
    network_->WritePalette(palette);
    paletteCount_ = colors_;
}

bool TColorQuantizer::TryGray(const TRgbRows& image, TRGB* palette) {
    const int32_t width = image.Width();
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        const uint8_t* end = p + static_cast<std::ptrdiff_t>(width) * 3;
        for (; p != end; p += 3) {
            if (p[0] != p[1] || p[1] != p[2]) return false;
        }
    }
    for (int32_t i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        palette[i] = TRGB{v, v, v};
    }
    paletteCount_ = 256;
    return true;
}

bool TColorQuantizer::TryExact(const TRgbRows& image, TRGB* palette) {
    // A hash set gives the same list as a linear search (first-appearance order, stop at the
    // (n + 1)-th colour) at a fraction of the cost.
    uint32_t capacity = 16;
    while (capacity < 2u * static_cast<uint32_t>(colors_ + 1)) capacity <<= 1;
    int shift = 32;
    for (uint32_t c = capacity; c > 1; c >>= 1) --shift;
    exactMask_ = capacity - 1;
    exactKeys_.assign(capacity, 0);
    exactSlots_.assign(capacity, 0);
    exact_.clear();
    exact_.reserve(static_cast<size_t>(colors_));

    const int32_t width = image.Width();
    uint32_t lastKey = 0xFFFFFFFFu;
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        const uint8_t* end = p + static_cast<std::ptrdiff_t>(width) * 3;
        for (; p != end; p += 3) {
            const uint32_t key = ColorKey(p);
            if (key == lastKey) continue;
            lastKey = key;
            uint32_t slot = HashKey(key) >> shift;
            while (exactKeys_[slot] != 0 && exactKeys_[slot] != key + 1) {
                slot = (slot + 1) & exactMask_;
            }
            if (exactKeys_[slot] != 0) continue;
            if (static_cast<int32_t>(exact_.size()) == colors_) {
                exact_.clear();
                exactKeys_.clear();
                exactSlots_.clear();
                return false;
            }
            exactKeys_[slot] = key + 1;
            exactSlots_[slot] = static_cast<int32_t>(exact_.size());
            exact_.push_back(key);
        }
    }
    exactShift_ = shift;
    for (size_t i = 0; i < exact_.size(); ++i) {
        const uint32_t key = exact_[i];
        palette[i] = TRGB{static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                          static_cast<uint8_t>(key >> 16)};
    }
    paletteCount_ = static_cast<int32_t>(exact_.size());
    return true;
}

int32_t TColorQuantizer::ExactIndex(uint32_t key) const {
    uint32_t slot = HashKey(key) >> exactShift_;
    while (exactKeys_[slot] != 0) {
        if (exactKeys_[slot] == key + 1) return exactSlots_[slot];
        slot = (slot + 1) & exactMask_;
    }
    return -1;
}

int32_t TColorQuantizer::ColorIndex(uint8_t blue, uint8_t green, uint8_t red) const {
    switch (path_) {
    case qpGray: return red;
    case qpExact:
        return ExactIndex(static_cast<uint32_t>(blue) | (static_cast<uint32_t>(green) << 8) |
                          (static_cast<uint32_t>(red) << 16));
    case qpBoxSplit: return boxSplit_->Index(blue, green, red);
    case qpNetwork: return network_->Search(blue, green, red);
    }
    return -1;
}

void TColorQuantizer::IndexRow(const uint8_t* bgrRow, int32_t width, int32_t* indices) {
    const uint8_t* p = bgrRow;
    switch (path_) {
    case qpGray:
        for (int32_t x = 0; x < width; ++x, p += 3) indices[x] = p[2];
        return;
    case qpExact: {
        uint32_t lastKey = 0xFFFFFFFFu;
        int32_t lastIndex = -1;
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const uint32_t key = ColorKey(p);
            if (key != lastKey) {
                lastKey = key;
                lastIndex = ExactIndex(key);
            }
            indices[x] = lastIndex;
        }
        return;
    }
    case qpBoxSplit: {
        const TBoxSplit& split = *boxSplit_;
        for (int32_t x = 0; x < width; ++x, p += 3) indices[x] = split.Index(p[0], p[1], p[2]);
        return;
    }
    case qpNetwork: {
        // Each entry holds the colour key + 1 in the low half and its index in the high half.
        if (cache_.empty()) cache_.assign(size_t{1} << kCacheBits, 0);
        const TNeuQuant& network = *network_;
        uint64_t* cache = cache_.data();
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const uint32_t key = ColorKey(p);
            uint64_t& entry = cache[HashKey(key) >> (32 - kCacheBits)];
            if (static_cast<uint32_t>(entry) != key + 1) {
                entry = (key + 1) | (static_cast<uint64_t>(static_cast<uint32_t>(
                                         network.Search(p[0], p[1], p[2])))
                                     << 32);
            }
            indices[x] = static_cast<int32_t>(entry >> 32);
        }
        return;
    }
    }
}

}  // namespace luma
