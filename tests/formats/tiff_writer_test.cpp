// TIFF writer: the parameter rewrites, the file layout, round trips through our reader, and every
// compression and photometric it produces checked by libtiff's tools.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/image_io.h"
#include "formats/lzw_coders.h"
#include "formats/tiff.h"
#include "jpeg_png_test_util.h"
#include "tiff_test_support.h"

namespace luma::test {
namespace {

namespace fs = std::filesystem;

class TiffWriter : public ::testing::Test {
protected:
    void SetUp() override { InstallLzwCoders(); }
};

// The directory of a file we wrote: tag -> (type, count, value field), in file order.
struct TWrittenEntry {
    uint16_t tag, type;
    uint32_t count, value;
};
struct TWrittenFile {
    uint32_t dirOffset = 0;
    std::vector<TWrittenEntry> entries;
    const TWrittenEntry* Find(uint16_t tag) const {
        for (const auto& e : entries)
            if (e.tag == tag) return &e;
        return nullptr;
    }
};

TWrittenFile ParseDirectory(const std::vector<uint8_t>& f) {
    TWrittenFile out;
    EXPECT_GE(f.size(), 8u);
    EXPECT_EQ(f[0], 'I');
    EXPECT_EQ(LoadLE16(&f[2]), 42);
    out.dirOffset = LoadLE32(&f[4]);
    if (out.dirOffset + 2 > f.size()) return out;
    const uint16_t n = LoadLE16(&f[out.dirOffset]);
    for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* p = &f[out.dirOffset + 2 + 12u * i];
        out.entries.push_back({LoadLE16(p), LoadLE16(p + 2), LoadLE32(p + 4), LoadLE32(p + 8)});
    }
    EXPECT_EQ(LoadLE32(&f[out.dirOffset + 2 + 12u * n]), 0u);  // no next directory
    return out;
}

std::unique_ptr<TImageBuffer> Gradient(int32_t w = 67, int32_t h = 33) { return MakeGradient(w, h); }

// A 1-bit picture with text-like blocks (1 = white).
std::unique_ptr<TImageBuffer> Bilevel(int32_t w = 203, int32_t h = 41) {
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(w, h, pk1Bit);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = image->ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const bool black = ((x / 5 + y / 3) % 4 == 0) || (x > 100 && x < 120 && y > 10);
            if (black) {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] & ~(0x80 >> (x % 8)));
            } else {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
    }
    return image;
}

// A picture of exactly `colors` colours.
std::unique_ptr<TImageBuffer> FewColours(int32_t colors, int32_t w = 50, int32_t h = 20) {
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(w, h, pk24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int32_t i = (x / 4 + y * 3) % colors;
            uint8_t* p = image->ScanLine(y) + x * 3;
            p[0] = static_cast<uint8_t>(i * 13);
            p[1] = static_cast<uint8_t>(255 - i * 9);
            p[2] = static_cast<uint8_t>(i * 40 % 256);
        }
    return image;
}

std::vector<uint8_t> Write(const TImageBuffer& image, TIOParamsVals& params, bool* aborted = nullptr) {
    return Encode(WriteTiff, image, params, nullptr, aborted);
}

// --- parameter rewrites (the format's edge cases) ------------------------------------------

TEST_F(TiffWriter, FourBitPaletteRewriteHas48ColorMapValues) {
    const fs::path file = TestDataDir() / "tiff" / "flower-palette-04.tif";
    if (!fs::exists(file)) GTEST_SKIP() << "no test data";
    TImageIO io;
    io.LoadFromFile(file.string());
    ASSERT_FALSE(io.Aborting);
    TMemoryOutput out;
    io.SaveToStream(ftTIFF, out);
    ASSERT_FALSE(io.Aborting);
    const TWrittenFile w = ParseDirectory(out.Bytes());
    const TWrittenEntry* map = w.Find(ttColorMap);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->type, tfShort);
    EXPECT_EQ(map->count, 48u);
    EXPECT_EQ(w.Find(ttBitsPerSample)->value, 4u);
    EXPECT_EQ(w.Find(ttPhotometric)->value, 3u);
    EXPECT_EQ(io.Params().ColorMapCount, 16);
    // Read back: the image has at most 16 colours and matches the source within its palette.
    auto back = Decode(ReadTiff, out.Bytes());
    ASSERT_FALSE(back->aborting);
    EXPECT_EQ(MaxPixelDiff(*back->image, io.Image()), 0);
}

TEST_F(TiffWriter, LzwRgbRewriteUsesPredictor) {
    const fs::path file = TestDataDir() / "tiff" / "hopper_lzw.tif";
    if (!fs::exists(file)) GTEST_SKIP() << "no test data";
    TImageIO io;
    io.LoadFromFile(file.string());
    ASSERT_FALSE(io.Aborting);
    TMemoryOutput out;
    io.SaveToStream(ftTIFF, out);
    const TWrittenFile w = ParseDirectory(out.Bytes());
    EXPECT_EQ(w.Find(ttCompression)->value & 0xFFFF, 5u);
    ASSERT_NE(w.Find(ttPredictor), nullptr);
    EXPECT_EQ(w.Find(ttPredictor)->value & 0xFFFF, 2u);
    auto back = Decode(ReadTiff, out.Bytes());
    EXPECT_EQ(MaxPixelDiff(*back->image, io.Image()), 0);
}

TEST_F(TiffWriter, Group4FaxRewriteIsWhiteIsZero) {
    const fs::path file = TestDataDir() / "tiff" / "hopper_g4.tif";
    if (!fs::exists(file)) GTEST_SKIP() << "no test data";
    TImageIO io;
    io.LoadFromFile(file.string());
    ASSERT_FALSE(io.Aborting);
    TMemoryOutput out;
    io.SaveToStream(ftTIFF, out);
    const TWrittenFile w = ParseDirectory(out.Bytes());
    EXPECT_EQ(w.Find(ttCompression)->value & 0xFFFF, 4u);
    EXPECT_EQ(w.Find(ttPhotometric)->value & 0xFFFF, 0u);
    EXPECT_EQ(w.Find(ttColorMap), nullptr);
    auto back = Decode(ReadTiff, out.Bytes());
    ASSERT_EQ(back->image->PixelKind(), pk1Bit);
    EXPECT_EQ(MaxPixelDiff(*back->image, io.Image()), 0);
}

TEST_F(TiffWriter, GrayJpegBecomesEightBitBlackIsZero) {
    const fs::path file = TestDataDir() / "jpeg" / "hopper_gray.jpg";
    TImageIO io;
    if (fs::exists(file)) {
        io.LoadFromFile(file.string());
    } else {
        // The same parameters a gray JPEG read leaves.
        io.Image().Allocate(8, 8, pk24RGB);
        io.Image().Fill(MakeColor(90, 90, 90));
        io.Params().BitsPerSample = 8;
        io.Params().SamplesPerPixel = 1;
    }
    ASSERT_FALSE(io.Aborting);
    ASSERT_EQ(io.Params().SamplesPerPixel, 1);
    TMemoryOutput out;
    io.SaveToStream(ftTIFF, out);
    const TWrittenFile w = ParseDirectory(out.Bytes());
    EXPECT_EQ(w.Find(ttPhotometric)->value & 0xFFFF, 1u);
    EXPECT_EQ(w.Find(ttBitsPerSample)->value & 0xFFFF, 8u);
    EXPECT_EQ(w.Find(ttSamplesPerPixel)->value & 0xFFFF, 1u);
    EXPECT_EQ(w.Find(ttColorMap), nullptr);
    EXPECT_EQ(io.Params().TiffPhotometric, 1);
    auto back = Decode(ReadTiff, out.Bytes());
    EXPECT_EQ(MaxPixelDiff(*back->image, io.Image()), 0);
}

TEST_F(TiffWriter, SixteenBitRgbIsWrittenAsEightBit) {
    const fs::path file = TestDataDir() / "tiff" / "rgb-3c-16b.tiff";
    if (!fs::exists(file)) GTEST_SKIP() << "no test data";
    TImageIO io;
    io.LoadFromFile(file.string());
    ASSERT_FALSE(io.Aborting);
    ASSERT_EQ(io.Params().BitsPerSample, 16);
    TMemoryOutput out;
    io.SaveToStream(ftTIFF, out);
    EXPECT_EQ(io.Params().BitsPerSample, 8);
    EXPECT_EQ(io.Params().SamplesPerPixel, 3);
    const TWrittenFile w = ParseDirectory(out.Bytes());
    EXPECT_EQ(w.Find(ttBitsPerSample)->count, 3u);
    EXPECT_EQ(w.Find(ttPhotometric)->value & 0xFFFF, 2u);
}

TEST_F(TiffWriter, OneBitImagesNeverGetAColorMap) {
    // A two-colour picture written as 1 bit: the darker colour becomes black.
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(16, 4, pk24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            uint8_t* p = image->ScanLine(y) + x * 3;
            const bool dark = x < 8;
            p[0] = dark ? 120 : 10;  // dark navy vs. bright yellow
            p[1] = dark ? 0 : 230;
            p[2] = dark ? 20 : 240;
        }
    for (int32_t compression : {0, 4, 5}) {
        SCOPED_TRACE(compression);
        TIOParamsVals params;
        params.BitsPerSample = 1;
        params.SamplesPerPixel = 1;
        params.TiffPhotometric = 3;
        params.TiffCompression = static_cast<uint8_t>(compression);
        const auto bytes = Write(*image, params);
        const TWrittenFile w = ParseDirectory(bytes);
        EXPECT_EQ(w.Find(ttColorMap), nullptr);
        EXPECT_EQ(w.Find(ttBitsPerSample)->value & 0xFFFF, 1u);
        auto back = Decode(ReadTiff, bytes);
        ASSERT_EQ(back->image->PixelKind(), pk1Bit);
        EXPECT_EQ(back->image->PixelRGB(0, 0), (TRGB{0, 0, 0}));
        EXPECT_EQ(back->image->PixelRGB(15, 3), (TRGB{255, 255, 255}));
    }
}

// --- file layout ---------------------------------------------------------------------------

TEST_F(TiffWriter, DirectoryLayout) {
    auto image = FewColours(5);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    params.TiffDocumentName = "a document";
    params.TiffImageDescription = "abc";
    params.TiffPageName = "page one";
    params.TiffPageNumber = 1;
    params.TiffPageCount = 3;
    params.TiffXPos = 2;
    params.DpiX = 300;
    params.DpiY = 200;
    params.TiffCompression = 8;
    const auto f = Write(*image, params);
    const TWrittenFile w = ParseDirectory(f);
    EXPECT_EQ(w.dirOffset % 2, 0u);
    for (size_t i = 1; i < w.entries.size(); ++i) EXPECT_LT(w.entries[i - 1].tag, w.entries[i].tag);
    // The strip lies between the header's values and the directory; values before the directory.
    const uint32_t strip = w.Find(ttStripOffsets)->value;
    EXPECT_LT(strip + w.Find(ttStripByteCounts)->value, w.dirOffset + 1);
    EXPECT_LT(w.Find(ttDocumentName)->value, strip);
    EXPECT_GT(w.Find(ttPageName)->value, strip);
    EXPECT_EQ(w.Find(ttImageDescription)->count, 4u);  // inline, with its zero byte
    EXPECT_EQ(w.Find(ttCompression)->value & 0xFFFF, 32773u);
    EXPECT_EQ(w.Find(ttPageNumber)->value, 1u | (3u << 16));
    EXPECT_EQ(w.Find(ttT4Options), nullptr);
    EXPECT_EQ(w.Find(ttIptc), nullptr);  // no records: no entry
    const uint32_t xres = w.Find(ttXResolution)->value;
    EXPECT_EQ(LoadLE32(&f[xres]), 300u);
    EXPECT_EQ(LoadLE32(&f[xres + 4]), 1u);
    const uint32_t xpos = w.Find(ttXPosition)->value;
    EXPECT_EQ(LoadLE32(&f[xpos]), 20000u);
    EXPECT_EQ(LoadLE32(&f[xpos + 4]), 10000u);

    auto back = Decode(ReadTiff, f);
    ASSERT_FALSE(back->aborting);
    EXPECT_EQ(back->params.TiffDocumentName, "a document");
    EXPECT_EQ(back->params.TiffPageName, "page one");
    EXPECT_EQ(back->params.TiffPageCount, 3);
    EXPECT_EQ(back->params.DpiY, 200);
    EXPECT_EQ(back->params.TiffXPos, 2);
    EXPECT_EQ(MaxPixelDiff(*back->image, *image), 0);
}

TEST_F(TiffWriter, IptcRecordsTravelAsOneLongBlock) {
    auto image = Gradient(8, 4);
    TIOParamsVals params;
    params.IptcInfo.AddString(2, 120, "a caption");
    const auto f = Write(*image, params);
    const std::vector<uint8_t> block = params.IptcInfo.SaveToIptcStream();
    const TWrittenFile w = ParseDirectory(f);
    const TWrittenEntry* iptc = w.Find(ttIptc);
    ASSERT_NE(iptc, nullptr);
    EXPECT_EQ(iptc->type, tfLong);
    EXPECT_EQ(iptc->count, (block.size() + 3) / 4);
    auto back = Decode(ReadTiff, f);
    ASSERT_EQ(back->params.IptcInfo.Count(), 1);
    EXPECT_EQ(back->params.IptcInfo.StringItem(0), "a caption");
}

TEST_F(TiffWriter, ShortWriteLeavesNoDirectory) {
    auto image = Gradient(200, 100);
    TIOParamsVals params;
    bool aborting = false;
    TMemoryOutput out(5000);
    out.SetAbortFlag(&aborting);
    TIOProgress progress(aborting, nullptr);
    WriteTiff(out, *image, params, nullptr, progress);
    EXPECT_TRUE(aborting);
    ASSERT_GE(out.Bytes().size(), 8u);
    EXPECT_EQ(LoadLE32(&out.Bytes()[4]), 0u);
}

// --- every variant: our reader and libtiff agree -------------------------------------------

struct TVariant {
    const char* name;
    bool bilevel;
    int32_t bits, samples;
    uint8_t photometric, compression;
    uint32_t fileCompression, filePhotometric;
    int tolerance;  // against the source image
};

const TVariant kVariants[] = {
    {"rgb none", false, 8, 3, 2, 0, 1, 2, 0},
    {"rgb packbits", false, 8, 3, 2, 8, 32773, 2, 0},
    {"rgb lzw+predictor", false, 8, 3, 2, 5, 5, 2, 0},
    {"rgb jpeg", false, 8, 3, 2, 7, 7, 6, 12},
    {"bilevel none", true, 1, 1, 0, 0, 1, 1, 0},
    {"bilevel packbits", true, 1, 1, 0, 8, 32773, 1, 0},
    {"bilevel lzw", true, 1, 1, 0, 5, 5, 1, 0},
    {"bilevel modified huffman", true, 1, 1, 0, 1, 2, 0, 0},
    {"bilevel group 3", true, 1, 1, 0, 2, 3, 0, 0},
    {"bilevel group 3 2-d", true, 1, 1, 0, 3, 3, 0, 0},
    {"bilevel group 4", true, 1, 1, 0, 4, 4, 0, 0},
    {"palette 4 bits", false, 4, 1, 3, 0, 1, 3, 0},
    {"palette 8 bits lzw", false, 8, 1, 3, 5, 5, 3, 0},
    {"palette 8 bits packbits", false, 8, 1, 3, 8, 32773, 3, 0},
    {"black is zero", false, 8, 1, 1, 0, 1, 1, 0},
    {"cmyk", false, 8, 4, 5, 0, 1, 5, 1},
    {"cmyk lzw", false, 8, 4, 5, 5, 5, 5, 1},
    {"lab", false, 8, 3, 7, 0, 1, 8, 4},
};

// The source of a variant: few colours for palette, gray for black-is-zero, else a gradient.
std::unique_ptr<TImageBuffer> SourceFor(const TVariant& v) {
    if (v.bilevel) return Bilevel();
    if (v.photometric == 3) return FewColours(v.bits == 4 ? 14 : 200);
    auto image = Gradient();
    if (v.photometric == 7) {
        // Colours that 8-bit a* and b* can hold.
        for (int32_t y = 0; y < image->Height(); ++y)
            for (int32_t x = 0; x < image->Width() * 3; ++x) {
                uint8_t* p = image->ScanLine(y) + x;
                *p = static_cast<uint8_t>(60 + *p / 2);
            }
    }
    if (v.photometric == 1) {
        for (int32_t y = 0; y < image->Height(); ++y)
            for (int32_t x = 0; x < image->Width(); ++x) {
                uint8_t* p = image->ScanLine(y) + x * 3;
                p[0] = p[1] = p[2] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
            }
    }
    return image;
}

TEST_F(TiffWriter, VariantsRoundTripThroughOurReader) {
    for (const TVariant& v : kVariants) {
        SCOPED_TRACE(v.name);
        auto image = SourceFor(v);
        TIOParamsVals params;
        params.BitsPerSample = v.bits;
        params.SamplesPerPixel = v.samples;
        params.TiffPhotometric = v.photometric;
        params.TiffCompression = v.compression;
        bool aborted = false;
        const auto bytes = Write(*image, params, &aborted);
        ASSERT_FALSE(aborted);
        const TWrittenFile w = ParseDirectory(bytes);
        EXPECT_EQ(w.Find(ttCompression)->value & 0xFFFF, v.fileCompression);
        EXPECT_EQ(w.Find(ttPhotometric)->value & 0xFFFF, v.filePhotometric);
        auto back = Decode(ReadTiff, bytes);
        ASSERT_FALSE(back->aborting);
        EXPECT_LE(MaxPixelDiff(*back->image, *image), v.tolerance);
    }
}

TEST_F(TiffWriter, LibtiffAcceptsAndDecodesEveryVariant) {
    if (!HaveTool("tiffinfo") || !HaveTool("tiff2rgba")) GTEST_SKIP() << "libtiff-tools not installed";
    TempDir tmp;
    int i = 0;
    for (const TVariant& v : kVariants) {
        SCOPED_TRACE(v.name);
        auto image = SourceFor(v);
        TIOParamsVals params;
        params.BitsPerSample = v.bits;
        params.SamplesPerPixel = v.samples;
        params.TiffPhotometric = v.photometric;
        params.TiffCompression = v.compression;
        const fs::path ours = tmp / ("ours" + std::to_string(i) + ".tif");
        const fs::path rgba = tmp / ("rgba" + std::to_string(i) + ".tif");
        const fs::path log = tmp / ("info" + std::to_string(i++) + ".txt");
        WriteFileBytes(ours, ToString(Write(*image, params)));
        // tiffinfo -D decodes every strip; anything it reports on stderr is a fault of the file.
        ASSERT_EQ(std::system(("tiffinfo -D " + Quote(ours) + " >/dev/null 2>" + Quote(log)).c_str()), 0);
        EXPECT_EQ(ReadFileBytes(log), "");
        ASSERT_EQ(RunTool("tiff2rgba -c none " + Quote(ours) + " " + Quote(rgba)), 0);
        TImageIO theirs;
        theirs.LoadFromFile(rgba.string());
        ASSERT_FALSE(theirs.Aborting);
        // Compared with what our reader makes of the same file (both decode the same data).
        auto back = Decode(ReadTiff, ToBytes(ReadFileBytes(ours)));
        EXPECT_LE(MaxPixelDiff(theirs.Image(), *back->image), v.photometric == 7 ? 2 : (v.compression == 7 ? 2 : 0));
    }
}

}  // namespace
}  // namespace luma::test
