// Filter kernels and contributor lists of the two-pass scaler.
//
// Kernels are plain double functions of the distance in source pixels; the formulas are the
// usual piecewise polynomials (Bell, B-spline, Hermite, Mitchell-Netravali with B = C = 1/3) and
// the three-lobe windowed sinc. The weights are not normalised here: the scaler divides each sum
// by the list's weight sum, so rounding errors of the weights cancel.

#include "imaging/resample_contributors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace luma {

namespace {

double TriangleKernel(double x) {
    const double a = std::fabs(x);
    return a < 1.0 ? 1.0 - a : 0.0;
}

double HermiteKernel(double x) {
    const double a = std::fabs(x);
    return a < 1.0 ? (2.0 * a - 3.0) * (x * x) + 1.0 : 0.0;
}

double BellKernel(double x) {
    const double a = std::fabs(x);
    if (a < 0.5) return 0.75 - x * x;
    if (a < 1.5) {
        const double t = a - 1.5;
        return 0.5 * (t * t);
    }
    return 0.0;
}

double BSplineKernel(double x) {
    const double a = std::fabs(x);
    if (a < 1.0) return 0.5 * (a * a * a) - x * x + 2.0 / 3.0;
    if (a < 2.0) {
        const double t = 2.0 - a;
        return t * t * t / 6.0;
    }
    return 0.0;
}

double Sinc(double x) {
    if (x == 0.0) return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double Lanczos3Kernel(double x) {
    return std::fabs(x) < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
}

double MitchellKernel(double x) {
    const double a = std::fabs(x);
    const double x2 = x * x;
    const double a3 = a * a * a;
    if (a < 1.0) return (7.0 * a3 - 12.0 * x2 + 16.0 / 3.0) / 6.0;
    if (a < 2.0) return (-7.0 / 3.0 * a3 + 12.0 * x2 - 20.0 * a + 32.0 / 3.0) / 6.0;
    return 0.0;
}

double NearestKernel(double x) {
    return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0;
}

double LinearKernel(double x) {
    return (x >= -1.0 && x < 1.0) ? 1.0 - std::fabs(x) : 0.0;
}

// Indexed by the filter value.
constexpr std::array<TFilterSpec, 12> kFilterTable{{
    {nullptr, 0.0},          // rfNone
    {TriangleKernel, 1.0},   // rfTriangle
    {HermiteKernel, 1.0},    // rfHermite
    {BellKernel, 1.5},       // rfBell
    {BSplineKernel, 2.0},    // rfBSpline
    {Lanczos3Kernel, 3.0},   // rfLanczos3
    {MitchellKernel, 2.0},   // rfMitchell
    {NearestKernel, 1.0},    // rfNearest
    {LinearKernel, 1.0},     // rfLinear
    {nullptr, 0.0},          // rfFastLinear
    {nullptr, 0.0},          // rfBilinear
    {nullptr, 0.0},          // rfBicubic
}};

int32_t RoundWeight(double value) {
    // Default rounding mode: to nearest, ties to even.
    return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace

const TFilterSpec& FilterSpec(TResampleFilter filter) {
    static constexpr TFilterSpec none{};
    const auto index = static_cast<size_t>(filter);
    return index < kFilterTable.size() ? kFilterTable[index] : none;
}

bool IsTwoPassFilter(TResampleFilter filter) {
    return filter >= rfTriangle && filter <= rfLinear;
}

double ContributorScale(int32_t srcSize, int32_t dstSize) {
    if (srcSize == 1 || dstSize == 1) {
        return static_cast<double>(dstSize) / static_cast<double>(srcSize);
    }
    return static_cast<double>(dstSize - 1) / static_cast<double>(srcSize - 1);
}

int32_t MirrorIndex(int64_t j, int32_t n) {
    int64_t m = j;
    if (j < 0) {
        m = -j;
    } else if (j >= n) {
        m = 2 * static_cast<int64_t>(n) - 1 - j;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(m, 0, n - 1));
}

std::vector<TContributorList> BuildContributors(int32_t srcSize, int32_t dstSize,
                                                TResampleFilter filter) {
    std::vector<TContributorList> lists;
    const TFilterSpec& kernelSpec = FilterSpec(filter);
    if (kernelSpec.kernel == nullptr || srcSize < 1 || dstSize < 1) return lists;
    lists.resize(static_cast<size_t>(dstSize));

    const double scale = ContributorScale(srcSize, dstSize);
    const bool shrinking = scale < 1.0;
    const double radius = shrinking ? kernelSpec.support / scale : kernelSpec.support;
    const auto capacity = static_cast<int32_t>(2.0 * radius + 1.0);

    for (int32_t i = 0; i < dstSize; ++i) {
        TContributorList& list = lists[static_cast<size_t>(i)];
        list.capacity = capacity;
        const double center = static_cast<double>(i) / scale;
        const auto left = static_cast<int64_t>(std::floor(center - radius));
        const auto right = static_cast<int64_t>(std::ceil(center + radius));

        int64_t firstNonZero = 0;
        for (int64_t j = left; j <= right; ++j) {
            const double distance = center - static_cast<double>(j);
            const double value = shrinking ? kernelSpec.kernel(distance * scale) * 256.0 * scale
                                           : kernelSpec.kernel(distance) * 256.0;
            const int32_t weight = RoundWeight(value);
            if (weight == 0) continue;
            if (list.items.empty()) {
                firstNonZero = j;
            } else {
                // Zero weights between two non-zero ones stay in the run.
                const int64_t lastPosition = firstNonZero + static_cast<int64_t>(list.weights.size());
                list.weights.insert(list.weights.end(), static_cast<size_t>(j - lastPosition), 0);
            }
            list.weights.push_back(weight);
            list.items.push_back({MirrorIndex(j, srcSize), weight});
            list.weightSum += weight;
        }

        if (list.items.empty()) {
            const auto nearest = static_cast<int64_t>(std::floor(center + 0.5));
            firstNonZero = nearest;
            list.weights.push_back(256);
            list.items.push_back({MirrorIndex(nearest, srcSize), 256});
            list.weightSum = 256;
        }
        list.first = static_cast<int32_t>(firstNonZero);
    }
    return lists;
}

}  // namespace luma
