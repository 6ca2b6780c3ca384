// Black-and-white thresholds and the row writers for 1-bit conversion (see bw_convert.h).
//
// The maximum-entropy threshold picks the gray level that maximises the summed entropies of the
// dark and the light part of the gray histogram (Kapur, Sahoo and Wong, "A new method for
// gray-level picture thresholding using the entropy of the histogram", 1985).

#include "imaging/bw_convert.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "imaging/color_quantizer.h"
#include "imaging/gray.h"
#include "imaging/image_buffer.h"

namespace luma {

namespace {

// The 8 x 8 ordered-dither matrix, addressed [x mod 8][y mod 8].
constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

// Accumulates the row-wise means: each row's integer channel means are summed, and the total is
// divided by the number of rows at the end.
struct TMeanSum {
    int64_t b = 0;
    int64_t g = 0;
    int64_t r = 0;
    void AddRow(int64_t sumB, int64_t sumG, int64_t sumR, int32_t width) {
        b += sumB / width;
        g += sumG / width;
        r += sumR / width;
    }
    TRGB Mean(int32_t height) const {
        return TRGB{static_cast<uint8_t>(b / height), static_cast<uint8_t>(g / height),
                    static_cast<uint8_t>(r / height)};
    }
};

constexpr TRGB kEmptyMean{128, 128, 128};

void SumRow24(const uint8_t* p, int32_t width, TMeanSum& sum) {
    int64_t b = 0;
    int64_t g = 0;
    int64_t r = 0;
    for (int32_t x = 0; x < width; ++x, p += 3) {
        b += p[0];
        g += p[1];
        r += p[2];
    }
    sum.AddRow(b, g, r, width);
}

int32_t Gray8(const uint8_t* px) { return gray8(px[2], px[1], px[0]); }

}  // namespace

TRGB MeanColor(const TRgbRows& image) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    if (width <= 0 || height <= 0) return kEmptyMean;
    TMeanSum sum;
    for (int32_t y = 0; y < height; ++y) SumRow24(image.Row(y), width, sum);
    return sum.Mean(height);
}

TRGB MeanColor(const TImageBuffer& image) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    if (image.Empty()) return kEmptyMean;
    TMeanSum sum;
    switch (image.PixelKind()) {
    case pk24RGB: return MeanColor(TRgbRows(image));
    case pk1Bit:
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = image.ScanLine(y);
            int64_t set = 0;
            for (int32_t x = 0; x < width / 8; ++x) set += std::popcount(row[x]);
            if (width % 8 != 0) {
                const auto mask = static_cast<uint8_t>(0xFF00u >> (width % 8));
                set += std::popcount(static_cast<uint8_t>(row[width / 8] & mask));
            }
            sum.AddRow(set * 255, set * 255, set * 255, width);
        }
        break;
    case pk8Palette: {
        const TRGB* palette = image.Palette();
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = image.ScanLine(y);
            int64_t b = 0;
            int64_t g = 0;
            int64_t r = 0;
            for (int32_t x = 0; x < width; ++x) {
                const TRGB& entry = palette[row[x]];
                b += entry.b;
                g += entry.g;
                r += entry.r;
            }
            sum.AddRow(b, g, r, width);
        }
        break;
    }
    case pk8Gray:
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = image.ScanLine(y);
            int64_t v = 0;
            for (int32_t x = 0; x < width; ++x) v += row[x];
            sum.AddRow(v, v, v, width);
        }
        break;
    case pk16Gray:
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = image.ScanLine(y);
            int64_t v = 0;
            for (int32_t x = 0; x < width; ++x) v += row[2 * x + 1];  // high byte
            sum.AddRow(v, v, v, width);
        }
        break;
    default: return kEmptyMean;
    }
    return sum.Mean(height);
}

int32_t MeanThreshold(const TImageBuffer& image) {
    const TRGB mean = MeanColor(image);
    return gray8(mean.r, mean.g, mean.b);
}

int32_t MeanThreshold(const TRgbRows& image) {
    const TRGB mean = MeanColor(image);
    return gray8(mean.r, mean.g, mean.b);
}

int32_t MaxEntropyThreshold(const TRgbRows& image) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    if (width <= 0 || height <= 0) return -2;
    std::array<int64_t, 256> histogram{};
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = image.Row(y);
        for (int32_t x = 0; x < width; ++x, p += 3) ++histogram[static_cast<size_t>(Gray8(p))];
    }
    const double total = static_cast<double>(width) * static_cast<double>(height);
    std::array<double, 256> prob{};
    double entropyTotal = 0;
    for (size_t i = 0; i < 256; ++i) {
        prob[i] = static_cast<double>(histogram[i]) / total;
        if (prob[i] > 0) entropyTotal -= prob[i] * std::log(prob[i]);
    }
    // Only levels that split the histogram into two non-empty parts are candidates. Their value
    // (the summed entropies of both parts) is never negative, and it is 0 exactly when both parts
    // hold a single gray level each; that case still takes the first such level, so that an
    // image of two gray levels is split between them instead of turning all white.
    double cumulative = 0;
    double entropyDark = 0;
    double best = 0;
    int32_t threshold = -2;
    for (size_t k = 1; k < 256; ++k) {
        const double p = prob[k - 1];
        cumulative += p;
        if (p > 0) entropyDark -= p * std::log(p);
        if (!(cumulative > 0 && cumulative < 1)) continue;
        const double value = std::log(cumulative - cumulative * cumulative) +
                             entropyDark / cumulative +
                             (entropyTotal - entropyDark) / (1 - cumulative);
        if (threshold < 0 || value > best) {
            best = value;
            threshold = static_cast<int32_t>(k);
        }
    }
    return threshold;
}

void ThresholdRow24(const uint8_t* bgrRow, int32_t width, int32_t threshold, uint8_t* bitRow) {
    const uint8_t* p = bgrRow;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) {
        const int32_t count = (i == bytes - 1 && width % 8 != 0) ? width % 8 : 8;
        uint32_t bits = 0;
        for (int32_t k = 0; k < count; ++k, p += 3) {
            bits |= static_cast<uint32_t>(Gray8(p) >= threshold) << (7 - k);
        }
        bitRow[i] = static_cast<uint8_t>(bits);
    }
}

void OrderedRow24(const uint8_t* bgrRow, int32_t width, int32_t y, uint8_t* bitRow) {
    std::array<int32_t, 8> limit{};
    for (size_t k = 0; k < 8; ++k) limit[k] = kDither[k][y & 7];
    const uint8_t* p = bgrRow;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) {
        const int32_t count = (i == bytes - 1 && width % 8 != 0) ? width % 8 : 8;
        uint32_t bits = 0;
        for (int32_t k = 0; k < count; ++k, p += 3) {
            bits |= static_cast<uint32_t>(limit[static_cast<size_t>(k)] < Gray8(p) / 4) << (7 - k);
        }
        bitRow[i] = static_cast<uint8_t>(bits);
    }
}

void ThresholdRow8(const uint8_t* levels, int32_t width, int32_t threshold, uint8_t* bitRow) {
    const uint8_t* p = levels;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) {
        const int32_t count = (i == bytes - 1 && width % 8 != 0) ? width % 8 : 8;
        uint32_t bits = 0;
        for (int32_t k = 0; k < count; ++k, ++p) bits |= static_cast<uint32_t>(*p >= threshold) << (7 - k);
        bitRow[i] = static_cast<uint8_t>(bits);
    }
}

void OrderedRow8(const uint8_t* levels, int32_t width, int32_t y, uint8_t* bitRow) {
    std::array<int32_t, 8> limit{};
    for (size_t k = 0; k < 8; ++k) limit[k] = kDither[k][y & 7];
    const uint8_t* p = levels;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) {
        const int32_t count = (i == bytes - 1 && width % 8 != 0) ? width % 8 : 8;
        uint32_t bits = 0;
        for (int32_t k = 0; k < count; ++k, ++p) {
            bits |= static_cast<uint32_t>(limit[static_cast<size_t>(k)] < (*p >> 2)) << (7 - k);
        }
        bitRow[i] = static_cast<uint8_t>(bits);
    }
}

}  // namespace luma
