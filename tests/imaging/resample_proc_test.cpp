// TImageProc::Resample: target size rules, kinds of the result and the alpha plane.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "imaging/plane_mask.h"
#include "imaging/resample.h"

namespace luma {
namespace {

void FillGradient(TImageBuffer& image) {
    for (int32_t y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < image.RowLen(); ++x) row[x] = static_cast<uint8_t>(x * 7 + y * 3);
    }
}

TEST(ResampleProc, TargetSizeRules) {
    struct Case {
        int32_t w;
        int32_t h;
        int32_t expectW;
        int32_t expectH;
    };
    const Case cases[] = {
        {-1, 300, 400, 300}, {400, -1, 400, 300}, {0, 300, 800, 300}, {-5, 7, 5, 7},
        {-5, -7, 800, 600},  {-1, 0, 1, 600},     {0, 0, 800, 600},   {-1, -1, 800, 600},
        {3, -1, 3, 2},       {1, -1, 1, 1},
    };
    for (const Case& c : cases) {
        TImageBuffer image;
        image.Allocate(800, 600, pk24RGB);
        FillGradient(image);
        int changes = 0;
        TImageProc proc(&image);
        proc.SetOnChanged([&] { ++changes; });
        proc.Resample(c.w, c.h, rfNone);
        EXPECT_EQ(image.Width(), c.expectW) << c.w << "," << c.h;
        EXPECT_EQ(image.Height(), c.expectH) << c.w << "," << c.h;
        EXPECT_EQ(changes, (c.w < 0 && c.h < 0) ? 0 : 1) << c.w << "," << c.h;
    }
}

TEST(ResampleProc, EmptyImageOrUnknownFilterIsLeftAlone) {
    TImageBuffer image;
    TImageProc proc(&image);
    int changes = 0;
    proc.SetOnChanged([&] { ++changes; });
    proc.Resample(10, 10, rfBell);
    EXPECT_TRUE(image.Empty());

    image.Allocate(6, 4, pk24RGB);
    FillGradient(image);
    proc.Resample(10, 10, static_cast<TResampleFilter>(12));
    EXPECT_EQ(image.Width(), 6);
    EXPECT_EQ(image.ScanLine(1)[5], uint8_t(5 * 7 + 3));
    EXPECT_EQ(changes, 0);
}

TEST(ResampleProc, KindOfTheResult) {
    struct Case {
        TPixelKind kind;
        TResampleFilter filter;
        TPixelKind result;
    };
    const Case cases[] = {
        {pk1Bit, rfTriangle, pk24RGB}, {pk1Bit, rfNone, pk1Bit},       {pk1Bit, rfFastLinear, pk24RGB},
        {pk24RGB, rfBell, pk24RGB},    {pk8Gray, rfNone, pk8Gray},     {pk8Gray, rfLanczos3, pk24RGB},
        {pk16Gray, rfNone, pk16Gray},  {pk8Palette, rfNone, pk8Palette},
    };
    for (const Case& c : cases) {
        TImageBuffer image;
        image.Allocate(33, 21, c.kind);
        FillGradient(image);
        TImageProc proc(&image);
        proc.Resample(17, 40, c.filter);
        EXPECT_EQ(image.PixelKind(), c.result) << int(c.kind) << " with " << int(c.filter);
        EXPECT_EQ(image.Width(), 17);
        EXPECT_EQ(image.Height(), 40);
    }
}

TEST(ResampleProc, ResultMatchesTheScaler) {
    TImageBuffer image;
    image.Allocate(50, 40, pk24RGB);
    FillGradient(image);
    TImageBuffer expected;
    expected.Allocate(23, 61, pk24RGB);
    ScaleFiltered(image, expected, rfMitchell);
    TImageProc proc(&image);
    std::vector<int32_t> progress;
    proc.OnProgress = [&](int32_t p) { progress.push_back(p); };
    proc.Resample(23, 61, rfMitchell);
    ASSERT_EQ(image.Width(), 23);
    for (int32_t y = 0; y < 61; ++y) {
        ASSERT_TRUE(std::equal(expected.ScanLine(y), expected.ScanLine(y) + 23 * 3, image.ScanLine(y))) << y;
    }
    EXPECT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

// The alpha plane follows the image: same filter, or the fast linear scaler for rfNone.
TEST(ResampleProc, AlphaPlaneIsScaledAlong) {
    for (TPixelStorage storage : {psMemory, psTempFile, psSurface}) {
        for (TResampleFilter filter : {rfNone, rfBell}) {
            SCOPED_TRACE(testing::Message() << "storage " << int(storage) << ", filter " << int(filter));
            TImageBuffer image;
            image.SetStorage(storage);
            // A tiny threshold keeps temp-file images (and the scratch buffer) in files.
            if (storage == psTempFile) image.SetTempFileThreshold(1);
            image.Allocate(4, 3, pk24RGB);
            ASSERT_EQ(image.Storage(), storage);
            FillGradient(image);
            TImageBuffer& alpha = image.AlphaChannel();
            for (int32_t y = 0; y < 3; ++y) {
                for (int32_t x = 0; x < 4; ++x) alpha.ScanLine(y)[x] = static_cast<uint8_t>(x * 85);
            }
            TPlaneMask before;
            before.CopyFrom(alpha);
            TPlaneMask expected(8, 6, 8);
            ScalePlaneFiltered(before, expected, filter == rfNone ? rfFastLinear : filter);

            TImageProc proc(&image);
            proc.Resample(8, 6, filter);
            ASSERT_TRUE(image.HasAlphaChannel());
            const TImageBuffer& plane = *image.AlphaPlane();
            ASSERT_EQ(plane.Width(), 8);
            ASSERT_EQ(plane.Height(), 6);
            for (int32_t y = 0; y < 6; ++y) {
                EXPECT_TRUE(std::equal(expected.Row(y), expected.Row(y) + 8, plane.ScanLine(y))) << y;
            }
            // Smooth, not replicated: the fast linear scaler interpolates between 0 and 85.
            if (filter == rfNone) {
                EXPECT_EQ(plane.ScanLine(0)[1], 42);
            }
        }
    }
}

TEST(ResampleProc, NoAlphaPlaneAppears) {
    TImageBuffer image;
    image.Allocate(10, 10, pk24RGB);
    FillGradient(image);
    TImageProc proc(&image);
    proc.Resample(5, 5, rfBell);
    EXPECT_FALSE(image.HasAlphaChannel());
}

}  // namespace
}  // namespace luma
