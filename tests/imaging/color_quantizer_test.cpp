// TColorQuantizer: path choice, the palettes of each path and the colour-to-index mapping,
// over plain 24-bit rows.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "imaging/box_split.h"
#include "imaging/color_quantizer.h"
#include "imaging/neuquant.h"

namespace luma {
namespace {

// A 24-bit image in plain memory, rows top first, each padded to four bytes.
struct TRgbImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> bytes;

    TRgbImage(int32_t w, int32_t h)
        : width(w), height(h), stride((w * 3 + 3) / 4 * 4),
          bytes(static_cast<size_t>(stride) * static_cast<size_t>(h), 0) {}
    uint8_t* Pixel(int32_t x, int32_t y) {
        return &bytes[static_cast<size_t>(y) * static_cast<size_t>(stride) +
                      static_cast<size_t>(x) * 3];
    }
    void Set(int32_t x, int32_t y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = Pixel(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    TRgbRows Rows() const { return TRgbRows(bytes.data(), stride, width, height); }
};

// Smooth gradients with a little deterministic noise: thousands of colours.
TRgbImage PhotoLike(int32_t w, int32_t h) {
    TRgbImage image(w, h);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 9) - 4;
            auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
            image.Set(x, y, clamp(x * 255 / w + noise), clamp(y * 255 / h - noise),
                      clamp((x + y) * 127 / (w + h) + 64 + noise));
        }
    }
    return image;
}

// Exactly `count` distinct colours, each appearing in order, repeated over the image.
TRgbImage DistinctColors(int32_t w, int32_t h, int32_t count) {
    TRgbImage image(w, h);
    int32_t k = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x, k = (k + 1) % count) {
            image.Set(x, y, static_cast<uint8_t>(k * 7), static_cast<uint8_t>(k / 3),
                      static_cast<uint8_t>(255 - k % 251));
        }
    }
    return image;
}

std::string Hex(const std::vector<TRGB>& palette) {
    std::string out;
    char buf[8];
    for (const TRGB& c : palette) {
        std::snprintf(buf, sizeof buf, "%02x%02x%02x", c.b, c.g, c.r);
        out += buf;
    }
    return out;
}

// Every pixel's IndexRow answer equals its ColorIndex answer.
void ExpectRowsMatchColorIndex(TColorQuantizer& q, const TRgbImage& image) {
    std::vector<int32_t> indices(static_cast<size_t>(image.width));
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.Rows().Row(y);
        q.IndexRow(row, image.width, indices.data());
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = row + x * 3;
            ASSERT_EQ(indices[static_cast<size_t>(x)], q.ColorIndex(p[0], p[1], p[2]))
                << "pixel " << x << "," << y;
        }
    }
}

TEST(ColorQuantizer, GrayImageWith256UsesTheRamp) {
    TRgbImage image(17, 5);
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 17; ++x) {
            const auto v = static_cast<uint8_t>(x * 15 + y);
            image.Set(x, y, v, v, v);
        }
    }
    std::vector<TRGB> palette(256);
    TColorQuantizer q(image.Rows(), 256, palette.data());
    EXPECT_EQ(q.Path(), TColorQuantizer::qpGray);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        ASSERT_EQ(palette[static_cast<size_t>(i)], (TRGB{v, v, v}));
    }
    // The index is the red byte, whatever the other channels say.
    EXPECT_EQ(q.ColorIndex(1, 2, 200), 200);

    // The same image with 255 colours goes the exact way (85 levels).
    std::vector<TRGB> small(255);
    TColorQuantizer exact(image.Rows(), 255, small.data());
    EXPECT_EQ(exact.Path(), TColorQuantizer::qpExact);
}

TEST(ColorQuantizer, ExactColoursInFirstAppearanceOrder) {
    const TRgbImage image = DistinctColors(37, 23, 200);
    std::vector<TRGB> palette(256, TRGB{1, 2, 3});
    TColorQuantizer q(image.Rows(), 256, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpExact);
    EXPECT_EQ(q.PaletteCount(), 200);
    for (int32_t k = 0; k < 200; ++k) {
        const TRGB expected{static_cast<uint8_t>(k * 7), static_cast<uint8_t>(k / 3),
                            static_cast<uint8_t>(255 - k % 251)};
        ASSERT_EQ(palette[static_cast<size_t>(k)], expected) << k;
        ASSERT_EQ(q.ColorIndex(expected), k);
    }
    EXPECT_EQ(palette[200], (TRGB{1, 2, 3}));  // entries past the list are left alone
    EXPECT_EQ(q.ColorIndex(1, 2, 3), -1);      // a colour the image does not hold
    ExpectRowsMatchColorIndex(q, image);
}

TEST(ColorQuantizer, PathBoundaries) {
    struct TCase {
        int32_t distinct;
        int32_t colors;
        TColorQuantizer::TPath path;
    };
    const TCase cases[] = {
        {16, 16, TColorQuantizer::qpExact},     // exactly n colours
        {17, 16, TColorQuantizer::qpBoxSplit},  // n + 1 drops the list
        {127, 127, TColorQuantizer::qpExact},
        {200, 127, TColorQuantizer::qpBoxSplit},
        {129, 128, TColorQuantizer::qpNetwork},
        {300, 256, TColorQuantizer::qpNetwork},
        {1000, 1024, TColorQuantizer::qpExact},
    };
    for (const TCase& c : cases) {
        const TRgbImage image = DistinctColors(50, 40, c.distinct);
        std::vector<TRGB> palette(static_cast<size_t>(c.colors));
        TColorQuantizer q(image.Rows(), c.colors, palette.data());
        EXPECT_EQ(q.Path(), c.path) << c.distinct << " colours, n = " << c.colors;
    }
}

TEST(ColorQuantizer, BoxSplitSixteenColours) {
    const TRgbImage image = PhotoLike(120, 90);
    std::vector<TRGB> palette(16);
    TColorQuantizer q(image.Rows(), 16, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpBoxSplit);
    EXPECT_EQ(q.PaletteCount(), 16);
    std::set<uint32_t> distinct;
    for (const TRGB& c : palette) {
        EXPECT_EQ(c.b % 8, 0);
        EXPECT_EQ(c.g % 8, 0);
        EXPECT_EQ(c.r % 8, 0);
        distinct.insert(ToColor(c));
    }
    EXPECT_LE(distinct.size(), 16u);
    ExpectRowsMatchColorIndex(q, image);
    for (int32_t i = 0; i < 16; ++i) {
        // Each box's own mean colour lies inside the box.
        const TRGB& c = palette[static_cast<size_t>(i)];
        EXPECT_EQ(q.ColorIndex(c), i) << i;
    }
}

TEST(ColorQuantizer, BoxSplitStopsWhenNoBoxCanBeCut) {
    // 40 colours that fall into only three histogram cells: three boxes at most.
    TRgbImage image(40, 4);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const auto fine = static_cast<uint8_t>(x % 8);
            const auto cell = static_cast<uint8_t>((x / 8) % 3 * 64);
            image.Set(x, y, static_cast<uint8_t>(cell + fine), static_cast<uint8_t>(cell + (y & 1)),
                      cell);
        }
    }
    std::vector<TRGB> palette(16, TRGB{9, 9, 9});
    TColorQuantizer q(image.Rows(), 16, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpBoxSplit);
    EXPECT_EQ(q.PaletteCount(), 3);
    EXPECT_EQ(palette[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(palette[3], (TRGB{9, 9, 9}));
    std::set<uint32_t> colors(  // the three cell colours, in some order
        {ToColor(palette[0]), ToColor(palette[1]), ToColor(palette[2])});
    EXPECT_EQ(colors, (std::set<uint32_t>{MakeColor(0, 0, 0), MakeColor(64, 64, 64),
                                          MakeColor(128, 128, 128)}));
    ExpectRowsMatchColorIndex(q, image);
}

// Worked out independently of this code from the rules (a scratch model of the histogram,
// box statistics, the split search and the rounded means).
TEST(ColorQuantizer, BoxSplitGoldenPalette) {
    TRgbImage image(40, 30);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            image.Set(x, y, static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 8),
                      static_cast<uint8_t>(x * y * 3));
        }
    }
    std::vector<TRGB> palette(16);
    TColorQuantizer q(image.Rows(), 16, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpBoxSplit);
    EXPECT_EQ(Hex(palette),
              "2828286050d028c830c02830c858d0505080c0c05048803050d0d050c888c058888028285098d0c8c8"
              "d0c0803880c038");
}

TEST(ColorQuantizer, NetworkForThreeHundredColours) {
    const TRgbImage image = DistinctColors(60, 50, 300);
    std::vector<TRGB> palette(256);
    TColorQuantizer q(image.Rows(), 256, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpNetwork);
    EXPECT_EQ(q.PaletteCount(), 256);
    ExpectRowsMatchColorIndex(q, image);
    // The answer of the index search is a real palette entry close to the colour.
    for (int32_t k = 0; k < 300; k += 7) {
        const TRGB c{static_cast<uint8_t>(k * 7), static_cast<uint8_t>(k / 3),
                     static_cast<uint8_t>(255 - k % 251)};
        const int32_t index = q.ColorIndex(c);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 256);
        const TRGB& got = palette[static_cast<size_t>(index)];
        EXPECT_LE(std::abs(got.b - c.b) + std::abs(got.g - c.g) + std::abs(got.r - c.r), 48) << k;
    }
}

TEST(ColorQuantizer, NetworkOnAnImageSmallerThanTheStep) {
    // 300 pixels, all distinct: the prime step (499) is larger than the image.
    const TRgbImage image = DistinctColors(20, 15, 300);
    std::vector<TRGB> palette(256);
    TColorQuantizer q(image.Rows(), 256, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpNetwork);
    ExpectRowsMatchColorIndex(q, image);
}

TEST(ColorQuantizer, SamplingFactor) {
    struct TCase {
        int64_t pixels;
        int32_t quality;
        int32_t factor;
    };
    const TCase cases[] = {
        {1999, -1, 1},       {2000, -1, 2},   {640 * 480, -1, 29}, {1000000, -1, 30},
        {4000 * 3000, -1, 30}, {1, -1, 1},    {100000, 100, 1},    {100000, 0, 30},
        {100000, 50, 15},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TNeuQuant::SamplingFactor(c.pixels, c.quality), c.factor)
            << c.pixels << " pixels, quality " << c.quality;
    }
}

// The palette of a 40 x 30 image (1,200 pixels, every pixel sampled, step 499) with 128 neurons.
// Computed by a separate scratch model written from the learning rules alone; its first two
// samples were also worked through by hand.
TEST(ColorQuantizer, NetworkGoldenPalette) {
    TRgbImage image(40, 30);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            image.Set(x, y, static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 8),
                      static_cast<uint8_t>(x * y * 3));
        }
    }
    std::vector<TRGB> palette(128);
    TColorQuantizer q(image.Rows(), 128, palette.data());
    ASSERT_EQ(q.Path(), TColorQuantizer::qpNetwork);
    EXPECT_EQ(Hex(palette),
              "1206030e11081216141d15221b1f30182838123033103c3a0c4e360752210967251b66212b6723356223"
              "475b1f534c2c5d42215f2c205a22274c112b450c29480e3245154d451d6b511a7e601c846f1880831486"
              "a11e86b81277ca1a76cd125caf14589a164b8f11428f1d348c1e298e1d1f8e1713940b078705019d0a03"
              "c11805cf3713d84a1bdc581bda5b23d86729d17626c97e20af8824997725867923718f1c689928628f35"
              "65834e79725f79746b717d7b567b8743757c3a5c7c3a4a813c45924041b1433bc54545da6047d77a51b7"
              "9046afb546abc332acc638c0c338ceb72dd99b28e7ac38edbd50ec9864eb8b75e7878ee7a197eab999ed"
              "c3abebc4c2e3b8d5d9c1d1bdc6d29dd2cb91d5b798d1a7a7cc92acc287a7c57ba6c0828dc18572cc9765"
              "d09f53c7ac49cabd2cc5cd29b9d02599ce2580d4297bcd407acb6188bf738fbe9088bca17fbbb468d3c3"
              "46d6c635cbdf3aafe0359cdb317acb1a7ba5168f9419b5952bac8930c1702cbd5923bb491faa3a27ba25"
              "24c61414c105");
}

}  // namespace
}  // namespace luma
