// LZW speed on a 12-megapixel picture: our TIFF and GIF coders against libtiff (tiffcp) and
// ImageMagick's GIF coder, timed in the same run. The peers run as programs, so their figures
// include reading and writing files; "copy" rows time the same program without compression, to
// show that overhead.
//
// Run: lzw_bench [--benchmark_filter=...]; peers missing from PATH are skipped.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "formats/gif_lzw.h"
#include "formats/tiff_lzw.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// A photograph stand-in: smooth gradients with mild noise.
const std::vector<uint8_t>& RgbPicture() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> v(static_cast<size_t>(kWidth) * kHeight * 3);
        std::mt19937 rng(1);
        size_t i = 0;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(rng() % 5) - 2;
                v[i++] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
                v[i++] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
                v[i++] = static_cast<uint8_t>(((x / 16 + y / 16) * 7) & 0xFF);
            }
        return v;
    }();
    return pixels;
}

// 8-bit indices of the same picture (6 x 6 x 6 levels, like a quantised photograph).
const std::vector<uint8_t>& IndexPicture() {
    static const std::vector<uint8_t> indices = [] {
        const std::vector<uint8_t>& rgb = RgbPicture();
        std::vector<uint8_t> v(static_cast<size_t>(kWidth) * kHeight);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<uint8_t>(rgb[i * 3] / 43 * 36 + rgb[i * 3 + 1] / 43 * 6 + rgb[i * 3 + 2] / 43);
        return v;
    }();
    return indices;
}

std::filesystem::path WorkDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lzwbench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

void PutLe(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Uncompressed 8-bit RGB TIFF, one strip.
std::filesystem::path PlainTiff() {
    static const std::filesystem::path path = [] {
        const std::vector<uint8_t>& rgb = RgbPicture();
        std::string s = "II";
        PutLe(s, 42, 2);
        const uint32_t bpsAt = 8, stripAt = 16;
        const uint32_t ifd = stripAt + static_cast<uint32_t>(rgb.size());
        PutLe(s, ifd, 4);
        PutLe(s, 8, 2); PutLe(s, 8, 2); PutLe(s, 8, 2); PutLe(s, 0, 2);
        s.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
        const uint32_t entries[][4] = {{256, 4, 1, kWidth}, {257, 4, 1, kHeight}, {258, 3, 3, bpsAt}, {259, 3, 1, 1},
                                       {262, 3, 1, 2}, {273, 4, 1, stripAt}, {277, 3, 1, 3}, {278, 4, 1, kHeight},
                                       {279, 4, 1, static_cast<uint32_t>(rgb.size())}};
        PutLe(s, 9, 2);
        for (const auto& e : entries) {
            PutLe(s, e[0], 2); PutLe(s, e[1], 2); PutLe(s, e[2], 4); PutLe(s, e[3], 4);
        }
        PutLe(s, 0, 4);
        const auto p = WorkDir() / "plain.tif";
        WriteFile(p, s);
        return p;
    }();
    return path;
}

// An 8-bit GIF of the index picture, made with our encoder.
std::filesystem::path GifFile() {
    static const std::filesystem::path path = [] {
        std::string s = "GIF89a";
        PutLe(s, kWidth, 2); PutLe(s, kHeight, 2);
        s += static_cast<char>(0xF7); s += '\0'; s += '\0';
        for (int i = 0; i < 256; ++i) {
            s += static_cast<char>(i / 36 * 51); s += static_cast<char>(i / 6 % 6 * 51); s += static_cast<char>(i % 6 * 51);
        }
        s += ','; PutLe(s, 0, 4); PutLe(s, kWidth, 2); PutLe(s, kHeight, 2); s += '\0';
        std::vector<uint8_t> data;
        luma::GifLzwEncode(IndexPicture().data(), kWidth, kHeight, 8, false, data);
        s.append(reinterpret_cast<const char*>(data.data()), data.size());
        s += ';';
        const auto p = WorkDir() / "picture.gif";
        WriteFile(p, s);
        return p;
    }();
    return path;
}

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ImageMagick() {
    if (Have("convert-im6.q16")) return "convert-im6.q16";
    if (Have("magick")) return "magick";
    if (Have("convert")) return "convert";
    return {};
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall time per iteration, plus the peer's own processor time ("child_cpu_ms"), which is what to
// compare with our rows' CPU column on a busy machine.
void TimeCommand(benchmark::State& state, const std::string& command, double megapixels) {
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
    state.counters["child_cpu_ms"] = cpu * 1000.0 / static_cast<double>(state.iterations());
    state.counters["Mpx/s"] = benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
}

constexpr double kMegapixels = kWidth * static_cast<double>(kHeight) / 1e6;

void BM_OurTiffLzwEncode(benchmark::State& state) {
    const std::vector<uint8_t>& rgb = RgbPicture();
    const size_t row = static_cast<size_t>(kWidth) * 3;
    std::vector<uint8_t> out;
    out.reserve(rgb.size());
    luma::TTiffLzwEncoder encoder;
    for (auto _ : state) {
        out.clear();
        encoder.Reset(out);
        for (int32_t y = 0; y < kHeight; ++y) encoder.Encode(std::span(rgb).subspan(y * row, row));
        encoder.Finish();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ratio"] = static_cast<double>(out.size()) / static_cast<double>(rgb.size());
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurTiffLzwDecode(benchmark::State& state) {
    const std::vector<uint8_t>& rgb = RgbPicture();
    const std::vector<uint8_t> coded = luma::TiffLzwEncodeBytes(rgb);
    const size_t row = static_cast<size_t>(kWidth) * 3;
    std::vector<uint8_t> out(rgb.size());
    luma::TTiffLzwDecoder decoder;
    for (auto _ : state) {
        decoder.Reset(coded);
        for (int32_t y = 0; y < kHeight; ++y) decoder.DecodeRow(std::span(out).subspan(y * row, row));
        benchmark::DoNotOptimize(out.data());
    }
    if (out != rgb) state.SkipWithError("decoded bytes differ");
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurGifLzwEncode(benchmark::State& state) {
    const std::vector<uint8_t>& indices = IndexPicture();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        out.clear();
        luma::GifLzwEncode(indices.data(), kWidth, kHeight, 8, false, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurGifLzwDecode(benchmark::State& state) {
    const std::vector<uint8_t>& indices = IndexPicture();
    std::vector<uint8_t> coded;
    luma::GifLzwEncode(indices.data(), kWidth, kHeight, 8, false, coded);
    std::vector<uint8_t> out(indices.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(luma::GifLzwDecode(coded, kWidth, kHeight, false, out.data()));
    }
    if (out != indices) state.SkipWithError("decoded indices differ");
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_TiffcpLzwEncode(benchmark::State& state) {
    if (!Have("tiffcp")) return state.SkipWithError("tiffcp not installed");
    TimeCommand(state, "tiffcp -c lzw " + PlainTiff().string() + " " + (WorkDir() / "lzw.tif").string(), kMegapixels);
}

void BM_TiffcpLzwDecode(benchmark::State& state) {
    if (!Have("tiffcp")) return state.SkipWithError("tiffcp not installed");
    const std::string lzw = (WorkDir() / "lzw-in.tif").string();
    std::system(("tiffcp -c lzw " + PlainTiff().string() + " " + lzw).c_str());
    TimeCommand(state, "tiffcp -c none " + lzw + " " + (WorkDir() / "none.tif").string(), kMegapixels);
}

void BM_TiffcpCopy(benchmark::State& state) {
    if (!Have("tiffcp")) return state.SkipWithError("tiffcp not installed");
    TimeCommand(state, "tiffcp -c none " + PlainTiff().string() + " " + (WorkDir() / "copy.tif").string(), kMegapixels);
}

void BM_ImageMagickGifRead(benchmark::State& state) {
    const std::string im = ImageMagick();
    if (im.empty()) return state.SkipWithError("ImageMagick not installed");
    TimeCommand(state, "MAGICK_THREAD_LIMIT=1 " + im + " " + GifFile().string() + " null:", kMegapixels);
}

void BM_ImageMagickGifReadWrite(benchmark::State& state) {
    const std::string im = ImageMagick();
    if (im.empty()) return state.SkipWithError("ImageMagick not installed");
    TimeCommand(state, "MAGICK_THREAD_LIMIT=1 " + im + " " + GifFile().string() + " " + (WorkDir() / "im.gif").string(),
                kMegapixels);
}

}  // namespace

BENCHMARK(BM_OurTiffLzwEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurTiffLzwDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffcpLzwEncode)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffcpLzwDecode)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffcpCopy)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurGifLzwEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurGifLzwDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickGifRead)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickGifReadWrite)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(WorkDir(), ec);
    return 0;
}
