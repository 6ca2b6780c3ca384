#pragma once
// Variance-based box split: a palette of fewer than 128 colours from a 32 x 32 x 32 histogram.
//
// The colour cube (each channel reduced to 5 bits) starts as one box. The box with the largest
// squared error is cut in two on the channel whose cut leaves the smallest summed error of the
// halves, the cut being searched near the middle between the box's bounds and its mean; this
// repeats until there are n boxes or none can be cut. Each box's mean becomes a palette entry and
// a table maps every histogram cell to its box. The approach follows the classic variance-based
// colour quantizers (Wan, Wong and Prusinkiewicz, "An algorithm for multidimensional data
// clustering", 1988), with the cut chosen by the between-class weighted distance of the mean.
//
// After the histogram pass the cost does not depend on the image size; mapping is one lookup.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/pixel_kind.h"

namespace luma {

class TRgbRows;

class TBoxSplit {
public:
    // Channels in the order the split search tries them.
    enum TChannel : int { chRed = 0, chGreen = 1, chBlue = 2 };

    struct TBox {
        std::array<int32_t, 3> lo{};   // lowest bin per channel
        std::array<int32_t, 3> hi{};   // one past the highest bin per channel
        int64_t count = 0;
        std::array<std::array<int64_t, 32>, 3> marginal{};
        std::array<double, 3> mean{};  // in 5-bit units
        double error = 0;              // squared error
        double score = 0;              // error / pixels of the image
    };

    // Learns up to `colors` (1..127) boxes from a 24-bit image with at least one pixel.
    TBoxSplit(const TRgbRows& image, int32_t colors);

    // Number of boxes formed (1 .. colors).
    int32_t BoxCount() const { return static_cast<int32_t>(boxes_.size()); }
    const TBox& Box(int32_t i) const { return boxes_[static_cast<size_t>(i)]; }
    // Writes one entry per box: the rounded means times 8.
    void WritePalette(TRGB* palette) const;
    // The box of a colour.
    int32_t Index(uint8_t blue, uint8_t green, uint8_t red) const {
        return table_[(static_cast<uint32_t>(red >> 3) << 10) |
                      (static_cast<uint32_t>(green >> 3) << 5) | (blue >> 3)];
    }

private:
    static constexpr double kNoSplit = 17523.6;

    int64_t& Cell(int32_t r, int32_t g, int32_t b) {
        return histogram_[(static_cast<size_t>(r) << 10) | (static_cast<size_t>(g) << 5) |
                          static_cast<size_t>(b)];
    }
    void Statistics(TBox& box) const;
    // Tries to cut `box` on `channel`; on success fills both halves and returns true.
    bool TrySplit(const TBox& box, int channel, TBox& lower, TBox& upper) const;
    void Shrink(TBox& box) const;
    void BuildTable();

    std::vector<int64_t> histogram_;  // [r][g][b], 32 bins each
    int64_t pixels_ = 0;
    std::vector<TBox> boxes_;
    std::vector<uint8_t> table_;      // 32,768 cells: box index
};

}  // namespace luma
