#include "formats/packbits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace luma {
namespace {

TEST(PackBitsTest, EncodesRunsOfFourOrMoreAndLiteralGroups) {
    struct Case { const char* what; std::vector<uint8_t> row; std::vector<uint8_t> coded; };
    const Case cases[] = {
        {"short repeats stay literal", {1, 1, 1, 2}, {3, 1, 1, 1, 2}},
        {"run of four", {5, 5, 5, 5}, {0xFD, 5}},
        {"literal then run", {1, 2, 7, 7, 7, 7, 7}, {1, 1, 2, 0xFC, 7}},
        {"run of 130 splits", std::vector<uint8_t>(130, 9), {0x81, 9, 1, 9, 9}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out;
        PackBitsEncodeRow(c.row, out);
        EXPECT_EQ(out, c.coded);
    }
    // 129 different bytes: one group of 128 and one of 1.
    std::vector<uint8_t> row(129);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> out;
    PackBitsEncodeRow(row, out);
    ASSERT_EQ(out.size(), 131u);
    EXPECT_EQ(out[0], 127);
    EXPECT_EQ(out[129], 0);
}

TEST(PackBitsTest, DecodesRowsAndStopsAtTheirEnds) {
    // no-op, literal of 2, run of 3, then a run that overflows the row of 8.
    const std::vector<uint8_t> src = {0x80, 1, 10, 11, 0xFE, 4, 0xFB, 6, 0x00, 99};
    size_t pos = 0;
    std::vector<uint8_t> row(8);
    EXPECT_EQ(PackBitsDecodeRow(src, pos, row), 8u);
    EXPECT_EQ(row, (std::vector<uint8_t>{10, 11, 4, 4, 4, 6, 6, 6}));
    EXPECT_EQ(pos, 8u);
    std::vector<uint8_t> next(3, 0);
    EXPECT_EQ(PackBitsDecodeRow(src, pos, next), 1u);
    EXPECT_EQ(next[0], 99);
    // Truncated input: a literal cut short, a run without its byte.
    for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{5, 1, 2}, std::vector<uint8_t>{0xF0}}) {
        pos = 0;
        std::vector<uint8_t> r(16);
        EXPECT_LT(PackBitsDecodeRow(bad, pos, r), 16u);
        EXPECT_LE(pos, bad.size() + 5);
    }
}

TEST(PackBitsTest, RoundTripsRandomRows) {
    std::mt19937 rng(5);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> row(rng() % 700);
        for (size_t i = 0; i < row.size(); ++i) row[i] = (rng() % 3 == 0) ? static_cast<uint8_t>(rng()) : (i ? row[i - 1] : 0);
        std::vector<uint8_t> coded;
        PackBitsEncodeRow(row, coded);
        size_t pos = 0;
        std::vector<uint8_t> back(row.size());
        EXPECT_EQ(PackBitsDecodeRow(coded, pos, back), row.size());
        EXPECT_EQ(pos, coded.size());
        EXPECT_EQ(back, row);
    }
}

}  // namespace
}  // namespace luma
