// Colour reduction speed on a 4000 x 3000 photograph-like image (smooth gradients, soft shapes
// and pixel noise, generated deterministically): ConvertTo(256) runs the network, ConvertTo(16)
// the box split. For comparison the same image is reduced by ImageMagick
// ("convert in.ppm -colors 256 +dither out.gif", one thread), with its read-only time as a
// baseline; set LUMA_CONVERT to the convert program to use (default: convert on the PATH).
// All figures are CPU times (ours: the CPU column; convert's: the Time column), since wall
// time says little on a shared machine.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"

namespace {

using luma::TImageBuffer;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

uint8_t Clamp(double v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void MakePhoto(TImageBuffer& img) {
    img.Allocate(kWidth, kHeight, luma::pk24RGB);
    uint32_t seed = 2463534242u;
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = img.ScanLine(y);
        const double fy = static_cast<double>(y) / kHeight;
        for (int32_t x = 0; x < kWidth; ++x) {
            const double fx = static_cast<double>(x) / kWidth;
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            const double noise = static_cast<double>(seed % 13) - 6.0;
            // Sky-like gradient on top, warm ground below, a few soft round shapes.
            const double sky = 1.0 - fy;
            const double blob =
                std::exp(-((fx - 0.3) * (fx - 0.3) + (fy - 0.6) * (fy - 0.6)) * 18.0);
            const double blob2 =
                std::exp(-((fx - 0.75) * (fx - 0.75) + (fy - 0.35) * (fy - 0.35)) * 30.0);
            const double wave = std::sin(fx * 23.0 + fy * 7.0) * 0.5 + 0.5;
            row[x * 3 + 0] = Clamp(60 + 170 * sky * (0.6 + 0.4 * wave) + 40 * blob2 + noise);
            row[x * 3 + 1] = Clamp(50 + 110 * sky + 120 * blob + 30 * wave * fy + noise);
            row[x * 3 + 2] = Clamp(40 + 150 * fy * (1 - blob) + 180 * blob2 + noise);
        }
    }
}

const TImageBuffer& Photo() {
    static TImageBuffer image;
    static const bool made = [] {
        MakePhoto(image);
        return true;
    }();
    (void)made;
    return image;
}

void ConvertTo(benchmark::State& state, int32_t colors) {
    const TImageBuffer& source = Photo();
    TImageBuffer work;
    luma::TImageProc proc(&work);
    proc.AutoUndo = false;
    for (auto _ : state) {
        state.PauseTiming();
        work.CopyImageFrom(source);
        state.ResumeTiming();
        proc.ConvertTo(colors, false);
        benchmark::DoNotOptimize(work.ScanLine(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_ConvertTo256(benchmark::State& state) { ConvertTo(state, 256); }
void BM_ConvertTo16(benchmark::State& state) { ConvertTo(state, 16); }

// The photo as a binary PPM in the temporary folder, written once.
const std::string& PhotoPpm() {
    static const std::string path = [] {
        const std::filesystem::path file =
            std::filesystem::temp_directory_path() / "luma_color_bench.ppm";
        std::ofstream out(file, std::ios::binary);
        out << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
        const TImageBuffer& image = Photo();
        std::vector<char> rgb(static_cast<size_t>(kWidth) * 3);
        for (int32_t y = 0; y < kHeight; ++y) {
            const uint8_t* row = image.ScanLine(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                rgb[static_cast<size_t>(x) * 3] = static_cast<char>(row[x * 3 + 2]);
                rgb[static_cast<size_t>(x) * 3 + 1] = static_cast<char>(row[x * 3 + 1]);
                rgb[static_cast<size_t>(x) * 3 + 2] = static_cast<char>(row[x * 3]);
            }
            out.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
        }
        return file.string();
    }();
    return path;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Runs convert on the photo; the time of an iteration is the CPU time convert used, so that
// both sides are measured the same way on a busy machine.
void RunConvert(benchmark::State& state, const std::string& arguments) {
    const char* program = std::getenv("LUMA_CONVERT");
    const std::string convert = program != nullptr ? program : "convert";
    const std::string command =
        "MAGICK_THREAD_LIMIT=1 " + convert + " " + PhotoPpm() + " " + arguments + " 2>/dev/null";
    if (std::system((convert + " -version >/dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError("ImageMagick convert not found");
        return;
    }
    for (auto _ : state) {
        const double before = ChildCpuSeconds();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("convert failed");
            break;
        }
        state.SetIterationTime(ChildCpuSeconds() - before);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_ImageMagickColors256(benchmark::State& state) {
    const std::string out =
        (std::filesystem::temp_directory_path() / "luma_color_bench.gif").string();
    RunConvert(state, "-colors 256 +dither " + out);
}

void BM_ImageMagickReadOnly(benchmark::State& state) { RunConvert(state, "null:"); }

}  // namespace

// Our conversions: compare the CPU column. ImageMagick: the time column is convert's CPU time.
BENCHMARK(BM_ConvertTo256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertTo16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickColors256)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ImageMagickReadOnly)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::temp_directory_path() / "luma_color_bench.ppm", ignored);
    std::filesystem::remove(std::filesystem::temp_directory_path() / "luma_color_bench.gif", ignored);
    return 0;
}
