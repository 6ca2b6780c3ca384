#include "thumbpages/thumb_settings.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "util/ini_file.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TThumbSettingsFiles FilesIn(const TempDir& dir) { return TThumbSettingsFiles(dir.path().string() + "/"); }

TEST(ThumbSettings, FirstRunGivesTheDefaultsAndTheFolderHandedIn) {
    TempDir dir;
    const TThumbSettings s = LoadThumbSettings(FilesIn(dir), "/pictures/last");
    EXPECT_EQ(s.PageNamePrefix, "pictures");
    EXPECT_EQ(s.TableRows, 5);
    EXPECT_EQ(s.TableCols, 5);
    EXPECT_EQ(s.CellPadding, 0);
    EXPECT_EQ(s.Align, taCenter);
    EXPECT_EQ(s.Width, 100);
    EXPECT_TRUE(s.SmallerOrg);
    EXPECT_EQ(s.OrgWidth, 640);
    EXPECT_TRUE(s.Thumbnail);
    EXPECT_EQ(s.Target, "_self");
    EXPECT_TRUE(s.Lowercase);
    EXPECT_EQ(s.Format, 0);
    EXPECT_FALSE(s.BorderColor);
    EXPECT_FALSE(s.BackgroundColor);
    EXPECT_EQ(s.OutputFolder, "/pictures/last");
    EXPECT_EQ(s.Heading, "My Pictures");
    EXPECT_EQ(s.Comment, "This is a comment that might describe the images.");
    EXPECT_EQ(s.PageBackground, 16777215u);
    EXPECT_EQ(s.PageLink, 16711680u);
}

TEST(ThumbSettings, StoredValuesFollowTheKeyEncodings) {
    TempDir dir;
    const TThumbSettingsFiles files = FilesIn(dir);
    WriteFileBytes(files.DataFile,
                   "[STEP1]\r\nLowercase=2\r\nThumbnail=1\r\nFileName=1\r\nSmallerOrg=0\r\nBorderColor=-1\r\n"
                   "BackgroundColor=255\r\nTableRows=0\r\nTableCols=999\r\nFormat=7\r\n"
                   "[STEP2]\r\nLaunch=2\r\nHover=1\r\nPageLink=16711935\r\nOutputFolder=\r\n");
    const TThumbSettings s = LoadThumbSettings(files, "/default");
    EXPECT_FALSE(s.Lowercase) << "only 1 reads as true";
    EXPECT_FALSE(s.Launch);
    EXPECT_TRUE(s.Thumbnail);
    EXPECT_TRUE(s.FileName);
    EXPECT_TRUE(s.Hover);
    EXPECT_FALSE(s.SmallerOrg);
    EXPECT_FALSE(s.BorderColor);
    ASSERT_TRUE(s.BackgroundColor);
    EXPECT_EQ(*s.BackgroundColor, 255u);
    EXPECT_EQ(s.PageLink, 16711935u);
    EXPECT_EQ(s.TableRows, 1) << "ranges as the spin edits hold them";
    EXPECT_EQ(s.TableCols, 200);
    EXPECT_EQ(s.Format, 0);
    EXPECT_EQ(s.OutputFolder, "") << "an empty stored folder stays empty";
}

TEST(ThumbSettings, SaveWritesEveryKeyInOrderAndReadsBack) {
    TempDir dir;
    const TThumbSettingsFiles files = FilesIn(dir);
    TThumbSettings s = LoadThumbSettings(files, "/out");
    s.BorderColor.reset();
    s.BackgroundColor = 0x00FF00;
    s.PageVLink = 0x123456;
    s.Heading = "<b>Line one</b>\r\nLine two";
    s.Comment = "";
    s.Thumbnail = false;
    ASSERT_TRUE(SaveThumbSettings(files, s));

    TIniFile ini;
    ASSERT_TRUE(ini.Load(files.DataFile));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"STEP1", "STEP2"}));
    EXPECT_EQ(ini.Keys("STEP1"),
              (std::vector<std::string>{"PageNamePrefix", "Extension", "Homepage", "Width", "ImageAlign", "Format",
                                        "Lowercase", "FileName", "FileSize", "FileDim", "Thumbnail", "Target",
                                        "SmallerOrg", "OrgWidth", "Align", "TableRows", "TableCols", "CellPadding",
                                        "TableBorder", "BorderColor", "BackgroundColor"}));
    EXPECT_EQ(ini.Keys("STEP2"),
              (std::vector<std::string>{"PageTitle", "OutputFolder", "Launch", "DontUnderline", "Hover",
                                        "PageBackground", "PageText", "PageLink", "PageVLink", "PageALink",
                                        "PageFontName", "PageFontSize"}));
    EXPECT_EQ(ini.Read("STEP1", "BorderColor"), "-1");
    EXPECT_EQ(ini.Read("STEP1", "BackgroundColor"), "65280");
    EXPECT_EQ(ini.Read("STEP1", "Thumbnail"), "0");
    EXPECT_EQ(ini.Read("STEP1", "Lowercase"), "1");
    EXPECT_EQ(ini.Read("STEP2", "PageBackground"), "16777215");
    EXPECT_EQ(ReadFileBytes(files.HeadingFile), "<b>Line one</b>\r\nLine two\r\n");
    EXPECT_EQ(ReadFileBytes(files.CommentFile), "");

    const TThumbSettings back = LoadThumbSettings(files, "/elsewhere");
    EXPECT_FALSE(back.BorderColor) << "-1 reads back as None";
    EXPECT_EQ(back.BackgroundColor, std::optional<TColor>(0x00FF00));
    EXPECT_EQ(back.PageVLink, 0x123456u);
    EXPECT_EQ(back.Heading, s.Heading);
    EXPECT_EQ(back.Comment, "");
    EXPECT_FALSE(back.Thumbnail);
    EXPECT_EQ(back.OutputFolder, "/out");
}

TEST(ThumbSettings, TextFilesWithBareLineFeedsReadAsCrLfLines) {
    TempDir dir;
    const TThumbSettingsFiles files = FilesIn(dir);
    WriteFileBytes(files.CommentFile, "one\ntwo\n");
    EXPECT_EQ(LoadThumbSettings(files, "").Comment, "one\r\ntwo");
}

TEST(ThumbSettings, ColourText) {
    struct Case {
        TColor color;
        const char* text;
    };
    for (const Case& c : {Case{16711680, "#0000FF"}, Case{255, "#FF0000"}, Case{16711935, "#FF00FF"},
                          Case{0x00BB8811, "#1188BB"}, Case{0, "#000000"}}) {
        EXPECT_EQ(ColorText(c.color), c.text) << c.color;
        EXPECT_EQ(ParseColorText(c.text), std::optional<TColor>(c.color)) << c.text;
    }
    EXPECT_EQ(ParseColorText("255"), std::optional<TColor>(255));
    EXPECT_FALSE(ParseColorText("#12345"));
    EXPECT_FALSE(ParseColorText("red"));
}

TEST(ThumbSettings, OutputFolderCheckOutcomes) {
    TempDir dir;
    {
        TRecordingPrompt prompt;
        EXPECT_EQ(CheckOutputFolder("   ", prompt), TOutputFolderCheck::Empty);
        EXPECT_EQ(prompt.Texts(), std::vector<std::string>{kNoOutputFolderText});
    }
    {
        TRecordingPrompt prompt;
        EXPECT_EQ(CheckOutputFolder(dir.path().string(), prompt), TOutputFolderCheck::Ready);
        EXPECT_TRUE(prompt.messages.empty());
    }
    for (TMsgResult answer : {TMsgResult::No, TMsgResult::Cancel}) {
        TRecordingPrompt prompt;
        prompt.messageAnswers.push_back(answer);
        const std::string missing = (dir.path() / "new").string();
        EXPECT_EQ(CheckOutputFolder(missing, prompt), TOutputFolderCheck::Declined);
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, kCreateOutputFolderText);
        EXPECT_EQ(prompt.messages[0].buttons, TMsgButtons::YesNoCancel);
        EXPECT_FALSE(std::filesystem::exists(missing));
    }
    {
        TRecordingPrompt prompt;
        prompt.messageAnswers.push_back(TMsgResult::Yes);
        const std::string deep = (dir.path() / "new" / "deep").string();
        EXPECT_EQ(CheckOutputFolder(deep, prompt), TOutputFolderCheck::Ready);
        EXPECT_TRUE(std::filesystem::is_directory(deep));
    }
    {
        TRecordingPrompt prompt;
        prompt.messageAnswers.push_back(TMsgResult::Yes);
        WriteFileBytes(dir / "file", "x");
        EXPECT_EQ(CheckOutputFolder((dir.path() / "file" / "sub").string(), prompt), TOutputFolderCheck::Failed);
        EXPECT_EQ(prompt.Texts(), (std::vector<std::string>{kCreateOutputFolderText, kOutputFolderFailedText}));
    }
}

}  // namespace
}  // namespace luma
