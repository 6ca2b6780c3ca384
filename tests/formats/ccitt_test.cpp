#include "formats/ccitt.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tiff_lzw_fixture.h"

namespace luma {
namespace {

// A page-like bilevel picture: blocks, thin lines, single pixels and a few very long runs, with
// bit 1 = black.
std::vector<uint8_t> FaxPage(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    std::vector<uint8_t> page(stride * static_cast<size_t>(height), 0);
    auto set = [&](int32_t x, int32_t y) { page[static_cast<size_t>(y) * stride + static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8)); };
    for (int i = 0; i < 60; ++i) {
        const int32_t x0 = static_cast<int32_t>(rng() % static_cast<uint32_t>(width));
        const int32_t y0 = static_cast<int32_t>(rng() % static_cast<uint32_t>(height));
        const int32_t w = 1 + static_cast<int32_t>(rng() % 90), h = 1 + static_cast<int32_t>(rng() % 12);
        for (int32_t y = y0; y < std::min(height, y0 + h); ++y)
            for (int32_t x = x0; x < std::min(width, x0 + w); ++x) set(x, y);
    }
    for (int i = 0; i < 400; ++i) set(static_cast<int32_t>(rng() % static_cast<uint32_t>(width)), static_cast<int32_t>(rng() % static_cast<uint32_t>(height)));
    for (int32_t x = 0; x < width; ++x) set(x, height / 2);  // one all-black row
    for (int32_t y = 0; y < height; ++y) set(width - 1, y);   // last column black
    // Mask the padding bits of each row: they carry no pixels.
    if (width % 8)
        for (int32_t y = 0; y < height; ++y) page[static_cast<size_t>(y) * stride + stride - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
    return page;
}

struct Scheme {
    const char* name;
    TCcittScheme scheme;
    bool twoD;
    bool eol;
    uint16_t tiffCompression;
    uint32_t t4Options;
};

const Scheme kSchemes[] = {
    {"modified Huffman", TCcittScheme::ModifiedHuffman, false, false, 2, 0},
    {"Group 3 1-D with end-of-lines", TCcittScheme::Group3, false, true, 3, 0},
    {"Group 3 1-D without end-of-lines", TCcittScheme::Group3, false, false, 3, 0},
    {"Group 3 2-D", TCcittScheme::Group3, true, true, 3, 1},
    {"Group 4", TCcittScheme::Group4, false, false, 4, 0},
};

std::vector<uint8_t> Encode(const Scheme& s, const std::vector<uint8_t>& page, int32_t width, int32_t height, uint8_t whiteBit) {
    TCcittParams p;
    p.scheme = s.scheme;
    p.width = width;
    p.twoDimensional = s.twoD;
    p.endOfLineBeforeRows = s.eol;
    p.whiteBit = whiteBit;
    TCcittEncoder encoder(p);
    std::vector<uint8_t> out;
    encoder.Reset(out);
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    for (int32_t y = 0; y < height; ++y) encoder.EncodeRow(page.data() + static_cast<size_t>(y) * stride);
    encoder.Finish();
    return out;
}

std::vector<uint8_t> Decode(const Scheme& s, const std::vector<uint8_t>& data, int32_t width, int32_t height,
                            uint8_t whiteBit, bool reversed = false) {
    TCcittParams p;
    p.scheme = s.scheme;
    p.width = width;
    p.twoDimensional = s.twoD;
    p.whiteBit = whiteBit;
    TCcittDecoder decoder(p);
    decoder.Reset(data, reversed);
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    std::vector<uint8_t> page(stride * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) decoder.DecodeRow(page.data() + static_cast<size_t>(y) * stride);
    return page;
}

TEST(CcittTest, RoundTripsEverySchemeAndWidth) {
    for (const Scheme& s : kSchemes) {
        for (int32_t width : {1, 9, 63, 64, 200, 1728, 2600, 5200}) {
            SCOPED_TRACE(testing::Message() << s.name << " width " << width);
            const int32_t height = 37;
            const std::vector<uint8_t> page = FaxPage(width, height, static_cast<uint32_t>(width));
            const std::vector<uint8_t> coded = Encode(s, page, width, height, 0);
            EXPECT_EQ(Decode(s, coded, width, height, 0), page);
            // Same picture with white as 1 bits on both sides.
            std::vector<uint8_t> inverted = page;
            for (uint8_t& b : inverted) b = static_cast<uint8_t>(~b);
            const std::vector<uint8_t> coded1 = Encode(s, inverted, width, height, 1);
            EXPECT_EQ(coded1, coded);
            std::vector<uint8_t> back = Decode(s, coded1, width, height, 1);
            if (width % 8) {
                const size_t stride = static_cast<size_t>((width + 7) / 8);
                for (size_t y = 0; y < static_cast<size_t>(height); ++y) back[y * stride + stride - 1] |= static_cast<uint8_t>(0xFF >> (width % 8));
            }
            EXPECT_EQ(back, inverted);
        }
    }
}

TEST(CcittTest, KnownCodesOfAShortRow) {
    // Width 8: 3 white, 2 black, 3 white -> white 3 "1000", black 2 "11", white 3 "1000", padded.
    const std::vector<uint8_t> row = {0x18};
    const std::vector<uint8_t> coded = Encode(kSchemes[0], row, 8, 1, 0);
    EXPECT_EQ(coded, (std::vector<uint8_t>{0x8E, 0x00}));
    // Group 4 of an all-white row: V0 (b1 is the end of the line), then the end-of-block codes.
    const std::vector<uint8_t> white = {0x00};
    EXPECT_EQ(Encode(kSchemes[4], white, 8, 1, 0), (std::vector<uint8_t>{0x80, 0x08, 0x00, 0x80}));
}

TEST(CcittTest, SurvivesGarbageAndReversedBitOrder) {
    std::mt19937 rng(17);
    for (const Scheme& s : kSchemes) {
        for (int round = 0; round < 40; ++round) {
            std::vector<uint8_t> garbage(rng() % 400);
            for (uint8_t& b : garbage) b = static_cast<uint8_t>(rng() % 4 ? rng() : 0);
            const std::vector<uint8_t> page = Decode(s, garbage, 1 + static_cast<int32_t>(rng() % 300), 20, 1);
            EXPECT_FALSE(page.empty());
        }
    }
    const std::vector<uint8_t> page = FaxPage(300, 20, 4);
    std::vector<uint8_t> coded = Encode(kSchemes[4], page, 300, 20, 0);
    ReverseBitOrder(coded);
    EXPECT_EQ(Decode(kSchemes[4], coded, 300, 20, 0, true), page);
}

// Our strips must decode in libtiff and libtiff's must decode in ours (white-is-zero, 1 = black).
TEST(CcittTest, AgreesWithLibtiff) {
    if (!test::HaveCommand("tiffcp")) GTEST_SKIP() << "tiffcp (libtiff-tools) is not installed";
    test::TempDir dir;
    const int32_t width = 1728, height = 300;
    const std::vector<uint8_t> page = FaxPage(width, height, 99);
    const std::string rows = " -r " + std::to_string(height) + " ";

    for (const Scheme& s : kSchemes) {
        if (s.scheme == TCcittScheme::Group3 && !s.twoD && !s.eol) continue;  // libtiff needs end-of-lines
        SCOPED_TRACE(s.name);
        test::MiniTiff ours{static_cast<uint32_t>(width), height, 1, 1, 0, s.tiffCompression, 1, 1, s.t4Options, {}};
        ours.strip = Encode(s, page, width, height, 0);
        test::WriteFileBytes(dir / "ours.tif", test::BuildMiniTiff(ours));
        ASSERT_EQ(test::RunQuiet("tiffcp -c none" + rows + test::ShellQuote(dir / "ours.tif") + " " + test::ShellQuote(dir / "plain.tif")), 0);
        const auto plain = test::ParseMiniTiff(test::ReadFileBytes(dir / "plain.tif"));
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->strip, page);
    }

    test::MiniTiff raw{static_cast<uint32_t>(width), height, 1, 1, 0, 1, 1, 1, 0, page};
    test::WriteFileBytes(dir / "raw.tif", test::BuildMiniTiff(raw));
    struct Peer { const char* option; size_t scheme; bool reversed; };
    const Peer peers[] = {{"g3:1d", 1, false}, {"g3:2d", 3, false}, {"g3:1d:fill", 1, false}, {"g4", 4, false},
                          {"g4 -f lsb2msb", 4, true}};
    for (const Peer& peer : peers) {
        SCOPED_TRACE(peer.option);
        ASSERT_EQ(test::RunQuiet(std::string("tiffcp -c ") + peer.option + rows + test::ShellQuote(dir / "raw.tif") + " " +
                                 test::ShellQuote(dir / "theirs.tif")), 0);
        const auto theirs = test::ParseMiniTiff(test::ReadFileBytes(dir / "theirs.tif"));
        ASSERT_TRUE(theirs);
        EXPECT_EQ(theirs->fillOrder, peer.reversed ? 2 : 1);
        EXPECT_EQ(Decode(kSchemes[peer.scheme], theirs->strip, width, height, 0, peer.reversed), page);
    }
}

}  // namespace
}  // namespace luma
