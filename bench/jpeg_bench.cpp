// JPEG load + save of a 12-megapixel photograph-like image: through TImageIO, against libjpeg
// driven directly (the library's own decode + encode time, no layer around it), and against
// the djpeg/cjpeg command-line tools on the same file in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>

#include "formats/image_io.h"
#include "formats/jpeg.h"

namespace {

using namespace luma;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int kQuality = 80;

// A scratch folder with the source JPEG, made once.
class TFixture {
public:
    TFixture() {
        char pattern[] = "/tmp/lumabench-jpeg-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        dir_ = pattern;
        // Smooth colour fields with texture: compresses and decodes like a photograph.
        TImageIO io;
        TImageBuffer& image = io.Image();
        image.Allocate(kWidth, kHeight, pk24RGB);
        uint32_t noise = 12345;
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = image.ScanLine(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                const int n = static_cast<int>((noise >> 16) & 15) - 8;
                row[x * 3 + 0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + n, 0, 255));
                row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + n, 0, 255));
                row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(((x ^ y) & 255) / 2 + 64 + n, 0, 255));
            }
        }
        io.Params().JpegQuality = 90;
        io.SaveAsJPEG(Source());
    }
    ~TFixture() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Source() const { return (dir_ / "source.jpg").string(); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

const TFixture& Fixture() {
    static const TFixture fixture;
    return fixture;
}

void BM_ImageIOLoadSave(benchmark::State& state) {
    const TFixture& f = Fixture();
    TImageIO io;
    for (auto _ : state) {
        io.LoadFromFile(f.Source());
        io.Params().JpegQuality = kQuality;
        io.SaveAsJPEG(f.Path("ours.jpg"));
        if (io.Aborting) state.SkipWithError("load or save failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ImageIOLoadSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// libjpeg on its own: read the file, decode to RGB rows, encode them into a file. With
// state.range(0) == 1 the pixels go to a freshly allocated block each time (as every load into
// a new image does), else to one block reused (and so already mapped) across iterations.
void BM_LibjpegDecodeEncode(benchmark::State& state) {
    const TFixture& f = Fixture();
    const size_t size = static_cast<size_t>(kWidth) * kHeight * 3;
    std::unique_ptr<uint8_t, decltype(&std::free)> reused(static_cast<uint8_t*>(std::calloc(size, 1)), &std::free);
    for (auto _ : state) {
        std::unique_ptr<uint8_t, decltype(&std::free)> fresh(nullptr, &std::free);
        if (state.range(0) == 1) fresh.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
        uint8_t* pixels = state.range(0) == 1 ? fresh.get() : reused.get();
        std::ifstream in(f.Source(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        jpeg_decompress_struct d{};
        jpeg_error_mgr derr{};
        d.err = jpeg_std_error(&derr);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        const size_t stride = static_cast<size_t>(d.output_width) * 3;
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = pixels + d.output_scanline * stride;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);

        FILE* out = std::fopen(f.Path("raw.jpg").c_str(), "wb");
        jpeg_compress_struct c{};
        jpeg_error_mgr cerr{};
        c.err = jpeg_std_error(&cerr);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, out);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, kQuality, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = pixels + c.next_scanline * stride;
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(out);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_LibjpegDecodeEncode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The command-line tools (process start and a PPM file in between included).
void BM_DjpegCjpeg(benchmark::State& state) {
    const TFixture& f = Fixture();
    if (std::system("command -v djpeg >/dev/null 2>&1 && command -v cjpeg >/dev/null 2>&1") != 0) {
        state.SkipWithError("djpeg/cjpeg not installed (libjpeg-turbo-progs)");
        return;
    }
    const std::string command = "djpeg -outfile '" + f.Path("tools.ppm") + "' '" + f.Source() +
                                "' && cjpeg -quality " + std::to_string(kQuality) + " -outfile '" +
                                f.Path("tools.jpg") + "' '" + f.Path("tools.ppm") + "'";
    // The tools' own processor time (user + system) is reported beside the wall time.
    const double before = ChildCpuSeconds();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg/cjpeg failed");
    }
    state.counters["tool_cpu_ms"] = benchmark::Counter(
        (ChildCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_DjpegCjpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
