#include "formats/lzw_coders.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "formats/byte_io.h"

namespace luma {
namespace {

TEST(LzwCodersTest, InstallFillsTheFourHooks) {
    GifLzwDecoder = nullptr;
    GifLzwEncoder = nullptr;
    TiffLzwDecoder = nullptr;
    TiffLzwEncoder = nullptr;
    InstallLzwCoders();
    EXPECT_EQ(GifLzwDecoder, &GifLzwDecodeHook);
    EXPECT_EQ(GifLzwEncoder, &GifLzwEncodeHook);
    EXPECT_EQ(TiffLzwDecoder, &TiffLzwDecodeHook);
    EXPECT_EQ(TiffLzwEncoder, &TiffLzwEncodeHook);
    // A parameter record made afterwards carries them.
    const TIOParamsVals params;
    EXPECT_EQ(params.GifDecoderToUse(), &GifLzwDecodeHook);
    EXPECT_EQ(params.TiffEncoderToUse(), &TiffLzwEncodeHook);
}

TEST(LzwCodersTest, GifHooksMoveTheStreamOnlyOnSuccess) {
    std::vector<uint8_t> indices(24 * 10);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>((i * 7) % 16);
    TMemoryOutput out;
    out.WriteU8(0x2C);  // something before the data
    GifLzwEncodeHook(out, 10, 24, 4, indices.data(), true);
    std::vector<uint8_t> bytes = out.Bytes();
    bytes.push_back(0x3B);

    TByteCursor in(bytes, 1);
    std::vector<uint8_t> back(indices.size());
    ASSERT_TRUE(GifLzwDecodeHook(in, 10, 24, back.data(), true));
    EXPECT_EQ(back, indices);
    EXPECT_EQ(in.Position(), bytes.size() - 1);

    bytes[1] = 12;  // no usable code size
    TByteCursor bad(bytes, 1);
    EXPECT_FALSE(GifLzwDecodeHook(bad, 10, 24, back.data(), true));
    EXPECT_EQ(bad.Position(), 1u);
}

TEST(LzwCodersTest, TiffHooksCodeRowByRowAndReleaseTheirState) {
    std::mt19937 rng(8);
    const size_t rowSize = 301, rows = 57;
    std::vector<uint8_t> image(rowSize * rows);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(rng() % 5 ? i / 40 : rng());

    std::vector<uint8_t> strip;
    TLzwStatePtr state;
    for (size_t r = 0; r < rows; ++r) TiffLzwEncodeHook(std::span(image).subspan(r * rowSize, rowSize), strip, state);
    EXPECT_TRUE(state);
    TiffLzwEncodeHook({}, strip, state);
    EXPECT_FALSE(state);

    std::vector<uint8_t> row(rowSize);
    for (size_t r = 0; r < rows; ++r) {
        ASSERT_TRUE(TiffLzwDecodeHook(strip, row, state)) << r;
        ASSERT_TRUE(std::equal(row.begin(), row.end(), image.begin() + static_cast<ptrdiff_t>(r * rowSize)));
    }
    EXPECT_FALSE(TiffLzwDecodeHook(strip, row, state));  // nothing left
    EXPECT_TRUE(TiffLzwDecodeHook({}, {}, state));
    EXPECT_FALSE(state);

    const std::vector<uint8_t> garbage = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(TiffLzwDecodeHook(garbage, row, state));
    TiffLzwDecodeHook({}, {}, state);
}

}  // namespace
}  // namespace luma
