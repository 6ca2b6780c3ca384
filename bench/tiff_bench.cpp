// TIFF speed on a 12-megapixel RGB picture: writing and reading an LZW file (predictor 2) through
// TImageIO, against libtiff's tiffcp doing the same work in the same run. Both sides read and
// write real files. tiffcp rows:
//   tiffcp_lzw_write:  plain file -> LZW with predictor (compare with our write),
//   tiffcp_lzw_read:   that LZW file -> plain file (compare with our read),
//   tiffcp_copy_none:  plain -> plain, the cost of tiffcp's own file work without any coding.
//
// Run: tiff_bench [--benchmark_filter=...]; without tiffcp on the PATH its rows are skipped.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include <sys/resource.h>

#include "formats/image_io.h"
#include "formats/lzw_coders.h"

namespace {

namespace fs = std::filesystem;
using namespace luma;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr double kMegapixels = kWidth * static_cast<double>(kHeight) / 1e6;

fs::path WorkDir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "tiffbench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

// A photograph stand-in: smooth gradients, mild noise and some blocks.
TImageIO& Picture() {
    static TImageIO io;
    static bool made = false;
    if (!made) {
        made = true;
        InstallLzwCoders();
        TImageBuffer& image = io.Image();
        image.Allocate(kWidth, kHeight, pk24RGB);
        std::mt19937 rng(1);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = image.ScanLine(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(rng() % 5) - 2;
                row[x * 3] = static_cast<uint8_t>(((x / 16 + y / 16) * 7) & 0xFF);
                row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
                row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
            }
        }
        io.Params().BitsPerSample = 8;
        io.Params().SamplesPerPixel = 3;
        io.Params().TiffPhotometric = 2;
    }
    return io;
}

fs::path SaveAs(uint8_t compression, const char* name) {
    TImageIO& io = Picture();
    io.Params().TiffCompression = compression;
    const fs::path p = WorkDir() / name;
    io.SaveAsTIFF(p.string());
    return p;
}

const fs::path& PlainFile() {
    static const fs::path p = SaveAs(0, "plain.tif");
    return p;
}
const fs::path& LzwFile() {
    static const fs::path p = SaveAs(5, "lzw.tif");
    return p;
}

void BM_OurLzwWrite(benchmark::State& state) {
    TImageIO& io = Picture();
    const fs::path out = WorkDir() / "ours-out.tif";
    for (auto _ : state) {
        io.Params().TiffCompression = 5;
        io.SaveAsTIFF(out.string());
        if (io.Aborting) state.SkipWithError("write failed");
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurLzwRead(benchmark::State& state) {
    const fs::path in = LzwFile();
    TImageIO io;
    for (auto _ : state) {
        io.LoadFromFile(in.string());
        if (io.Aborting) state.SkipWithError("read failed");
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool HaveTiffcp() { return std::system("command -v tiffcp >/dev/null 2>&1") == 0; }

void TimeCommand(benchmark::State& state, const std::string& command) {
    if (!HaveTiffcp()) {
        state.SkipWithError("tiffcp not installed");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = ChildCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu += ChildCpuSeconds() - cpuBefore;
    }
    // The peer's own processor time: what to set against our rows' CPU column on a busy machine.
    state.counters["child_cpu_ms"] = cpu * 1000.0 / static_cast<double>(state.iterations());
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

void BM_TiffcpLzwWrite(benchmark::State& state) {
    TimeCommand(state, "tiffcp -c lzw:2 " + Q(PlainFile()) + " " + Q(WorkDir() / "peer-lzw.tif"));
}
void BM_TiffcpLzwRead(benchmark::State& state) {
    TimeCommand(state, "tiffcp -c none " + Q(LzwFile()) + " " + Q(WorkDir() / "peer-none.tif"));
}
void BM_TiffcpCopyNone(benchmark::State& state) {
    TimeCommand(state, "tiffcp -c none " + Q(PlainFile()) + " " + Q(WorkDir() / "peer-copy.tif"));
}

BENCHMARK(BM_OurLzwWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_TiffcpLzwWrite)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_OurLzwRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_TiffcpLzwRead)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_TiffcpCopyNone)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
