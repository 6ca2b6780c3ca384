#include "batch/watermark.h"

#include <gtest/gtest.h>

#include "batch/first_image.h"
#include "batch/image_pipeline.h"
#include "batch_test_support.h"
#include "imaging/canvas.h"
#include "support/test_support.h"

namespace luma {
namespace {

struct PositionCase {
    int position, W, H, w, h, x, y;
};

class WatermarkPositionTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(WatermarkPositionTest, PlacesTheMarkByTheTable) {
    const PositionCase c = GetParam();
    EXPECT_EQ(WatermarkPosition(c.position, c.W, c.H, c.w, c.h), (TPoint{c.x, c.y}));
}

INSTANTIATE_TEST_SUITE_P(Table, WatermarkPositionTest,
                         ::testing::Values(PositionCase{6, 640, 480, 100, 20, 540, 460},
                                           PositionCase{3, 640, 480, 100, 20, 270, 230},
                                           PositionCase{1, 640, 480, 101, 20, 270, 0},
                                           PositionCase{0, 640, 480, 100, 20, 0, 0},
                                           PositionCase{4, 640, 480, 100, 20, 0, 460},
                                           PositionCase{5, 640, 480, 100, 20, 270, 460},
                                           PositionCase{2, 640, 480, 100, 20, 540, 0},
                                           PositionCase{6, 150, 150, 200, 200, -50, -50},
                                           PositionCase{9, 640, 480, 100, 20, 0, 0}));

TRGB Pixel(TImageComponent& image, int x, int y) { return image.ImageBuffer().PixelRGB(x, y); }

class ImageWatermarkTest : public ::testing::Test {
protected:
    void SetUp() override {
        image_.ImageBuffer().Allocate(150, 150, pk24RGB);
        image_.ImageBuffer().Fill(0x00FF00);  // green
    }
    test::TempDir dir_;
    TImageComponent image_;
    TImageComponent mark_;
    TImgSettings s_;
    std::vector<std::string> log_;
    TLogLine logger_ = [this](const std::string& line) { log_.push_back(line); };
};

TEST_F(ImageWatermarkTest, OversizedMarkIsClippedAtBottomRight) {
    s_.WatermarkImage = (dir_ / "mark.bmp").string();
    test::WriteSolidImage(s_.WatermarkImage, 200, 200, 0x0000FF);
    s_.ImagePosition = 6;
    DrawImageWatermark(image_.Bitmap(), mark_, s_, logger_);
    EXPECT_EQ(Pixel(image_, 0, 0), ToRGB(0x0000FF));
    EXPECT_EQ(Pixel(image_, 149, 149), ToRGB(0x0000FF));
    EXPECT_TRUE(log_.empty());
}

TEST_F(ImageWatermarkTest, MissingFileLogsTwoLinesAndDrawsNothing) {
    s_.WatermarkImage = (dir_ / "nothing.png").string();
    DrawImageWatermark(image_.Bitmap(), mark_, s_, logger_);
    EXPECT_EQ(log_, (std::vector<std::string>{"Watermark Image NOT FOUND:", s_.WatermarkImage}));
    EXPECT_EQ(Pixel(image_, 0, 0), ToRGB(0x00FF00));
}

TEST_F(ImageWatermarkTest, GifTransparentColourShowsTheImageThrough) {
    // A 2 x 1 mark: red and white, white marked transparent in the GIF.
    TImageComponent source;
    source.ImageBuffer().Allocate(2, 1, pk24RGB);
    source.ImageBuffer().Fill(0xFFFFFF);
    uint8_t* row = source.ImageBuffer().ScanLine(0);
    row[0] = 0; row[1] = 0; row[2] = 255;
    source.Params().GifHasTransparentColor = true;
    source.Params().GifTransparentColor = ToRGB(0xFFFFFF);
    s_.WatermarkImage = (dir_ / "MARK.GIF").string();
    source.SaveAsGIF(s_.WatermarkImage);

    s_.ImagePosition = 0;
    DrawImageWatermark(image_.Bitmap(), mark_, s_, logger_);
    EXPECT_EQ(Pixel(image_, 0, 0), ToRGB(0x0000FF));
    EXPECT_EQ(Pixel(image_, 1, 0), ToRGB(0x00FF00)) << "transparent pixel leaves the image visible";
}

TEST(TextWatermarkTest, TextIsDrawnAfterTheColourReductionAndUnderTheImage) {
    test::TempDir dir;
    TImageComponent image, mark;
    image.ImageBuffer().Allocate(200, 100, pk24RGB);
    image.ImageBuffer().Fill(0xFFFFFF);
    TImgSettings s;
    s.ImgResize = scNoResize;
    s.ImgColors = ccBWOrdered;
    s.UseTextWatermark = true;
    s.WatermarkText = "WWWW";
    s.TextFontColor = 0x0000FF;  // red
    s.TextFontSize = 20;
    s.TextPosition = 4;
    ApplyColorDepth(image, s);
    ASSERT_EQ(image.ImageBuffer().PixelKind(), pk1Bit);
    ApplyWatermarks(image, mark, s, [](const std::string&) {});
    int black = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) black += Pixel(image, x, y).r == 0;
    }
    EXPECT_GT(black, 20) << "red text on a 1-bit image takes the nearest palette entry";

    // The image watermark at the same corner covers the text.
    s.UseImageWatermark = true;
    s.ImagePosition = 4;
    s.WatermarkImage = (dir / "w.bmp").string();
    TImageComponent full;
    full.ImageBuffer().Allocate(200, 100, pk1Bit);
    full.ImageBuffer().Fill(1);
    full.SaveAsBMP(s.WatermarkImage);
    ApplyWatermarks(image, mark, s, [](const std::string&) {});
    black = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) black += Pixel(image, x, y).r == 0;
    }
    EXPECT_EQ(black, 0);
}

TEST(FirstImageTest, ProcessesWithoutWritingAnyFile) {
    test::TempDir dir;
    const std::string source = (dir / "first.bmp").string();
    test::WriteSolidImage(source, 1600, 1200, 0x808080);
    TImgSettings s;
    s.ImgResize = scSmall;
    TImageComponent work, mark;
    ProcessFirstImage(s, source, work, mark, [](const std::string&) {});
    EXPECT_EQ(work.ImageBuffer().Width(), 640);
    EXPECT_EQ(work.ImageBuffer().Height(), 480);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace luma
