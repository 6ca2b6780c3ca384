#include "util/form_placement.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/test_support.h"
#include "util/ini_file.h"

namespace luma {
namespace {

using test::ReadFileBytes;
using test::TempDir;

constexpr TRect kWorkArea{0, 0, 1280, 1024};
constexpr TFormPlacement kDesigned{10, 20, 640, 480, TWindowState::wsNormal};

TEST(FormPlacement, PlacesStoredRectangleInsideTheWorkArea) {
    using S = TWindowState;
    struct Case {
        const char* name;
        TStoredPlacement stored;
        TRect workArea;
        bool keepState;
        bool keepSize;
        TFormPlacement expected;
    };
    const Case cases[] = {
        {"beyond the right edge", {1500, 100, 2300, 700, 0}, kWorkArea, true, false, {480, 100, 800, 600, S::wsNormal}},
        {"beyond the bottom edge", {100, 900, 500, 1300, 0}, kWorkArea, true, false, {100, 624, 400, 400, S::wsNormal}},
        {"left and above", {-50, -30, 350, 270, 0}, kWorkArea, true, false, {0, 0, 400, 300, S::wsNormal}},
        {"larger than the work area", {-50, -20, 1500, 1200, 0}, kWorkArea, true, false, {0, 0, 1550, 1220, S::wsNormal}},
        {"width of 8 kept", {100, 100, 108, 400, 0}, kWorkArea, true, false, {100, 100, 640, 300, S::wsNormal}},
        {"height of 10 kept", {100, 100, 500, 110, 0}, kWorkArea, true, false, {100, 100, 400, 480, S::wsNormal}},
        {"keepSize", {1500, 100, 2300, 700, 0}, kWorkArea, true, true, {480, 100, 640, 480, S::wsNormal}},
        {"keepState ignores State", {100, 100, 500, 400, 1}, kWorkArea, true, false, {100, 100, 400, 300, S::wsNormal}},
        {"maximized", {100, 100, 500, 400, 1}, kWorkArea, false, false, {100, 100, 400, 300, S::wsMaximized}},
        {"minimized", {100, 100, 500, 400, 2}, kWorkArea, false, false, {100, 100, 400, 300, S::wsMinimized}},
        {"unknown state is normal", {100, 100, 500, 400, 7}, kWorkArea, false, false, {100, 100, 400, 300, S::wsNormal}},
        {"work area with an offset", {50, 10, 450, 310, 0}, {100, 40, 1380, 1064}, true, false, {100, 40, 400, 300, S::wsNormal}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceStoredForm(c.stored, c.workArea, kDesigned, c.keepState, c.keepSize), c.expected) << c.name;
    }
}

TEST(FormPlacement, NothingAppliedWithoutStoredPlacementOrWorkArea) {
    EXPECT_EQ(PlaceStoredForm({-1, 100, 500, 400, 0}, kWorkArea, kDesigned, true, false), std::nullopt);
    EXPECT_EQ(PlaceStoredForm({100, 100, 500, 400, 0}, std::nullopt, kDesigned, true, false), std::nullopt);
}

TEST(FormPlacement, CenterUsesTruncatingDivision) {
    EXPECT_EQ(CenterForm(kWorkArea, 800, 600), (TPoint{240, 212}));
    EXPECT_EQ(CenterForm(kWorkArea, 1301, 1027), (TPoint{-10, -1}));  // -10.5 and -1.5 cut toward zero
    EXPECT_EQ(CenterForm(std::nullopt, 800, 600), std::nullopt);
}

TEST(FormPlacement, MaximizedWindowIsSavedAndRestoredAtItsNormalRectangle) {
    TempDir dir;
    const std::string ini = (dir / "forminfo.ini").string();
    // No file yet: nothing to restore, so the window is centred at its designed size.
    EXPECT_EQ(RestoreFormPlacement(ini, "frmBatch", kWorkArea, kDesigned, true, false), std::nullopt);

    ASSERT_TRUE(SaveFormPlacement(ini, "frmBatch", {30, 40, 700, 500, TWindowState::wsMaximized}));
    EXPECT_EQ(ReadFileBytes(ini), "[frmBatchPosition]\nState=1\nTop=40\nLeft=30\nRight=730\nBottom=540\n");

    EXPECT_EQ(RestoreFormPlacement(ini, "frmBatch", kWorkArea, kDesigned, true, false),
              (TFormPlacement{30, 40, 700, 500, TWindowState::wsNormal}));
    EXPECT_EQ(RestoreFormPlacement(ini, "frmBatch", kWorkArea, kDesigned, false, false),
              (TFormPlacement{30, 40, 700, 500, TWindowState::wsMaximized}));
    EXPECT_EQ(RestoreFormPlacement(ini, "frmOther", kWorkArea, kDesigned, true, false), std::nullopt);
}

TEST(FormPlacement, PlacementFileLivesInTheSettingsFolder) {
    const std::string file = FormInfoFile();
    EXPECT_EQ(file.substr(file.rfind('/')), "/forminfo.ini");
    EXPECT_EQ(FormPlacementSection("frmBatch"), "frmBatchPosition");
}

}  // namespace
}  // namespace luma
