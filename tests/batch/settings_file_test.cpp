#include "batch/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_support.h"
#include "util/ini_file.h"
#include "util/paths.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The picture folder comes from the XDG user folders of this fake home.
        const char* home = std::getenv("HOME");
        savedHome_ = home ? home : "";
        setenv("HOME", dir_.path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { setenv("HOME", savedHome_.c_str(), 1); }

    test::TempDir dir_;
    std::string savedHome_;
};

TEST_F(SettingsFileTest, EmptyFileGivesTheBuiltInDefaults) {
    TBatchSettings settings(dir_.path().string());
    settings.LoadSettings();
    const TImgSettings& cd = settings.Presets[3];
    EXPECT_EQ(cd.SectionName, "CD");
    EXPECT_EQ(cd.ImgFormat, ofJPEG);
    EXPECT_EQ(cd.ImgResize, scCustom);
    EXPECT_EQ(cd.ImgWidth, 640);
    EXPECT_EQ(cd.ImgHeight, 480);
    EXPECT_EQ(cd.ImgQuality, 100);
    EXPECT_EQ(cd.ImgColors, cc24Bit);
    EXPECT_TRUE(cd.OutRename);
    EXPECT_EQ(cd.OutFileName, "filename");
    EXPECT_EQ(cd.OutSuffix, 1);
    EXPECT_EQ(cd.OutOverwrite, owSkip);
    EXPECT_EQ(cd.OutFolderName, settings.LastUsedFolder);
    EXPECT_EQ(settings.Presets[2].ImgWidth, 350);
    EXPECT_EQ(settings.Presets[2].ImgHeight, 263);
}

TEST_F(SettingsFileTest, FlagsAndTextsReadBackByTheirRules) {
    TBatchSettings settings(dir_.path().string());
    test::WriteFileBytes(settings.IniPath,
                         "[Website]\r\nTextFontBold=2\r\nImgAspect=0\r\nImgOnlySmaller=7\r\n"
                         "OutFileName=\r\nWatermarkText=\r\nImgQuality=abc\r\nOutRename=1\r\n");
    settings.LoadAllPresets();
    const TImgSettings& web = settings.Presets[0];
    EXPECT_FALSE(web.TextFontBold);
    EXPECT_FALSE(web.ImgAspect);
    EXPECT_FALSE(web.ImgOnlySmaller);
    EXPECT_FALSE(web.TextFontItalics) << "missing flag gives its default";
    EXPECT_TRUE(settings.Presets[1].ImgOnlySmaller) << "missing flag gives its default";
    EXPECT_EQ(web.OutFileName, "filename");
    EXPECT_EQ(web.WatermarkText, "");
    EXPECT_EQ(web.ImgQuality, 80);
}

TEST_F(SettingsFileTest, SaveWritesGeneralThenFivePresetsOfTwentyEightKeysInOrder) {
    TBatchSettings settings(dir_.path().string());
    settings.LoadSettings();
    settings.SaveSettings();
    TIniFile ini;
    ASSERT_TRUE(ini.Load(settings.IniPath));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"General", "Website", "Auction", "Email", "CD", "Custom"}));
    const std::vector<std::string> keys = ini.Keys("CD");
    ASSERT_EQ(keys.size(), 28u);
    EXPECT_EQ(keys.front(), "ImgFormat");
    EXPECT_EQ(keys[7], "ImgOnlySmaller");
    EXPECT_EQ(keys.back(), "TextFontColor");
    EXPECT_EQ(ini.Read("CD", "ImgOnlySmaller"), "1");
    EXPECT_EQ(ini.Read("General", "LastDir"), settings.LastUsedFolder);
}

TEST_F(SettingsFileTest, RestoreDefaultsKeepsTheCustomPresetAsStored) {
    TBatchSettings settings(dir_.path().string());
    settings.LoadSettings();
    settings.Presets[0].ImgQuality = 33;
    settings.Presets[4].ImgQuality = 44;
    settings.SaveAllPresets();
    settings.Presets[4].ImgQuality = 55;  // edited since, not saved

    TRecordingPrompt prompt;
    prompt.messageAnswers.push_back(TMsgResult::No);
    EXPECT_FALSE(settings.RestoreDefaults(prompt));
    EXPECT_EQ(settings.Presets[0].ImgQuality, 33);

    prompt.messageAnswers.push_back(TMsgResult::Yes);
    EXPECT_TRUE(settings.RestoreDefaults(prompt));
    EXPECT_EQ(settings.Presets[0].ImgQuality, 80);
    EXPECT_EQ(settings.Presets[4].ImgQuality, 44);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0].caption, "Confirm Reset");
    EXPECT_EQ(prompt.messages[0].text, "Do you wish to reset all the defaults except \"Custom Settings\"?");
}

TEST_F(SettingsFileTest, MissingLastDirFallsBackToTheProgramFolder) {
    TBatchSettings settings(dir_.path().string());
    test::WriteFileBytes(settings.IniPath, "[General]\nLastDir=/no/such/folder\n");
    settings.LoadSettings();
    EXPECT_EQ(settings.LastUsedFolder, "/no/such/folder");
    settings.InitStartFolder();
    EXPECT_EQ(settings.StartFolder, ProgramFolder());
    EXPECT_EQ(settings.LastUsedFolder, ProgramFolder());
}

}  // namespace
}  // namespace luma
