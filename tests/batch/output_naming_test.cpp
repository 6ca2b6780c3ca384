#include "batch/output_naming.h"

#include <gtest/gtest.h>

namespace luma {
namespace {

const TDate kDay{2026, 12, 9};

struct SuffixCase {
    int kind, n;
    const char* suffix;
};

class BuildSuffixTest : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(BuildSuffixTest, GivesTheTableSuffix) {
    const SuffixCase c = GetParam();
    EXPECT_EQ(BuildSuffix(c.kind, c.n, kDay), c.suffix);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BuildSuffixTest,
    ::testing::Values(SuffixCase{0, 7, "_7"}, SuffixCase{1, 9, "_09"}, SuffixCase{1, 10, "_10"},
                      SuffixCase{1, 100, "_100"}, SuffixCase{2, 9, "_009"}, SuffixCase{2, 10, "_010"},
                      SuffixCase{2, 11, "_011"}, SuffixCase{2, 100, "_100"}, SuffixCase{3, 1, "_a"},
                      SuffixCase{3, 26, "_z"}, SuffixCase{3, 27, "_aa"}, SuffixCase{3, 28, "_ab"},
                      SuffixCase{3, 52, "_az"}, SuffixCase{3, 53, "_ba"}, SuffixCase{3, 702, "_zz"},
                      SuffixCase{3, 703, "_aaa"}, SuffixCase{4, 3, "_3_091226"},
                      SuffixCase{5, 3, "_3_120926"}, SuffixCase{6, 3, "_3_0912"},
                      SuffixCase{7, 3, "_3_1209"}, SuffixCase{8, 3, ""}, SuffixCase{-1, 3, ""}));

TImgSettings Renaming(const std::string& stem, int suffix, int format) {
    TImgSettings s;
    s.OutRename = true;
    s.OutFileName = stem;
    s.OutSuffix = suffix;
    s.ImgFormat = format;
    return s;
}

TEST(BuildOutputNameTest, RenamesWithStemSuffixAndFormatExtension) {
    const TImgSettings s = Renaming("holiday", 1, ofJPEG);
    EXPECT_EQ(BuildOutputName(s, "x.png", 1, kDay), "holiday_01.jpg");
    EXPECT_EQ(BuildOutputName(s, "x.png", 10, kDay), "holiday_10.jpg");
    EXPECT_EQ(BuildOutputName(s, "x.png", 100, kDay), "holiday_100.jpg");
    EXPECT_EQ(BuildOutputName(Renaming("my.trip", 1, ofJPEG), "x.png", 1, kDay), "my.trip_01.jpg");
    EXPECT_EQ(BuildOutputName(Renaming("", 1, ofJPEG), "x.png", 1, kDay), "_01.jpg");
    EXPECT_EQ(BuildOutputName(Renaming("filename", 4, ofJPEG), "x.png", 3, kDay), "filename_3_091226.jpg");
}

TEST(BuildOutputNameTest, SameAsOriginalKeepsEachSourceExtension) {
    const TImgSettings s = Renaming("filename", 1, ofSameAsOriginal);
    EXPECT_EQ(BuildOutputName(s, "a.gif", 1, kDay), "filename_01.gif");
    EXPECT_EQ(BuildOutputName(s, "b.png", 2, kDay), "filename_02.png");
    EXPECT_EQ(BuildOutputName(s, "c.TIFF", 3, kDay), "filename_03.TIFF");
    EXPECT_EQ(BuildOutputName(s, "d.wmf", 4, kDay), "filename_04.jpg");
}

TEST(BuildOutputNameTest, KeepsSourceNameWithoutRenaming) {
    TImgSettings s;
    s.OutRename = false;
    s.ImgFormat = ofPNG;
    s.OutCase = 2;
    EXPECT_EQ(BuildOutputName(s, "photo.jpeg", 1, kDay), "PHOTO.PNG");
    s.ImgFormat = ofSameAsOriginal;
    s.OutCase = 0;
    EXPECT_EQ(BuildOutputName(s, "Photo.JPEG", 1, kDay), "Photo.JPEG");
    s.ImgFormat = ofJPEG;
    EXPECT_EQ(BuildOutputName(s, "IMG.0001.JPG", 1, kDay), "IMG.0001.jpg");
    s.OutCase = 1;
    EXPECT_EQ(BuildOutputName(s, "ÄBC.PNG", 1, kDay), "Äbc.jpg");
}

TEST(DestinationFolderTest, AddsSeparatorOrUsesSourceFolder) {
    TImgSettings s;
    s.OutFolderName = "/out";
    EXPECT_EQ(DestinationFolder(s, "/src/"), "/out/");
    s.OutFolderSame = true;
    EXPECT_EQ(DestinationFolder(s, "/src/"), "/src/");
    s.OutFolderSame = false;
    s.OutFolderName.clear();
    EXPECT_EQ(DestinationFolder(s, "/src/"), "/src/");
}

}  // namespace
}  // namespace luma

#include "util/recording_prompt.h"

namespace luma {
namespace {

TEST(AskBatchNameTest, RefusesInvalidCharactersAndKeepsTheTypedText) {
    TImgSettings s;
    TRecordingPrompt prompt;
    prompt.inputAnswers = {std::string("bad/name"), std::string("")};
    EXPECT_TRUE(AskBatchName(s, prompt));
    EXPECT_EQ(s.OutFileName, "");
    ASSERT_EQ(prompt.inputs.size(), 2u);
    EXPECT_EQ(prompt.inputs[0], (TRecordingPrompt::TInput{"Filename prefix", "Please choose a name for this batch:", "filename"}));
    EXPECT_EQ(prompt.inputs[1].initial, "bad/name");
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Filename has invalid characters"});
}

TEST(AskBatchNameTest, CancelKeepsTheStemAndNoRenamingAsksNothing) {
    TImgSettings s;
    TRecordingPrompt prompt;
    prompt.inputAnswers = {std::nullopt};
    EXPECT_FALSE(AskBatchName(s, prompt));
    EXPECT_EQ(s.OutFileName, "filename");
    s.OutRename = false;
    EXPECT_TRUE(AskBatchName(s, prompt));
    EXPECT_EQ(prompt.inputs.size(), 1u);
}

}  // namespace
}  // namespace luma
