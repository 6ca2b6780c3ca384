// The fast linear scaler: per axis, either interpolation between two neighbours with a 17-bit
// fraction (enlarging) or the plain average of the source pixels a target pixel spans
// (shrinking, both ends included). Columns first into a work image, then rows. Positions and
// fractions are worked out once per column and per row.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "imaging/resample_engine.h"

namespace luma {

namespace {

constexpr int64_t kFractionOne = 131072;  // 2^17

struct TAxisStep {
    int32_t from = 0;  // first source pixel
    int32_t to = 0;    // interpolating: the neighbour; averaging: the last pixel (inclusive)
    int64_t frac = 0;  // interpolating only
};

// The positions of one axis. `withEpsilon` adds 1e-10 before truncating the end of a span (the
// column axis does, the row axis does not).
std::vector<TAxisStep> AxisSteps(int32_t srcSize, int32_t dstSize, double ratio,
                                 bool interpolate, bool withEpsilon) {
    std::vector<TAxisStep> steps(static_cast<size_t>(dstSize));
    for (int32_t i = 0; i < dstSize; ++i) {
        TAxisStep& s = steps[static_cast<size_t>(i)];
        const double f = static_cast<double>(i) / ratio;
        const auto start = static_cast<int32_t>(std::clamp(std::trunc(f), 0.0, srcSize - 1.0));
        s.from = start;
        if (interpolate) {
            s.frac = static_cast<int64_t>((f - start) * static_cast<double>(kFractionOne));
            s.to = std::min(start + 1, srcSize - 1);
        } else {
            const double next = static_cast<double>(std::min(i + 1, dstSize - 1)) / ratio;
            const double end = std::trunc(withEpsilon ? next + 1e-10 : next);
            s.to = static_cast<int32_t>(std::clamp(end, static_cast<double>(start), srcSize - 1.0));
        }
    }
    return steps;
}

inline uint8_t Interpolate(int32_t a, int32_t b, int64_t frac) {
    return static_cast<uint8_t>(a + static_cast<int32_t>((static_cast<int64_t>(b - a) * frac) / kFractionOne));
}

}  // namespace

void RunFastLinear(const TScaleJob& job) {
    const int32_t sw = job.srcWidth;
    const int32_t sh = job.srcHeight;
    const int32_t dw = job.dstWidth;
    const int32_t dh = job.dstHeight;
    const int32_t channels = job.channels;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;

    const double xr = static_cast<double>(dw) / sw;
    const double yr = static_cast<double>(dh) / sh;
    const auto writeRow = [&](int32_t row, const uint8_t* values) {
        uint8_t* target = job.targetRow(row);
        if (job.grayTo24) {
            for (int32_t x = 0; x < dw; ++x) {
                target[3 * x] = values[x];
                target[3 * x + 1] = values[x];
                target[3 * x + 2] = values[x];
            }
        } else {
            std::memcpy(target, values, static_cast<size_t>(dw) * channels);
        }
    };
    if (xr == 1.0 && yr == 1.0) {
        for (int32_t r = 0; r < sh; ++r) writeRow(r, job.sourceRow(r));
        return;
    }

    const double progressStep = 100.0 / (static_cast<double>(sh) + dh + 0.5);
    const std::ptrdiff_t workStride = static_cast<std::ptrdiff_t>(dw) * channels;
    std::vector<uint8_t> work(static_cast<size_t>(workStride) * static_cast<size_t>(sh));

    const bool xInterpolate = xr > 1.0;
    const std::vector<TAxisStep> columns = AxisSteps(sw, dw, xr, xInterpolate, true);
    for (int32_t r = 0; r < sh; ++r) {
        const uint8_t* row = job.sourceRow(r);
        uint8_t* out = work.data() + static_cast<std::ptrdiff_t>(r) * workStride;
        if (xInterpolate) {
            for (const TAxisStep& s : columns) {
                const uint8_t* a = row + static_cast<std::ptrdiff_t>(s.from) * channels;
                const uint8_t* b = row + static_cast<std::ptrdiff_t>(s.to) * channels;
                for (int32_t c = 0; c < channels; ++c) *out++ = Interpolate(a[c], b[c], s.frac);
            }
        } else {
            for (const TAxisStep& s : columns) {
                const int32_t count = s.to - s.from + 1;
                for (int32_t c = 0; c < channels; ++c) {
                    int64_t sum = 0;
                    const uint8_t* p = row + static_cast<std::ptrdiff_t>(s.from) * channels + c;
                    for (int32_t x = 0; x < count; ++x) sum += p[static_cast<std::ptrdiff_t>(x) * channels];
                    *out++ = static_cast<uint8_t>(sum / count);
                }
            }
        }
        job.Report(static_cast<int32_t>(static_cast<double>(r) * progressStep));
    }

    const bool yInterpolate = yr > 1.0;
    const std::vector<TAxisStep> rows = AxisSteps(sh, dh, yr, yInterpolate, false);
    const auto n = static_cast<size_t>(workStride);
    std::vector<uint8_t> line(n);
    std::vector<int64_t> sums(yInterpolate ? 0 : n);
    for (int32_t j = 0; j < dh; ++j) {
        const TAxisStep& s = rows[static_cast<size_t>(j)];
        const uint8_t* a = work.data() + static_cast<std::ptrdiff_t>(s.from) * workStride;
        if (yInterpolate) {
            const uint8_t* b = work.data() + static_cast<std::ptrdiff_t>(s.to) * workStride;
            for (size_t x = 0; x < n; ++x) line[x] = Interpolate(a[x], b[x], s.frac);
        } else {
            std::fill(sums.begin(), sums.end(), 0);
            for (int32_t y = s.from; y <= s.to; ++y) {
                const uint8_t* p = work.data() + static_cast<std::ptrdiff_t>(y) * workStride;
                for (size_t x = 0; x < n; ++x) sums[x] += p[x];
            }
            const int64_t count = s.to - s.from + 1;
            for (size_t x = 0; x < n; ++x) line[x] = static_cast<uint8_t>(sums[x] / count);
        }
        writeRow(j, line.data());
        job.Report(static_cast<int32_t>(static_cast<double>(sh + j) * progressStep));
    }
}

}  // namespace luma
