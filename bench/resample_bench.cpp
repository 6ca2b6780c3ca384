// Resampling speed: the filtered scaler on a 4000 x 3000 photo-like image to thumbnail, screen
// and double size, for Bell and Lanczos3, the plain scaler and a 1-bit source. Single-threaded.
// The counter "src_MP/s" is source megapixels per second.
//
// `resample_bench --write-ppm=FILE` writes the generated source image as binary PPM and exits,
// so that other tools can be timed on exactly the same pixels (see compare_resample.sh).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/image_buffer.h"
#include "imaging/resample.h"

namespace luma {
namespace {

constexpr int32_t kSourceWidth = 4000;
constexpr int32_t kSourceHeight = 3000;

// Smooth shading, a few hard edges and fine noise: roughly what a photograph asks of a scaler.
void MakePhotoLike(TImageBuffer& image, int32_t w, int32_t h) {
    image.Allocate(w, h, pk24RGB);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 28) - 8;
            const double u = static_cast<double>(x) / w;
            const double v = static_cast<double>(y) / h;
            const bool edge = ((x / 250) + (y / 180)) % 5 == 0;
            const double base = 110.0 + 70.0 * std::sin(6.0 * u + 2.0 * v) + 40.0 * std::cos(9.0 * v - 3.0 * u);
            const int b = static_cast<int>(base * 0.8) + n + (edge ? 60 : 0);
            const int g = static_cast<int>(base) + n;
            const int r = static_cast<int>(255.0 - base * 0.7) + n - (edge ? 50 : 0);
            row[3 * x] = static_cast<uint8_t>(b < 0 ? 0 : (b > 255 ? 255 : b));
            row[3 * x + 1] = static_cast<uint8_t>(g < 0 ? 0 : (g > 255 ? 255 : g));
            row[3 * x + 2] = static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
        }
    }
}

const TImageBuffer& PhotoSource() {
    static const std::unique_ptr<TImageBuffer> image = [] {
        auto buffer = std::make_unique<TImageBuffer>();
        MakePhotoLike(*buffer, kSourceWidth, kSourceHeight);
        return buffer;
    }();
    return *image;
}

const TImageBuffer& BitSource() {
    static const std::unique_ptr<TImageBuffer> image = [] {
        auto buffer = std::make_unique<TImageBuffer>();
        buffer->Allocate(kSourceWidth, kSourceHeight, pk1Bit);
        const TImageBuffer& photo = PhotoSource();
        for (int32_t y = 0; y < kSourceHeight; ++y) {
            const uint8_t* in = photo.ScanLine(y);
            uint8_t* out = buffer->ScanLine(y);
            std::memset(out, 0, static_cast<size_t>(buffer->RowLen()));
            for (int32_t x = 0; x < kSourceWidth; ++x) {
                if (in[3 * x + 1] > 128) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        return buffer;
    }();
    return *image;
}

void Run(benchmark::State& state, const TImageBuffer& source, TResampleFilter filter,
         TScalerPath path) {
    const auto w = static_cast<int32_t>(state.range(0));
    const auto h = static_cast<int32_t>(state.range(1));
    TImageBuffer target;
    target.SetTempFileThreshold(int64_t{1} << 40);  // keep the target in memory
    target.Allocate(w, h, filter == rfNone ? source.PixelKind() : pk24RGB);
    // Touch the target once, so that a single timed run does not measure the kernel handing out
    // fresh pages.
    target.Fill(0);
    for (auto _ : state) {
        if (filter == rfNone) {
            ScalePlain(source, target);
        } else {
            ScaleFiltered(source, target, filter, {}, path);
        }
        benchmark::DoNotOptimize(target.ScanLine(0));
        benchmark::ClobberMemory();
    }
    state.counters["src_MP/s"] = benchmark::Counter(
        static_cast<double>(source.Width()) * source.Height() / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Bell(benchmark::State& state) { Run(state, PhotoSource(), rfBell, TScalerPath::Best); }
void BM_Lanczos3(benchmark::State& state) { Run(state, PhotoSource(), rfLanczos3, TScalerPath::Best); }
void BM_BellPlainLoops(benchmark::State& state) { Run(state, PhotoSource(), rfBell, TScalerPath::Plain); }
void BM_None(benchmark::State& state) { Run(state, PhotoSource(), rfNone, TScalerPath::Best); }
void BM_Bell1Bit(benchmark::State& state) { Run(state, BitSource(), rfBell, TScalerPath::Best); }
void BM_None1Bit(benchmark::State& state) { Run(state, BitSource(), rfNone, TScalerPath::Best); }

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({450, 338})->Args({1600, 1200})->Args({8000, 6000})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Bell)->Apply(Sizes);
BENCHMARK(BM_Lanczos3)->Apply(Sizes);
BENCHMARK(BM_BellPlainLoops)->Apply(Sizes);
BENCHMARK(BM_None)->Apply(Sizes);
BENCHMARK(BM_Bell1Bit)->Apply(Sizes);
BENCHMARK(BM_None1Bit)->Args({1600, 1200})->Unit(benchmark::kMillisecond);

bool WritePpm(const std::string& file) {
    const TImageBuffer& image = PhotoSource();
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
    if (!out) return false;
    std::fprintf(out.get(), "P6\n%d %d\n255\n", image.Width(), image.Height());
    std::string rgb(static_cast<size_t>(image.Width()) * 3, '\0');
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < image.Width(); ++x) {
            rgb[3 * static_cast<size_t>(x)] = static_cast<char>(row[3 * x + 2]);
            rgb[3 * static_cast<size_t>(x) + 1] = static_cast<char>(row[3 * x + 1]);
            rgb[3 * static_cast<size_t>(x) + 2] = static_cast<char>(row[3 * x]);
        }
        if (std::fwrite(rgb.data(), 1, rgb.size(), out.get()) != rgb.size()) return false;
    }
    return true;
}

}  // namespace
}  // namespace luma

int main(int argc, char** argv) {
    const std::string flag = "--write-ppm=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) {
            return luma::WritePpm(argv[i] + flag.size()) ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
