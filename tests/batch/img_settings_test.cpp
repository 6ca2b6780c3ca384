#include "batch/img_settings.h"

#include <gtest/gtest.h>

namespace luma {
namespace {

const TDate kDay{2026, 12, 9};

TImgSettings Preset(int index) { return DefaultSettings(kPresets[static_cast<size_t>(index - 1)], "/home/u/Pictures"); }

TEST(PresetHintTest, CdPresetDefaults) {
    EXPECT_EQ(BuildPresetHint(Preset(4)),
              "Convert Using the following settings:\r\n\r\n"
              "Size: 640x480\r\n\r\n"
              "Format: *.jpg - JPEG Bitmap\r\n\r\n"
              "Colors: 16.7 million colors (24 bit)\r\n\r\n"
              "Quality: 100%\r\n\r\n"
              "Output Folder: /home/u/Pictures");
}

TEST(PresetHintTest, SmallBoxIgnoresCustomSizeAndNoResizeSaysSo) {
    TImgSettings s = Preset(1);
    s.ImgResize = scSmall;
    s.ImgFormat = ofBMP;
    s.ImgColors = ccNoChange;
    s.OutFolderSame = true;
    EXPECT_EQ(BuildPresetHint(s),
              "Convert Using the following settings:\r\n\r\nSize: 640x480\r\n\r\n"
              "Format: *.bmp - Windows Bitmap\r\n\r\nColors: NO CHANGE\r\n\r\n"
              "Output Folder: Same as Original Folder");
    s.ImgResize = scNoResize;
    s.ImgColors = ccCustom;
    s.ImgCustomColors = 2000;
    const std::string hint = BuildPresetHint(s);
    EXPECT_NE(hint.find("Size: NO CHANGE\r\n"), std::string::npos);
    EXPECT_NE(hint.find("Colors: 2000\r\n"), std::string::npos);
}

TEST(ConfirmationSummaryTest, JpegPresetWithRenaming) {
    TImgSettings s = Preset(3);
    EXPECT_EQ(BuildConfirmationSummary(s, 3, kDay),
              "The 3 images you have selected will be converted using the following settings:\r\n\r\n"
              "Size: 350x263\r\n\r\n"
              "Format: *.jpg - JPEG Bitmap\r\n"
              "Quality: 80%\r\n"
              "Colors: 16.7 million colors (24 bit)\r\n\r\n"
              "Renaming: Custom, \"filename\" + 2-Digit Numbers - (01,02,03,...) - Default\r\n"
              "Example rename: filename_01.jpg, filename_02.jpg, \r\n"
              "Filename Case: Same (No Change)\r\n\r\n"
              "Output Folder: /home/u/Pictures\r\n\r\n"
              "If File Exists: Skip, Do not Overwrite\r\n"
              "\r\nClick Finish to process the file(s).");
}

TEST(ConfirmationSummaryTest, BmpLettersSameFormatAndSingleImage) {
    TImgSettings s = Preset(5);
    s.ImgFormat = ofBMP;
    s.OutSuffix = 3;
    s.OutCase = 2;
    s.OutOverwrite = owOverwriteUnlessOriginal;
    const std::string text = BuildConfirmationSummary(s, 1, kDay);
    EXPECT_EQ(text.rfind("The 1 image you have selected", 0), 0u);
    EXPECT_NE(text.find("Format: *.bmp - Windows Bitmap\r\nColors: 16.7"), std::string::npos);
    EXPECT_NE(text.find("Example rename: filename_a.bmp, filename_b.bmp, etc.\r\n"), std::string::npos);
    EXPECT_NE(text.find("Filename Case: Uppercase\r\n\r\n"), std::string::npos);
    EXPECT_NE(text.find("If File Exists: Overwrite Unless Original\r\n"), std::string::npos);

    s.ImgFormat = ofSameAsOriginal;
    s.OutRename = false;
    const std::string same = BuildConfirmationSummary(s, 2, kDay);
    EXPECT_NE(same.find("Format: Same as Original File\r\n\r\nColors:"), std::string::npos);
    EXPECT_NE(same.find("Renaming: None\r\nFilename Case"), std::string::npos);
}

TEST(PresetEditHintTest, CustomPresetIsOneLine) {
    EXPECT_EQ(PresetEditHint(5), "Edit Settings for \"Custom Settings\".");
    EXPECT_EQ(PresetEditHint(1),
              "Edit Settings for \"My Website\".\r\n\r\nThe settings you choose during this will be the "
              "defaults for the next time you use the regular button.");
}

}  // namespace
}  // namespace luma
