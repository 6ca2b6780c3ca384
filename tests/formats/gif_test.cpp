#include "formats/gif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "formats/gif_lzw.h"
#include "gif_pcx_peer.h"

namespace luma {
namespace {

class GifTest : public testing::Test {
protected:
    void SetUp() override { InstallLzwCoders(); }

    // Writes io's image with its current parameters into memory.
    static std::vector<uint8_t> Save(TImageIO& io) {
        TMemoryOutput out;
        io.SaveToStream(ftGIF, out);
        EXPECT_FALSE(io.Aborting);
        return out.Bytes();
    }
};

// Position of the code-size byte of the (only) image our writer produced.
size_t CodeSizeOffset(const std::vector<uint8_t>& gif) {
    const size_t colors = GifTableEntries(gif[10]);
    return 13 + colors * 3 + 8 + 10;
}

TEST_F(GifTest, HeaderFlagsAndCodeSizeFollowBitsPerSample) {
    struct Case { int32_t bits; uint8_t flags; size_t entries; uint8_t codeSize; };
    const Case cases[] = {{8, 0xF7, 256, 8}, {4, 0xB3, 16, 4}, {1, 0x80, 2, 2}, {16, 0xF7, 256, 8}, {2, 0x91, 4, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        TImageIO io;
        test::MakePaletteBlocks(io.Image(), 40, 30, 300);
        io.Params().BitsPerSample = c.bits;
        const std::vector<uint8_t> gif = Save(io);
        ASSERT_GT(gif.size(), 40u);
        EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
        EXPECT_EQ(gif[10], c.flags);
        EXPECT_EQ(GifTableEntries(gif[10]), static_cast<int32_t>(c.entries));
        const size_t gce = 13 + c.entries * 3;
        EXPECT_EQ(std::vector<uint8_t>(gif.begin() + static_cast<ptrdiff_t>(gce), gif.begin() + static_cast<ptrdiff_t>(gce + 4)),
                  (std::vector<uint8_t>{0x21, 0xF9, 4, 0x08}));
        EXPECT_EQ(gif[gce + 8], 0x2C);
        EXPECT_EQ(gif[CodeSizeOffset(gif)], c.codeSize);
        // Empty comment extension and trailer at the end.
        EXPECT_EQ(std::vector<uint8_t>(gif.end() - 4, gif.end()), (std::vector<uint8_t>{0x21, 0xFE, 0, 0x3B}));
    }
    // 1 bit: the table is black, white.
    TImageIO io;
    test::MakePaletteBlocks(io.Image(), 8, 8, 2);
    io.Params().BitsPerSample = 1;
    const std::vector<uint8_t> gif = Save(io);
    EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 13, gif.begin() + 19), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
}

TEST_F(GifTest, WriteThenReadGivesThePixelsBack) {
    struct Case { int32_t bits; int32_t colors; bool interlaced; };
    const Case cases[] = {{8, 200, false}, {8, 256, true}, {4, 16, false}, {4, 11, true}, {1, 2, false}, {1, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bits " << c.bits << " interlaced " << c.interlaced);
        TImageIO io;
        if (c.bits == 1) {
            test::MakePicture(io.Image(), 37, 21, [](int32_t x, int32_t y) {
                return (x * y + x) % 3 ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
            });
        } else {
            test::MakePaletteBlocks(io.Image(), 53, 29, c.colors);
        }
        const std::vector<TRGB> expected = test::Pixels(io.Image());
        io.Params().BitsPerSample = c.bits;
        io.Params().GifInterlaced = c.interlaced;
        const std::vector<uint8_t> gif = Save(io);

        TImageIO back;
        back.LoadFromBytes(gif, ftGIF);
        ASSERT_FALSE(back.Aborting);
        EXPECT_EQ(back.Image().PixelKind(), c.bits == 1 ? pk1Bit : pk24RGB);
        EXPECT_EQ(test::Pixels(back.Image()), expected);
        EXPECT_EQ(back.Params().GifInterlaced, c.interlaced);
        EXPECT_EQ(back.Params().BitsPerSample, c.bits);
        EXPECT_EQ(back.Params().GifImageCount, 1);
        EXPECT_FALSE(back.Params().GifHasTransparentColor);
        // An alpha plane is always made, fully opaque without transparency.
        const std::vector<uint8_t> alpha = test::AlphaValues(back.Image());
        EXPECT_EQ(alpha.size(), expected.size());
        EXPECT_TRUE(std::all_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a == 255; }));
    }
}

TEST_F(GifTest, TransparencyRoundTripsAsAlpha) {
    TImageIO io;
    test::MakePaletteBlocks(io.Image(), 30, 20, 12);
    const TRGB key = io.Image().PixelRGB(4, 3);
    io.Params().BitsPerSample = 4;
    io.Params().GifHasTransparentColor = true;
    io.Params().GifTransparentColor = key;
    io.Params().GifDelayTime = 250;
    io.Params().GifXPos = 7;
    io.Params().GifYPos = 9;
    const std::vector<uint8_t> gif = Save(io);

    TImageIO back;
    back.LoadFromBytes(gif, ftGIF);
    ASSERT_FALSE(back.Aborting);
    EXPECT_TRUE(back.Params().GifHasTransparentColor);
    EXPECT_EQ(back.Params().GifTransparentColor, key);
    EXPECT_EQ(back.Params().GifDelayTime, 250);
    EXPECT_EQ(back.Params().GifXPos, 7);
    EXPECT_EQ(back.Params().GifYPos, 9);
    const std::vector<TRGB> pixels = test::Pixels(back.Image());
    const std::vector<uint8_t> alpha = test::AlphaValues(back.Image());
    ASSERT_EQ(alpha.size(), pixels.size());
    size_t transparent = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(alpha[i] == 0, pixels[i] == key) << i;
        transparent += alpha[i] == 0;
    }
    EXPECT_GT(transparent, 0u);
}

TEST_F(GifTest, KeepsTheSignatureReadAndTheComments) {
    TImageIO io;
    io.LoadFromFile((test::TestDataDir() / "gif" / "gif87a.gif").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().GifVersion, "GIF87a");
    const std::vector<uint8_t> gif = Save(io);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF87a");

    // Comments: a line longer than one sub-block is split, an empty line is left out.
    const std::string longLine(600, 'x');
    io.Params().GifComments = {"first", "", longLine};
    const std::vector<uint8_t> withComments = Save(io);
    TImageIO back;
    back.LoadFromBytes(withComments, ftGIF);
    ASSERT_FALSE(back.Aborting);
    EXPECT_EQ(back.Params().GifComments,
              (std::vector<std::string>{"first", longLine.substr(0, 255), longLine.substr(0, 255), longLine.substr(0, 90)}));
}

TEST_F(GifTest, PicksTheWantedImageAndCountsThemAll) {
    const auto file = (test::TestDataDir() / "gif" / "animation-multi-image.gif").string();
    TImageIO first;
    first.LoadFromFile(file);
    ASSERT_FALSE(first.Aborting);
    EXPECT_EQ(first.Params().GifImageCount, 7);

    TImageIO third;
    third.Params().GifImageIndex = 2;
    third.LoadFromFile(file);
    ASSERT_FALSE(third.Aborting);
    EXPECT_EQ(third.Params().GifImageCount, 7);

    // Past the last image: no error, the buffer is left alone, the count tells.
    TImageIO beyond;
    test::MakePaletteBlocks(beyond.Image(), 5, 4, 3);
    const std::vector<TRGB> before = test::Pixels(beyond.Image());
    beyond.Params().GifImageIndex = 7;
    beyond.LoadFromFile(file);
    EXPECT_FALSE(beyond.Aborting);
    EXPECT_EQ(beyond.Params().GifImageCount, 7);
    EXPECT_EQ(test::Pixels(beyond.Image()), before);
}

TEST_F(GifTest, FailuresSetAbortingWithoutTouchingTheImage) {
    TImageIO io;
    test::MakePaletteBlocks(io.Image(), 5, 4, 3);
    const std::vector<TRGB> before = test::Pixels(io.Image());
    const std::vector<uint8_t> notGif = {'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    io.LoadFromBytes(notGif, ftGIF);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(test::Pixels(io.Image()), before);

    // Header only: the data ends before any block.
    const std::vector<uint8_t> headerOnly = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    io.LoadFromBytes(headerOnly, ftGIF);
    EXPECT_TRUE(io.Aborting);

    // Unusable LZW data: clear, 1, then 7 (beyond the next free code 6).
    std::vector<uint8_t> bad = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0xCC, 0x01, 0, 0x3B};
    io.LoadFromBytes(bad, ftGIF);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(test::Pixels(io.Image()), before);

    // Without coders neither reading nor writing works.
    const auto decoder = GifLzwDecoder;
    const auto encoder = GifLzwEncoder;
    GifLzwDecoder = nullptr;
    GifLzwEncoder = nullptr;
    TImageIO bare;
    bare.Params().GifDecoder = nullptr;
    bare.Params().GifEncoder = nullptr;
    bare.LoadFromFile((test::TestDataDir() / "gif" / "gif87a.gif").string());
    EXPECT_TRUE(bare.Aborting);
    test::MakePaletteBlocks(bare.Image(), 5, 4, 3);
    TMemoryOutput out;
    bare.SaveToStream(ftGIF, out);
    EXPECT_TRUE(bare.Aborting);
    EXPECT_EQ(out.Bytes().back(), 0x00);  // everything up to the image descriptor
    GifLzwDecoder = decoder;
    GifLzwEncoder = encoder;
}

// Every file of the corpus loads without a crash; where the reference decode means the same as
// our reader, the pixels (and the transparent pixels) match exactly.
TEST_F(GifTest, ReadsTheCorpus) {
    // Files whose reference differs by design: code sizes above 9 are unusable data here, and a
    // file without any colour table reads black where peers invent a palette.
    const std::set<std::string> differentByDesign = {"issue_2811.gif", "max-codes.gif", "no_palette.gif",
                                                     "no_palette_after_rgb.gif", "no_palette_with_background.gif"};
    const auto dir = test::TestDataDir() / "gif";
    size_t compared = 0;
    std::vector<std::string> mismatches;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        TImageIO io;
        io.LoadFromFile(entry.path().string());
        const auto ref = test::ReadReference(dir / "ref" / (name + ".png"));
        if (!ref || differentByDesign.count(name)) continue;
        if (io.Aborting) {
            mismatches.push_back(name + " (aborted)");
            continue;
        }
        test::Decoded expected = *ref;
        if (const auto alpha = test::ReadReference(dir / "ref" / (name + ".alpha.png"))) {
            for (const TRGB& a : alpha->rgb) expected.alpha.push_back(a.r);
        }
        ++compared;
        if (test::CountDifferences(io.Image(), expected, true) != 0) mismatches.push_back(name);
    }
    EXPECT_GT(compared, 80u);
    EXPECT_TRUE(mismatches.empty()) << testing::PrintToString(mismatches);
}

// Pillow decodes what we write to the same pixels, and we decode what Pillow writes.
TEST_F(GifTest, AgreesWithPillow) {
    if (test::PillowPython().empty()) GTEST_SKIP() << "python3 with Pillow (python3-pil) is not installed";
    test::TempDir dir;
    struct Case { int32_t bits; bool interlaced; bool transparent; };
    const Case cases[] = {{8, false, false}, {8, true, true}, {4, false, true}, {4, true, false}, {1, false, false}, {1, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bits " << c.bits << " interlaced " << c.interlaced << " transparent " << c.transparent);
        TImageIO io;
        if (c.bits == 1) {
            test::MakePicture(io.Image(), 45, 33, [](int32_t x, int32_t y) { return (x ^ y) & 4 ? TRGB{255, 255, 255} : TRGB{}; });
        } else {
            test::MakePaletteBlocks(io.Image(), 61, 47, 1 << c.bits);
        }
        io.Params().BitsPerSample = c.bits;
        io.Params().GifInterlaced = c.interlaced;
        io.Params().GifHasTransparentColor = c.transparent;
        io.Params().GifTransparentColor = io.Image().PixelRGB(1, 0);
        io.SaveAsGIF((dir / "ours.gif").string());
        ASSERT_FALSE(io.Aborting);
        TImageIO back;
        back.LoadFromFile((dir / "ours.gif").string());
        ASSERT_FALSE(back.Aborting);
        const auto theirs = test::PillowDecode(dir / "ours.gif", dir.path());
        ASSERT_TRUE(theirs);
        EXPECT_EQ(test::CountDifferences(back.Image(), *theirs, true), 0u);
    }

    TImageIO source;
    test::MakePicture(source.Image(), 50, 40, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 6), static_cast<uint8_t>((x + y) * 2)};
    });
    struct Made { const char* convert; const char* options; };
    const Made made[] = {{"im.convert('P', palette=Image.ADAPTIVE, colors=256)", ""},
                         {"im.convert('P', palette=Image.ADAPTIVE, colors=16)", "interlace=1"},
                         {"im.convert('1')", ""},
                         {"im.convert('P', palette=Image.ADAPTIVE, colors=64)", "transparency=3"}};
    for (const Made& m : made) {
        SCOPED_TRACE(m.convert);
        EXPECT_TRUE(test::ReadsLikePillow(source.Image(), dir / "theirs.gif", m.convert, dir.path(), m.options, true));
    }
}

}  // namespace
}  // namespace luma
