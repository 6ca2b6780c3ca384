// PNG reader and writer: round trips of every writer mode (also read by a peer decoder), the
// palette and transparency rules, resolution, limits, failures, and the conformance files
// against their reference decodes.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <map>
#include <sstream>

#include "formats/png.h"
#include "jpeg_png_test_util.h"

namespace luma {
namespace {

using test::Decode;
using test::Encode;
using test::MakeGradient;

TIOParamsVals WriteParams(int32_t bits, int32_t samples, bool interlaced = false) {
    TIOParamsVals params;
    params.BitsPerSample = bits;
    params.SamplesPerPixel = samples;
    params.PngInterlaced = interlaced;
    return params;
}

// A 1-bit image with an irregular pattern (odd width: the last byte is partly used).
std::unique_ptr<TImageBuffer> MakeOneBit(int32_t width, int32_t height) {
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(width, height, pk1Bit);
    image->Fill(0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image->ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            if ((x * 7 + y * 3) % 5 < 2) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return image;
}

// A 24-bit image of a few colours in blocks, and an alpha plane: a transparent band, a
// half-transparent band, opaque elsewhere.
std::unique_ptr<TImageBuffer> MakeBlocks(int32_t width, int32_t height) {
    static const TRGB colours[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {20, 40, 60}, {200, 200, 200}};
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(width, height, pk24RGB);
    for (int32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<TRGB*>(image->ScanLine(y));
        for (int32_t x = 0; x < width; ++x) row[x] = colours[(x / 5 + y / 4) % 5];
    }
    return image;
}
TPlaneMask MakeAlpha(int32_t width, int32_t height) {
    TPlaneMask alpha(width, height, 8);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            alpha.Row(y)[x] = y < 3 ? 0 : (y < 6 ? static_cast<uint8_t>(x * 10) : 255);
        }
    }
    return alpha;
}

bool SameOneBitRows(const TImageBuffer& a, const TImageBuffer& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    const int32_t full = a.Width() / 8;
    const int32_t rest = a.Width() % 8;
    for (int32_t y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(full)) != 0) return false;
        const uint8_t mask = static_cast<uint8_t>(0xFF00 >> rest);
        if (rest != 0 && ((a.ScanLine(y)[full] ^ b.ScanLine(y)[full]) & mask) != 0) return false;
    }
    return true;
}

TEST(PngRoundTrip, EveryWriterModeReadsBackAndThePeerAgrees) {
    struct Case {
        const char* name;
        int32_t bits, samples;
        bool oneBitSource, withAlpha, interlaced;
        const char* peerMode;
    };
    const Case cases[] = {
        {"gray-1", 1, 1, true, false, false, "1"},
        {"gray-1 interlaced", 1, 1, true, false, true, "1"},
        {"palette+transparency", 8, 1, false, true, false, "P"},
        {"rgb", 8, 3, false, false, false, "RGB"},
        {"rgba", 8, 3, false, true, false, "RGBA"},
        {"rgb interlaced", 8, 3, false, false, true, "RGB"},
        {"rgba interlaced", 8, 4, false, true, true, "RGBA"},
        {"palette interlaced", 4, 1, false, false, true, "P"},
    };
    const bool peer = !test::PeerPython().empty();
    test::TempDir dir;
    const int32_t w = 37;
    const int32_t h = 19;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = c.oneBitSource ? MakeOneBit(w, h) : MakeBlocks(w, h);
        const TPlaneMask alpha = MakeAlpha(w, h);
        TIOParamsVals params = WriteParams(c.bits, c.samples, c.interlaced);
        params.PngBackground = TRGB{10, 20, 30};
        const std::vector<uint8_t> png = Encode(WritePng, *image, params, c.withAlpha ? &alpha : nullptr);

        const auto back = Decode(ReadPng, png);
        ASSERT_FALSE(back->aborting);
        EXPECT_EQ(c.interlaced, back->params.PngInterlaced);
        EXPECT_EQ(c.withAlpha, !back->alpha.Empty());
        if (c.oneBitSource) {
            ASSERT_EQ(pk1Bit, back->image->PixelKind());
            EXPECT_TRUE(SameOneBitRows(*image, *back->image));
            EXPECT_EQ(1, back->params.BitsPerSample);
        } else {
            ASSERT_EQ(pk24RGB, back->image->PixelKind());
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t a = alpha.Row(y)[x];
                    const TRGB got = back->image->PixelRGB(x, y);
                    if (c.withAlpha && c.samples == 1) {
                        // Palette: anything not opaque becomes entry 0 (background, transparent).
                        const bool clear = a != 255;
                        ASSERT_EQ(clear ? 0 : 255, back->alpha.Row(y)[x]) << x << "," << y;
                        ASSERT_EQ(clear ? params.PngBackground : image->PixelRGB(x, y), got);
                    } else {
                        ASSERT_EQ(image->PixelRGB(x, y), got) << x << "," << y;
                        if (c.withAlpha) {
                            ASSERT_EQ(a, back->alpha.Row(y)[x]);
                        }
                    }
                }
            }
        }

        if (!peer) continue;
        const auto file = dir / "out.png";
        test::WriteFileBytes(file, test::ToString(png));
        const auto seen = test::PeerDecode(file);
        ASSERT_TRUE(seen.has_value());
        EXPECT_EQ(c.peerMode, seen->mode);
        EXPECT_EQ(c.interlaced, seen->facts.find("interlace") != std::string::npos);
        if (c.withAlpha && c.samples == 1) {
            EXPECT_NE(std::string::npos, seen->facts.find("transparency=0"));
        }
        if (!c.oneBitSource) {
            // Where the peer sees any opacity it sees our colours.
            const std::vector<uint8_t> peerAlpha = test::AlphaOf(*seen);
            EXPECT_EQ(0, test::MaxDiffToRgb(*back->image, test::RgbOf(*seen), &peerAlpha));
        }
    }
    if (!peer) GTEST_SKIP() << "python3-pil is not installed: peer checks skipped";
}

TEST(PngWriter, OpaqueAlphaPlaneGivesRgbWithoutAlpha) {
    const auto image = MakeBlocks(20, 10);
    TPlaneMask opaque(20, 10, 8);
    for (int32_t y = 0; y < 10; ++y) std::memset(opaque.Row(y), 255, 20);
    TIOParamsVals params = WriteParams(8, 3);
    const std::vector<uint8_t> png = Encode(WritePng, *image, params, &opaque);
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(2, png[25]);  // IHDR colour type: RGB
    EXPECT_TRUE(Decode(ReadPng, png)->alpha.Empty());
}

TEST(PngWriter, OneBitFromAColourImage) {
    // Two colours: the two-colour mask (darker colour = 0); more colours: a converted copy.
    TImageBuffer two;
    two.Allocate(16, 4, pk24RGB);
    two.Fill(MakeColor(250, 240, 10));
    two.FillRect(0, 0, 7, 3, MakeColor(10, 0, 90));
    TIOParamsVals params = WriteParams(1, 1);
    const auto back = Decode(ReadPng, Encode(WritePng, two, params));
    ASSERT_FALSE(back->aborting);
    ASSERT_EQ(pk1Bit, back->image->PixelKind());
    EXPECT_EQ(0x00, back->image->ScanLine(0)[0]);
    EXPECT_EQ(0xFF, back->image->ScanLine(0)[1]);

    const auto many = MakeGradient(30, 6);
    const auto back2 = Decode(ReadPng, Encode(WritePng, *many, params));
    ASSERT_FALSE(back2->aborting);
    EXPECT_EQ(pk1Bit, back2->image->PixelKind());
    EXPECT_EQ(0, back2->params.ColorMapCount);  // gray files carry no palette
}

TEST(PngWriter, PaletteSizeFollowsBitsPerSample) {
    struct Case {
        int32_t bits;
        int32_t entries;
    };
    const auto image = MakeGradient(64, 64);
    for (const Case& c : {Case{2, 5}, Case{4, 17}, Case{8, 256}, Case{16, 256}}) {
        SCOPED_TRACE(c.bits);
        TIOParamsVals params = WriteParams(c.bits, 1);
        params.PngBackground = TRGB{1, 2, 3};
        const auto back = Decode(ReadPng, Encode(WritePng, *image, params));
        ASSERT_FALSE(back->aborting);
        EXPECT_EQ(8, back->params.BitsPerSample);
        ASSERT_EQ(c.entries, back->params.ColorMapCount);
        EXPECT_EQ((TRGB{1, 2, 3}), back->params.ColorMap[0]);
    }
}

TEST(PngResolution, PhysChunkBothWays) {
    struct Case {
        int32_t dpiX, dpiY;  // written
        int32_t readX, readY;
    };
    const auto image = MakeGradient(8, 8);
    for (const Case& c : {Case{300, 150, 300, 150}, Case{72, 72, 72, 72}, Case{0, 0, kScreenDpi, kScreenDpi}}) {
        TIOParamsVals params = WriteParams(8, 3);
        params.DpiX = c.dpiX;
        params.DpiY = c.dpiY;
        const std::vector<uint8_t> png = Encode(WritePng, *image, params);
        EXPECT_NE(png.end(), std::search(png.begin(), png.end(), std::begin("pHYs"), std::end("pHYs") - 1));
        TIOParamsVals before;
        before.DpiX = before.DpiY = 1;
        const auto back = Decode(ReadPng, png, before);
        EXPECT_EQ(c.readX, back->params.DpiX);
        EXPECT_EQ(c.readY, back->params.DpiY);
    }
    // A resolution beyond what the chunk can hold is stored as its largest value.
    TIOParamsVals huge = WriteParams(8, 3);
    huge.DpiX = huge.DpiY = INT32_MAX;
    const auto hugeBack = Decode(ReadPng, Encode(WritePng, *image, huge));
    EXPECT_FALSE(hugeBack->aborting);
    EXPECT_EQ(54546085, hugeBack->params.DpiX);  // round((2^31 - 1) / 100 x 2.54)
    // No pHYs chunk at all: the screen's resolution.
    const auto plain = Decode(ReadPng, test::ReadBytes(test::TestDataDir() / "png/basn2c08.png"));
    EXPECT_EQ(kScreenDpi, plain->params.DpiX);
}

// A PNG stream of a signature, an IHDR chunk and an IEND chunk.
std::vector<uint8_t> HeaderOnlyPng(uint32_t width, uint32_t height) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        const auto len = static_cast<uint32_t>(data.size());
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(len >> s));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(crc >> s));
    };
    std::vector<uint8_t> ihdr;
    for (uint32_t v : {width, height}) {
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<uint8_t>(v >> s));
    }
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IEND", {});
    return png;
}

TEST(PngReader, OversizedHeadersFailBeforeAllocating) {
    struct Case {
        uint32_t width, height;
    };
    for (const Case& c : {Case{100000, 100000}, Case{2000000, 1}, Case{0x7FFFFFFF, 0x7FFFFFFF}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        auto d = std::make_unique<test::TDecoded>();
        d->image->Allocate(2, 2, pk1Bit);
        TIOProgress progress(d->aborting, nullptr);
        ReadPng(HeaderOnlyPng(c.width, c.height), *d->image, d->params, d->alpha, progress);
        EXPECT_TRUE(d->aborting);
        EXPECT_EQ(2, d->image->Width());
    }
    // A small budget applies as well.
    auto d = std::make_unique<test::TDecoded>();
    TIOProgress progress(d->aborting, nullptr, 1000);
    ReadPng(HeaderOnlyPng(100, 100), *d->image, d->params, d->alpha, progress);
    EXPECT_TRUE(d->aborting);
    EXPECT_TRUE(d->image->Empty());
}

TEST(PngReader, InterlacedOneBitEqualsItsTwin) {
    const auto plain = Decode(ReadPng, test::ReadBytes(test::TestDataDir() / "png/basn0g01.png"));
    const auto interlaced = Decode(ReadPng, test::ReadBytes(test::TestDataDir() / "png/basi0g01.png"));
    ASSERT_FALSE(plain->aborting);
    ASSERT_FALSE(interlaced->aborting);
    EXPECT_TRUE(interlaced->params.PngInterlaced);
    EXPECT_TRUE(SameOneBitRows(*plain->image, *interlaced->image));
}

TEST(PngReader, SixteenBitRgbReadsAsEightBitAndWritesEightBit) {
    const auto d = Decode(ReadPng, test::ReadBytes(test::TestDataDir() / "png/basn2c16.png"));
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(16, d->params.BitsPerSample);
    EXPECT_EQ(3, d->params.SamplesPerPixel);
    TIOParamsVals params = d->params;
    const std::vector<uint8_t> png = Encode(WritePng, *d->image, params);
    EXPECT_EQ(8, png[24]);  // IHDR bit depth
    EXPECT_EQ(2, png[25]);  // RGB
}

TEST(PngFailures, WriterErrorsAndShortWrites) {
    TImageBuffer empty;
    TIOParamsVals params = WriteParams(8, 3);
    try {
        Encode(WritePng, empty, params);
        FAIL() << "no exception";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Error on creating PNG", e.what());
    }

    const auto image = MakeGradient(200, 200);
    bool aborting = false;
    TMemoryOutput output(500);
    output.SetAbortFlag(&aborting);
    TIOProgress progress(aborting, nullptr);
    EXPECT_NO_THROW(WritePng(output, *image, params, nullptr, progress));
    EXPECT_TRUE(aborting);

    // A signature that is not PNG leaves the previous image alone.
    auto d = std::make_unique<test::TDecoded>();
    d->image->Allocate(3, 3, pk24RGB);
    TIOProgress readProgress(d->aborting, nullptr);
    ReadPng(test::ReadBytes(test::TestDataDir() / "gif" / "hopper.gif"), *d->image, d->params, d->alpha, readProgress);
    EXPECT_TRUE(d->aborting);
    EXPECT_EQ(3, d->image->Width());
}

// --- conformance files ----------------------------------------------------------------------

// What the file says of itself: IHDR depth and colour type, and whether it has a tRNS chunk.
struct TPngFacts {
    int depth = 0;
    int colorType = 0;
    bool trns = false;
};
TPngFacts FactsOf(const std::vector<uint8_t>& png) {
    TPngFacts f;
    if (png.size() > 25) {
        f.depth = png[24];
        f.colorType = png[25];
    }
    const char tag[] = "tRNS";
    f.trns = std::search(png.begin(), png.end(), tag, tag + 4) != png.end();
    return f;
}

// Files the corpus marks as invalid (from its manifest), with the phrase it uses.
std::map<std::string, std::string> ExpectedFailures() {
    std::map<std::string, std::string> rows;
    std::istringstream manifest(test::ReadFileBytes(test::TestDataDir() / "MANIFEST.md"));
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.rfind("| `png/", 0) != 0) continue;
        const size_t end = line.find('`', 3);
        const std::string name = line.substr(7, end - 7);
        const size_t lastBar = line.rfind('|', line.size() - 2);
        const std::string tool = line.substr(lastBar);
        if (tool.find("none") != std::string::npos) rows[name] = line;
    }
    return rows;
}

TEST(PngCorpus, EveryFileLoadsAndMatchesItsReference) {
    // Documented differences from the corpus and its references:
    // - invalid files this reader decodes: the damage is in a chunk it never reads (only IHDR,
    //   PLTE, tRNS, pHYs, IDAT and IEND are read), so the image data itself is intact;
    const std::map<std::string, std::string> decodedAnyway = {
        {"unknown_compression_method.png", "bad iCCP chunk, skipped unread"},
    };
    // - palette indices beyond the PLTE chunk: libpng gives black, the reference a gray level;
    // - 1-bit palette files: read as black (0) and white (1), the palette kept in ColorMap;
    // - tRNS of 1-bit, 8- and 16-bit gray and RGB files: not used, no alpha plane.
    const auto badPalette = [](const std::string& name) {
        return name.find("-palette-") != std::string::npos;
    };
    const auto invalid = ExpectedFailures();
    ASSERT_GT(invalid.size(), 30u);

    const std::filesystem::path dir = test::TestDataDir() / "png";
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".png") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = test::ReadBytes(entry.path());
        const auto d = Decode(ReadPng, bytes);
        if (invalid.count(name) != 0) {
            EXPECT_EQ(decodedAnyway.count(name) == 0, d->aborting);
            continue;
        }
        ASSERT_FALSE(d->aborting);
        const auto ref = Decode(ReadPng, test::ReadBytes(dir / "ref" / (name + ".png")));
        ASSERT_FALSE(ref->aborting);
        ASSERT_EQ(ref->image->Width(), d->image->Width());
        ASSERT_EQ(ref->image->Height(), d->image->Height());

        const TPngFacts facts = FactsOf(bytes);
        const bool expectAlpha = facts.colorType == 4 || facts.colorType == 6 ||
                                 (facts.trns && facts.depth > 1 &&
                                  (facts.colorType == 3 || (facts.colorType == 0 && facts.depth < 8)));
        EXPECT_EQ(expectAlpha, !d->alpha.Empty());
        std::unique_ptr<test::TDecoded> refAlpha;
        if (expectAlpha) {
            refAlpha = Decode(ReadPng, test::ReadBytes(dir / "ref" / (name + ".alpha.png")));
            ASSERT_FALSE(refAlpha->aborting);
        }

        int worst = 0;
        for (int32_t y = 0; y < d->image->Height(); ++y) {
            for (int32_t x = 0; x < d->image->Width(); ++x) {
                const TRGB want = ref->image->PixelRGB(x, y);
                TRGB got = d->image->PixelRGB(x, y);
                if (facts.depth == 1 && facts.colorType == 3) {
                    // Read as black and white; the palette itself is in ColorMap.
                    const int bit = got.r != 0 ? 1 : 0;
                    ASSERT_EQ(bit ? 255 : 0, got.g);
                    if (bit >= d->params.ColorMapCount) continue;  // index beyond the palette
                    got = d->params.ColorMap[static_cast<size_t>(bit)];
                }
                if (badPalette(name) && got == TRGB{0, 0, 0}) continue;
                if (expectAlpha) {
                    const uint8_t a = refAlpha->image->PixelRGB(x, y).g;
                    worst = std::max(worst, std::abs(a - d->alpha.Row(y)[x]));
                    if (a == 0) continue;
                }
                worst = std::max({worst, std::abs(want.r - got.r), std::abs(want.g - got.g),
                                  std::abs(want.b - got.b)});
            }
        }
        EXPECT_LE(worst, 1);
        ++compared;
    }
    EXPECT_GT(compared, 150);
}

}  // namespace
}  // namespace luma
