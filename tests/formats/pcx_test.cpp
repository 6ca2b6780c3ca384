#include "formats/pcx.h"

#include <gtest/gtest.h>

#include <set>

#include "gif_pcx_peer.h"

namespace luma {
namespace {

std::vector<uint8_t> Save(TImageIO& io) {
    TMemoryOutput out;
    io.SaveToStream(ftPCX, out);
    EXPECT_FALSE(io.Aborting);
    return out.Bytes();
}

// A PCX header with the given layout; the data follows.
std::vector<uint8_t> Header(int32_t width, int32_t height, uint8_t bits, uint8_t planes, uint16_t bytesPerLine,
                            uint8_t encoding) {
    std::vector<uint8_t> h(kPcxHeaderSize, 0);
    h[0] = kPcxManufacturer;
    h[1] = 5;
    h[2] = encoding;
    h[3] = bits;
    StoreLE16(&h[8], static_cast<uint16_t>(width - 1));
    StoreLE16(&h[10], static_cast<uint16_t>(height - 1));
    StoreLE16(&h[12], 300);
    StoreLE16(&h[14], 300);
    h[65] = planes;
    StoreLE16(&h[66], bytesPerLine);
    return h;
}

TEST(PcxTest, EncodesLinesWithRunsOfAtMost63) {
    struct Case { const char* what; std::vector<uint8_t> line; std::vector<uint8_t> coded; };
    const Case cases[] = {
        {"200 equal bytes", std::vector<uint8_t>(200, 7), {0xFF, 7, 0xFF, 7, 0xFF, 7, 0xCB, 7}},
        {"single high byte, odd line padded", {0xC5}, {0xC1, 0xC5, 0x00}},
        {"plain low bytes", {1, 2}, {1, 2}},
        {"short run", {9, 9, 9, 0xC0}, {0xC3, 9, 0xC1, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out;
        PcxEncodeLine(c.line, out);
        EXPECT_EQ(out, c.coded);
    }
}

TEST(PcxTest, HeaderFieldsFollowTheDepth) {
    struct Case { const char* what; int32_t bits, samples, width; uint8_t fileBits, planes; uint16_t bytesPerLine, paletteInfo; };
    const Case cases[] = {
        {"24-bit defaults", 8, 3, 31, 8, 3, 32, 0},
        {"8-bit", 8, 1, 31, 8, 1, 32, 1},
        {"4-bit", 4, 1, 31, 4, 1, 16, 1},
        {"1-bit width 9", 1, 1, 9, 1, 1, 2, 1},
        {"1-bit width 17", 1, 1, 17, 1, 1, 4, 1},
        {"16-bit RGB becomes 24-bit", 16, 3, 10, 8, 3, 10, 0},
        {"CMYK becomes 24-bit", 8, 4, 10, 8, 3, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TImageIO io;
        test::MakePaletteBlocks(io.Image(), c.width, 5, 2);
        io.Params().BitsPerSample = c.bits;
        io.Params().SamplesPerPixel = c.samples;
        io.Params().DpiX = 150;
        io.Params().DpiY = 72;
        const std::vector<uint8_t> pcx = Save(io);
        ASSERT_GT(pcx.size(), kPcxHeaderSize);
        EXPECT_EQ(pcx[0], 10);
        EXPECT_EQ(pcx[1], 5);
        EXPECT_EQ(pcx[2], 1);
        EXPECT_EQ(pcx[3], c.fileBits);
        EXPECT_EQ(LoadLE16(&pcx[8]), c.width - 1);
        EXPECT_EQ(LoadLE16(&pcx[10]), 4);
        EXPECT_EQ(LoadLE16(&pcx[12]), 150);
        EXPECT_EQ(LoadLE16(&pcx[14]), 72);
        EXPECT_EQ(pcx[65], c.planes);
        EXPECT_EQ(LoadLE16(&pcx[66]), c.bytesPerLine);
        EXPECT_EQ(LoadLE16(&pcx[68]), c.paletteInfo);
        if (c.fileBits == 8 && c.planes == 1) {
            EXPECT_EQ(pcx[pcx.size() - 769], kPcxPaletteMark);
        }
    }
}

TEST(PcxTest, OddLinesGetAPaddingZeroAndTwoColourImagesKeepTheirColours) {
    // Width 17, 1 bit: 3 data bytes per line, 4 in the file; every run-length line ends in 0.
    TImageIO io;
    const TRGB dark{10, 20, 30}, light{200, 210, 220};
    test::MakePicture(io.Image(), 17, 3, [&](int32_t x, int32_t) { return x % 2 ? light : dark; });
    io.Params().BitsPerSample = 1;
    io.Params().SamplesPerPixel = 1;
    const std::vector<uint8_t> pcx = Save(io);
    EXPECT_EQ(std::vector<uint8_t>(pcx.begin() + 16, pcx.begin() + 22), (std::vector<uint8_t>{30, 20, 10, 220, 210, 200}));
    // Each line: 0x55 0x55 0x00 (third byte: one pixel, bit clear) then the padding zero.
    const std::vector<uint8_t> line = {0xC2, 0x55, 0x00, 0x00};
    std::vector<uint8_t> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), line.begin(), line.end());
    EXPECT_EQ(std::vector<uint8_t>(pcx.begin() + kPcxHeaderSize, pcx.end()), expected);
}

TEST(PcxTest, WriteThenReadGivesThePixelsBack) {
    struct Case { int32_t bits, samples, colors; uint8_t compression; };
    const Case cases[] = {{8, 3, 0, 1}, {8, 3, 0, 0}, {8, 1, 200, 1}, {8, 1, 256, 0}, {4, 1, 16, 1}, {4, 1, 5, 0}, {1, 1, 2, 1}, {1, 1, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "x" << c.samples << " compression " << int(c.compression));
        TImageIO io;
        if (c.colors == 0) {
            test::MakePicture(io.Image(), 33, 19, [](int32_t x, int32_t y) {
                return TRGB{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 13), static_cast<uint8_t>(x * y)};
            });
        } else if (c.bits == 1) {
            test::MakePicture(io.Image(), 33, 19, [](int32_t x, int32_t y) { return (x + y) % 3 ? TRGB{255, 255, 255} : TRGB{}; });
        } else {
            test::MakePaletteBlocks(io.Image(), 33, 19, c.colors);
        }
        const std::vector<TRGB> expected = test::Pixels(io.Image());
        io.Params().BitsPerSample = c.bits;
        io.Params().SamplesPerPixel = c.samples;
        io.Params().PcxCompression = c.compression;
        const std::vector<uint8_t> pcx = Save(io);
        EXPECT_EQ(pcx[2], c.compression);
        TImageIO back;
        back.LoadFromBytes(pcx, ftPCX);
        ASSERT_FALSE(back.Aborting);
        EXPECT_EQ(back.Image().PixelKind(), c.bits == 1 ? pk1Bit : pk24RGB);
        EXPECT_EQ(test::Pixels(back.Image()), expected);
        EXPECT_EQ(back.Params().BitsPerSample, c.bits);
        EXPECT_EQ(back.Params().SamplesPerPixel, c.samples);
        EXPECT_EQ(back.Params().PcxVersion, 5);
    }
}

TEST(PcxTest, FourPlanesReadAsFourBitsAndWriteAsOnePlane) {
    TImageIO io;
    io.LoadFromFile((test::TestDataDir() / "pcx" / "tiny.pcx").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Image().PixelKind(), pk24RGB);
    EXPECT_EQ(io.Params().BitsPerSample, 4);
    EXPECT_EQ(io.Params().SamplesPerPixel, 1);
    EXPECT_EQ(io.Params().PcxVersion, 3);
    EXPECT_EQ(io.Params().ColorMapCount, 16);
    io.Params().PcxVersion = 5;
    const std::vector<TRGB> pixels = test::Pixels(io.Image());
    const std::vector<uint8_t> pcx = Save(io);
    EXPECT_EQ(pcx[3], 4);
    EXPECT_EQ(pcx[65], 1);
    TImageIO back;
    back.LoadFromBytes(pcx, ftPCX);
    ASSERT_FALSE(back.Aborting);
    EXPECT_EQ(test::Pixels(back.Image()), pixels);
}

TEST(PcxTest, CompressionIsKeptAfterAnUncompressedRead) {
    std::vector<uint8_t> file = Header(4, 1, 8, 3, 4, 0);
    const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    file.insert(file.end(), std::begin(data), std::end(data));
    TImageIO io;
    io.LoadFromBytes(file, ftPCX);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Image().PixelRGB(1, 0), (TRGB{10, 6, 2}));
    EXPECT_EQ(io.Params().DpiX, 300);
    EXPECT_EQ(Save(io)[2], 1);
}

TEST(PcxTest, RunsCrossPlaneLinesAndStopAtTheEndOfTheData) {
    // 3 x 8 bits, width 2: one run of 5 covers red, green and half of blue; the data then ends.
    std::vector<uint8_t> file = Header(2, 2, 8, 3, 2, 1);
    file.push_back(0xC5);
    file.push_back(0x40);
    file.push_back(0x11);
    TImageIO io;
    io.LoadFromBytes(file, ftPCX);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Image().PixelRGB(0, 0), (TRGB{0x40, 0x40, 0x40}));
    EXPECT_EQ(io.Image().PixelRGB(1, 0), (TRGB{0x11, 0x40, 0x40}));
    EXPECT_EQ(io.Image().PixelRGB(1, 1), (TRGB{0, 0, 0}));

    // A run byte that is the last byte of the file, and a header of an unknown kind.
    std::vector<uint8_t> cut = Header(3, 1, 8, 1, 4, 1);
    cut.push_back(0xC9);
    io.LoadFromBytes(cut, ftPCX);
    EXPECT_FALSE(io.Aborting);
    std::vector<uint8_t> bad = Header(3, 1, 16, 1, 4, 1);
    io.LoadFromBytes(bad, ftPCX);
    EXPECT_TRUE(io.Aborting);
    bad = Header(3, 1, 8, 1, 4, 2);
    io.LoadFromBytes(bad, ftPCX);
    EXPECT_TRUE(io.Aborting);
}

TEST(PcxTest, ReadsTheCorpus) {
    // pil184.pcx: the reference takes the window origin into account the same way; test-bpp1 and
    // CGA_BW are 1-bit files whose bits we take as they stand (1 = white), as the reference does.
    const auto dir = test::TestDataDir() / "pcx";
    size_t compared = 0;
    std::vector<std::string> mismatches;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        TImageIO io;
        io.LoadFromFile(entry.path().string());
        const auto ref = test::ReadReference(dir / "ref" / (name + ".png"));
        if (!ref) continue;
        if (io.Aborting) {
            mismatches.push_back(name + " (aborted)");
            continue;
        }
        ++compared;
        if (test::CountDifferences(io.Image(), *ref, false) != 0) mismatches.push_back(name);
    }
    EXPECT_GT(compared, 8u);
    EXPECT_TRUE(mismatches.empty()) << testing::PrintToString(mismatches);
}

// Peers decode what we write to the same pixels. Pillow decodes every file as run-length coded
// and has no one-plane 4-bit layout; ImageMagick reads 1-bit files through the header palette
// with the opposite meaning of the bits. So: ImageMagick for every depth but 1 bit, Pillow for
// the run-length files and for 1 bit. And we decode what Pillow writes.
TEST(PcxTest, AgreesWithPeers) {
    if (test::PillowPython().empty()) GTEST_SKIP() << "python3 with Pillow (python3-pil) is not installed";
    if (test::ImageMagickCommand().empty()) GTEST_SKIP() << "ImageMagick is not installed";
    test::TempDir dir;
    struct Case { int32_t bits, samples, colors; uint8_t compression; };
    const Case cases[] = {{8, 3, 0, 1}, {8, 3, 0, 0}, {8, 1, 100, 1}, {8, 1, 256, 0}, {4, 1, 16, 1}, {4, 1, 16, 0}, {1, 1, 2, 1}, {1, 1, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "x" << c.samples << " compression " << int(c.compression));
        TImageIO io;
        if (c.colors == 0) {
            test::MakePicture(io.Image(), 45, 21, [](int32_t x, int32_t y) {
                return TRGB{static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 11), static_cast<uint8_t>(x ^ y)};
            });
        } else if (c.bits == 1) {
            // The first two pixels of every byte are black, so that plain bytes stay below 0xC0.
            test::MakePicture(io.Image(), 45, 21, [](int32_t x, int32_t y) {
                return x % 8 > 1 && (x * y) % 5 ? TRGB{255, 255, 255} : TRGB{};
            });
        } else {
            test::MakePaletteBlocks(io.Image(), 45, 21, c.colors);
        }
        io.Params().BitsPerSample = c.bits;
        io.Params().SamplesPerPixel = c.samples;
        io.Params().PcxCompression = c.compression;
        io.SaveAsPCX((dir / "ours.pcx").string());
        ASSERT_FALSE(io.Aborting);
        const std::vector<TRGB> pixels = test::Pixels(io.Image());
        if (c.bits != 1) {
            const auto magick = test::ImageMagickDecode(dir / "ours.pcx", dir.path());
            ASSERT_TRUE(magick);
            EXPECT_EQ(magick->rgb, pixels);
        }
        if ((c.compression && c.bits != 4) || c.bits == 1) {
            const auto pillow = test::PillowDecode(dir / "ours.pcx", dir.path());
            ASSERT_TRUE(pillow);
            EXPECT_EQ(pillow->rgb, pixels);
        }
    }

    TImageIO source;
    test::MakePicture(source.Image(), 51, 23, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 6), static_cast<uint8_t>((x + y) * 2)};
    });
    for (const char* convert : {"im", "im.convert('P', palette=Image.ADAPTIVE, colors=200)", "im.convert('1')", "im.convert('L')"}) {
        SCOPED_TRACE(convert);
        EXPECT_TRUE(test::ReadsLikePillow(source.Image(), dir / "theirs.pcx", convert, dir.path(), "", false));
    }
}

}  // namespace
}  // namespace luma
