// Variance-based box split over a 5-bit-per-channel histogram (see box_split.h).

#include "imaging/box_split.h"

#include <cmath>

#include "imaging/color_quantizer.h"

namespace luma {

namespace {

// Nearest integer, ties to even (the default floating-point rounding mode).
int32_t RoundEven(double value) { return static_cast<int32_t>(std::nearbyint(value)); }

}  // namespace

TBoxSplit::TBoxSplit(const TRgbRows& image, int32_t colors)
    : histogram_(32 * 32 * 32, 0), table_(32 * 32 * 32, 0) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    int64_t* cells = histogram_.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = image.Row(y);
        const uint8_t* end = p + static_cast<std::ptrdiff_t>(width) * 3;
        for (; p != end; p += 3) {
            ++cells[(static_cast<uint32_t>(p[2] >> 3) << 10) |
                    (static_cast<uint32_t>(p[1] >> 3) << 5) | (p[0] >> 3)];
        }
    }
    pixels_ = static_cast<int64_t>(width) * height;

    // The first box spans the whole cube; its marginals come straight from the histogram.
    TBox first;
    first.lo = {0, 0, 0};
    first.hi = {32, 32, 32};
    first.count = pixels_;
    for (int32_t r = 0; r < 32; ++r) {
        for (int32_t g = 0; g < 32; ++g) {
            for (int32_t b = 0; b < 32; ++b) {
                const int64_t n = Cell(r, g, b);
                first.marginal[chRed][static_cast<size_t>(r)] += n;
                first.marginal[chGreen][static_cast<size_t>(g)] += n;
                first.marginal[chBlue][static_cast<size_t>(b)] += n;
            }
        }
    }
    Statistics(first);
    boxes_.reserve(static_cast<size_t>(colors));
    boxes_.push_back(first);

    while (static_cast<int32_t>(boxes_.size()) < colors) {
        int32_t pick = -1;
        double top = 0;
        for (size_t i = 0; i < boxes_.size(); ++i) {
            if (boxes_[i].score > top) {
                top = boxes_[i].score;
                pick = static_cast<int32_t>(i);
            }
        }
        if (pick < 0) break;
        TBox& box = boxes_[static_cast<size_t>(pick)];

        std::array<TBox, 3> lower;
        std::array<TBox, 3> upper;
        std::array<double, 3> sum{};
        for (int c = 0; c < 3; ++c) {
            sum[static_cast<size_t>(c)] =
                TrySplit(box, c, lower[static_cast<size_t>(c)], upper[static_cast<size_t>(c)])
                    ? lower[static_cast<size_t>(c)].score + upper[static_cast<size_t>(c)].score
                    : kNoSplit;
        }
        int chosen = -1;
        for (int c = 0; c < 3 && chosen < 0; ++c) {
            const double s = sum[static_cast<size_t>(c)];
            if (s < kNoSplit && s <= sum[static_cast<size_t>((c + 1) % 3)] &&
                s <= sum[static_cast<size_t>((c + 2) % 3)]) {
                chosen = c;
            }
        }
        if (chosen < 0) {
            box.score = 0;  // never picked again
            continue;
        }
        box = lower[static_cast<size_t>(chosen)];
        boxes_.push_back(upper[static_cast<size_t>(chosen)]);
    }
    BuildTable();
}

void TBoxSplit::Statistics(TBox& box) const {
    const double count = static_cast<double>(box.count);
    double error = 0;
    for (size_t c = 0; c < 3; ++c) {
        int64_t sum = 0;
        int64_t sumSquares = 0;
        for (int64_t j = 0; j < 32; ++j) {
            const int64_t n = box.marginal[c][static_cast<size_t>(j)];
            sum += j * n;
            sumSquares += j * j * n;
        }
        const double mean = static_cast<double>(sum) / count;
        box.mean[c] = mean;
        error += static_cast<double>(sumSquares) - mean * mean * count;
    }
    box.error = error;
    box.score = error / static_cast<double>(pixels_);
}

bool TBoxSplit::TrySplit(const TBox& box, int channel, TBox& lower, TBox& upper) const {
    const size_t c = static_cast<size_t>(channel);
    const int32_t lo = box.lo[c];
    const int32_t hi = box.hi[c];
    if (lo + 1 == hi) return false;
    const double m = box.mean[c];
    const int32_t start = RoundEven((lo + m) / 2);
    const int32_t end = RoundEven((hi + m) / 2);
    const auto& counts = box.marginal[c];

    int64_t cumCount = 0;
    for (int32_t j = lo; j < start; ++j) cumCount += counts[static_cast<size_t>(j)];
    double cumMean = 0;
    double best = -1;
    int32_t split = -1;
    const double total = static_cast<double>(box.count);
    // The running count reaches the box count at the box's last non-empty bin (at most 31),
    // so the walk never leaves the histogram; the bound is a guard only.
    for (int32_t e = start; e <= end && e < 32; ++e) {
        const int64_t n = counts[static_cast<size_t>(e)];
        cumCount += n;
        if (cumCount == box.count) break;
        cumMean += static_cast<double>(n * e) / total;
        const double d = m - cumMean;
        const double score =
            static_cast<double>(cumCount) / static_cast<double>(box.count - cumCount) * (d * d);
        if (score > best) {
            best = score;
            split = e;
        }
    }
    if (split < 0) return false;

    lower = TBox{};
    lower.lo = box.lo;
    lower.hi = box.hi;
    lower.hi[c] = split + 1;
    int64_t lowerCount = 0;
    for (int32_t r = lower.lo[chRed]; r < lower.hi[chRed]; ++r) {
        for (int32_t g = lower.lo[chGreen]; g < lower.hi[chGreen]; ++g) {
            const int64_t* row = &histogram_[(static_cast<size_t>(r) << 10) |
                                             (static_cast<size_t>(g) << 5)];
            for (int32_t b = lower.lo[chBlue]; b < lower.hi[chBlue]; ++b) {
                const int64_t n = row[b];
                if (n == 0) continue;
                lowerCount += n;
                lower.marginal[chRed][static_cast<size_t>(r)] += n;
                lower.marginal[chGreen][static_cast<size_t>(g)] += n;
                lower.marginal[chBlue][static_cast<size_t>(b)] += n;
            }
        }
    }
    const int64_t upperCount = box.count - lowerCount;
    if (lowerCount == 0 || upperCount == 0) return false;
    lower.count = lowerCount;

    upper = TBox{};
    upper.lo = box.lo;
    upper.hi = box.hi;
    upper.lo[c] = split + 1;
    upper.count = upperCount;
    for (size_t k = 0; k < 3; ++k) {
        for (size_t j = 0; j < 32; ++j) {
            upper.marginal[k][j] = box.marginal[k][j] - lower.marginal[k][j];
        }
    }
    Shrink(lower);
    Shrink(upper);
    Statistics(lower);
    Statistics(upper);
    return true;
}

void TBoxSplit::Shrink(TBox& box) const {
    for (size_t c = 0; c < 3; ++c) {
        int32_t lo = box.lo[c];
        int32_t hi = box.hi[c];
        while (lo < hi && box.marginal[c][static_cast<size_t>(lo)] == 0) ++lo;
        while (hi > lo && box.marginal[c][static_cast<size_t>(hi - 1)] == 0) --hi;
        box.lo[c] = lo;
        box.hi[c] = hi;
    }
}

void TBoxSplit::BuildTable() {
    for (size_t i = 0; i < boxes_.size(); ++i) {
        const TBox& box = boxes_[i];
        for (int32_t r = box.lo[chRed]; r < box.hi[chRed]; ++r) {
            for (int32_t g = box.lo[chGreen]; g < box.hi[chGreen]; ++g) {
                uint8_t* row = &table_[(static_cast<size_t>(r) << 10) | (static_cast<size_t>(g) << 5)];
                for (int32_t b = box.lo[chBlue]; b < box.hi[chBlue]; ++b) {
                    row[b] = static_cast<uint8_t>(i);
                }
            }
        }
    }
}

void TBoxSplit::WritePalette(TRGB* palette) const {
    for (size_t i = 0; i < boxes_.size(); ++i) {
        const TBox& box = boxes_[i];
        palette[i].r = static_cast<uint8_t>(RoundEven(box.mean[chRed]) * 8);
        palette[i].g = static_cast<uint8_t>(RoundEven(box.mean[chGreen]) * 8);
        palette[i].b = static_cast<uint8_t>(RoundEven(box.mean[chBlue]) * 8);
    }
}

}  // namespace luma
