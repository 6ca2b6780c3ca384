// Rotation speed on a 4000 x 3000 photograph-like 24-bit image: the exact quarter turn and a
// 30-degree turn by three shears (plain and smoothed).
//
// With LUMA_ROTATE_BENCH_PPM=<file> the generated image is also written there as a binary PPM,
// so that other tools can be timed on the very same pixels.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// Smooth gradients, a few soft blobs, fine texture and a little noise: content that behaves
// like a photograph for caches and branch predictors, the same on every run.
void MakePhoto(luma::TImageBuffer& image) {
    image.Allocate(kWidth, kHeight, luma::pk24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* p = image.ScanLine(y);
        const double fy = static_cast<double>(y) / kHeight;
        for (int32_t x = 0; x < kWidth; ++x, p += 3) {
            const double fx = static_cast<double>(x) / kWidth;
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) & 15) - 8;
            const double blob = 60.0 * std::exp(-((fx - 0.3) * (fx - 0.3) + (fy - 0.4) * (fy - 0.4)) * 20.0) +
                                50.0 * std::exp(-((fx - 0.7) * (fx - 0.7) + (fy - 0.7) * (fy - 0.7)) * 30.0);
            const double texture = 12.0 * std::sin(x * 0.05) * std::cos(y * 0.07);
            const double r = 90.0 + 100.0 * fy + blob + texture + noise;
            const double g = 120.0 + 60.0 * fx - 40.0 * fy + 0.6 * blob + texture + noise;
            const double b = 180.0 - 120.0 * fy + 0.3 * blob - texture + noise;
            auto clamp8 = [](double v) {
                return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            };
            p[0] = clamp8(b);
            p[1] = clamp8(g);
            p[2] = clamp8(r);
        }
    }
}

const luma::TImageBuffer& Photo() {
    static const std::unique_ptr<luma::TImageBuffer> photo = [] {
        auto image = std::make_unique<luma::TImageBuffer>();
        MakePhoto(*image);
        return image;
    }();
    return *photo;
}

void WritePpm(const luma::TImageBuffer& image, const char* path) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", image.Width(), image.Height());
    std::vector<uint8_t> row(static_cast<size_t>(image.Width()) * 3);
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.ScanLine(y);
        for (int32_t x = 0; x < image.Width(); ++x) {
            row[static_cast<size_t>(x) * 3 + 0] = p[x * 3 + 2];
            row[static_cast<size_t>(x) * 3 + 1] = p[x * 3 + 1];
            row[static_cast<size_t>(x) * 3 + 2] = p[x * 3 + 0];
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

// The quarter turn leaves the image the same size (turned), so the image is simply turned
// again on every iteration.
void BM_Rotate90(benchmark::State& state) {
    luma::TImageBuffer image;
    image.Assign(Photo());
    luma::TImageProc proc(&image);
    for (auto _ : state) {
        proc.Rotate(90, false, 0, luma::clWhite);
        benchmark::DoNotOptimize(image.ScanLine(0)[0]);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();

// A general angle grows the image, so every iteration starts again from the photograph.
void RotateBy(benchmark::State& state, double angle, bool smooth) {
    luma::TImageBuffer image;
    luma::TImageProc proc(&image);
    for (auto _ : state) {
        state.PauseTiming();
        image.Assign(Photo());
        state.ResumeTiming();
        proc.Rotate(angle, smooth, 0, luma::clWhite);
        benchmark::DoNotOptimize(image.ScanLine(0)[0]);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

void BM_Rotate30(benchmark::State& state) { RotateBy(state, 30, false); }
BENCHMARK(BM_Rotate30)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rotate30Smooth(benchmark::State& state) { RotateBy(state, 30, true); }
BENCHMARK(BM_Rotate30Smooth)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (const char* path = std::getenv("LUMA_ROTATE_BENCH_PPM")) WritePpm(Photo(), path);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
