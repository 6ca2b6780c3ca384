// The two-pass filtered scaler: source rows are filtered horizontally into 8-bit rows of target
// width, and every target row is filtered vertically out of those rows.
// Each output value is sum(weight x value) div sum(weights), truncated and clamped to 0..255
// (kernels with negative lobes overshoot at sharp edges).
//
// The plain loops follow the contributor lists literally. The vector path computes the same
// integers: the horizontal pass works on a copy of the row split into channel planes with the
// mirrored border pixels laid out around it, so each target pixel becomes a dot product of
// consecutive bytes with a zero-padded weight vector; the vertical pass sums whole rows. Zero
// weights add nothing, so both paths agree bit for bit.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/resample_contributors.h"
#include "imaging/resample_engine.h"
#include "imaging/resample_simd.h"

namespace luma {

namespace {

// Limits within which the vector path's single-precision division is exact.
constexpr int64_t kMaxExactSum = int64_t{1} << 24;
constexpr int32_t kMaxExactDivisor = 1 << 17;

inline uint8_t ClampQuotient(int32_t sum, int32_t divisor) {
    const int32_t q = sum / divisor;
    return static_cast<uint8_t>(q < 0 ? 0 : (q > 255 ? 255 : q));
}

bool ListFitsVectorPath(const TContributorList& list) {
    int64_t absSum = 0;
    for (const TContributor& c : list.items) {
        if (c.weight > 32767 || c.weight < -32767) return false;
        absSum += std::abs(c.weight);
    }
    const int32_t divisor = list.Divisor();
    return absSum * 255 < kMaxExactSum && divisor < kMaxExactDivisor && divisor > -kMaxExactDivisor;
}

// --- plain loops ----------------------------------------------------------------------------

void HorizontalPlain(const uint8_t* row, int32_t channels,
                     const std::vector<TContributorList>& lists, uint8_t* out) {
    if (channels == 3) {
        for (const TContributorList& list : lists) {
            int32_t s0 = 0;
            int32_t s1 = 0;
            int32_t s2 = 0;
            for (const TContributor& c : list.items) {
                const uint8_t* p = row + static_cast<std::ptrdiff_t>(c.pixel) * 3;
                s0 += c.weight * p[0];
                s1 += c.weight * p[1];
                s2 += c.weight * p[2];
            }
            const int32_t d = list.Divisor();
            out[0] = ClampQuotient(s0, d);
            out[1] = ClampQuotient(s1, d);
            out[2] = ClampQuotient(s2, d);
            out += 3;
        }
    } else {
        for (const TContributorList& list : lists) {
            int32_t s = 0;
            for (const TContributor& c : list.items) s += c.weight * row[c.pixel];
            *out++ = ClampQuotient(s, list.Divisor());
        }
    }
}

// Sums whole rows (rows[k] belongs to list.items[k]): out[x] for x in [from, bytes).
void VerticalPlain(const TContributorList& list, const uint8_t* const* rows, int32_t from,
                   int32_t bytes, std::vector<int32_t>& acc, uint8_t* out) {
    const int32_t n = bytes - from;
    if (n <= 0) return;
    acc.assign(static_cast<size_t>(n), 0);
    int32_t* a = acc.data();
    for (size_t k = 0; k < list.items.size(); ++k) {
        const uint8_t* r = rows[k] + from;
        const int32_t w = list.items[k].weight;
        for (int32_t x = 0; x < n; ++x) a[x] += w * r[x];
    }
    const int32_t d = list.Divisor();
    for (int32_t x = 0; x < n; ++x) out[from + x] = ClampQuotient(a[x], d);
}

// --- packed horizontal table for the vector path ----------------------------------------------

struct TPackedRow {
    int32_t chunks = 0;   // taps / 8
    int32_t pad = 0;      // plane position of source pixel 0
    int32_t extLen = 0;   // bytes of each plane
    int32_t count = 0;    // target pixels rounded up to the kernel's group size
    std::vector<int32_t> start;
    std::vector<int16_t> weights;
    std::vector<float> divisors;
    std::vector<int32_t> edgePos;  // plane positions outside the image ...
    std::vector<int32_t> edgeSrc;  // ... and the source pixel mirrored into each
    bool exact = true;
};

TPackedRow PackHorizontal(const std::vector<TContributorList>& lists, int32_t srcSize,
                          int32_t channels) {
    TPackedRow t;
    const auto dw = static_cast<int32_t>(lists.size());
    size_t maxSpan = 1;
    int32_t minFirst = 0;
    for (const TContributorList& list : lists) {
        maxSpan = std::max(maxSpan, list.weights.size());
        minFirst = std::min(minFirst, list.first);
        if (!ListFitsVectorPath(list)) t.exact = false;
    }
    if (!t.exact) return t;
    t.chunks = static_cast<int32_t>((maxSpan + 7) / 8);
    const int32_t taps = t.chunks * 8;
    t.pad = -minFirst;
    const int32_t group = channels == 3 ? 2 : 8;
    t.count = (dw + group - 1) / group * group;

    t.start.assign(static_cast<size_t>(t.count), 0);
    t.weights.assign(static_cast<size_t>(t.count) * static_cast<size_t>(taps), 0);
    const int32_t perPixel = channels == 3 ? 4 : 1;
    t.divisors.assign(static_cast<size_t>(t.count) * perPixel, 256.0f);
    int64_t extLen = static_cast<int64_t>(t.pad) + srcSize;
    for (int32_t i = 0; i < dw; ++i) {
        const TContributorList& list = lists[static_cast<size_t>(i)];
        const int32_t s = list.first + t.pad;
        t.start[static_cast<size_t>(i)] = s;
        extLen = std::max<int64_t>(extLen, static_cast<int64_t>(s) + taps);
        // Pair layout: [pair][chunk][pixel of pair][8 taps].
        const int32_t pair = i / 2;
        const int32_t sub = i % 2;
        for (size_t k = 0; k < list.weights.size(); ++k) {
            const auto chunk = static_cast<int32_t>(k / 8);
            const auto tap = static_cast<int32_t>(k % 8);
            const size_t at = ((static_cast<size_t>(pair) * t.chunks + chunk) * 2 + sub) * 8 + tap;
            t.weights[at] = static_cast<int16_t>(list.weights[k]);
        }
        for (int32_t c = 0; c < perPixel; ++c) {
            t.divisors[static_cast<size_t>(i) * perPixel + c] = static_cast<float>(list.Divisor());
        }
    }
    t.extLen = static_cast<int32_t>(extLen);
    for (int32_t q = 0; q < t.extLen; ++q) {
        const int32_t j = q - t.pad;
        if (j < 0 || j >= srcSize) {
            t.edgePos.push_back(q);
            t.edgeSrc.push_back(MirrorIndex(j, srcSize));
        }
    }
    return t;
}

// Lays a source row out in channel planes with the mirrored border around it.
void FillPlanes(const TPackedRow& t, const uint8_t* row, int32_t srcSize, int32_t channels,
                uint8_t* const planes[3]) {
    if (channels == 3) {
        resample_simd::Deinterleave3Avx2(row, srcSize, planes[0] + t.pad, planes[1] + t.pad,
                                         planes[2] + t.pad);
        for (size_t e = 0; e < t.edgePos.size(); ++e) {
            const uint8_t* p = row + static_cast<std::ptrdiff_t>(t.edgeSrc[e]) * 3;
            planes[0][t.edgePos[e]] = p[0];
            planes[1][t.edgePos[e]] = p[1];
            planes[2][t.edgePos[e]] = p[2];
        }
    } else {
        std::memcpy(planes[0] + t.pad, row, static_cast<size_t>(srcSize));
        for (size_t e = 0; e < t.edgePos.size(); ++e) planes[0][t.edgePos[e]] = row[t.edgeSrc[e]];
    }
}

}  // namespace

void RunTwoPass(const TScaleJob& job, TResampleFilter filter, TScalerPath path) {
    const int32_t sw = job.srcWidth;
    const int32_t sh = job.srcHeight;
    const int32_t dw = job.dstWidth;
    const int32_t dh = job.dstHeight;
    const int32_t channels = job.channels;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || !IsTwoPassFilter(filter)) return;
    const bool vector = path == TScalerPath::Best && resample_simd::Avx2Available();
    const double progressStep = 100.0 / (static_cast<double>(sh) + dw + 0.5);

    const std::vector<TContributorList> columns = BuildContributors(sw, dw, filter);
    const std::vector<TContributorList> rowLists = BuildContributors(sh, dh, filter);
    TPackedRow packed;
    if (vector) packed = PackHorizontal(columns, sw, channels);
    const bool vectorRows = vector && packed.exact;

    // Horizontally filtered rows are kept in a ring that holds the widest span of source rows
    // any target row needs, so the intermediate image never exists in full: a target row's rows
    // all fall in distinct slots (row mod ring size), and each source row is filtered once as the
    // windows move down.
    int32_t ringRows = 1;
    for (const TContributorList& list : rowLists) {
        int32_t lo = list.items.front().pixel;
        int32_t hi = lo;
        for (const TContributor& c : list.items) {
            lo = std::min(lo, c.pixel);
            hi = std::max(hi, c.pixel);
        }
        ringRows = std::max(ringRows, hi - lo + 1);
    }
    const int32_t rowPixels = vectorRows ? packed.count : dw;
    const std::ptrdiff_t workStride = static_cast<std::ptrdiff_t>(rowPixels) * channels + 16;
    const auto ring = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(workStride) * static_cast<size_t>(ringRows));
    std::vector<int32_t> ringTag(static_cast<size_t>(ringRows), -1);

    std::vector<uint8_t> planeStore;
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    if (vectorRows) {
        planeStore.assign(static_cast<size_t>(packed.extLen) * channels, 0);
        for (int32_t c = 0; c < channels; ++c) {
            planes[c] = planeStore.data() + static_cast<std::ptrdiff_t>(c) * packed.extLen;
        }
    }
    int64_t filteredRows = 0;
    const auto filteredRow = [&](int32_t r) -> const uint8_t* {
        const auto slot = static_cast<size_t>(r % ringRows);
        uint8_t* out = ring.get() + static_cast<std::ptrdiff_t>(slot) * workStride;
        if (ringTag[slot] == r) return out;
        const uint8_t* row = job.sourceRow(r);
        if (vectorRows) {
            FillPlanes(packed, row, sw, channels, planes);
            if (channels == 3) {
                resample_simd::Horizontal3Avx2(planes[0], planes[1], planes[2], packed.start.data(),
                                               packed.weights.data(), packed.chunks,
                                               packed.divisors.data(), packed.count / 2, out);
            } else {
                resample_simd::Horizontal1Avx2(planes[0], packed.start.data(), packed.weights.data(),
                                               packed.chunks, packed.divisors.data(),
                                               packed.count / 8, out);
            }
        } else {
            HorizontalPlain(row, channels, columns, out);
        }
        ringTag[slot] = r;
        ++filteredRows;
        return out;
    };

    const int32_t bytes = dw * channels;
    std::vector<int32_t> acc;
    std::vector<uint8_t> grayRow(job.grayTo24 ? static_cast<size_t>(dw) : 0);
    std::vector<const uint8_t*> rows;
    std::vector<uint32_t> weightPairs;
    for (int32_t i = 0; i < dh; ++i) {
        const TContributorList& list = rowLists[static_cast<size_t>(i)];
        rows.clear();
        for (const TContributor& c : list.items) rows.push_back(filteredRow(c.pixel));

        uint8_t* target = job.targetRow(i);
        uint8_t* out = job.grayTo24 ? grayRow.data() : target;
        int32_t done = 0;
        if (vector && ListFitsVectorPath(list)) {
            // Rows in pairs; an odd one out is paired with itself at weight 0.
            weightPairs.clear();
            const size_t n = list.items.size();
            if (n % 2 != 0) rows.push_back(rows.back());
            for (size_t k = 0; k < n; k += 2) {
                const int32_t wb = k + 1 < n ? list.items[k + 1].weight : 0;
                weightPairs.push_back(static_cast<uint32_t>(static_cast<uint16_t>(list.items[k].weight)) |
                                      (static_cast<uint32_t>(static_cast<uint16_t>(wb)) << 16));
            }
            done = resample_simd::VerticalAvx2(rows.data(), weightPairs.data(),
                                               static_cast<int32_t>(weightPairs.size()),
                                               static_cast<float>(list.Divisor()), bytes, out);
        }
        VerticalPlain(list, rows.data(), done, bytes, acc, out);
        if (job.grayTo24) {
            for (int32_t x = 0; x < dw; ++x) {
                const uint8_t g = grayRow[static_cast<size_t>(x)];
                target[3 * x] = g;
                target[3 * x + 1] = g;
                target[3 * x + 2] = g;
            }
        }
        // Work done: source rows filtered plus the share of the vertical pass, out of sh + dw.
        const int64_t rowsDone = i + 1 == dh ? sh : std::min<int64_t>(filteredRows, sh);
        const int64_t columnsDone = static_cast<int64_t>(i + 1) * dw / dh;
        job.Report(static_cast<int32_t>(static_cast<double>(rowsDone + columnsDone) * progressStep));
    }
}

}  // namespace luma
