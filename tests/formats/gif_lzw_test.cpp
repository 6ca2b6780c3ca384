#include "formats/gif_lzw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace luma {
namespace {

std::vector<uint8_t> Pattern(int32_t width, int32_t height, int bits, uint32_t seed, bool noisy) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(static_cast<size_t>(width) * static_cast<size_t>(height));
    const uint32_t mask = (1u << bits) - 1;
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = static_cast<uint8_t>(noisy ? rng() & mask : ((i / 7) ^ (i % 13)) & mask);
    }
    return v;
}

// Follows the code stream the way a decoder does and records what the encoder did.
struct CodeTrace {
    int maxWidth = 0;
    int clearsAfterStart = 0;
    bool clearsWhereExpected = true;
    bool endSeen = false;
};

CodeTrace TraceCodes(const std::vector<uint8_t>& encoded) {
    CodeTrace trace;
    const int s = encoded[0];
    std::vector<uint8_t> codes;
    GifCollectSubBlocks(encoded, 1, codes);
    const uint32_t clear = 1u << s;
    int width = s + 1;
    uint32_t next = clear + 2;
    bool havePrev = false;
    int codesSinceFull = -1;
    size_t bit = 0;
    const size_t totalBits = codes.size() * 8;
    bool firstCode = true;
    while (bit + static_cast<size_t>(width) <= totalBits) {
        uint32_t code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= ((codes[bit / 8] >> (bit % 8)) & 1u) << i;
        trace.maxWidth = std::max(trace.maxWidth, width);
        if (code == clear) {
            if (!firstCode) {
                ++trace.clearsAfterStart;
                // The code that fills the table (its entry is number 4095) is followed directly by
                // the clear code: the encoder never sends a code that would need entry 4096.
                if (codesSinceFull != 0) trace.clearsWhereExpected = false;
            }
            firstCode = false;
            width = s + 1;
            next = clear + 2;
            havePrev = false;
            codesSinceFull = -1;
            continue;
        }
        firstCode = false;
        if (code == clear + 1) {
            trace.endSeen = true;
            break;
        }
        if (codesSinceFull >= 0) ++codesSinceFull;
        if (havePrev && next < 4096) {
            ++next;
            if (next == 4096) codesSinceFull = 0;
        }
        havePrev = true;
        if (next == (1u << width) && width < 12) ++width;
    }
    return trace;
}

TEST(GifLzwTest, RoundTripsEveryDepthAndInterlace) {
    struct Case { int32_t w, h; int bits; bool noisy; };
    const Case cases[] = {{1, 1, 1, false}, {9, 3, 1, true}, {17, 11, 2, true}, {31, 29, 4, false},
                          {64, 64, 4, true}, {300, 200, 8, true}, {333, 77, 8, false}, {5, 40, 3, true}};
    for (const Case& c : cases) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " bits " << c.bits << " interlaced " << interlaced);
            const std::vector<uint8_t> pixels = Pattern(c.w, c.h, c.bits, 42, c.noisy);
            std::vector<uint8_t> encoded;
            GifLzwEncode(pixels.data(), c.w, c.h, c.bits, interlaced, encoded);
            EXPECT_EQ(encoded[0], std::max(c.bits, 2));
            encoded.push_back(0x3B);  // whatever follows the data stays unread
            std::vector<uint8_t> decoded(pixels.size(), 0xEE);
            const TGifLzwDecodeResult r = GifLzwDecode(encoded, c.w, c.h, interlaced, decoded.data());
            ASSERT_TRUE(r.ok);
            EXPECT_EQ(r.consumed, encoded.size() - 1);
            EXPECT_EQ(decoded, pixels);
        }
    }
}

TEST(GifLzwTest, FullTableSendsClearAfterCode4095AndNeverWidensPast12Bits) {
    const std::vector<uint8_t> pixels = Pattern(512, 512, 8, 7, true);
    std::vector<uint8_t> encoded;
    GifLzwEncode(pixels.data(), 512, 512, 8, false, encoded);
    const CodeTrace trace = TraceCodes(encoded);
    EXPECT_TRUE(trace.endSeen);
    EXPECT_EQ(trace.maxWidth, 12);
    EXPECT_GT(trace.clearsAfterStart, 10);
    EXPECT_TRUE(trace.clearsWhereExpected);
}

TEST(GifLzwTest, WritesSubBlocksOf254Bytes) {
    const std::vector<uint8_t> pixels = Pattern(200, 100, 8, 3, true);
    std::vector<uint8_t> encoded;
    GifLzwEncode(pixels.data(), 200, 100, 8, false, encoded);
    size_t pos = 1;
    std::vector<size_t> sizes;
    while (encoded[pos] != 0) {
        sizes.push_back(encoded[pos]);
        pos += encoded[pos] + 1u;
    }
    EXPECT_EQ(pos + 1, encoded.size());
    ASSERT_GT(sizes.size(), 2u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 254u);
    EXPECT_LE(sizes.back(), 254u);
}

TEST(GifLzwTest, DecodesHandMadeStreams) {
    // Code size 2: clear, 1, 6 (the code being defined: "1" + "1"), end -> 1 1 1.
    const std::vector<uint8_t> kwkwk = {2, 2, 0x8C, 0x0B, 0};
    std::vector<uint8_t> out(3, 9);
    TGifLzwDecodeResult r = GifLzwDecode(kwkwk, 3, 1, false, out.data());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.consumed, 5u);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 1, 1}));

    // Too short data leaves the rest of the buffer as it was; no terminator is fine too.
    std::vector<uint8_t> partial(5, 9);
    r = GifLzwDecode(std::vector<uint8_t>{2, 2, 0x8C, 0x0B}, 5, 1, false, partial.data());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.consumed, 4u);
    EXPECT_EQ(partial, (std::vector<uint8_t>{1, 1, 1, 9, 9}));

    // A first code beyond the table counts as 0: clear, 7, end.
    out.assign(1, 9);
    const uint32_t bits = 4 | (7u << 3) | (5u << 6);
    r = GifLzwDecode(std::vector<uint8_t>{2, 2, static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), 0}, 1, 1,
                     false, out.data());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(out[0], 0);
}

TEST(GifLzwTest, RejectsUnusableData) {
    std::vector<uint8_t> out(16, 0);
    struct Case { const char* what; std::vector<uint8_t> data; };
    // clear, 1, then 7 (beyond next free code 6).
    const uint32_t beyond = 4 | (1u << 3) | (7u << 6);
    // clear, end, with more data behind.
    const uint32_t clearEnd = 4 | (5u << 3);
    const Case cases[] = {
        {"code size 1", {1, 1, 0x00, 0}},
        {"code size 10", {10, 1, 0x00, 0}},
        {"empty", {}},
        {"code beyond table", {2, 2, static_cast<uint8_t>(beyond), static_cast<uint8_t>(beyond >> 8), 0}},
        {"clear then end with data left", {2, 3, static_cast<uint8_t>(clearEnd), 0x55, 0x55, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(GifLzwDecode(c.data, 4, 4, false, out.data()).ok);
    }
    // No data sub-blocks at all is not an error: nothing is decoded.
    const TGifLzwDecodeResult r = GifLzwDecode(std::vector<uint8_t>{2, 0}, 4, 4, false, out.data());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.consumed, 2u);
}

TEST(GifLzwTest, SurvivesRandomGarbage) {
    std::mt19937 rng(11);
    std::vector<uint8_t> out(40 * 30);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> data(rng() % 600);
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        if (!data.empty()) data[0] = static_cast<uint8_t>(2 + rng() % 8);
        const TGifLzwDecodeResult r = GifLzwDecode(data, 40, 30, round % 2 == 0, out.data());
        EXPECT_LE(r.consumed, data.size());
    }
}

}  // namespace
}  // namespace luma
