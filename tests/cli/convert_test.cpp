// lumatrans-cli convert end to end: real files of every input format, outputs checked by a peer
// decoder; usage errors, dry runs and failure counting.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

using TConvertRun = luma::test::TCommandResult;

TConvertRun RunConvert(const std::string& args, const fs::path& config) {
    return luma::test::RunCommand("LUMATRANS_CONFIG_DIR=" + luma::test::ShellQuote(config) + " " +
                                  luma::test::ShellQuote(LUMA_CLI_PATH) + " convert " + args + " 2>&1");
}

std::string Q(const fs::path& p) { return luma::test::ShellQuote(p); }

// Width x height as the peer decoder (ImageMagick's identify) reads the file, or "" when it cannot.
std::string PeerSize(const fs::path& file) {
    return luma::test::RunCommand("identify -format '%wx%h' " + Q(file) + " 2>/dev/null").out;
}

class CliConvert : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v identify >/dev/null 2>&1") != 0) GTEST_SKIP() << "imagemagick is not installed";
        const fs::path data = luma::test::TestDataDir();
        fs::create_directories(dir_ / "in");
        for (const char* file : {"bmp/rgb24.bmp", "jpeg/hopper.jpg", "gif/all-blues.gif", "pcx/CGA_RGBI.PCX",
                                 "png/basn2c08.png", "tiff/8bit.s.tif"}) {
            fs::copy_file(data / file, dir_ / "in" / fs::path(file).filename());
        }
    }
    luma::test::TempDir dir_;
};

TEST_F(CliConvert, EveryInputFormatToEveryWritableOne) {
    for (const char* format : {"png", "jpg", "bmp", "gif", "tif", "pcx"}) {
        SCOPED_TRACE(format);
        const fs::path out = dir_ / ("out-" + std::string(format));
        const TConvertRun r = RunConvert(std::string("-q --format ") + format + " --size 40x40 --allow-enlarge --output " + Q(out) +
                                             " " + Q(dir_ / "in"),
                                         dir_ / "config");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("6 converted, 0 copied, 0 renamed, 0 skipped, 0 failed"), std::string::npos) << r.out;
        for (int i = 1; i <= 6; ++i) {
            const fs::path file = out / ("filename_0" + std::to_string(i) + "." + format);
            const std::string size = PeerSize(file);
            ASSERT_FALSE(size.empty()) << file << " is not readable by the peer decoder";
            const int w = std::atoi(size.c_str());
            const int h = std::atoi(size.c_str() + size.find('x') + 1);
            EXPECT_TRUE((w == 40 && h <= 40) || (h == 40 && w <= 40)) << file << " " << size;
        }
    }
}

TEST_F(CliConvert, FailuresCountInTheExitStatusAndTheLog) {
    luma::test::WriteFileBytes(dir_ / "in" / "broken.png", "\x89PNG\r\n\x1a\n truncated");
    const TConvertRun r = RunConvert("-q --format png --output " + Q(dir_ / "out") + " " + Q(dir_ / "in"),
                                     dir_ / "config");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("  Failed: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("6 converted, 0 copied, 0 renamed, 0 skipped, 1 failed"), std::string::npos) << r.out;
}

TEST_F(CliConvert, DryRunTouchesNothingAndUsageErrorsGiveTwo) {
    const TConvertRun dry = RunConvert("--dry-run --no-rename --format png --case upper --output " + Q(dir_ / "out") +
                                           " " + Q(dir_ / "in" / "hopper.jpg"),
                                       dir_ / "config");
    EXPECT_EQ(dry.status, 0);
    EXPECT_NE(dry.out.find("hopper.jpg -> " + (dir_ / "out" / "HOPPER.PNG").string() + " (convert)"), std::string::npos)
        << dry.out;
    EXPECT_FALSE(fs::exists(dir_ / "out"));

    EXPECT_EQ(RunConvert("--quality 0 x.jpg", dir_ / "config").status, 2);
    EXPECT_EQ(RunConvert("--preset Nope x.jpg", dir_ / "config").status, 2);
    EXPECT_EQ(RunConvert(Q(dir_ / "missing.jpg"), dir_ / "config").status, 2);
}

TEST_F(CliConvert, SavedPresetIsUsedByTheNextRun) {
    EXPECT_EQ(RunConvert("--preset Email --format gif --colors 16 --save-preset", dir_ / "config").status, 0);
    const TConvertRun summary = RunConvert("--preset Email --summary " + Q(dir_ / "in"), dir_ / "config");
    EXPECT_NE(summary.out.find("Format: *.gif - Graphics Interchange Format\nColors: 16 colors (4 bit)"),
              std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("The 6 images you have selected"), std::string::npos);
}

}  // namespace
