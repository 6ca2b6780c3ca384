// TImageComponent: the image lives in the component's own surface; loads, saves and processing
// go through IO and Proc; Assign copies parameters and image.

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/image_component.h"
#include "support/test_support.h"

namespace luma {
namespace {

namespace fs = std::filesystem;

TEST(ImageComponent, FreshComponent) {
    TImageComponent c;
    EXPECT_EQ(c.Params().JpegQuality, 80);
    EXPECT_EQ(&c.Params(), &c.IO().Params());
    EXPECT_EQ(c.ImageBuffer().Storage(), psSurface);
    EXPECT_TRUE(c.ImageBuffer().SurfaceBorrowed());
    EXPECT_EQ(c.ImageBuffer().Surface(), &c.Bitmap());
    EXPECT_EQ(c.Background(), clBtnFace);
    EXPECT_EQ(c.IO().Background(), clBtnFace);
    EXPECT_EQ(c.Proc().AttachedBuffer(), &c.ImageBuffer());
}

TEST(ImageComponent, LoadFillsTheSurfaceAndNotifies) {
    TImageComponent c;
    int changes = 0;
    c.OnImageChange = [&] { ++changes; };
    c.LoadImageFile((test::TestDataDir() / "bmp" / "rgb24.bmp").string());
    ASSERT_FALSE(c.IO().Aborting);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(c.Bitmap().Width(), 127);
    EXPECT_EQ(c.Bitmap().Height(), 64);
    EXPECT_EQ(c.Bitmap().Format(), sf24Bit);
    // The buffer's rows are the surface's rows.
    EXPECT_EQ(c.ImageBuffer().ScanLine(10), c.Bitmap().Row(10));
    EXPECT_EQ(c.DpiX(), c.Params().DpiX);

    // A 1-bit file re-formats the surface.
    c.LoadImageFile((test::TestDataDir() / "bmp" / "pal1.bmp").string());
    ASSERT_FALSE(c.IO().Aborting);
    EXPECT_EQ(c.ImageBuffer().PixelKind(), pk1Bit);
    EXPECT_EQ(c.Bitmap().Format(), sf1Bit);

    // Reading a PNG does not change the component's background.
    c.LoadImageFile((test::TestDataDir() / "png" / "bgan6a08.png").string());
    EXPECT_EQ(c.Background(), clBtnFace);
}

TEST(ImageComponent, ProcessingForwardsToProc) {
    TImageComponent c;
    c.ImageBuffer().Allocate(800, 600, pk24RGB);
    c.ImageBuffer().Fill(0x808080);
    int changes = 0;
    c.OnImageChange = [&] { ++changes; };
    c.Resample(-1, 300, rfTriangle);
    EXPECT_EQ(c.ImageBuffer().Width(), 400);
    EXPECT_EQ(c.ImageBuffer().Height(), 300);
    EXPECT_EQ(c.Bitmap().Width(), 400);
    EXPECT_GE(changes, 1);

    c.ImageBuffer().Allocate(16, 2, pk1Bit);
    c.ImageBuffer().Fill(1);
    c.ConvertTo24Bit();
    EXPECT_EQ(c.ImageBuffer().PixelKind(), pk24RGB);
    EXPECT_TRUE(c.ImageBuffer().PixelRGB(3, 1) == (TRGB{255, 255, 255}));

    c.ImageBuffer().Allocate(64, 48, pk24RGB);
    c.ImageBuffer().Fill(0);
    c.Rotate(90, false, 0, clWhite);
    EXPECT_EQ(c.ImageBuffer().Width(), 48);
    EXPECT_EQ(c.ImageBuffer().Height(), 64);
}

TEST(ImageComponent, SaveConvertsTheComponentsOwnImage) {
    test::TempDir tmp;
    TImageComponent c;
    c.ImageBuffer().Allocate(8, 8, pk8Gray);
    c.ImageBuffer().Fill(77);
    c.SaveAsJPEG((tmp / "gray.jpg").string());
    ASSERT_FALSE(c.IO().Aborting);
    EXPECT_EQ(c.ImageBuffer().PixelKind(), pk24RGB);
    EXPECT_TRUE(fs::exists(tmp / "gray.jpg"));
}

TEST(ImageComponent, AssignCopiesParametersAndImage) {
    TImageComponent a, b;
    a.LoadImageFile((test::TestDataDir() / "png" / "basn6a08.png").string());
    ASSERT_FALSE(a.IO().Aborting);
    a.Params().JpegQuality = 33;
    b.ImageBuffer().Allocate(3, 3, pk24RGB);
    b.ImageBuffer().Fill(0);
    b.Assign(a);
    EXPECT_EQ(b.Params().JpegQuality, 33);
    EXPECT_EQ(b.Params().FileType, ftPNG);
    ASSERT_EQ(b.ImageBuffer().Width(), a.ImageBuffer().Width());
    EXPECT_TRUE(b.ImageBuffer().PixelRGB(5, 7) == a.ImageBuffer().PixelRGB(5, 7));
    EXPECT_TRUE(b.ImageBuffer().HasAlphaChannel());
    EXPECT_EQ(b.ImageBuffer().Surface(), &b.Bitmap());

    // Parameters only, from an I/O object.
    TImageIO io;
    io.Params().JpegQuality = 12;
    b.Assign(io);
    EXPECT_EQ(b.Params().JpegQuality, 12);
    EXPECT_EQ(b.ImageBuffer().Width(), a.ImageBuffer().Width());
}

}  // namespace
}  // namespace luma
