// Rotation by up to 45 degrees as three shears: rows sideways, columns up or down, rows
// sideways again (the classic decomposition into x-y-x shears with tan(f / 2) and sin f).
// Every pixel is moved three times with integer arithmetic; with smoothing the fractional part
// of each shift becomes a pair of 12-bit weights blending a pixel with its predecessor. There is
// no trigonometry per pixel. The three shears use two scratch planes; the column shear walks
// strips of columns so that it reads and writes whole cache lines.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include <sys/mman.h>

#include "imaging/rotate.h"

namespace luma {
namespace {

// Round to nearest, ties to even (the default rounding mode).
inline int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// The 12-bit weight of the predecessor for a shift whose exact value is `exact`.
inline int32_t Weight(double exact) {
    return static_cast<int32_t>((exact - std::nearbyint(exact)) * 4096.0);
}

// (w1 x prev + (4096 - w1) x cur) / 4096, rounded half up and limited to 0..255. w1 may be
// negative (the shift was rounded up), which extrapolates and is why the clamp is needed.
inline uint8_t Blend(int32_t w1, int32_t prev, int32_t cur) {
    const int32_t v = (w1 * prev + (4096 - w1) * cur + 2048) >> 12;
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

template <int32_t Bpp>
inline void BlendPixel(uint8_t* d, int32_t w1, const uint8_t* prev, const uint8_t* cur) {
    for (int32_t c = 0; c < Bpp; ++c) d[c] = Blend(w1, prev[c], cur[c]);
}

template <int32_t Bpp>
inline void PutPixel(uint8_t* d, const uint8_t* s) {
    for (int32_t c = 0; c < Bpp; ++c) d[c] = s[c];
}

template <int32_t Bpp>
void FillPixels(uint8_t* d, int32_t count, const uint8_t* bg) {
    if constexpr (Bpp == 1) {
        if (count > 0) std::memset(d, bg[0], static_cast<size_t>(count));
    } else {
        for (int32_t i = 0; i < count; ++i, d += Bpp) PutPixel<Bpp>(d, bg);
    }
}

template <int32_t Bpp>
void Run(const uint8_t* src, int32_t count, uint8_t* dst, int32_t targetCount, int32_t shift,
         bool smooth, int32_t w1, const uint8_t* bg) {
    const bool extra = smooth && w1 > 0;
    // Background before and after the placed run (with its blended tail pixel).
    const int64_t runEnd = static_cast<int64_t>(shift) + count + (extra ? 1 : 0);
    const auto lead = static_cast<int32_t>(std::clamp<int64_t>(shift, 0, targetCount));
    const auto tail = static_cast<int32_t>(std::clamp<int64_t>(runEnd, 0, targetCount));
    FillPixels<Bpp>(dst, lead, bg);
    FillPixels<Bpp>(dst + static_cast<std::ptrdiff_t>(tail) * Bpp, targetCount - tail, bg);

    const auto k0 = static_cast<int32_t>(std::max<int64_t>(0, -static_cast<int64_t>(shift)));
    const auto k1 = static_cast<int32_t>(
        std::min<int64_t>(count, static_cast<int64_t>(targetCount) - shift));
    if (k0 < k1) {
        uint8_t* d = dst + (static_cast<std::ptrdiff_t>(shift) + k0) * Bpp;
        const uint8_t* s = src + static_cast<std::ptrdiff_t>(k0) * Bpp;
        if (!smooth) {
            std::memcpy(d, s, static_cast<size_t>(k1 - k0) * Bpp);
        } else {
            for (int32_t k = k0; k < k1; ++k, d += Bpp, s += Bpp) {
                BlendPixel<Bpp>(d, w1, k == 0 ? bg : s - Bpp, s);
            }
        }
    }
    if (extra && count > 0) {
        const int64_t p = static_cast<int64_t>(shift) + count;
        if (p >= 0 && p < targetCount) {
            BlendPixel<Bpp>(dst + static_cast<std::ptrdiff_t>(p) * Bpp, w1,
                            src + static_cast<std::ptrdiff_t>(count - 1) * Bpp, bg);
        }
    }
}

// The column shear: column x of `s` (height s.height) moves down by shift[x] into column x of
// `t` (height t.height). Strips of columns are walked top to bottom.
template <int32_t Bpp>
void ShearColumns(const TPlaneView& s, const TPlaneView& t, const std::vector<int32_t>& shift,
                  const std::vector<int32_t>& weight, bool smooth, const uint8_t* bg,
                  int32_t x0, int32_t x1) {
    const int32_t h = s.height;
    for (int32_t y = 0; y < t.height; ++y) {
        uint8_t* d = t.Row(y) + static_cast<std::ptrdiff_t>(x0) * Bpp;
        for (int32_t x = x0; x < x1; ++x, d += Bpp) {
            const int32_t k = y - shift[static_cast<size_t>(x)];
            const int32_t w1 = weight[static_cast<size_t>(x)];
            const std::ptrdiff_t col = static_cast<std::ptrdiff_t>(x) * Bpp;
            if (k >= 0 && k < h) {
                const uint8_t* cur = s.Row(k) + col;
                if (!smooth) {
                    PutPixel<Bpp>(d, cur);
                } else {
                    BlendPixel<Bpp>(d, w1, k == 0 ? bg : s.Row(k - 1) + col, cur);
                }
            } else if (smooth && k == h && w1 > 0) {
                BlendPixel<Bpp>(d, w1, s.Row(h - 1) + col, bg);
            } else {
                PutPixel<Bpp>(d, bg);
            }
        }
    }
}

// Pixel memory for the intermediate planes. Large blocks are mapped directly and marked for
// huge pages: a fresh 4-KiB page costs a fault on first touch, and the shears write each byte of
// a plane exactly once, so for big images the faults would otherwise cost more than the shear.
class TScratchBlock {
public:
    explicit TScratchBlock(size_t size) {
        constexpr size_t kMapFrom = size_t{2} << 20;
        if (size >= kMapFrom) {
            void* m = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (m != MAP_FAILED) {
                madvise(m, size, MADV_HUGEPAGE);
                bytes_ = static_cast<uint8_t*>(m);
                mapped_ = size;
                return;
            }
        }
        heap_ = std::make_unique_for_overwrite<uint8_t[]>(size);
        bytes_ = heap_.get();
    }
    ~TScratchBlock() {
        if (mapped_ != 0) munmap(bytes_, mapped_);
    }
    TScratchBlock(const TScratchBlock&) = delete;
    TScratchBlock& operator=(const TScratchBlock&) = delete;
    uint8_t* data() const { return bytes_; }

private:
    uint8_t* bytes_ = nullptr;
    size_t mapped_ = 0;
    std::unique_ptr<uint8_t[]> heap_;
};

struct TScratchPlane {
    TScratchBlock block;
    TPlaneView view;

    TScratchPlane(int32_t width, int32_t height, int32_t bpp)
        : block(static_cast<size_t>(width) * static_cast<size_t>(bpp) * static_cast<size_t>(height)),
          view{block.data(), static_cast<std::ptrdiff_t>(width) * bpp, width, height} {}
};

template <int32_t Bpp>
void ShearRotateT(const TPlaneView& source, const TPlaneView& target, const TShearGeometry& g,
                  bool smooth, const uint8_t* bg, const TRotateProgress& progress) {
    const bool positive = g.f > 0;
    const int32_t w = g.width;
    const int32_t h = g.height;
    const double total = static_cast<double>(h) + g.l + g.o;
    int64_t step = 0;
    auto report = [&] {
        ++step;
        if (progress) progress(static_cast<int32_t>(static_cast<double>(step) * (100.0 / total)));
    };

    // Shear 1: rows move right.
    auto first = std::make_unique<TScratchPlane>(g.l, h, Bpp);
    for (int32_t y = 0; y < h; ++y) {
        const double s = positive ? g.g * y : g.g * (h - y);
        Run<Bpp>(source.Row(y), w, first->view.Row(y), g.l, RoundEven(s), smooth, Weight(s), bg);
        report();
    }

    // Shear 2: columns move down; the result is trimmed by t rows at the top.
    TScratchPlane second(g.l, g.o, Bpp);
    {
        std::vector<int32_t> shift(static_cast<size_t>(g.l));
        std::vector<int32_t> weight(static_cast<size_t>(g.l));
        for (int32_t x = 0; x < g.l; ++x) {
            const double j = positive ? g.h * (g.l - x) : g.h * x;
            shift[static_cast<size_t>(x)] = RoundEven(j) - g.t;
            weight[static_cast<size_t>(x)] = Weight(j);
        }
        constexpr int32_t kStrip = 128;
        for (int32_t x0 = 0; x0 < g.l; x0 += kStrip) {
            const int32_t x1 = std::min(g.l, x0 + kStrip);
            ShearColumns<Bpp>(first->view, second.view, shift, weight, smooth, bg, x0, x1);
            for (int32_t x = x0; x < x1; ++x) report();
        }
    }
    first.reset();

    // Shear 3: rows move right, trimmed by u2 columns on the left.
    for (int32_t y = 0; y < g.o; ++y) {
        const double n = positive ? g.g * y : g.g * (g.o - y);
        Run<Bpp>(second.view.Row(y), g.l, target.Row(y), g.w2, RoundEven(n) - g.u2, smooth,
                 Weight(n), bg);
        report();
    }
}

}  // namespace

TShearGeometry ComputeShearGeometry(double c, int32_t width, int32_t height) {
    TShearGeometry r;
    r.width = width;
    r.height = height;
    r.f = c * std::numbers::pi / 180.0;
    r.g = std::abs(std::sin(r.f / 2.0) / std::cos(r.f / 2.0));
    r.h = std::abs(std::sin(r.f));
    const double w = width;
    const double h = height;
    r.l = RoundEven(h * r.g + w + 1.0);
    r.u = RoundEven(h + r.h * r.l + 1.0);
    r.t = RoundEven(r.h * (r.l - w));
    r.o = r.u - 2 * r.t;
    r.u2 = RoundEven(r.g * (static_cast<double>(r.u) - h - r.t));
    r.w2 = RoundEven(r.l + r.g * r.o + 1.0 - 2.0 * r.u2);
    // For |c| <= 45 these are always positive; keep degenerate input from producing an empty
    // or negative plane all the same.
    r.l = std::max(r.l, 1);
    r.o = std::max(r.o, 1);
    r.w2 = std::max(r.w2, 1);
    return r;
}

void ShearRun(const uint8_t* source, int32_t count, uint8_t* target, int32_t targetCount,
              int32_t shift, int32_t bytesPerPixel, bool smooth, int32_t w1,
              const uint8_t* background) {
    if (bytesPerPixel == 3) {
        Run<3>(source, count, target, targetCount, shift, smooth, w1, background);
    } else {
        Run<1>(source, count, target, targetCount, shift, smooth, w1, background);
    }
}

void ShearRotate(const TPlaneView& source, const TPlaneView& target, int32_t bytesPerPixel,
                 const TShearGeometry& geometry, bool smooth, const uint8_t* background,
                 const TRotateProgress& progress) {
    if (geometry.width <= 0 || geometry.height <= 0) return;
    if (bytesPerPixel == 3) {
        ShearRotateT<3>(source, target, geometry, smooth, background, progress);
    } else {
        ShearRotateT<1>(source, target, geometry, smooth, background, progress);
    }
}

}  // namespace luma
