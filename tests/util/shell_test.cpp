#include "util/shell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFileBytes;

// A launcher that records what it would start and never starts anything.
struct FakeLauncher {
    bool handler = true;
    int startError = 0;
    std::vector<std::string> checked;
    std::vector<std::vector<std::string>> started;
    std::vector<std::string> workDirs;

    TShellLauncher Get() {
        TShellLauncher l;
        l.hasHandler = [this](const std::string& path) {
            checked.push_back(path);
            return handler;
        };
        l.start = [this](const std::vector<std::string>& argv, const std::string& workDir) {
            started.push_back(argv);
            workDirs.push_back(workDir);
            return startError;
        };
        l.openCommand = {"opener"};
        return l;
    }
};

TEST(Shell, ErrorTexts) {
    struct Case {
        int32_t code;
        const char* text;
    };
    const Case cases[] = {
        {0, "The operating system is out of memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied access to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred."},
        {27, "The filename association is incomplete or invalid."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
        {31, "There is no application associated with the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {1, "An unknown error occurred when trying to load file in associated application."},
        {4, "An unknown error occurred when trying to load file in associated application."},
    };
    for (const Case& c : cases) EXPECT_EQ(ShellErrorText(c.code), c.text) << c.code;
}

TEST(Shell, OpenReportsEachFailureWithItsMessage) {
    TempDir dir;
    WriteFileBytes(dir / "data.unknownext", "x");
    WriteFileBytes(dir / "photo.jpg", "x");
    struct Case {
        std::string file;
        bool handler;
        int startError;
        int32_t expected;
    };
    const std::string d = dir.path().string();
    const Case cases[] = {
        {d + "/data.unknownext", false, 0, 31},
        {d + "/missing.jpg", true, 0, 2},
        {d + "/nofolder/missing.jpg", true, 0, 3},
        {d + "/photo.jpg/x", true, 0, 3},
        {d + "/photo.jpg", true, ENOENT, 31},  // no opener installed
        {d + "/photo.jpg", true, EACCES, 5},
        {"", true, 0, 2},
    };
    for (const Case& c : cases) {
        FakeLauncher fake;
        fake.handler = c.handler;
        fake.startError = c.startError;
        TRecordingPrompt prompt;
        EXPECT_EQ(ShellOpen(c.file, prompt, fake.Get()), c.expected) << c.file;
        ASSERT_EQ(prompt.messages.size(), 1u) << c.file;
        EXPECT_EQ(prompt.messages[0],
                  (TRecordingPrompt::TMessage{"Error", "Unable to execute file:\n\n" + ShellErrorText(c.expected),
                                              TMsgIcon::Warning, TMsgButtons::OK}));
    }
}

TEST(Shell, NoHandlerGivesTheExactTwoLineMessage) {
    TempDir dir;
    WriteFileBytes(dir / "notes.zzq", "x");
    FakeLauncher fake;
    fake.handler = false;
    TRecordingPrompt prompt;
    ShellOpen((dir / "notes.zzq").string(), prompt, fake.Get());
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Unable to execute file:\n\n"
                                                       "There is no application associated with the given filename "
                                                       "extension."});
    EXPECT_TRUE(fake.started.empty());
}

TEST(Shell, OpenStartsTheOpenerWithTheAbsolutePath) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFileBytes(dir / "out" / "-page.html", "x");
    FakeLauncher fake;
    TRecordingPrompt prompt;
    EXPECT_GT(ShellOpen((dir / "out").string(), prompt, fake.Get()), 32);
    // A relative name is taken in the given folder and passed as an absolute path, never as an option.
    EXPECT_GT(ShellOpenFile("-page.html", "", (dir / "out").string(), TShowCommand::Normal, prompt, fake.Get()), 32);
    EXPECT_GT(ShellOpen("https://example.org/a b", prompt, fake.Get()), 32);
    EXPECT_TRUE(prompt.messages.empty());
    const std::string out = (dir / "out").string();
    EXPECT_EQ(fake.started, (std::vector<std::vector<std::string>>{
                                {"opener", out}, {"opener", out + "/-page.html"}, {"opener", "https://example.org/a b"}}));
    EXPECT_EQ(fake.checked, (std::vector<std::string>{out, out + "/-page.html"}));
    EXPECT_EQ(fake.workDirs, (std::vector<std::string>{"", out, ""}));
}

TEST(Shell, TooLongPathGivesBothMessages) {
    const std::string longPath = "/" + std::string(255, 'a');  // 256 characters
    FakeLauncher fake;
    TRecordingPrompt prompt;
    EXPECT_EQ(ShellOpen(longPath, prompt, fake.Get()), 2);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0].text, "The path to the file is too long, please ensure the path is less than 255 characters.");
    EXPECT_EQ(prompt.messages[0].icon, TMsgIcon::Information);
    EXPECT_EQ(prompt.messages[1].text, "Unable to execute file:\n\nThe specified file was not found.");
    EXPECT_TRUE(fake.checked.empty());
    EXPECT_TRUE(fake.started.empty());
    // One character less goes on to the usual checks.
    TRecordingPrompt quiet;
    EXPECT_EQ(ShellOpenFile(longPath.substr(1), "", "", TShowCommand::Normal, quiet, fake.Get()), 2);
    EXPECT_TRUE(quiet.messages.empty());
}

// The desktop launcher, with stand-in scripts for the opener and the type query.
class XdgLauncher : public ::testing::Test {
protected:
    void SetUp() override {
        mime = (dir / "fake-mime").string();
        // Types: folders have a program, files of the test type do not.
        WriteScript(mime,
                    "echo \"$@\" >> '" + (dir / "mime.log").string() + "'\n"
                    "case \"$2\" in\n"
                    "  filetype) echo 'application/x-lumatest' ;;\n"
                    "  default) [ \"$3\" = inode/directory ] && echo files.desktop ;;\n"
                    "esac\n"
                    "exit 0\n");
    }
    void WriteScript(const std::string& path, const std::string& body) {
        WriteFileBytes(path, "#!/bin/sh\n" + body);
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    }
    TempDir dir;
    std::string mime;
};

TEST_F(XdgLauncher, AsksTheTypeQueryForAProgram) {
    WriteFileBytes(dir / "doc.lumatest", "x");
    fs::create_directory(dir / "folder");
    TRecordingPrompt prompt;
    const TShellLauncher launcher = XdgShellLauncher("true", mime);
    EXPECT_EQ(ShellOpenFile((dir / "doc.lumatest").string(), "", "", TShowCommand::Normal, prompt, launcher), 31);
    EXPECT_EQ(ShellOpenFile((dir / "folder").string(), "", "", TShowCommand::Normal, prompt, launcher),
              kShellOpenStarted);
    EXPECT_EQ(test::ReadFileBytes(dir / "mime.log"), "query filetype " + (dir / "doc.lumatest").string() +
                                                         "\nquery default application/x-lumatest\n"
                                                         "query default inode/directory\n");
    // A missing opener means nothing can open the file.
    EXPECT_EQ(ShellOpenFile((dir / "folder").string(), "", "", TShowCommand::Normal, prompt,
                            XdgShellLauncher((dir / "no-such-opener").string(), mime)),
              31);
}

TEST_F(XdgLauncher, StartsTheOpenerDetachedInTheGivenFolder) {
    const std::string fifo = (dir / "report").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string opener = (dir / "fake-open").string();
    WriteScript(opener, "echo \"$(pwd) $1\" > '" + fifo + "'\n");
    fs::create_directory(dir / "work");
    WriteFileBytes(dir / "work" / "page one.html", "x");

    // Opened before starting so the opener's write cannot block; it waits for the report below.
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    TRecordingPrompt prompt;
    const TShellLauncher launcher = XdgShellLauncher(opener, "/no/such/query");  // unknown type: let it try
    EXPECT_EQ(ShellOpenFile("page one.html", "", (dir / "work").string(), TShowCommand::NoActivate, prompt,
                            launcher),
              kShellOpenStarted);
    std::string report;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 20000), 0) << "the opener never reported";
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        report.append(buffer, static_cast<std::size_t>(n));
        if (report.back() == '\n') break;
    }
    close(fd);
    const std::string work = (dir / "work").string();
    EXPECT_EQ(report, work + " " + work + "/page one.html\n");
}

}  // namespace
}  // namespace luma
