#include "imaging/image_proc.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/surface.h"

namespace luma {
namespace {

TEST(ImageProcFrame, ProgressRule) {
    EXPECT_EQ(TImageProc::ProgressPercent(1, 10), 9);
    EXPECT_EQ(TImageProc::ProgressPercent(10, 10), 95);
    EXPECT_EQ(TImageProc::ProgressPercent(200, 200), 99);
    EXPECT_EQ(TImageProc::ProgressPercent(0, 5), 0);
}

TEST(ImageProcFrame, BeginRejectsEmptyImagesAndOtherKinds) {
    TImageBuffer image;
    TImageProc proc(&image);
    EXPECT_EQ(proc.Begin(TImageProc::AnyKind), nullptr);
    image.Allocate(3, 3, pk8Gray);
    EXPECT_EQ(proc.Begin(TImageProc::KindBit(pk24RGB)), nullptr);
    EXPECT_EQ(proc.Begin(TImageProc::AnyKind), &image);
    TImageProc detached;
    EXPECT_EQ(detached.Begin(TImageProc::AnyKind), nullptr);
}

TEST(ImageProcConvertTo24Bit, ExpandsOneBitImages) {
    TImageBuffer image;
    image.Allocate(19, 10, pk1Bit);
    image.Fill(0);
    image.ScanLine(0)[0] = 0xA0;   // pixels 0 and 2 white
    image.ScanLine(9)[2] = 0x20;   // pixel 18 white
    TImageProc proc(&image);
    std::vector<int32_t> progress;
    int changed = 0;
    proc.OnProgress = [&](int32_t p) { progress.push_back(p); };
    proc.SetOnChanged([&] { ++changed; });
    proc.ConvertTo24Bit();
    ASSERT_EQ(image.PixelKind(), pk24RGB);
    EXPECT_EQ(image.Width(), 19);
    EXPECT_EQ(image.PixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(image.PixelRGB(1, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(image.PixelRGB(2, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(image.PixelRGB(18, 9), (TRGB{255, 255, 255}));
    EXPECT_EQ(image.PixelRGB(17, 9), (TRGB{0, 0, 0}));
    EXPECT_EQ(changed, 1);
    ASSERT_EQ(progress.size(), 10u);
    EXPECT_EQ(progress.front(), 9);
    EXPECT_EQ(progress.back(), 95);

    // Any other kind is left alone, without a change notice.
    TImageBuffer gray;
    gray.Allocate(2, 2, pk8Gray);
    gray.Fill(7);
    proc.AttachImage(&gray);
    proc.ConvertTo24Bit();
    EXPECT_EQ(gray.PixelKind(), pk8Gray);
    EXPECT_EQ(changed, 1);
}

TEST(ImageProcConvertTo24Bit, KeepsTheImageInItsSurface) {
    TSurface surface(9, 2, sf1Bit);
    TImageBuffer image;
    image.WrapSurface(surface, true);
    image.Fill(1);
    TImageProc proc(&image);
    proc.ConvertTo24Bit();
    EXPECT_EQ(surface.Format(), sf24Bit);
    EXPECT_EQ(surface.Pixel(8, 1), clWhite);
    EXPECT_TRUE(image.SurfaceBorrowed());
}

TEST(ImageProcExpand, TableMatchesBits) {
    const uint8_t row[2] = {0x5A, 0x80};
    uint8_t out[9 * 3] = {};
    Expand1BitRowTo24(row, out, 9);
    const bool want[9] = {false, true, false, true, true, false, true, false, true};
    for (int i = 0; i < 9; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out[3 * i + c], want[i] ? 255 : 0) << i;
    }
}

}  // namespace
}  // namespace luma
