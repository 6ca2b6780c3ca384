// BMP reader and writer: hand-made files for the decoding rules, the conformance files against
// their reference decodes, exact run-length bytes, and files we write read back by our reader and
// by a peer decoder.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/bmp.h"
#include "formats/image_io.h"
#include "support/test_support.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// --- building small files ---------------------------------------------------------------------

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

struct TBmpLayout {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB values, written as B, G, R, 0
    std::vector<uint32_t> masks;    // written right after a 40-byte header
    Bytes pixels;                   // stored rows, bottom row first
};

TBmpLayout Layout(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0) {
    TBmpLayout s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    s.compression = compression;
    return s;
}

Bytes MakeBmp(const TBmpLayout& s) {
    Bytes b;
    b.reserve(64 + s.palette.size() * 4 + s.pixels.size());
    b.push_back('B');
    b.push_back('M');
    const uint32_t offset = 14 + 40 + static_cast<uint32_t>(s.masks.size() * 4 + s.palette.size() * 4);
    Put32(b, offset + static_cast<uint32_t>(s.pixels.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(s.width));
    Put32(b, static_cast<uint32_t>(s.height));
    Put16(b, 1);
    Put16(b, s.bits);
    Put32(b, s.compression);
    Put32(b, static_cast<uint32_t>(s.pixels.size()));
    Put32(b, 3780);
    Put32(b, 2835);
    Put32(b, static_cast<uint32_t>(s.palette.size()));
    Put32(b, 0);
    for (uint32_t m : s.masks) Put32(b, m);
    for (uint32_t c : s.palette) Put32(b, c);
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    return b;
}

struct TReadResult {
    bool aborting = false;
    TIOParamsVals params;
};

TReadResult Read(const Bytes& file, TImageBuffer& image, int64_t maxPixels = kDefaultMaxPixels) {
    TReadResult r;
    TPlaneMask alpha;
    TIOProgress progress(r.aborting, nullptr, maxPixels);
    ReadBmp(file, image, r.params, alpha, progress);
    return r;
}

TRGB Px(const TImageBuffer& image, int32_t x, int32_t y) { return image.PixelRGB(x, y); }

::testing::AssertionResult SameColor(TRGB actual, uint8_t r, uint8_t g, uint8_t b) {
    if (actual.r == r && actual.g == g && actual.b == b) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << int(actual.r) << "," << int(actual.g) << "," << int(actual.b)
           << ") expected (" << int(r) << "," << int(g) << "," << int(b) << ")";
}

// --- reading: decoding rules ------------------------------------------------------------------

TEST(BmpRead, SixteenBitMasks) {
    // Without bit fields the 5-5-5 layout applies; a 5-6-5 bit-field file widens green. Channel
    // values are the mask bits moved to the top of the byte, not scaled up.
    TImageBuffer image;
    TBmpLayout s = Layout(2, 1, 16);
    s.pixels = {0xFF, 0x7F, 0x00, 0x7C};  // 0x7FFF, 0x7C00 (pure red)
    auto r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    EXPECT_TRUE(SameColor(Px(image, 0, 0), 248, 248, 248));
    EXPECT_TRUE(SameColor(Px(image, 1, 0), 248, 0, 0));
    EXPECT_EQ(r.params.BitsPerSample, 5);
    EXPECT_EQ(r.params.SamplesPerPixel, 3);

    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    s.pixels = {0xFF, 0xFF, 0xE0, 0x07};  // 0xFFFF, 0x07E0 (pure green)
    r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    EXPECT_TRUE(SameColor(Px(image, 0, 0), 248, 252, 248));
    EXPECT_TRUE(SameColor(Px(image, 1, 0), 0, 252, 0));
}

TEST(BmpRead, OneBitPaletteOrderKeepsAppearance) {
    // Row bits 1,0 with palette black,white and the same picture stored inverted under
    // white,black: both read as white, black.
    TBmpLayout s = Layout(2, 1, 1);
    s.palette = {0x000000, 0xFFFFFF};
    s.pixels = {0x80, 0, 0, 0};
    TImageBuffer a, b;
    ASSERT_FALSE(Read(MakeBmp(s), a).aborting);
    s.palette = {0xFFFFFF, 0x000000};
    s.pixels = {0x40, 0, 0, 0};
    ASSERT_FALSE(Read(MakeBmp(s), b).aborting);
    for (const TImageBuffer* img : {&a, &b}) {
        EXPECT_EQ(img->PixelKind(), pk1Bit);
        EXPECT_TRUE(SameColor(Px(*img, 0, 0), 255, 255, 255));
        EXPECT_TRUE(SameColor(Px(*img, 1, 0), 0, 0, 0));
    }
}

TEST(BmpRead, FourBitOddWidthAndPaletteLookup) {
    // Three pixels: the last comes from the high nibble of the second byte. Index 5 lies beyond
    // the two-entry palette and reads black.
    TBmpLayout s = Layout(3, 2, 4);
    s.palette = {0xFF0000, 0x00FF00};
    s.pixels = {0x01, 0x10, 0, 0,   // bottom row: 0, 1, 1
                0x10, 0x5F, 0, 0};  // top row: 1, 0, 5
    TImageBuffer image;
    auto r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    EXPECT_EQ(r.params.ColorMapCount, 2);
    EXPECT_TRUE(SameColor(Px(image, 0, 1), 255, 0, 0));
    EXPECT_TRUE(SameColor(Px(image, 2, 1), 0, 255, 0));
    EXPECT_TRUE(SameColor(Px(image, 0, 0), 0, 255, 0));
    EXPECT_TRUE(SameColor(Px(image, 2, 0), 0, 0, 0));
    EXPECT_EQ(r.params.DpiX, 96);  // 3780 per metre
    EXPECT_EQ(r.params.DpiY, 72);  // 2835 per metre
}

TEST(BmpRead, TopDownRows) {
    TBmpLayout s = Layout(1, -2, 24);
    s.pixels = {0, 0, 255, 0, 0, 255, 0, 0};  // first stored row red, then green
    TImageBuffer image;
    auto r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    EXPECT_EQ(r.params.Height, 2);
    EXPECT_TRUE(SameColor(Px(image, 0, 0), 255, 0, 0));
    EXPECT_TRUE(SameColor(Px(image, 0, 1), 0, 255, 0));
}

TEST(BmpRead, RunLengthStaysInsideRowAndImage) {
    // 4 x 2, RLE8. A run longer than the row, a literal crossing the row end, a move past the
    // right edge, a move above the top, and data that ends without an end-of-bitmap escape.
    TBmpLayout s = Layout(4, 2, 8, 1);
    s.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    s.pixels = {
        9,    1,                    // run of 9 red, cut at 4
        0,    0,                    // end of line
        0,    3,    2, 3, 2, 0,     // literal green, blue, green (+pad)
        3,    3,                    // run of 3 blue: only 1 fits
        0,    2,    200, 0,         // move far right: clamped to the row end
        0,    2,    0,   9,         // move up beyond the image: decoding stops
        7,    7,                    // never reached
    };
    TImageBuffer image;
    auto r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    for (int x = 0; x < 4; ++x) EXPECT_TRUE(SameColor(Px(image, x, 1), 255, 0, 0)) << x;
    EXPECT_TRUE(SameColor(Px(image, 0, 0), 0, 255, 0));
    EXPECT_TRUE(SameColor(Px(image, 1, 0), 0, 0, 255));
    EXPECT_TRUE(SameColor(Px(image, 2, 0), 0, 255, 0));
    EXPECT_TRUE(SameColor(Px(image, 3, 0), 0, 0, 255));
    EXPECT_EQ(r.params.BmpCompression, 1);

    // A literal whose bytes run past the end of the data: what is there is used, then stop.
    s.pixels = {0, 4, 1, 2};
    r = Read(MakeBmp(s), image);
    ASSERT_FALSE(r.aborting);
    EXPECT_TRUE(SameColor(Px(image, 0, 1), 255, 0, 0));
    EXPECT_TRUE(SameColor(Px(image, 1, 1), 0, 255, 0));
    EXPECT_TRUE(SameColor(Px(image, 2, 1), 0, 0, 0));  // never reached: palette entry 0
}

TEST(BmpRead, RunLengthFourBitNibbles) {
    TBmpLayout s = Layout(5, 1, 4, 2);
    s.palette = {0x000000, 0xFF0000, 0x00FF00};
    s.pixels = {3, 0x12, 0, 3, 0x21, 0x00, 0, 1};  // run 1,2,1 then literal 2,1 (cut at 5)
    TImageBuffer image;
    ASSERT_FALSE(Read(MakeBmp(s), image).aborting);
    const std::array<uint32_t, 5> want = {1, 2, 1, 2, 1};
    for (int x = 0; x < 5; ++x) {
        const TRGB c = Px(image, x, 0);
        EXPECT_EQ(want[x] == 1 ? 255 : 0, c.r) << x;
        EXPECT_EQ(want[x] == 2 ? 255 : 0, c.g) << x;
    }
}

TEST(BmpRead, RejectsWithoutTouchingTheImage) {
    TBmpLayout good = Layout(2, 2, 24);
    good.pixels.assign(16, 0x55);
    const Bytes valid = MakeBmp(good);

    Bytes badSignature = valid;
    badSignature[0] = 'X';
    Bytes truncated(valid.begin(), valid.end() - 6);  // last row cut short
    TBmpLayout huge = Layout(40000, 40000, 24);
    TBmpLayout negativeWidth = Layout(-4, 2, 24);
    TBmpLayout twoBits = Layout(2, 2, 2);
    TBmpLayout rleTopDown = Layout(2, -2, 8, 1);
    TBmpLayout jpegInside = Layout(2, 2, 24, 4);
    Bytes badOffset = valid;
    badOffset[10] = 0xF0;  // pixel data offset beyond the file
    Bytes shortHeader(valid.begin(), valid.begin() + 20);

    const std::map<std::string, Bytes> cases = {
        {"signature", badSignature},     {"truncated pixels", truncated},
        {"over pixel budget", MakeBmp(huge)}, {"negative width", MakeBmp(negativeWidth)},
        {"2 bits", MakeBmp(twoBits)},    {"RLE top-down", MakeBmp(rleTopDown)},
        {"compression 4", MakeBmp(jpegInside)}, {"offset past end", badOffset},
        {"short header", shortHeader},   {"empty", Bytes{}},
    };
    for (const auto& [name, bytes] : cases) {
        TImageBuffer image;
        image.Allocate(3, 1, pk24RGB);
        image.Fill(0x123456);
        EXPECT_TRUE(Read(bytes, image).aborting) << name;
        EXPECT_EQ(image.Width(), 3) << name;
        EXPECT_EQ(ToColor(Px(image, 0, 0)), 0x123456u) << name;
    }
    // The budget is configurable.
    TImageBuffer image;
    EXPECT_TRUE(Read(valid, image, 3).aborting);
    EXPECT_FALSE(Read(valid, image, 4).aborting);
}

// --- reading: conformance files ---------------------------------------------------------------

// Where this reader deliberately differs from the peer decoders that made the references.
struct TKnownDifference {
    const char* file;
    int tolerance;  // per channel; -1: not compared at all
    const char* why;
};
const TKnownDifference kKnownDifferences[] = {
    {"pal1bg.bmp", -1, "1-bit palettes other than black/white are not applied"},
    {"pal1p1.bmp", -1, "1-bit palettes other than black/white are not applied"},
    {"rgb16.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"rgb16-565.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"rgb16-565pal.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"rgb16bfdef.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"rgb16faketrns.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"rgba16-5551.bmp", 7, "16-bit channels keep the mask bits, not scaled to 255"},
    {"pal4rletrns.bmp", -1, "pixels the run-length data skips take palette entry 0"},
    {"pal8rletrns.bmp", -1, "pixels the run-length data skips take palette entry 0"},
    {"rgb32bf-abgr.bmp", -1, "alpha plane of 32-bit files not read"},
    {"rgba32-2.bmp", -1, "alpha plane of 32-bit files not read"},
    {"rgba32h56.bmp", -1, "alpha plane of 32-bit files not read"},
};

// Files the suite marks invalid that this reader must refuse.
const char* const kMustFail[] = {
    "badbitcount.bmp", "badwidth.bmp", "l2rgb_read.bmp", "reallybig.bmp",
    "rletopdown.bmp",  "shortfile.bmp", "rgb24jpeg.bmp", "rgb24png.bmp",
};

TEST(BmpRead, ConformanceFiles) {
    const fs::path dir = test::TestDataDir() / "bmp";
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".bmp") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const std::string raw = test::ReadFileBytes(entry.path());
        TImageBuffer image;
        const auto r = Read(Bytes(raw.begin(), raw.end()), image);
        for (const char* f : kMustFail)
            if (name == f) {
                EXPECT_TRUE(r.aborting);
            }

        const fs::path ref = dir / "ref" / (name + ".png");
        if (r.aborting || !fs::exists(ref)) continue;
        int tolerance = 1;
        for (const auto& k : kKnownDifferences)
            if (name == k.file) tolerance = k.tolerance;
        if (tolerance < 0) continue;

        TImageIO refIO;
        refIO.LoadFromFile(ref.string());
        ASSERT_FALSE(refIO.Aborting);
        const TImageBuffer& want = refIO.Image();
        ASSERT_EQ(want.Width(), image.Width());
        ASSERT_EQ(want.Height(), image.Height());
        int bad = 0;
        for (int32_t y = 0; y < image.Height() && bad < 3; ++y) {
            for (int32_t x = 0; x < image.Width() && bad < 3; ++x) {
                const TRGB a = image.PixelRGB(x, y), b = want.PixelRGB(x, y);
                if (std::abs(a.r - b.r) > tolerance || std::abs(a.g - b.g) > tolerance ||
                    std::abs(a.b - b.b) > tolerance) {
                    ADD_FAILURE() << "pixel " << x << "," << y << ": ours (" << int(a.r) << ","
                                  << int(a.g) << "," << int(a.b) << ") reference (" << int(b.r)
                                  << "," << int(b.g) << "," << int(b.b) << ")";
                    ++bad;
                }
            }
        }
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

TEST(BmpRead, EveryPrefixOfAFileIsReadSafely) {
    // Cut files at every length: the reader may fail or decode part, but never reads outside the
    // data (checked by the sanitizer build) and never reports a partial plain image as read.
    const fs::path dir = test::TestDataDir() / "bmp";
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data";
    for (const char* name : {"pal4rle.bmp", "pal8rle.bmp", "pal1.bmp", "pal8os2.bmp",
                             "rgb16-565.bmp", "rgb32bf.bmp", "pal8v5.bmp", "pal8topdown.bmp"}) {
        SCOPED_TRACE(name);
        const std::string raw = test::ReadFileBytes(dir / name);
        const Bytes whole(raw.begin(), raw.end());
        const size_t step = whole.size() > 2000 ? 7 : 1;
        for (size_t n = 0; n < whole.size(); n += step) {
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            TImageBuffer image;
            const auto r = Read(cut, image);
            if (std::string(name).find("rle") == std::string::npos && n + 4 < whole.size()) {
                EXPECT_TRUE(r.aborting) << n;
            }
        }
    }
}

// --- writing ----------------------------------------------------------------------------------

TEST(BmpRle, RowEncodingBytes) {
    struct Case {
        const char* name;
        int bits;
        Bytes indices;
        Bytes want;
    };
    Bytes wide(300, 7);
    Bytes alternating(256);
    for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = static_cast<uint8_t>(i & 1);
    // 255 literal bytes (odd, so padded), then the 256th pixel alone.
    Bytes alternatingWant(2 + 255 + 1 + 4, 0);
    alternatingWant[1] = 255;
    for (size_t i = 0; i < 255; ++i) alternatingWant[2 + i] = alternating[i];
    alternatingWant[258] = 1;
    alternatingWant[259] = 1;

    const Case cases[] = {
        {"300-pixel run", 8, wide, {255, 7, 45, 7, 0, 0}},
        {"4-bit literal of 3", 4, {1, 2, 3}, {0, 3, 0x12, 0x30, 0, 0}},
        {"4-bit literal of 5", 4, {1, 2, 3, 4, 5}, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
        {"8-bit literal of 2", 8, {4, 9}, {1, 4, 1, 9, 0, 0}},
        {"4-bit literal of 2", 4, {4, 9}, {2, 0x49, 0, 0}},
        {"one pixel", 8, {5}, {1, 5, 0, 0}},
        {"4-bit run", 4, {3, 3, 3}, {3, 0x33, 0, 0}},
        {"literal then run", 8, {1, 2, 3, 3}, {1, 1, 1, 2, 2, 3, 0, 0}},
        {"8-bit literal of 3", 8, {1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0}},
        {"literals beyond 255", 8, alternating, alternatingWant},
    };
    for (const auto& c : cases) {
        Bytes out;
        BmpEncodeRleRow(c.indices, c.bits, out);
        EXPECT_EQ(out, c.want) << c.name;
    }
}

struct TWritten {
    Bytes file;
    bool aborting = false;
    TIOParamsVals params;
};

TWritten Write(const TImageBuffer& image, TIOParamsVals params) {
    TWritten w;
    TMemoryOutput out;
    out.SetAbortFlag(&w.aborting);
    TIOProgress progress(w.aborting, nullptr);
    WriteBmp(out, image, params, nullptr, progress);
    w.file = out.Bytes();
    w.params = params;
    return w;
}

uint32_t FieldLE32(const Bytes& b, size_t at) { return LoadLE32(b.data() + at); }
uint16_t FieldLE16(const Bytes& b, size_t at) { return LoadLE16(b.data() + at); }

TEST(BmpWrite, SingleColourRunLengthFile) {
    TImageBuffer image;
    image.Allocate(300, 2, pk24RGB);
    image.Fill(0x00336699);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 1;
    params.BmpCompression = 1;
    const auto w = Write(image, params);
    ASSERT_FALSE(w.aborting);
    const uint32_t offset = FieldLE32(w.file, 10);
    EXPECT_EQ(FieldLE32(w.file, 2), w.file.size());
    EXPECT_EQ(FieldLE16(w.file, 28), 8);
    EXPECT_EQ(FieldLE32(w.file, 30), 1u);  // RLE8
    EXPECT_EQ(FieldLE32(w.file, 34), w.file.size() - offset);
    EXPECT_EQ(offset, 14u + 40u + 256u * 4u);
    const Bytes data(w.file.begin() + offset, w.file.end());
    EXPECT_EQ(data, (Bytes{255, 0, 45, 0, 0, 0, 255, 0, 45, 0, 0, 0, 0, 1}));
    EXPECT_EQ(w.params.ColorMapCount, 256);
    EXPECT_EQ(w.params.ColorMap[0], (TRGB{0x33, 0x66, 0x99}));
}

TEST(BmpWrite, DepthComesFromParameters) {
    TImageBuffer image;
    image.Allocate(5, 3, pk24RGB);
    image.Fill(0x0000FF);
    image.FillRect(0, 0, 1, 0, 0xFFFFFF);
    struct Case {
        int32_t bitsPerSample, samples;
        uint8_t version, compression;
        uint32_t headerSize;
        uint16_t wantBits;
    };
    const Case cases[] = {
        {5, 3, 1, 0, 40, 24},  // after reading a 16-bit file
        {8, 3, 1, 0, 40, 24},  {8, 1, 1, 0, 40, 8}, {4, 1, 3, 0, 64, 4},
        {1, 1, 0, 0, 40, 1},   {8, 1, 2, 1, 12, 8},  // 12-byte header: never run-length
    };
    for (const auto& c : cases) {
        TIOParamsVals params;
        params.BitsPerSample = c.bitsPerSample;
        params.SamplesPerPixel = c.samples;
        params.BmpVersion = c.version;
        params.BmpCompression = c.compression;
        const auto w = Write(image, params);
        ASSERT_FALSE(w.aborting);
        EXPECT_EQ(FieldLE32(w.file, 14), c.headerSize);
        if (c.headerSize == 12) {
            EXPECT_EQ(FieldLE16(w.file, 24), c.wantBits);
            const uint32_t offset = FieldLE32(w.file, 10);
            EXPECT_EQ(offset, 14u + 12u + 256u * 3u);
            EXPECT_EQ(w.file.size() - offset, 3u * 8u);  // plain rows of 5 bytes padded to 8
        } else {
            EXPECT_EQ(FieldLE16(w.file, 28), c.wantBits);
            EXPECT_EQ(FieldLE32(w.file, 38), 3780u);  // 96 dpi
        }
        // Our reader agrees.
        TImageBuffer back;
        auto r = Read(w.file, back);
        ASSERT_FALSE(r.aborting);
        EXPECT_TRUE(SameColor(Px(back, 0, 0), 255, 255, 255));
        // A 1-bit file reads as black and white whatever its palette.
        if (c.wantBits == 1)
            EXPECT_TRUE(SameColor(Px(back, 4, 2), 0, 0, 0));
        else
            EXPECT_TRUE(SameColor(Px(back, 4, 2), 255, 0, 0));
    }
}

TEST(BmpWrite, TwoColourImageKeepsItsColoursAtOneBit) {
    TImageBuffer image;
    image.Allocate(9, 2, pk24RGB);
    image.Fill(MakeColor(200, 30, 30));
    image.FillRect(3, 0, 8, 0, MakeColor(10, 10, 90));
    TIOParamsVals params;
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    const auto w = Write(image, params);
    ASSERT_FALSE(w.aborting);
    ASSERT_EQ(w.params.ColorMapCount, 2);
    EXPECT_EQ(w.params.ColorMap[0], (TRGB{90, 10, 10}));  // the darker one for bit 0
    EXPECT_EQ(w.params.ColorMap[1], (TRGB{30, 30, 200}));
    const uint32_t offset = FieldLE32(w.file, 10);
    // Top row stored last: bits 111 000000 -> 0xE0 0x00, then padding.
    EXPECT_EQ(w.file[offset + 4], 0xE0);
    EXPECT_EQ(w.file[offset + 5], 0x00);
}

TEST(BmpWrite, ShortWriteAborts) {
    TImageBuffer image;
    image.Allocate(64, 64, pk24RGB);
    image.Fill(0);
    bool aborting = false;
    TMemoryOutput out(1000);
    out.SetAbortFlag(&aborting);
    TIOProgress progress(aborting, nullptr);
    TIOParamsVals params;
    WriteBmp(out, image, params, nullptr, progress);
    EXPECT_TRUE(aborting);
    EXPECT_EQ(LoadLE32(out.Bytes().data() + 2), 0u);  // headers left incomplete
}

// --- peer decoder -----------------------------------------------------------------------------

std::string PeerPython() {
    for (const char* p : {"/usr/bin/python3", "/bin/python3"})
        if (fs::exists(p) && std::system((std::string(p) + " -c 'import PIL' 2>/dev/null").c_str()) == 0)
            return p;
    return {};
}

TEST(BmpWrite, PeerDecoderReadsEveryMode) {
    const std::string python = PeerPython();
    if (python.empty()) GTEST_SKIP() << "python3-pil not installed";
    test::TempDir tmp;

    // 13 x 5 with 12 colours: lossless at 4 and 8 bits. Runs and literals both occur.
    TImageBuffer colours;
    colours.Allocate(13, 5, pk24RGB);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const int k = (x < 6 ? 0 : x) + y;
            colours.FillRect(x, y, x, y, MakeColor(static_cast<uint8_t>(20 * (k % 12)), static_cast<uint8_t>(255 - 20 * (k % 12)), static_cast<uint8_t>(k % 3 * 100)));
        }
    TImageBuffer twoColours;
    twoColours.Allocate(13, 5, pk24RGB);
    twoColours.Fill(0xFFFFFF);
    twoColours.FillRect(2, 1, 9, 3, 0x000000);

    struct Mode {
        const char* name;
        int32_t bits, samples;
        uint8_t version, compression;
        const TImageBuffer* image;
    };
    const Mode modes[] = {
        {"1bit", 1, 1, 1, 0, &twoColours},   {"4bit", 4, 1, 1, 0, &colours},
        {"8bit", 8, 1, 1, 0, &colours},      {"24bit", 8, 3, 1, 0, &colours},
        {"rle4", 4, 1, 1, 1, &colours},      {"rle8", 8, 1, 1, 1, &colours},
        {"core12", 8, 1, 2, 0, &colours},    {"core12-24", 8, 3, 2, 0, &colours},
        {"v64", 8, 3, 3, 0, &colours},       {"v64-rle8", 8, 1, 3, 1, &colours},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.name);
        TIOParamsVals params;
        params.BitsPerSample = m.bits;
        params.SamplesPerPixel = m.samples;
        params.BmpVersion = m.version;
        params.BmpCompression = m.compression;
        const auto w = Write(*m.image, params);
        ASSERT_FALSE(w.aborting);
        const fs::path bmp = tmp / (std::string(m.name) + ".bmp");
        const fs::path raw = tmp / (std::string(m.name) + ".rgb");
        test::WriteFileBytes(bmp, std::string(w.file.begin(), w.file.end()));
        // Pillow 9 drops the last pixel of an odd-length 4-bit literal, so run-length 4-bit files
        // go to ImageMagick when it is there.
        std::string cmd;
        if (m.compression == 1 && m.bits == 4) {
            if (!fs::exists("/usr/bin/convert")) continue;
            cmd = "/usr/bin/convert '" + bmp.string() + "' -depth 8 'rgb:" + raw.string() + "' 2>&1";
        } else {
            cmd = python + " -c \"import sys; from PIL import Image; "
                  "im = Image.open(sys.argv[1]); im.load(); "
                  "open(sys.argv[2], 'wb').write(im.convert('RGB').tobytes())\" '" +
                  bmp.string() + "' '" + raw.string() + "' 2>&1";
        }
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const std::string rgb = test::ReadFileBytes(raw);
        ASSERT_EQ(rgb.size(), 13u * 5u * 3u);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                const TRGB want = m.image->PixelRGB(x, y);
                const size_t at = (static_cast<size_t>(y) * 13 + static_cast<size_t>(x)) * 3;
                ASSERT_TRUE(SameColor(TRGB{static_cast<uint8_t>(rgb[at + 2]),
                                           static_cast<uint8_t>(rgb[at + 1]),
                                           static_cast<uint8_t>(rgb[at])},
                                      want.r, want.g, want.b))
                    << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace luma
