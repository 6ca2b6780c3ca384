#include "batch/batch_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "batch_test_support.h"
#include "support/test_support.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

namespace fs = std::filesystem;

class BatchRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "in");
        settings_ = DefaultSettings(kPresets[0], (dir_ / "out").string());
        settings_.ImgFormat = ofBMP;
        settings_.ImgResize = scCustom;
        settings_.ImgWidth = 20;
        settings_.ImgHeight = 20;
    }

    std::vector<std::string> MakeSources(int count) {
        std::vector<std::string> sources;
        for (int i = 0; i < count; ++i) {
            const std::string path = (dir_ / "in" / ("p" + std::to_string(i) + ".bmp")).string();
            test::WriteSolidImage(path, 40, 30, 0x0000FF);
            sources.push_back(path);
        }
        return sources;
    }

    std::string Out(const std::string& name) { return (dir_ / "out" / name).string(); }

    test::TempDir dir_;
    TImgSettings settings_;
    test::TRecordingView view_;
    TRecordingPrompt prompt_;
};

TEST_F(BatchRunTest, ConvertsEveryFileWithTheExactLog) {
    const auto sources = MakeSources(2);
    TBatchRun run(view_, prompt_);
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(run.OutputFiles, (std::vector<std::string>{Out("filename_01.bmp"), Out("filename_02.bmp")}));
    const std::string in = (dir_ / "in").string() + "/";
    EXPECT_EQ(view_.log, (std::vector<std::string>{
                             "Loading Image: " + in + "p0.bmp", "  Resizing Image...",
                             "  Changing Color Depth...", "Saving File: " + Out("filename_01.bmp"),
                             "Loading Image: " + in + "p1.bmp", "  Resizing Image...",
                             "  Changing Color Depth...", "Saving File: " + Out("filename_02.bmp"),
                             "Finished!"}));
    EXPECT_EQ(view_.stepName, "Processing Files - Finished");
    EXPECT_EQ(view_.overall, 2);
    EXPECT_FALSE(view_.endedCancelled);
    ASSERT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(prompt_.messages[0].caption, "Completed");
    EXPECT_EQ(prompt_.messages[0].text, "Image Processing Complete!");

    TImageComponent result;
    result.LoadImageFile(Out("filename_01.bmp"));
    EXPECT_EQ(result.ImageBuffer().Width(), 20);
    EXPECT_EQ(result.ImageBuffer().Height(), 15);
}

TEST_F(BatchRunTest, CancelDuringTheThirdFileFinishesItAndStops) {
    const auto sources = MakeSources(10);
    TBatchRun run(view_, prompt_);
    prompt_.onProcessMessages = [&] {
        if (view_.stepName == "Processing Files - 3 of 10") run.CancelRequested = true;
    };
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(run.OutputFiles.size(), 3u);
    EXPECT_TRUE(fs::exists(Out("filename_03.bmp")));
    EXPECT_FALSE(fs::exists(Out("filename_04.bmp")));
    EXPECT_EQ(view_.progressText, "Processing Canceled!");
    EXPECT_EQ(view_.stepName, "Processing Files - Did not Finish");
    EXPECT_TRUE(view_.endedCancelled);
    EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(BatchRunTest, AnUnreadableFileIsAbandonedLoggedAndTheRunGoesOn) {
    for (int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(dir_ / "out");
        auto sources = MakeSources(10);
        test::WriteFileBytes(sources[4], "BM not really a bitmap");
        TBatchRun run(view_, prompt_);
        run.Jobs = jobs;
        ASSERT_TRUE(run.RunBatch(settings_, sources));
        EXPECT_EQ(run.OutputFiles.size(), 10u);
        EXPECT_EQ(run.OutputFiles[4], Out("filename_05.bmp"));
        EXPECT_EQ(run.Outcomes[4], TFileOutcome::Failed);
        EXPECT_FALSE(fs::exists(Out("filename_05.bmp")));
        EXPECT_TRUE(fs::exists(Out("filename_10.bmp")));
        EXPECT_EQ(view_.progressText, "Finished!");
        int failedLines = 0;
        for (const auto& line : view_.log) failedLines += line.rfind("  Failed: ", 0) == 0;
        EXPECT_EQ(failedLines, 1);
    }
}

TEST_F(BatchRunTest, ParallelRunLogsInListOrderLikeTheSequentialOne) {
    const auto sources = MakeSources(6);
    TBatchRun sequential(view_, prompt_);
    ASSERT_TRUE(sequential.RunBatch(settings_, sources));
    const auto sequentialLog = view_.log;
    fs::remove_all(dir_ / "out");
    TBatchRun parallel(view_, prompt_);
    parallel.Jobs = 3;
    ASSERT_TRUE(parallel.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log, sequentialLog);
    EXPECT_EQ(parallel.OutputFiles, sequential.OutputFiles);
}

TEST_F(BatchRunTest, OverwriteUnlessOriginalSkipsTheSourceItself) {
    auto sources = MakeSources(2);
    settings_.OutFolderSame = true;
    settings_.OutRename = false;
    settings_.OutOverwrite = owOverwriteUnlessOriginal;
    TBatchRun run(view_, prompt_);
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log.front(), "p0.bmp Exists, skipping.");
    EXPECT_EQ(run.Outcomes[1], TFileOutcome::Skipped);

    settings_.OutOverwrite = owOverwrite;
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(run.Outcomes[0], TFileOutcome::Converted);
    TImageComponent result;
    result.LoadImageFile(sources[0]);
    EXPECT_EQ(result.ImageBuffer().Width(), 20) << "the source was replaced by its conversion";
}

class CopyOrRenameTest : public BatchRunTest {
protected:
    void SetUp() override {
        BatchRunTest::SetUp();
        settings_.ImgFormat = ofSameAsOriginal;
        settings_.ImgResize = scNoResize;
        settings_.ImgColors = ccNoChange;
    }
};

TEST_F(CopyOrRenameTest, SameFolderWithoutRenamingRenamesEachFileOntoItself) {
    const auto sources = MakeSources(2);
    settings_.OutFolderSame = true;
    settings_.OutRename = false;
    TBatchRun run(view_, prompt_);
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log[0], "Renaming p0.bmp to " + sources[0]);
    EXPECT_EQ(run.Outcomes[1], TFileOutcome::Renamed);
    EXPECT_TRUE(fs::exists(sources[0]));
}

TEST_F(CopyOrRenameTest, SpecifiedFolderCopiesAndSkipsExistingFilesSilently) {
    const auto sources = MakeSources(2);
    settings_.OutRename = false;
    fs::create_directories(dir_ / "out");
    test::WriteFileBytes(Out("p1.bmp"), "keep me");
    TBatchRun run(view_, prompt_);
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log, (std::vector<std::string>{"Copying p0.bmp to " + Out("p0.bmp"), "Finished!"}));
    EXPECT_EQ(test::ReadFileBytes(Out("p1.bmp")), "keep me");
}

TEST_F(CopyOrRenameTest, RenamingInPlaceRespectsTheExistingFilePolicy) {
    auto sources = MakeSources(1);
    settings_.OutFolderSame = true;
    const std::string target = (dir_ / "in" / "filename_01.bmp").string();
    test::WriteFileBytes(target, "already here");
    TBatchRun run(view_, prompt_);
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log, std::vector<std::string>{"Finished!"});
    EXPECT_TRUE(fs::exists(sources[0]));

    settings_.OutOverwrite = owOverwrite;
    ASSERT_TRUE(run.RunBatch(settings_, sources));
    EXPECT_EQ(view_.log.front(), "Renaming p0.bmp to " + target);
    EXPECT_FALSE(fs::exists(sources[0]));
    EXPECT_NE(test::ReadFileBytes(target), "already here");
}

TEST_F(BatchRunTest, AFolderThatCannotBeCreatedStopsBeforeTheFirstFile) {
    test::WriteFileBytes(dir_ / "blocker", "x");
    settings_.OutFolderName = (dir_ / "blocker" / "sub").string();
    TBatchRun run(view_, prompt_);
    EXPECT_FALSE(run.RunBatch(settings_, MakeSources(1)));
    EXPECT_EQ(view_.runEnded, 0);
    ASSERT_EQ(prompt_.messages.size(), 1u);
}

}  // namespace
}  // namespace luma
