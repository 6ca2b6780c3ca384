// JPEG reader and writer: start search, colour spaces, resolution rules, markers, quality
// clamping, scaling, failures, the stream options the TIFF module uses, the conformance files
// against their reference decodes, and our files read back by a peer decoder.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "formats/image_io.h"
#include "formats/jpeg.h"
#include "formats/jpeg_exif.h"
#include "formats/jpeg_lib.h"
#include <jerror.h>
#include "formats/png.h"
#include "jpeg_png_test_util.h"

namespace luma {
namespace {

using test::Decode;
using test::Encode;
using test::MakeGradient;

std::vector<uint8_t> EncodeJpeg(const TImageBuffer& image, TIOParamsVals params = {}) {
    return Encode(WriteJpeg, image, params);
}

// The JFIF header our writer puts first: unit at byte 13, densities at 14 and 16.
void PatchJfifDensity(std::vector<uint8_t>& jpeg, uint8_t unit, uint16_t x, uint16_t y) {
    ASSERT_GE(jpeg.size(), 20u);
    ASSERT_EQ(0, std::memcmp(jpeg.data() + 6, "JFIF", 4));
    jpeg[13] = unit;
    jpeg[14] = static_cast<uint8_t>(x >> 8);
    jpeg[15] = static_cast<uint8_t>(x);
    jpeg[16] = static_cast<uint8_t>(y >> 8);
    jpeg[17] = static_cast<uint8_t>(y);
}

// An EXIF block with IFD0 XResolution, YResolution (num/1) and, when unit > 0, ResolutionUnit.
std::vector<uint8_t> MakeExif(bool bigEndian, uint32_t xres, uint32_t yres, uint16_t unit) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    const size_t base = b.size();
    auto u16 = [&](uint16_t v) {
        if (bigEndian) { b.push_back(static_cast<uint8_t>(v >> 8)); b.push_back(static_cast<uint8_t>(v)); }
        else { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); }
    };
    auto u32 = [&](uint32_t v) {
        if (bigEndian) { u16(static_cast<uint16_t>(v >> 16)); u16(static_cast<uint16_t>(v)); }
        else { u16(static_cast<uint16_t>(v)); u16(static_cast<uint16_t>(v >> 16)); }
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    const uint16_t count = unit > 0 ? 3 : 2;
    const uint32_t dataAt = 8 + 2 + count * 12u + 4;
    u16(count);
    u16(0x011A); u16(5); u32(1); u32(dataAt);
    u16(0x011B); u16(5); u32(1); u32(dataAt + 8);
    if (unit > 0) { u16(0x0128); u16(3); u32(1); u16(unit); u16(0); }
    u32(0);
    EXPECT_EQ(b.size() - base, dataAt);
    u32(xres); u32(1);
    u32(yres); u32(1);
    return b;
}

TEST(JpegMessageText, PlaceholdersBecomeQuestionMarksAndUnknownCodesAreCorrupted) {
    jpeg_error_mgr err{};
    jpeg_std_error(&err);
    EXPECT_EQ("Not a JPEG file: starts with 0x? 0x?", jpeglib::JpegMessageText(err, JERR_NO_SOI));
    EXPECT_EQ("Bogus marker length", jpeglib::JpegMessageText(err, JERR_BAD_LENGTH));
    EXPECT_EQ("Premature end of JPEG file", jpeglib::JpegMessageText(err, JWRN_JPEG_EOF));
    EXPECT_EQ("Corrupted", jpeglib::JpegMessageText(err, err.last_jpeg_message + 1));
    EXPECT_EQ("Corrupted", jpeglib::JpegMessageText(err, -1));
}

TEST(JpegReader, StartOfImageIsSearchedWithinTheFirst100Bytes) {
    const auto image = MakeGradient(24, 16);
    const std::vector<uint8_t> jpeg = EncodeJpeg(*image);
    for (size_t junk : {size_t{0}, size_t{1}, size_t{99}, size_t{100}, size_t{500}}) {
        SCOPED_TRACE(junk);
        std::vector<uint8_t> bytes(junk, 0x20);
        bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
        auto d = std::make_unique<test::TDecoded>();
        d->image->Allocate(3, 2, pk1Bit);  // the previous image
        TIOProgress progress(d->aborting, nullptr);
        ReadJpeg(bytes, *d->image, d->params, d->alpha, progress);
        if (junk < 100) {
            EXPECT_FALSE(d->aborting);
            EXPECT_EQ(24, d->image->Width());
            EXPECT_EQ(pk24RGB, d->image->PixelKind());
        } else {
            EXPECT_TRUE(d->aborting);
            EXPECT_EQ(3, d->image->Width());  // untouched
            EXPECT_EQ(pk1Bit, d->image->PixelKind());
        }
    }
}

TEST(JpegReader, BadDataAbortsWithoutException) {
    const auto image = MakeGradient(64, 64);
    const std::vector<uint8_t> jpeg = EncodeJpeg(*image);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 200);  // inside the tables
    std::vector<uint8_t> headerOnly = {0xFF, 0xD8, 0xFF, 0xD9};
    const Case cases[] = {{"empty", {}}, {"cut in header", cut}, {"no frame", headerOnly},
                          {"not jpeg", test::ToBytes("GIF89a-----------------")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = Decode(ReadJpeg, c.bytes);
        EXPECT_TRUE(d->aborting);
    }
}

TEST(JpegReader, DamageAfterTheLastScanDoesNotFailTheRead) {
    const auto image = MakeGradient(32, 32);
    std::vector<uint8_t> jpeg = EncodeJpeg(*image);
    ASSERT_EQ(0xD9, jpeg.back());
    // A second frame header where the end-of-image marker was: libjpeg stops with an error
    // while finishing, after every row was decoded.
    jpeg.back() = 0xC0;
    jpeg.insert(jpeg.end(), {0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00});
    const auto d = Decode(ReadJpeg, jpeg);
    EXPECT_FALSE(d->aborting);
    EXPECT_LT(test::MeanDiff(*image, *d->image), 3.0);
}

TEST(JpegReader, GrayFileReadsAsEqualChannelsAndAColourWriteAfterItStaysGray) {
    const auto gray = Decode(ReadJpeg, test::ReadBytes(test::TestDataDir() / "jpeg/hopper_gray.jpg"));
    ASSERT_FALSE(gray->aborting);
    EXPECT_EQ(1, gray->params.JpegColorSpace);
    EXPECT_EQ(1, gray->params.SamplesPerPixel);
    EXPECT_EQ(8, gray->params.BitsPerSample);
    EXPECT_EQ(pk24RGB, gray->image->PixelKind());
    for (int32_t y = 0; y < gray->image->Height(); ++y) {
        const uint8_t* row = gray->image->ScanLine(y);
        for (int32_t x = 0; x < gray->image->Width(); ++x) {
            ASSERT_EQ(row[x * 3], row[x * 3 + 1]);
            ASSERT_EQ(row[x * 3], row[x * 3 + 2]);
        }
    }
    // The same parameter record writes a colour image: the result is a grayscale file.
    const auto colour = MakeGradient(40, 30);
    const std::vector<uint8_t> out = Encode(WriteJpeg, *colour, gray->params);
    const auto back = Decode(ReadJpeg, out);
    ASSERT_FALSE(back->aborting);
    EXPECT_EQ(1, back->params.JpegColorSpace);
}

TEST(JpegReader, ResolutionFollowsTheJfifDensity) {
    struct Case {
        uint8_t unit;
        uint16_t x, y;
        int32_t dpiX, dpiY;
    };
    const Case cases[] = {
        {0, 1, 2, 1, 2},         // aspect ratio only: taken as it stands
        {1, 300, 200, 300, 200},  // dots per inch
        {2, 118, 118, 299, 299},  // dots per cm: trunc(118 x 2.54 = 299.72)
        {2, 72, 40, 182, 101},
    };
    const auto image = MakeGradient(16, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.unit} << " " << c.x << "x" << c.y);
        std::vector<uint8_t> jpeg = EncodeJpeg(*image);
        PatchJfifDensity(jpeg, c.unit, c.x, c.y);
        const auto d = Decode(ReadJpeg, jpeg);
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(c.dpiX, d->params.DpiX);
        EXPECT_EQ(c.dpiY, d->params.DpiY);
    }
}

TEST(JpegReader, ExifResolutionReplacesAOneByOneJfifDensity) {
    struct Case {
        const char* name;
        bool bigEndian;
        uint32_t xres, yres;
        uint16_t unit;        // 0: tag absent
        uint16_t jfifDensity;  // JFIF unit 0, this density both ways
        int32_t dpi;
    };
    const Case cases[] = {
        {"72 per cm", false, 72, 72, 3, 1, 182},  // 72 x 2.54 = 182.88
        {"big endian inch", true, 300, 300, 2, 1, 300},
        {"unit absent = inch", false, 240, 240, 0, 1, 240},
        {"JFIF gave a real density", false, 72, 72, 3, 96, 96},
    };
    const auto image = MakeGradient(16, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.JpegMarkers.Add(0xE1, MakeExif(c.bigEndian, c.xres, c.yres, c.unit));
        std::vector<uint8_t> jpeg = EncodeJpeg(*image, params);
        PatchJfifDensity(jpeg, 0, c.jfifDensity, c.jfifDensity);
        const auto d = Decode(ReadJpeg, jpeg);
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(c.dpi, d->params.DpiX);
        EXPECT_EQ(c.dpi, d->params.DpiY);
    }
    // Broken EXIF blocks are ignored, never read out of bounds.
    std::vector<uint8_t> exif = MakeExif(false, 72, 72, 3);
    for (size_t len = 0; len < exif.size(); ++len) {
        const std::vector<uint8_t> part(exif.begin(), exif.begin() + static_cast<std::ptrdiff_t>(len));
        const auto parsed = ParseExifResolution(part.data(), part.size());
        if (len < 14) {
            EXPECT_FALSE(parsed) << len;
        }
    }
    exif[12] = 0xFF;  // IFD0 offset far beyond the block
    EXPECT_FALSE(ParseExifResolution(exif.data(), exif.size()));
}

TEST(JpegReader, ExifResolutionThroughTheIoObject) {
    test::TempDir dir;
    TIOParamsVals params;
    params.JpegMarkers.Add(0xE1, MakeExif(false, 72, 72, 3));
    std::vector<uint8_t> jpeg = EncodeJpeg(*MakeGradient(16, 16), params);
    PatchJfifDensity(jpeg, 0, 1, 1);
    test::WriteFileBytes(dir / "exif.jpg", test::ToString(jpeg));
    TImageIO io;
    io.LoadFromFile((dir / "exif.jpg").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(182, io.Params().DpiX);
    EXPECT_EQ(182, io.Params().DpiY);
}

TEST(JpegWriter, QualityIsClampedToOneAndHundred) {
    const auto image = MakeGradient(64, 48);
    auto encodeAt = [&](int32_t quality) {
        TIOParamsVals params;
        params.JpegQuality = quality;
        return EncodeJpeg(*image, params);
    };
    EXPECT_EQ(encodeAt(1), encodeAt(0));
    EXPECT_EQ(encodeAt(1), encodeAt(-20));
    EXPECT_EQ(encodeAt(100), encodeAt(150));
    EXPECT_NE(encodeAt(1), encodeAt(100));
    EXPECT_EQ(encodeAt(80), EncodeJpeg(*image));  // a fresh record writes quality 80
}

TEST(JpegWriter, DensityIsWrittenInDotsPerInch) {
    const auto image = MakeGradient(16, 16);
    struct Case {
        int32_t dpiX, dpiY, storedX, storedY;
    };
    for (const Case& c : {Case{300, 150, 300, 150}, Case{0, 0, kScreenDpi, kScreenDpi}}) {
        TIOParamsVals params;
        params.DpiX = c.dpiX;
        params.DpiY = c.dpiY;
        const std::vector<uint8_t> jpeg = EncodeJpeg(*image, params);
        ASSERT_EQ(0, std::memcmp(jpeg.data() + 6, "JFIF", 4));
        EXPECT_EQ(1, jpeg[13]);
        EXPECT_EQ(c.storedX, jpeg[14] << 8 | jpeg[15]);
        EXPECT_EQ(c.storedY, jpeg[16] << 8 | jpeg[17]);
    }
}

// Markers in file order: code and length of each, from the stream itself.
std::vector<std::pair<int, size_t>> ListMarkers(const std::vector<uint8_t>& jpeg) {
    std::vector<std::pair<int, size_t>> list;
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA) {
        const size_t len = static_cast<size_t>(jpeg[i + 2] << 8 | jpeg[i + 3]);
        list.emplace_back(jpeg[i + 1], len);
        i += 2 + len;
    }
    return list;
}

TEST(JpegMarkers, KeptOnReadAndWrittenBackWithOneFreshJfifHeader) {
    const auto first = Decode(ReadJpeg, test::ReadBytes(test::TestDataDir() / "jpeg/hopper.jpg"));
    ASSERT_FALSE(first->aborting);
    // hopper.jpg: JFIF header (dropped) and a comment.
    ASSERT_EQ(1, first->params.JpegMarkers.Count());
    EXPECT_EQ(0xFE, first->params.JpegMarkers[0].Code);

    TIOParamsVals params = first->params;
    params.JpegMarkers.Add(0xE1, MakeExif(false, 72, 72, 2));
    params.JpegMarkers.Add(0xED, test::ToBytes("Photoshop 3.0"));
    const std::vector<uint8_t> out = EncodeJpeg(*first->image, params);
    const auto markers = ListMarkers(out);
    int app0 = 0;
    for (const auto& [code, len] : markers) app0 += code == 0xE0;
    EXPECT_EQ(1, app0);
    EXPECT_EQ(0xE0, markers.front().first);

    const auto back = Decode(ReadJpeg, out);
    ASSERT_FALSE(back->aborting);
    ASSERT_EQ(params.JpegMarkers.Count(), back->params.JpegMarkers.Count());
    for (int32_t i = 0; i < params.JpegMarkers.Count(); ++i) {
        EXPECT_EQ(params.JpegMarkers[i].Code, back->params.JpegMarkers[i].Code);
        EXPECT_EQ(params.JpegMarkers[i].Data, back->params.JpegMarkers[i].Data);
    }
}

TEST(JpegWriter, LibraryErrorsThrowEJpegErrorWithTheLibraryText) {
    const auto image = MakeGradient(8, 8);
    TIOParamsVals params;
    params.JpegMarkers.Add(0xE5, std::vector<uint8_t>(70000, 1));  // longer than a marker can be
    bool aborting = false;
    TMemoryOutput output;
    TIOProgress progress(aborting, nullptr);
    try {
        WriteJpeg(output, *image, params, nullptr, progress);
        FAIL() << "no exception";
    } catch (const EJpegError& e) {
        EXPECT_STREQ("Bogus marker length", e.what());
    }
    EXPECT_TRUE(aborting);
}

TEST(JpegWriter, ShortWriteAbortsWithoutException) {
    const auto image = MakeGradient(256, 256);
    bool aborting = false;
    TMemoryOutput output(1000);
    output.SetAbortFlag(&aborting);
    TIOProgress progress(aborting, nullptr);
    TIOParamsVals params;
    EXPECT_NO_THROW(WriteJpeg(output, *image, params, nullptr, progress));
    EXPECT_TRUE(aborting);
}

TEST(JpegColour, EachColourSpaceRoundTrips) {
    struct Case {
        uint8_t space;
        int32_t samples;
        double maxMean;
    };
    const auto image = MakeGradient(64, 48);
    for (const Case& c : {Case{0, 3, 2.0}, Case{2, 3, 2.0}, Case{3, 4, 3.0}, Case{4, 4, 3.0}}) {
        SCOPED_TRACE(int{c.space});
        TIOParamsVals params;
        params.JpegColorSpace = c.space;
        params.JpegQuality = 95;
        const auto d = Decode(ReadJpeg, EncodeJpeg(*image, params));
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(c.space, d->params.JpegColorSpace);
        EXPECT_EQ(c.samples, d->params.SamplesPerPixel);
        EXPECT_LT(test::MeanDiff(*image, *d->image), c.maxMean);
    }
}

TEST(JpegColour, InvertedCmykRulesBothWays) {
    // Solid colours survive the CMYK path almost exactly: mx = max channel goes to K.
    const TRGB colours[] = {{0, 0, 0}, {255, 255, 255}, {30, 60, 200}, {0, 128, 0}};
    for (const TRGB& c : colours) {
        TImageBuffer image;
        image.Allocate(16, 16, pk24RGB);
        image.Fill(ToColor(c));
        TIOParamsVals params;
        params.JpegColorSpace = 3;
        params.JpegQuality = 100;
        const auto d = Decode(ReadJpeg, EncodeJpeg(image, params));
        ASSERT_FALSE(d->aborting);
        const TRGB got = d->image->PixelRGB(8, 8);
        EXPECT_NEAR(c.r, got.r, 3);
        EXPECT_NEAR(c.g, got.g, 3);
        EXPECT_NEAR(c.b, got.b, 3);
    }
}

TEST(JpegReader, ScaleChoice) {
    struct Case {
        uint8_t scale;
        int32_t boxW, boxH;  // Width and Height before the read (automatic scaling)
        int32_t denominator;
    };
    const Case cases[] = {
        {1, 0, 0, 1}, {2, 0, 0, 2}, {3, 0, 0, 4}, {4, 0, 0, 8},
        {0, 0, 0, 1},      // automatic without a box: full size
        {0, 40, 30, 4},    // 160 x 120: largest d with 160/d >= 40 and 120/d >= 30
        {0, 20, 15, 8},
        {0, 100, 10, 1},   // 160/2 = 80 < 100
        {0, 80, 60, 2},
    };
    const std::vector<uint8_t> jpeg = EncodeJpeg(*MakeGradient(160, 120));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.scale} << " " << c.boxW << "x" << c.boxH);
        TIOParamsVals params;
        params.JpegScale = c.scale;
        params.Width = c.boxW;
        params.Height = c.boxH;
        const auto d = Decode(ReadJpeg, jpeg, params);
        ASSERT_FALSE(d->aborting);
        EXPECT_EQ(c.denominator, d->params.JpegScaleUsed);
        EXPECT_EQ(160 / c.denominator, d->params.Width);
        EXPECT_EQ(120 / c.denominator, d->params.Height);
        EXPECT_EQ(160 / c.denominator, d->image->Width());
        EXPECT_EQ(160, d->params.JpegOriginalWidth);
        EXPECT_EQ(120, d->params.JpegOriginalHeight);
    }
}

TEST(JpegReader, ProgressiveFlagAndDctMethods) {
    const auto image = MakeGradient(64, 48);
    TIOParamsVals params;
    params.JpegProgressive = true;
    params.JpegOptimalHuffman = true;
    const std::vector<uint8_t> progressive = EncodeJpeg(*image, params);
    for (uint8_t dct : {0, 1, 2}) {
        TIOParamsVals readParams;
        readParams.JpegDctMethod = dct;
        const auto d = Decode(ReadJpeg, progressive, readParams);
        ASSERT_FALSE(d->aborting);
        EXPECT_TRUE(d->params.JpegProgressive);
        EXPECT_LT(test::MeanDiff(*image, *d->image), 2.0);
    }
    EXPECT_FALSE(Decode(ReadJpeg, EncodeJpeg(*image))->params.JpegProgressive);
}

TEST(JpegReader, OneBitImageIsWrittenThroughAnExpandedCopy) {
    TImageBuffer image;
    image.Allocate(33, 9, pk1Bit);
    image.Fill(0);
    image.FillRect(0, 0, 15, 8, 1);
    const auto d = Decode(ReadJpeg, EncodeJpeg(image));
    ASSERT_FALSE(d->aborting);
    EXPECT_EQ(pk1Bit, image.PixelKind());
    EXPECT_GT(d->image->PixelRGB(2, 4).g, 240);
    EXPECT_LT(d->image->PixelRGB(30, 4).g, 15);
}

// --- the stream options the TIFF module uses ------------------------------------------------

TEST(JpegStreams, AbbreviatedStreamWithSeparateTables) {
    const auto image = MakeGradient(48, 32);
    TIOParamsVals params;
    TJpegWriteOptions options;
    options.writeTables = false;
    options.writeHeaders = false;
    options.quality = 90;
    const std::vector<uint8_t> tables = WriteJpegTables(params, options);
    bool aborting = false;
    TMemoryOutput output;
    TIOProgress progress(aborting, nullptr);
    WriteJpegStream(output, *image, params, progress, options);
    ASSERT_FALSE(aborting);
    EXPECT_LT(output.Bytes().size() + 200, EncodeJpeg(*image).size() + tables.size());

    // Without the tables the strip cannot be decoded; with them it decodes like a full file.
    auto alone = Decode(ReadJpeg, output.Bytes());
    EXPECT_TRUE(alone->aborting);
    TImageBuffer decoded;
    TIOParamsVals readParams;
    bool readAborting = false;
    TIOProgress readProgress(readAborting, nullptr);
    TJpegReadOptions readOptions;
    readOptions.tables = tables;
    ReadJpegStream(output.Bytes(), decoded, readParams, readProgress, readOptions);
    ASSERT_FALSE(readAborting);
    EXPECT_LT(test::MeanDiff(*image, decoded), 2.0);
}

TEST(JpegStreams, RowRangeAndKeepRaw) {
    const auto image = MakeGradient(40, 64);
    TIOParamsVals params;
    params.JpegColorSpace = 0;  // RGB samples stored as they are
    params.JpegQuality = 100;
    TJpegWriteOptions options;
    options.writeHeaders = false;
    options.firstRow = 16;
    options.rowCount = 16;
    bool aborting = false;
    TMemoryOutput output;
    TIOProgress progress(aborting, nullptr);
    WriteJpegStream(output, *image, params, progress, options);
    ASSERT_FALSE(aborting);

    TImageBuffer strip;
    TIOParamsVals readParams;
    TIOProgress readProgress(aborting, nullptr);
    TJpegReadOptions readOptions;
    readOptions.keepRaw = true;
    ReadJpegStream(output.Bytes(), strip, readParams, readProgress, readOptions);
    ASSERT_FALSE(aborting);
    ASSERT_EQ(40, strip.Width());
    ASSERT_EQ(16, strip.Height());
    for (int32_t y = 0; y < 16; y += 5) {
        for (int32_t x = 0; x < 40; x += 7) {
            const TRGB want = image->PixelRGB(x, 16 + y);
            const TRGB got = strip.PixelRGB(x, y);
            EXPECT_NEAR(want.r, got.r, 3);
            EXPECT_NEAR(want.g, got.g, 3);
            EXPECT_NEAR(want.b, got.b, 3);
        }
    }
}

// --- conformance files ----------------------------------------------------------------------

std::unique_ptr<test::TDecoded> DecodeReference(const std::filesystem::path& png) {
    if (!std::filesystem::exists(png)) return nullptr;
    return Decode(ReadPng, test::ReadBytes(png));
}

TEST(JpegCorpus, EveryFileLoadsAndMatchesItsReference) {
    // Files without a usable reference, and what this reader does with them.
    const std::map<std::string, std::string> expectedFailures = {
        {"monkey12.jpg", "12-bit samples: the 8-bit library refuses them"},
    };
    // Files the corpus calls failures whose damage only costs data: the reader supplies an
    // end-of-image marker where the data stops, decodes what there is and counts the premature
    // end as a warning (Aborting stays clear, as for any file that only raised warnings).
    const std::set<std::string> decodeWithWarnings = {"truncated_jpeg.jpg"};

    const std::filesystem::path dir = test::TestDataDir() / "jpeg";
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".jpg") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const auto d = Decode(ReadJpeg, test::ReadBytes(entry.path()));
        if (expectedFailures.count(name) != 0) {
            EXPECT_TRUE(d->aborting);
            continue;
        }
        ASSERT_FALSE(d->aborting);
        if (decodeWithWarnings.count(name) != 0) {
            EXPECT_GT(d->params.JpegWarningCount, 0);
            continue;
        }
        const auto ref = DecodeReference(dir / "ref" / (name + ".png"));
        ASSERT_NE(nullptr, ref) << "no reference";
        ASSERT_FALSE(ref->aborting);
        ASSERT_EQ(ref->image->Width(), d->image->Width());
        ASSERT_EQ(ref->image->Height(), d->image->Height());
        int worst = 0;
        for (int32_t y = 0; y < d->image->Height(); ++y) {
            const uint8_t* a = d->image->ScanLine(y);
            const uint8_t* b = ref->image->ScanLine(y);
            for (int32_t i = 0; i < d->image->Width() * 3; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
        }
        EXPECT_LE(worst, 2);
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

// --- our files read by a peer decoder ----------------------------------------------------------

TEST(JpegPeer, PillowReadsEveryWriterMode) {
    if (test::PeerPython().empty()) GTEST_SKIP() << "python3-pil is not installed";
    struct Case {
        const char* name;
        uint8_t space;
        bool progressive;
        const char* mode;
    };
    const Case cases[] = {
        {"gray", 1, false, "L"},   {"rgb", 0, false, "RGB"},    {"ycbcr", 2, false, "RGB"},
        {"cmyk", 3, false, "CMYK"}, {"progressive", 2, true, "RGB"},
    };
    test::TempDir dir;
    const auto image = MakeGradient(72, 40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.JpegColorSpace = c.space;
        params.JpegProgressive = c.progressive;
        params.JpegQuality = 95;
        const std::vector<uint8_t> jpeg = EncodeJpeg(*image, params);
        const auto file = dir / (std::string(c.name) + ".jpg");
        test::WriteFileBytes(file, test::ToString(jpeg));
        const auto peer = test::PeerDecode(file);
        ASSERT_TRUE(peer.has_value());
        EXPECT_EQ(c.mode, peer->mode);
        EXPECT_EQ(72, peer->width);
        EXPECT_EQ(40, peer->height);
        EXPECT_EQ(c.progressive, peer->facts.find("progressive") != std::string::npos);
        // The peer sees the colours we see when we read the file back.
        const auto ours = Decode(ReadJpeg, jpeg);
        EXPECT_LE(test::MaxDiffToRgb(*ours->image, test::RgbOf(*peer)), 2);
    }
}

}  // namespace
}  // namespace luma
