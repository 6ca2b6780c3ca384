// The area / interpolating scaler behind rfBilinear and rfBicubic.
//
// Per axis: when shrinking, a target pixel is the sum of the source pixels it covers, each
// weighted by the covered length (the weights add up to the scale factor); when enlarging, it is
// interpolated at its centre, bilinearly or with the cubic convolution kernel
// k(t) = t^3 - 2t^2 + 1 (t < 1), -t^3 + 5t^2 - 8t + 4 (1 <= t < 2), whose result is clamped to
// 0..255. The sums are divided by the area one target pixel covers (each pass by its own axis's
// share) and truncated to bytes.
// Source rows are filtered horizontally once and kept in a four-row cache, which covers the
// overlap of consecutive target rows in both directions.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "imaging/resample_engine.h"

namespace luma {

namespace {

struct TAxisTaps {
    std::vector<int32_t> offset;  // per target: first entry in index/weight, plus an end marker
    std::vector<int32_t> index;
    std::vector<double> weight;
    bool clampEach = false;       // bicubic enlarging: clamp each interpolated value
    double area = 1.0;            // what the axis contributes to the target pixel's area
};

double CubicKernel(double t) {
    if (t < 1.0) return t * t * t - 2.0 * t * t + 1.0;
    if (t < 2.0) return -t * t * t + 5.0 * t * t - 8.0 * t + 4.0;
    return 0.0;
}

TAxisTaps BuildAxis(int32_t srcSize, int32_t dstSize, bool bicubic) {
    TAxisTaps axis;
    axis.offset.reserve(static_cast<size_t>(dstSize) + 1);
    const double scale = static_cast<double>(srcSize) / dstSize;
    if (dstSize < srcSize) {
        axis.area = scale;
        for (int32_t t = 0; t < dstSize; ++t) {
            axis.offset.push_back(static_cast<int32_t>(axis.index.size()));
            const double lo = t * scale;
            const double hi = std::min((t + 1) * scale, static_cast<double>(srcSize));
            for (auto j = static_cast<int32_t>(std::floor(lo)); j < srcSize && j < hi; ++j) {
                const double covered = std::min(hi, j + 1.0) - std::max(lo, static_cast<double>(j));
                if (covered <= 0.0) continue;
                axis.index.push_back(j);
                axis.weight.push_back(covered);
            }
        }
    } else {
        axis.clampEach = bicubic;
        for (int32_t t = 0; t < dstSize; ++t) {
            axis.offset.push_back(static_cast<int32_t>(axis.index.size()));
            const double pos = std::clamp((t + 0.5) * scale - 0.5, 0.0, srcSize - 1.0);
            const auto base = static_cast<int32_t>(std::floor(pos));
            const double frac = pos - base;
            if (bicubic) {
                for (int32_t k = -1; k <= 2; ++k) {
                    axis.index.push_back(std::clamp(base + k, 0, srcSize - 1));
                    axis.weight.push_back(CubicKernel(std::fabs(frac - k)));
                }
            } else {
                axis.index.push_back(base);
                axis.weight.push_back(1.0 - frac);
                axis.index.push_back(std::min(base + 1, srcSize - 1));
                axis.weight.push_back(frac);
            }
        }
    }
    axis.offset.push_back(static_cast<int32_t>(axis.index.size()));
    return axis;
}

}  // namespace

void RunAreaScale(const TScaleJob& job, bool bicubic) {
    const int32_t sw = job.srcWidth;
    const int32_t sh = job.srcHeight;
    const int32_t dw = job.dstWidth;
    const int32_t dh = job.dstHeight;
    const int32_t channels = job.channels;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;

    const TAxisTaps xAxis = BuildAxis(sw, dw, bicubic);
    const TAxisTaps yAxis = BuildAxis(sh, dh, bicubic);
    // Each pass divides by its own axis's share of the area, so that values stay on the 0..255
    // scale where the bicubic clamp applies.
    const double xBack = 1.0 / xAxis.area;
    const double yBack = 1.0 / yAxis.area;
    const size_t n = static_cast<size_t>(dw) * channels;

    // Horizontally filtered source rows, four kept.
    std::array<std::vector<double>, 4> cache;
    std::array<int32_t, 4> cachedRow{-1, -1, -1, -1};
    for (auto& c : cache) c.resize(n);
    const auto filteredRow = [&](int32_t y) -> const std::vector<double>& {
        const auto slot = static_cast<size_t>(y % 4);
        if (cachedRow[slot] == y) return cache[slot];
        const uint8_t* row = job.sourceRow(y);
        std::vector<double>& out = cache[slot];
        for (int32_t t = 0; t < dw; ++t) {
            for (int32_t c = 0; c < channels; ++c) {
                double sum = 0.0;
                for (int32_t e = xAxis.offset[t]; e < xAxis.offset[t + 1]; ++e) {
                    sum += xAxis.weight[e] * row[static_cast<std::ptrdiff_t>(xAxis.index[e]) * channels + c];
                }
                sum *= xBack;
                if (xAxis.clampEach) sum = std::clamp(sum, 0.0, 255.0);
                out[static_cast<size_t>(t) * channels + c] = sum;
            }
        }
        cachedRow[slot] = y;
        return out;
    };

    std::vector<double> acc(n);
    std::vector<uint8_t> line(n);
    for (int32_t t = 0; t < dh; ++t) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int32_t e = yAxis.offset[t]; e < yAxis.offset[t + 1]; ++e) {
            const std::vector<double>& src = filteredRow(yAxis.index[e]);
            const double w = yAxis.weight[e];
            for (size_t x = 0; x < n; ++x) acc[x] += w * src[x];
        }
        for (size_t x = 0; x < n; ++x) {
            double v = acc[x] * yBack;
            if (yAxis.clampEach) v = std::clamp(v, 0.0, 255.0);
            // The small bias keeps sums such as 199.99999 (a flat area of 200 whose weights do not
            // add up exactly in binary) from truncating to the level below.
            line[x] = static_cast<uint8_t>(std::clamp(v + 1e-7, 0.0, 255.0));
        }
        uint8_t* target = job.targetRow(t);
        for (int32_t x = 0; x < dw; ++x) {
            if (job.grayTo24) {
                target[3 * x] = target[3 * x + 1] = target[3 * x + 2] = line[static_cast<size_t>(x)];
            } else {
                for (int32_t c = 0; c < channels; ++c) {
                    target[x * channels + c] = line[static_cast<size_t>(x) * channels + c];
                }
            }
        }
        job.Report(static_cast<int32_t>(static_cast<double>(t + 1) * (100.0 / (dh + 0.5))));
    }
}

}  // namespace luma
