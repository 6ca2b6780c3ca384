// lumatrans-cli info: the report lines, several files, and the exit status.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace {

struct TRun {
    int status = -1;
    std::string out;
};

TRun RunCli(const std::string& args) {
    TRun r;
    const std::string cmd = std::string("'") + LUMA_CLI_PATH + "' " + args + " 2>/dev/null";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (pipe == nullptr) return r;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

TEST(CliInfo, ReportsWhatTheReadFound) {
    const auto file = luma::test::TestDataDir() / "bmp" / "pal8os2.bmp";
    const TRun r = RunCli("info " + Quote(file));
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* line :
         {"FileType: 5\n", "Description: Windows Bitmap\n", "Width: 127\n", "Height: 64\n",
          "BitsPerSample: 8\n", "SamplesPerPixel: 1\n", "DpiX: 96\n", "ColorMapCount: 256\n",
          "Alpha: no\n", "BmpVersion: 2\n", "BmpCompression: 0\n", "Aborting: no\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST(CliInfo, AlphaAndJpegFields) {
    const TRun png = RunCli("info " + Quote(luma::test::TestDataDir() / "png" / "basn6a08.png"));
    EXPECT_EQ(png.status, 0);
    EXPECT_NE(png.out.find("Alpha: yes\n"), std::string::npos) << png.out;
    const TRun jpg = RunCli("info " + Quote(luma::test::TestDataDir() / "jpeg" / "hopper.jpg"));
    EXPECT_EQ(jpg.status, 0);
    EXPECT_NE(jpg.out.find("FileType: 3\n"), std::string::npos) << jpg.out;
    EXPECT_NE(jpg.out.find("JpegColorSpace: "), std::string::npos) << jpg.out;
}

TEST(CliInfo, ExitStatus) {
    const auto good = Quote(luma::test::TestDataDir() / "bmp" / "rgb24.bmp");
    const auto corrupt = Quote(luma::test::TestDataDir() / "bmp" / "reallybig.bmp");
    struct Case {
        std::string args;
        int status;
    };
    const Case cases[] = {
        {"info " + good + " " + good, 0},
        {"info " + good + " " + corrupt, 1},
        {"info /no/such/file.bmp", 1},
        {"info file.unknown", 1},
        {"info", 2},
        {"info --index", 2},
        {"info --index x " + good, 2},
        {"info --bogus " + good, 2},
        {"info --index 0 " + good, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(RunCli(c.args).status, c.status) << c.args;

    // Both files are reported even when the second fails.
    const TRun two = RunCli("info " + good + " " + corrupt);
    EXPECT_NE(two.out.find("Aborting: no\n"), std::string::npos);
    EXPECT_NE(two.out.find("Aborting: yes\n"), std::string::npos);
}

}  // namespace
