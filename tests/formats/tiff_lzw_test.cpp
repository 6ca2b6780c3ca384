#include "formats/tiff_lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/test_support.h"
#include "tiff_lzw_fixture.h"

namespace luma {
namespace {

std::vector<uint32_t> ReadCodesMsbFirst(const std::vector<uint8_t>& data, size_t count, int width) {
    std::vector<uint32_t> codes;
    size_t bit = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t code = 0;
        for (int b = 0; b < width; ++b, ++bit) code = (code << 1) | ((data[bit / 8] >> (7 - bit % 8)) & 1u);
        codes.push_back(code);
    }
    return codes;
}

std::vector<uint8_t> Image(size_t size, uint32_t seed, int noise) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((rng() % 100 < static_cast<uint32_t>(noise)) ? rng() : i / 97);
    return v;
}

TEST(TiffLzwTest, EncodesTheClassicExample) {
    const std::vector<uint8_t> bytes = {7, 7, 7, 8, 8, 7, 7, 6, 6};
    const std::vector<uint8_t> coded = TiffLzwEncodeBytes(bytes);
    EXPECT_EQ(coded.size(), 11u);  // nine 9-bit codes, padded
    EXPECT_EQ(ReadCodesMsbFirst(coded, 9, 9), (std::vector<uint32_t>{256, 7, 258, 8, 8, 258, 6, 6, 257}));
    std::vector<uint8_t> back;
    EXPECT_TRUE(TiffLzwDecodeBytes(coded, 100, back));
    EXPECT_EQ(back, bytes);
}

TEST(TiffLzwTest, RoundTripsRowByRowAcrossClears) {
    for (int noise : {0, 5, 100}) {
        SCOPED_TRACE(noise);
        const size_t rowSize = 1003;
        const std::vector<uint8_t> bytes = Image(rowSize * 300, 9, noise);
        TTiffLzwEncoder encoder;
        std::vector<uint8_t> coded;
        encoder.Reset(coded);
        for (size_t r = 0; r < 300; ++r) encoder.Encode(std::span(bytes).subspan(r * rowSize, rowSize));
        encoder.Finish();

        TTiffLzwDecoder decoder;
        decoder.Reset(coded);
        std::vector<uint8_t> row(rowSize);
        for (size_t r = 0; r < 300; ++r) {
            ASSERT_EQ(decoder.DecodeRow(row), rowSize) << "row " << r;
            ASSERT_TRUE(std::equal(row.begin(), row.end(), bytes.begin() + static_cast<ptrdiff_t>(r * rowSize)));
        }
        EXPECT_FALSE(decoder.Failed());
        EXPECT_EQ(decoder.DecodeRow(row), 0u);
        EXPECT_TRUE(decoder.Finished());
    }
}

TEST(TiffLzwTest, FailsOnCodesBeyondTheTable) {
    // 9-bit codes: clear, 65, 300 (next free is 258), end.
    auto pack = [](std::vector<uint32_t> codes) {
        std::vector<uint8_t> out((codes.size() * 9 + 7) / 8);
        size_t bit = 0;
        for (uint32_t c : codes)
            for (int b = 8; b >= 0; --b, ++bit)
                if ((c >> b) & 1) out[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
        return out;
    };
    std::vector<uint8_t> out;
    EXPECT_FALSE(TiffLzwDecodeBytes(pack({256, 65, 300, 257}), 10, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{65}));
    EXPECT_FALSE(TiffLzwDecodeBytes(pack({256, 258, 257}), 10, out));
    EXPECT_TRUE(TiffLzwDecodeBytes(pack({256, 65, 258, 257}), 10, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{65, 65, 65}));

    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> garbage(rng() % 2000);
        for (uint8_t& b : garbage) b = static_cast<uint8_t>(rng());
        TTiffLzwDecoder decoder;
        decoder.Reset(garbage);
        std::vector<uint8_t> row(123);
        for (int r = 0; r < 100 && !decoder.Finished(); ++r) decoder.DecodeRow(row);
    }
}

// libtiff must read our strips, and we must read libtiff's, for a picture that needs several
// clear codes.
TEST(TiffLzwTest, AgreesWithLibtiff) {
    if (!test::HaveCommand("tiffcp")) GTEST_SKIP() << "tiffcp (libtiff-tools) is not installed";
    test::TempDir dir;
    const uint32_t width = 640, height = 480;
    const std::vector<uint8_t> pixels = Image(width * height * 3, 21, 30);

    test::MiniTiff ours{width, height, 8, 3, 2, 5, 1, 1, 0, {}};
    ours.strip = TiffLzwEncodeBytes(pixels);
    test::WriteFileBytes(dir / "ours.tif", test::BuildMiniTiff(ours));
    ASSERT_EQ(test::RunQuiet("tiffcp -c none -r " + std::to_string(height) + " " + test::ShellQuote(dir / "ours.tif") + " " +
                             test::ShellQuote(dir / "plain.tif")), 0);
    const auto plain = test::ParseMiniTiff(test::ReadFileBytes(dir / "plain.tif"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->strip, pixels);

    test::MiniTiff raw{width, height, 8, 3, 2, 1, 1, 1, 0, pixels};
    test::WriteFileBytes(dir / "raw.tif", test::BuildMiniTiff(raw));
    ASSERT_EQ(test::RunQuiet("tiffcp -c lzw -r " + std::to_string(height) + " " + test::ShellQuote(dir / "raw.tif") + " " +
                             test::ShellQuote(dir / "theirs.tif")), 0);
    const auto theirs = test::ParseMiniTiff(test::ReadFileBytes(dir / "theirs.tif"));
    ASSERT_TRUE(theirs);
    ASSERT_EQ(theirs->compression, 5);
    std::vector<uint8_t> decoded;
    EXPECT_TRUE(TiffLzwDecodeBytes(theirs->strip, pixels.size(), decoded));
    EXPECT_EQ(decoded, pixels);
}

}  // namespace
}  // namespace luma
