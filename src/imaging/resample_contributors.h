#pragma once
// Filter kernels of the two-pass scaler and the integer contributor lists built from them.
//
// A contributor list says which source pixels make up one target column (or row) and with what
// integer weight (the kernel value times 256, rounded half to even). Positions outside the image
// are mirrored back into it. The lists are built once per scale in double precision; everything
// after that is integer arithmetic.

#include <cstdint>
#include <vector>

#include "imaging/resample_filter.h"

namespace luma {

using TFilterKernel = double (*)(double x);

// The kernel and support radius of one filter; kernel is null for filters without one.
struct TFilterSpec {
    TFilterKernel kernel = nullptr;
    double support = 0.0;
};

// The constant table entry of `filter` (rfTriangle .. rfLinear have kernels).
const TFilterSpec& FilterSpec(TResampleFilter filter);
// True for the filters the two-pass scaler handles (rfTriangle .. rfLinear).
bool IsTwoPassFilter(TResampleFilter filter);

// One source pixel of a list and its weight (kernel x 256).
struct TContributor {
    int32_t pixel = 0;
    int32_t weight = 0;
};

struct TContributorList {
    // The room the list is made with: trunc(2 w + 1) for the effective radius w.
    int32_t capacity = 0;
    // Non-zero weights in source order; pixel indices mirrored and limited to 0 .. size - 1.
    std::vector<TContributor> items;
    // The same weights by unmirrored source position: weights[k] belongs to position first + k
    // (zero weights inside the run included, zero ends trimmed). Used by the packed fast path.
    int32_t first = 0;
    std::vector<int32_t> weights;
    // Sum of the weights.
    int32_t weightSum = 0;
    // What the sums are divided by: weightSum, or 256 when the weights cancel out.
    int32_t Divisor() const { return weightSum != 0 ? weightSum : 256; }
};

// xscale of a source and target size: (dst - 1) / (src - 1), or dst / src when either is 1.
double ContributorScale(int32_t srcSize, int32_t dstSize);

// The mirror rule at the image edges: -j before the start, 2n - 1 - j past the end, then limited
// to 0 .. n - 1 (for radii wider than the image).
int32_t MirrorIndex(int64_t j, int32_t n);

// The list of every target position 0 .. dstSize - 1 for a two-pass filter. Both sizes >= 1.
//
// Shrinking by a large factor can round every weight of a list to zero, which would turn that
// target column black; such a list takes the source pixel nearest its centre alone instead.
std::vector<TContributorList> BuildContributors(int32_t srcSize, int32_t dstSize,
                                                TResampleFilter filter);

}  // namespace luma
