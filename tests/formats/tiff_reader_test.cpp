// TIFF reader: the conformance corpus against its reference decodes, hand-made files for the
// directory chain, the sample layouts and malformed input, and files written by peer tools.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/ccitt.h"
#include "formats/image_io.h"
#include "formats/lzw_coders.h"
#include "formats/tiff.h"
#include "formats/tiff_lzw.h"
#include "jpeg_png_test_util.h"
#include "tiff_test_support.h"

namespace luma::test {
namespace {

namespace fs = std::filesystem;

class TiffReader : public ::testing::Test {
protected:
    void SetUp() override { InstallLzwCoders(); }
};

std::unique_ptr<TDecoded> Read(const std::vector<uint8_t>& bytes, int32_t index = 0) {
    TIOParamsVals params;
    params.TiffImageIndex = index;
    return Decode(ReadTiff, bytes, params);
}

// --- the corpus ----------------------------------------------------------------------------

// Files whose reference shows something else than this reader is meant to produce.
struct TKnownDifference {
    const char* file;
    int tolerance;  // -1: not compared
    const char* reason;
};
const TKnownDifference kKnownDifferences[] = {
    {"32bpp-None.tiff", -1, "associated alpha: we keep the stored (premultiplied) colour"},
    {"pil136.tiff", -1, "associated alpha: we keep the stored (premultiplied) colour"},
    {"strike.tif", -1, "associated alpha: we keep the stored (premultiplied) colour"},
    {"seq-4c-8b-rgba-50969cda.tiff", -1, "associated alpha: we keep the stored (premultiplied) colour"},
    {"hopper.Lab.tif", 12, "L*a*b* colours near the gamut edge are clipped differently"},
    {"old-style-jpeg-compression.tif", -1, "old-style JPEG: the interchange stream is decoded as a plain JPEG"},
    {"smallliz.tif", -1, "old-style JPEG: the interchange stream is decoded as a plain JPEG"},
    {"tiff_strip_cmyk_jpeg.tif", -1, "JPEG CMYK strips go through the JPEG reader's inverted-CMYK rule"},
    {"tiff_tiled_cmyk_jpeg.tif", -1, "JPEG CMYK tiles go through the JPEG reader's inverted-CMYK rule"},
    {"testfax3_bug_513.tiff", -1, "fax runs longer than the row are cut differently"},
    {"testfax3_bug54_1dnoEOL.tif", -1, "Group 3 rows without end-of-line codes after a damaged row"},
};

const TKnownDifference* FindDifference(const std::string& name) {
    for (const auto& d : kKnownDifferences)
        if (name == d.file) return &d;
    return nullptr;
}

// Every file loads without crashing; where it reads and a reference exists, the pixels match it
// (4-bit gray is shifted left by 4 where the reference scales by 17; JPEG within 2 levels).
TEST_F(TiffReader, CorpusMatchesReferenceDecodes) {
    const fs::path dir = TestDataDir() / "tiff";
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        TImageIO io;
        io.LoadFromFile(entry.path().string());
        const fs::path ref = dir / "ref" / (name + ".png");
        if (io.Aborting || !fs::exists(ref)) continue;
        const TKnownDifference* known = FindDifference(name);
        if (known != nullptr && known->tolerance < 0) continue;
        TImageIO refIo;
        refIo.LoadFromFile(ref.string());
        ASSERT_FALSE(refIo.Aborting);
        const TImageBuffer& ours = io.Image();
        const TImageBuffer& theirs = refIo.Image();
        ASSERT_EQ(ours.Width(), theirs.Width());
        ASSERT_EQ(ours.Height(), theirs.Height());
        TImageIO alphaIo;
        const fs::path alphaRef = dir / "ref" / (name + ".alpha.png");
        const bool hasAlpha = fs::exists(alphaRef);
        if (hasAlpha) alphaIo.LoadFromFile(alphaRef.string());
        const TIOParamsVals& p = io.Params();
        const bool gray4 = p.BitsPerSample == 4 && p.SamplesPerPixel == 1 && p.TiffPhotometric <= 1;
        int tolerance = p.TiffCompression == 7 ? 2 : 1;
        if (known != nullptr) tolerance = known->tolerance;
        int worst = 0;
        for (int32_t y = 0; y < ours.Height(); ++y)
            for (int32_t x = 0; x < ours.Width(); ++x) {
                if (hasAlpha && alphaIo.Image().PixelRGB(x, y).r == 0) continue;
                const TRGB a = ours.PixelRGB(x, y);
                TRGB b = theirs.PixelRGB(x, y);
                if (gray4) {
                    const int stored = p.TiffPhotometric == 0 ? 15 - (b.r + 8) / 17 : (b.r + 8) / 17;
                    const int value = stored << 4;
                    const auto level = static_cast<uint8_t>(p.TiffPhotometric == 0 ? 255 - value : value);
                    b = TRGB{level, level, level};
                }
                worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            }
        EXPECT_LE(worst, tolerance);
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

// A few files per feature must read at all (the corpus loop above only compares those that do).
TEST_F(TiffReader, RepresentativeFilesRead) {
    const fs::path dir = TestDataDir() / "tiff";
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data";
    struct Row {
        const char* file;
        int32_t bits, samples, compression, photometric, count;
    };
    const Row rows[] = {
        {"hopper.tif", 8, 3, 0, 2, 1},                      // plain RGB
        {"hopper_lzw.tif", 8, 3, 5, 2, 1},                  // LZW with predictor
        {"copyleft.tiff", 8, 3, 8, 2, 1},                   // PackBits, big-endian
        {"ccitt_rle.tiff", 1, 1, 1, 0, 1},                  // modified Huffman
        {"fax2d.tif", 1, 1, 2, 0, 1},                       // Group 3
        {"g4-fillorder-test.tif", 1, 1, 4, 0, 1},           // Group 4, fill order 2
        {"g4-multi.tiff", 1, 1, 4, 0, 3},                   // three pages
        {"hopper_jpg.tif", 8, 3, 7, 2, 1},                  // JPEG, RGB (keep-raw)
        {"tiff_tiled_ycbcr_jpeg_2x2_sampling.tif", 8, 3, 7, 6, 1},
        {"quad-tile.tif", 8, 3, 5, 2, 1},                   // LZW tiles
        {"tiff_strip_planar_lzw.tiff", 8, 3, 5, 2, 1},      // planes
        {"flower-separated-contig-08.tif", 8, 4, 0, 5, 1},  // CMYK
        {"lab.tif", 8, 3, 0, 7, 1},                         // CIE L*a*b*
        {"flower-palette-02.tif", 2, 1, 0, 3, 1},           // 2-bit palette, odd width
        {"16bit.MM.cropped.tif", 16, 1, 0, 1, 1},           // big-endian 16-bit gray
        {"hopper4R.tif", 4, 1, 0, 1, 1},                    // fill order 2 on raw samples
        {"sample-rgba-lzw.tiff", 8, 4, 5, 2, 1},            // RGBA with alpha plane
        {"old-style-jpeg-compression.tif", 8, 3, 6, 6, 1},  // old-style JPEG
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        TImageIO io;
        io.LoadFromFile((dir / r.file).string());
        EXPECT_FALSE(io.Aborting);
        const TIOParamsVals& p = io.Params();
        EXPECT_EQ(p.BitsPerSample, r.bits);
        EXPECT_EQ(p.SamplesPerPixel, r.samples);
        EXPECT_EQ(p.TiffCompression, r.compression);
        EXPECT_EQ(p.TiffPhotometric, r.photometric);
        EXPECT_EQ(p.TiffImageCount, r.count);
        EXPECT_EQ(io.Image().PixelKind(), r.bits == 1 ? pk1Bit : pk24RGB);
    }
    TImageIO rgba;
    rgba.LoadFromFile((dir / "sample-rgba-lzw.tiff").string());
    EXPECT_TRUE(rgba.Image().HasAlphaChannel());
}

// Files the suites mark invalid, and others outside what the reader decodes, fail cleanly.
TEST_F(TiffReader, RejectsWhatItCannotRead) {
    const fs::path dir = TestDataDir() / "tiff";
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data";
    for (const char* file : {"hopper_bigtiff.tif", "seek_too_large.tif", "libtiff_segfault.tif",
                             "oom-225817ca0f8c663be7ab4b9e717b02c661e66834.tif", "tiff_wrong_bits_per_sample_2.tiff",
                             "tiff_tiled_planar_raw.tif", "seq-1c-8b-deflate-20f3db0c.tiff",
                             "flower-rgb-contig-10.tif"}) {
        SCOPED_TRACE(file);
        TImageIO io;
        io.LoadFromFile((dir / file).string());
        EXPECT_TRUE(io.Aborting);
    }
}

// --- the directory chain -------------------------------------------------------------------

std::vector<TTestPage> GrayPages(std::initializer_list<uint8_t> levels) {
    std::vector<TTestPage> pages;
    for (uint8_t v : levels) pages.push_back(BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, v)));
    return pages;
}

TEST_F(TiffReader, PageIndexPicksThePageAndCountsAll) {
    const auto file = BuildTiff(GrayPages({10, 20, 30}));
    auto d = Read(file, 2);
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(d->params.TiffImageCount, 3);
    EXPECT_EQ(d->image->PixelRGB(3, 1).g, 30);

    auto missing = Read(file, 3);
    EXPECT_TRUE(missing->aborting);
    EXPECT_EQ(missing->params.TiffImageCount, 3);
}

// Next-directory offsets that return to the same, the first or a middle directory end the walk.
TEST_F(TiffReader, DirectoryLoopsEndTheChain) {
    for (int target : {0, 1, 2}) {
        SCOPED_TRACE(target);
        auto file = BuildTiff(GrayPages({10, 20, 30}));
        // Find the three directory offsets by following the chain, then loop the last one back.
        std::vector<uint32_t> dirs;
        uint32_t at = LoadLE32(&file[4]);
        while (at != 0) {
            dirs.push_back(at);
            at = LoadLE32(&file[at + 2 + 12 * LoadLE16(&file[at])]);
        }
        ASSERT_EQ(dirs.size(), 3u);
        StoreLE32(&file[dirs[2] + 2 + 12 * LoadLE16(&file[dirs[2]])], dirs[static_cast<size_t>(target)]);
        auto d = Read(file, 2);
        EXPECT_FALSE(d->aborting);
        EXPECT_EQ(d->params.TiffImageCount, 3);
    }
}

// --- layouts -------------------------------------------------------------------------------

struct TLayoutCase {
    const char* name;
    TTestPage page;
    bool little;
    std::vector<TRGB> expected;  // the first pixels of the top row
    std::vector<uint8_t> alpha;  // expected alpha of those pixels; empty: no alpha plane
};

std::vector<uint16_t> Map16(std::initializer_list<uint8_t> reds, std::initializer_list<uint8_t> greens,
                            std::initializer_list<uint8_t> blues, size_t entries) {
    std::vector<uint16_t> map(3 * entries, 0);
    size_t i = 0;
    for (uint8_t v : reds) map[i++] = static_cast<uint16_t>(v << 8 | 0x7F);
    i = entries;
    for (uint8_t v : greens) map[i++] = static_cast<uint16_t>(v << 8);
    i = 2 * entries;
    for (uint8_t v : blues) map[i++] = static_cast<uint16_t>(v << 8);
    return map;
}

TTestPage WithMap(TTestPage page, const std::vector<uint16_t>& map) {
    page.Set(ttColorMap, tfShort, std::vector<uint32_t>(map.begin(), map.end()));
    return page;
}

std::vector<TLayoutCase> LayoutCases() {
    std::vector<TLayoutCase> cases;
    cases.push_back({"rgb8", BasicPage(2, 1, 8, 3, 2, {10, 20, 30, 40, 50, 60}), true,
                     {{30, 20, 10}, {60, 50, 40}}, {}});
    cases.push_back({"rgba8", BasicPage(2, 1, 8, 4, 2, {10, 20, 30, 99, 40, 50, 60, 7}), true,
                     {{30, 20, 10}, {60, 50, 40}}, {99, 7}});
    cases.push_back({"rgb16 little", BasicPage(1, 1, 16, 3, 2, {0x11, 0xAA, 0x22, 0xBB, 0x33, 0xCC}), true,
                     {{0xCC, 0xBB, 0xAA}}, {}});
    cases.push_back({"rgb16 big", BasicPage(1, 1, 16, 3, 2, {0xAA, 0x11, 0xBB, 0x22, 0xCC, 0x33}), false,
                     {{0xCC, 0xBB, 0xAA}}, {}});
    // 0x7C1F: red 31, green 0, blue 31.
    cases.push_back({"rgb555", BasicPage(1, 1, 16, 1, 2, {0x1F, 0x7C}), true, {{248, 0, 248}}, {}});
    {
        auto map = Map16({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, 16);
        cases.push_back({"palette 4-bit, odd width", WithMap(BasicPage(3, 2, 4, 1, 3, {0x01, 0x20, 0x12, 0x00}), map),
                         true, {{7, 4, 1}, {8, 5, 2}, {9, 6, 3}}, {}});
        // A second row that starts on its own byte: row 2 = indices 1, 2, 0.
    }
    {
        auto map = Map16({0, 200}, {0, 100}, {0, 50}, 256);
        cases.push_back({"palette + alpha", WithMap(BasicPage(1, 1, 8, 2, 3, {1, 55}), map), true, {{50, 100, 200}},
                         {200}});
    }
    cases.push_back({"palette index beyond the map", WithMap(BasicPage(1, 1, 8, 1, 3, {200}), Map16({9}, {9}, {9}, 2)),
                     true, {{0, 0, 0}}, {}});
    cases.push_back({"gray 4-bit", BasicPage(2, 1, 4, 1, 1, {0xF3}), true, {{240, 240, 240}, {48, 48, 48}}, {}});
    cases.push_back({"gray 8-bit white is zero", BasicPage(2, 1, 8, 1, 0, {0, 200}), true,
                     {{255, 255, 255}, {55, 55, 55}}, {}});
    cases.push_back({"gray 16-bit little", BasicPage(1, 1, 16, 1, 1, {0x34, 0x12}), true, {{0x12, 0x12, 0x12}}, {}});
    cases.push_back({"gray 16-bit big", BasicPage(1, 1, 16, 1, 1, {0x12, 0x34}), false, {{0x12, 0x12, 0x12}}, {}});
    {
        TTestPage p = BasicPage(1, 1, 16, 1, 1, {0x34, 0x02});
        std::string s = "Look@Molli v1.1 scanner";
        std::vector<uint32_t> text(s.begin(), s.end());
        text.push_back(0);
        p.Set(ttSoftware, tfAscii, text);
        cases.push_back({"gray 12 in 16 bits", p, true, {{0x23, 0x23, 0x23}}, {}});
    }
    cases.push_back({"cmyk", BasicPage(1, 1, 8, 4, 5, {0, 255, 51, 51}), true, {{163, 0, 204}}, {}});
    // L* 50, a* 100, b* 0: a saturated magenta red.
    cases.push_back({"lab", BasicPage(1, 1, 8, 3, 8, {128, 100, 0}), true, {{112, 0, 255}}, {}});
    return cases;
}

TEST_F(TiffReader, SampleLayoutsBecomeBufferPixels) {
    for (const TLayoutCase& c : LayoutCases()) {
        SCOPED_TRACE(c.name);
        auto d = Read(BuildTiff({c.page}, c.little));
        ASSERT_FALSE(d->aborting);
        ASSERT_EQ(d->image->PixelKind(), pk24RGB);
        for (size_t x = 0; x < c.expected.size(); ++x) {
            const TRGB got = d->image->PixelRGB(static_cast<int32_t>(x), 0);
            EXPECT_NEAR(got.r, c.expected[x].r, 1) << x;
            EXPECT_NEAR(got.g, c.expected[x].g, 1) << x;
            EXPECT_NEAR(got.b, c.expected[x].b, 1) << x;
        }
        EXPECT_EQ(d->alpha.Empty(), c.alpha.empty());
        for (size_t x = 0; x < c.alpha.size(); ++x) EXPECT_EQ(d->alpha.Row(0)[x], c.alpha[x]);
    }
}

TEST_F(TiffReader, OddWidthSubByteRowsStartOnByteBoundaries) {
    auto map = Map16({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, 16);
    auto d = Read(BuildTiff({WithMap(BasicPage(3, 2, 4, 1, 3, {0x01, 0x20, 0x12, 0x00}), map)}));
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(d->image->PixelRGB(0, 1).r, 2);
    EXPECT_EQ(d->image->PixelRGB(1, 1).r, 3);
    EXPECT_EQ(d->image->PixelRGB(2, 1).r, 1);
    EXPECT_EQ(d->params.ColorMapCount, 16);
}

TEST_F(TiffReader, BilevelInversionFollowsPhotometric) {
    // 8 pixels: 1010 0000 as stored.
    for (uint32_t photometric : {0u, 1u}) {
        SCOPED_TRACE(photometric);
        auto d = Read(BuildTiff({BasicPage(8, 1, 1, 1, photometric, {0xA0})}));
        ASSERT_FALSE(d->aborting);
        ASSERT_EQ(d->image->PixelKind(), pk1Bit);
        const uint8_t expected = photometric == 0 ? 0x5F : 0xA0;
        EXPECT_EQ(d->image->ScanLine(0)[0], expected);
    }
}

// The edge case of the format: a Group 4 fax without PhotometricInterpretation is white is zero,
// so the coded white runs come out white and the black bar black.
TEST_F(TiffReader, Group4FaxWithoutPhotometricReadsBlackOnWhite) {
    const int32_t w = 64, h = 8;
    std::vector<uint8_t> rows(static_cast<size_t>(w / 8) * h, 0xFF);  // 1 = white
    for (int32_t y = 2; y < 5; ++y) rows[static_cast<size_t>(y) * 8 + 2] = 0x00;  // black at x 16..23
    TCcittParams cp;
    cp.scheme = TCcittScheme::Group4;
    cp.width = w;
    cp.whiteBit = 1;
    TCcittEncoder enc(cp);
    std::vector<uint8_t> coded;
    enc.Reset(coded);
    for (int32_t y = 0; y < h; ++y) enc.EncodeRow(&rows[static_cast<size_t>(y) * 8]);
    enc.Finish();
    TTestPage page = BasicPage(w, h, 1, 1, 0, coded);
    page.Short(ttCompression, 4).Erase(ttPhotometric);
    auto d = Read(BuildTiff({page}));
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(d->params.TiffPhotometric, 0);
    EXPECT_EQ(d->params.TiffCompression, 4);
    ASSERT_EQ(d->image->PixelKind(), pk1Bit);
    EXPECT_EQ(d->image->PixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(d->image->PixelRGB(20, 3), (TRGB{0, 0, 0}));
    EXPECT_EQ(d->image->PixelRGB(30, 3), (TRGB{255, 255, 255}));
}

TEST_F(TiffReader, LzwPredictorPlanesAndTiles) {
    // 8-bit gray LZW with horizontal differences: 10, +5, +5, +5 -> 10, 15, 20, 25.
    {
        TTestPage p = BasicPage(4, 1, 8, 1, 1, TiffLzwEncodeBytes(std::vector<uint8_t>{10, 5, 5, 5}));
        p.Short(ttCompression, 5).Short(ttPredictor, 2);
        auto d = Read(BuildTiff({p}));
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(d->image->PixelRGB(3, 0).r, 25);
    }
    // RGB in three planes, two strips per plane (one row each).
    {
        TTestPage p = BasicPage(2, 2, 8, 3, 2, {1, 2});
        p.strips = {{1, 2}, {3, 4}, {11, 12}, {13, 14}, {21, 22}, {23, 24}};
        p.Long(ttRowsPerStrip, 1).Short(ttPlanarConfig, 2);
        auto d = Read(BuildTiff({p}));
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(d->image->PixelRGB(1, 1), (TRGB{24, 14, 4}));
        EXPECT_EQ(d->image->PixelRGB(0, 0), (TRGB{21, 11, 1}));
    }
    // 20 x 20 gray image in 16 x 16 tiles; the right and bottom tiles are cut back.
    {
        TTestPage p;
        p.Long(ttImageWidth, 20).Long(ttImageLength, 20).Short(ttBitsPerSample, 8).Short(ttPhotometric, 1);
        p.Short(ttTileWidth, 16).Short(ttTileLength, 16);
        std::vector<std::vector<uint8_t>> tiles;
        for (uint8_t t = 0; t < 4; ++t) tiles.push_back(std::vector<uint8_t>(256, static_cast<uint8_t>(50 * (t + 1))));
        // Tile data at the strip tags' place, then renamed to the tile tags.
        p.strips = tiles;
        auto file = BuildTiff({p});
        for (size_t i = 0; i + 1 < file.size(); ++i) {
            if (LoadLE16(&file[i]) == ttStripOffsets && LoadLE16(&file[i + 2]) == tfLong) StoreLE16(&file[i], ttTileOffsets);
            if (LoadLE16(&file[i]) == ttStripByteCounts && LoadLE16(&file[i + 2]) == tfLong)
                StoreLE16(&file[i], ttTileByteCounts);
        }
        auto d = Read(file);
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(d->image->PixelRGB(0, 0).r, 50);
        EXPECT_EQ(d->image->PixelRGB(19, 0).r, 100);
        EXPECT_EQ(d->image->PixelRGB(0, 19).r, 150);
        EXPECT_EQ(d->image->PixelRGB(19, 19).r, 200);
    }
}

// --- malformed files -----------------------------------------------------------------------

TEST_F(TiffReader, MalformedFilesAbortWithoutCrashing) {
    const auto good = BuildTiff({BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, 7))});
    struct Row {
        const char* name;
        std::vector<uint8_t> file;
    };
    std::vector<Row> rows;
    rows.push_back({"empty", {}});
    rows.push_back({"short header", {'I', 'I', 42, 0}});
    {
        auto f = good;
        f[0] = f[1] = 'X';
        rows.push_back({"byte order mark", f});
    }
    {
        auto f = good;
        StoreLE32(&f[4], 0);
        rows.push_back({"no directory", f});
    }
    {
        auto f = good;
        StoreLE32(&f[4], 0x7FFFFFF0);
        rows.push_back({"directory outside the file", f});
    }
    rows.push_back({"differing BitsPerSample",
                    BuildTiff({BasicPage(1, 1, 8, 3, 2, {1, 2, 3}).Set(ttBitsPerSample, tfShort, {8, 8, 4})})});
    rows.push_back({"zero width", BuildTiff({BasicPage(0, 2, 8, 1, 1, {1, 2})})});
    rows.push_back({"beyond the pixel budget", BuildTiff({BasicPage(200000, 200000, 8, 1, 1, {1, 2})})});
    {
        TTestPage p = BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, 7));
        p.strips.clear();
        p.Long(ttStripOffsets, 0x7FFFFFF0).Long(ttStripByteCounts, 8);
        rows.push_back({"strip outside the file", BuildTiff({p})});
    }
    {
        TTestPage p = BasicPage(4, 4, 8, 1, 1, std::vector<uint8_t>(8, 7));
        p.Long(ttRowsPerStrip, 2);  // two strips needed, one present
        rows.push_back({"missing strip", BuildTiff({p})});
    }
    {
        // A directory entry that claims four billion strip offsets.
        TTestPage p = BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, 7));
        auto f = BuildTiff({p});
        for (size_t i = 0; i + 12 <= f.size(); i += 2)
            if (LoadLE16(&f[i]) == ttStripOffsets && LoadLE16(&f[i + 2]) == tfLong) StoreLE32(&f[i + 4], 0xFFFFFFFF);
        rows.push_back({"huge tag count", f});
    }
    {
        TTestPage p = BasicPage(2, 1, 16, 3, 2, std::vector<uint8_t>(12, 7));
        p.Set(ttBitsPerSample, tfShort, {16, 16, 16, 16}).Short(ttSamplesPerPixel, 4);
        rows.push_back({"unsupported layout (16-bit RGBA)", BuildTiff({p})});
    }
    {
        TTestPage p = BasicPage(4, 2, 8, 1, 1, {0, 1, 2, 3, 4, 5, 6, 7});
        p.Short(ttCompression, 8);  // deflate
        rows.push_back({"unknown compression", BuildTiff({p})});
    }
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto d = Read(r.file);
        EXPECT_TRUE(d->aborting);
    }
    // A byte count beyond the end of the file is cut at the end of the file.
    auto f = BuildTiff({BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, 9))});
    for (size_t i = 0; i + 12 <= f.size(); i += 2)
        if (LoadLE16(&f[i]) == ttStripByteCounts && LoadLE16(&f[i + 2]) == tfLong) StoreLE32(&f[i + 8], 0x7FFFFFFF);
    auto d = Read(f);
    EXPECT_FALSE(d->aborting);
    EXPECT_EQ(d->image->PixelRGB(3, 1).r, 9);
}

TEST_F(TiffReader, LzwWithoutDecoderAborts) {
    TTestPage p = BasicPage(4, 1, 8, 1, 1, TiffLzwEncodeBytes(std::vector<uint8_t>{1, 2, 3, 4}));
    p.Short(ttCompression, 5);
    const auto file = BuildTiff({p});
    const TTiffLzwDecoderHook saved = TiffLzwDecoder;
    TiffLzwDecoder = nullptr;
    TIOParamsVals params;
    params.TiffDecoder = nullptr;
    auto d = Decode(ReadTiff, file, params);
    TiffLzwDecoder = saved;
    EXPECT_TRUE(d->aborting);
    EXPECT_EQ(d->params.TiffCompression, 5);
}

TEST_F(TiffReader, ParametersFromTags) {
    TTestPage p = BasicPage(4, 2, 8, 1, 1, std::vector<uint8_t>(8, 7));
    std::string name = "doc";
    p.Set(ttDocumentName, tfAscii, std::vector<uint32_t>(name.begin(), name.end()));
    p.Set(ttPageNumber, tfShort, {2, 5});
    p.Set(ttXResolution, tfRational, {300});
    p.Set(ttYResolution, tfRational, {0});
    p.Set(ttXPosition, tfRational, {4});
    p.Short(ttResolutionUnit, 3);
    p.Short(ttOrientation, 6);
    auto d = Read(BuildTiff({p}, false));
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(d->params.TiffDocumentName, "doc");
    EXPECT_EQ(d->params.TiffPageNumber, 2);
    EXPECT_EQ(d->params.TiffPageCount, 5);
    EXPECT_EQ(d->params.DpiX, 762);          // 300 per centimetre
    EXPECT_EQ(d->params.DpiY, kScreenDpi);   // 0: the screen's resolution
    EXPECT_EQ(d->params.TiffXPos, 10);       // trunc(4 x 2.54)
    EXPECT_EQ(d->params.TiffOrientation, 6);
    EXPECT_EQ(d->params.Width, 4);
    EXPECT_EQ(d->params.Height, 2);
}

// --- files written by peers ----------------------------------------------------------------

// Reads `file` with our reader after a peer wrote it; compared with `expected` (exact unless JPEG).
void ExpectPeerFileReads(const fs::path& file, const TImageBuffer& expected, int tolerance) {
    TImageIO io;
    io.LoadFromFile(file.string());
    ASSERT_FALSE(io.Aborting) << file;
    const int diff = MaxPixelDiff(io.Image(), expected);
    EXPECT_GE(diff, 0) << file << ": size differs";
    EXPECT_LE(diff, tolerance) << file;
}

// libtiff's own decode of `file` (through tiff2rgba into a plain RGBA file).
bool LibtiffDecode(const fs::path& file, const fs::path& scratch, TImageIO& out) {
    if (RunTool("tiff2rgba -c none " + Quote(file) + " " + Quote(scratch)) != 0) return false;
    out.LoadFromFile(scratch.string());
    return !out.Aborting;
}

TEST_F(TiffReader, ReadsWhatLibtiffToolsWrite) {
    if (!HaveTool("tiffcp")) GTEST_SKIP() << "tiffcp (libtiff-tools) not installed";
    TempDir tmp;
    const fs::path dir = TestDataDir() / "tiff";
    // Colour variants from an RGB source, bilevel ones from a black-and-white source.
    TImageIO rgb;
    rgb.LoadFromFile((dir / "hopper.tif").string());
    TImageIO bw;
    bw.LoadFromFile((dir / "sample-monob-raw.tiff").string());
    ASSERT_FALSE(rgb.Aborting);
    ASSERT_FALSE(bw.Aborting);
    struct Row {
        const char* option;
        bool bilevel;
        int tolerance;
    };
    const Row rows[] = {{"lzw:2", false, 0},  {"packbits", false, 0}, {"none", false, 0}, {"jpeg -r 16", false, 2},
                        {"lzw", true, 0},     {"g3", true, 0},        {"g3:2d", true, 0}, {"g3:2d:fill", true, 0},
                        {"g4", true, 0},      {"packbits", true, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.option);
        const fs::path source = dir / (r.bilevel ? "sample-monob-raw.tiff" : "hopper.tif");
        const fs::path out = tmp / (std::string(r.bilevel ? "bw-" : "rgb-") + r.option + ".tif");
        ASSERT_EQ(RunTool("tiffcp -c " + std::string(r.option) + " " + Quote(source) + " " + Quote(out)), 0);
        if (r.tolerance == 0) {
            ExpectPeerFileReads(out, r.bilevel ? bw.Image() : rgb.Image(), 0);
        } else {
            TImageIO theirs;
            ASSERT_TRUE(LibtiffDecode(out, tmp / "peer.tif", theirs));
            ExpectPeerFileReads(out, theirs.Image(), r.tolerance);
        }
    }
    // Fill order 2 and several strips.
    const fs::path lsb = tmp / "g4-lsb.tif";
    ASSERT_EQ(RunTool("tiffcp -f lsb2msb -r 7 -c g4 " + Quote(dir / "sample-monob-raw.tiff") + " " + Quote(lsb)), 0);
    ExpectPeerFileReads(lsb, bw.Image(), 0);
    // Tiles, and planes.
    const fs::path tiled = tmp / "tiled.tif";
    ASSERT_EQ(RunTool("tiffcp -t -w 32 -l 48 -c lzw " + Quote(dir / "hopper.tif") + " " + Quote(tiled)), 0);
    ExpectPeerFileReads(tiled, rgb.Image(), 0);
    const fs::path planes = tmp / "planes.tif";
    ASSERT_EQ(RunTool("tiffcp -p separate -r 16 -c packbits " + Quote(dir / "hopper.tif") + " " + Quote(planes)), 0);
    ExpectPeerFileReads(planes, rgb.Image(), 0);
}

TEST_F(TiffReader, ReadsRawFaxWrappedByFax2tiff) {
    if (!HaveTool("fax2tiff")) GTEST_SKIP() << "fax2tiff (libtiff-tools) not installed";
    // A 1728-pixel fax page coded by our Group 3 encoder with end-of-line codes.
    const int32_t w = 1728, h = 40;
    const size_t rowBytes = w / 8;
    std::vector<uint8_t> rows(rowBytes * h, 0xFF);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = (y * 13) % 200; x < 1728; x += 300) rows[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) / 8] = 0;
    TCcittParams cp;
    cp.scheme = TCcittScheme::Group3;
    cp.width = w;
    cp.endOfLineBeforeRows = true;
    TCcittEncoder enc(cp);
    std::vector<uint8_t> coded;
    enc.Reset(coded);
    for (int32_t y = 0; y < h; ++y) enc.EncodeRow(&rows[static_cast<size_t>(y) * rowBytes]);
    enc.Finish();
    TempDir tmp;
    WriteFileBytes(tmp / "page.g3", ToString(coded));
    // Output: Group 4, Group 3 one- and two-dimensional (fill order 2 by default), uncompressed.
    int i = 0;
    for (const char* option : {"-8", "-7 -5", "-7 -6", "-7 -6 -m", "-u"}) {
        SCOPED_TRACE(option);
        const fs::path out = tmp / ("page" + std::to_string(i++) + ".tif");
        ASSERT_EQ(RunTool(std::string("fax2tiff -3 -1 -M ") + option + " -o " + Quote(out) + " " + Quote(tmp / "page.g3")), 0);
        TImageIO io;
        io.LoadFromFile(out.string());
        ASSERT_FALSE(io.Aborting);
        ASSERT_EQ(io.Image().Width(), w);
        ASSERT_EQ(io.Image().Height(), h);
        for (int32_t y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(io.Image().ScanLine(y), &rows[static_cast<size_t>(y) * rowBytes], rowBytes), 0) << y;
    }
}

TEST_F(TiffReader, ReadsWhatImageMagickWrites) {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
    TempDir tmp;
    const fs::path src = TestDataDir() / "tiff" / "hopper.tif";
    TImageIO rgb;
    rgb.LoadFromFile(src.string());
    struct Row {
        const char* options;
        int tolerance;
    };
    const Row rows[] = {{"-compress lzw", 0}, {"-compress none", 0}, {"-compress rle", 0},
                        {"-endian MSB -compress lzw", 0}, {"-compress jpeg -quality 90", 2}};
    int i = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.options);
        const fs::path out = tmp / ("im" + std::to_string(i++) + ".tif");
        ASSERT_EQ(RunTool("convert " + Quote(src) + " " + r.options + " " + Quote(out)), 0);
        if (r.tolerance == 0) {
            ExpectPeerFileReads(out, rgb.Image(), 0);
        } else if (HaveTool("tiff2rgba")) {
            TImageIO theirs;
            ASSERT_TRUE(LibtiffDecode(out, tmp / "peer.tif", theirs));
            ExpectPeerFileReads(out, theirs.Image(), r.tolerance);
        }
    }
    // A 16-colour palette image: compared with ImageMagick's own decode of it.
    const fs::path pal = tmp / "pal.tif";
    ASSERT_EQ(RunTool("convert " + Quote(src) + " -colors 16 -type Palette -depth 4 " + Quote(pal)), 0);
    const fs::path back = tmp / "pal.bmp";
    ASSERT_EQ(RunTool("convert " + Quote(pal) + " -type TrueColor " + Quote(back)), 0);
    TImageIO expected;
    expected.LoadFromFile(back.string());
    ASSERT_FALSE(expected.Aborting);
    ExpectPeerFileReads(pal, expected.Image(), 0);
}

}  // namespace
}  // namespace luma::test

namespace luma::test {
namespace {

// With TiffAdjustOrientation every orientation of the same fax comes out like the upright one (the
// suite's eight files were scanned apart, so a few edge pixels differ; unturned, a sixth do).
TEST_F(TiffReader, AdjustOrientationTurnsPagesUpright) {
    const fs::path dir = TestDataDir() / "tiff";
    if (!fs::exists(dir / "g4_orientation_1.tif")) GTEST_SKIP() << "no test data";
    TImageIO upright;
    upright.LoadFromFile((dir / "g4_orientation_1.tif").string());
    ASSERT_FALSE(upright.Aborting);
    for (int o = 2; o <= 8; ++o) {
        SCOPED_TRACE(o);
        TImageIO io;
        io.Params().TiffAdjustOrientation = true;
        io.LoadFromFile((dir / ("g4_orientation_" + std::to_string(o) + ".tif")).string());
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().TiffOrientation, o);
        ASSERT_EQ(io.Image().Width(), upright.Image().Width());
        ASSERT_EQ(io.Image().Height(), upright.Image().Height());
        const std::vector<TRGB> a = PixelsOf(io.Image()), b = PixelsOf(upright.Image());
        size_t differing = 0;
        for (size_t i = 0; i < a.size(); ++i) differing += a[i] == b[i] ? 0 : 1;
        EXPECT_LT(differing, a.size() / 100);
    }
}

}  // namespace
}  // namespace luma::test
