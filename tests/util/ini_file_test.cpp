#include "util/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// One settings file in both line-end styles.
const std::string kSample =
    "; written by hand\n"
    "[General]\n"
    "A=1\n"
    "  b = two words  \n"
    "Empty=\n"
    "Quoted=\"  x \"\n"
    "Single='y'\n"
    "[general]\n"
    "A=duplicate section\n"
    "[Other]\n"
    "NoEquals\n"
    ";A=commented\n"
    "A=first\n"
    "a=second\n";

std::string WithCrlf(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(IniFile, ReadsKeysWithoutRegardToCaseInEitherLineEnd) {
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"General", "A", "1"},
        {"GENERAL", "a", "1"},
        {" General ", "B", "two words"},
        {"General", "Empty", ""},
        {"General", "Quoted", "  x "},
        {"General", "Single", "y"},
        {"General", "Missing", std::nullopt},
        {"Other", "A", "first"},
        {"Other", "NoEquals", std::nullopt},
        {"Missing", "A", std::nullopt},
    };
    for (const std::string& text : {kSample, WithCrlf(kSample)}) {
        const TIniFile ini(text);
        for (const Case& c : cases) EXPECT_EQ(ini.Read(c.section, c.key), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"General", "Other"}));
        EXPECT_EQ(ini.Keys("other"), (std::vector<std::string>{"A"}));
        EXPECT_EQ(ini.Text(), text);
    }
}

TEST(IniFile, WritesTouchOnlyTheirLine) {
    TIniFile ini(WithCrlf(kSample));
    ASSERT_TRUE(ini.Write("general", "a", "7"));         // existing key: its line, stored spelling
    ASSERT_TRUE(ini.Write("Other", "New", "n"));         // new key: end of its section
    ASSERT_TRUE(ini.Write("Zeta", "K", "z"));            // new sections: appended in order written
    ASSERT_TRUE(ini.Write("Alpha", "K", "a"));
    const std::string expected = WithCrlf(
        "; written by hand\n"
        "[General]\n"
        "A=7\n"
        "  b = two words  \n"
        "Empty=\n"
        "Quoted=\"  x \"\n"
        "Single='y'\n"
        "[general]\n"
        "A=duplicate section\n"
        "[Other]\n"
        "NoEquals\n"
        ";A=commented\n"
        "A=first\n"
        "a=second\n"
        "New=n\n"
        "[Zeta]\n"
        "K=z\n"
        "[Alpha]\n"
        "K=a\n");
    EXPECT_EQ(ini.Text(), expected);
}

TEST(IniFile, NewKeyGoesBeforeTheBlankLinesThatSeparateSections) {
    TIniFile ini("[A]\nx=1\n\n[B]\ny=2");
    ASSERT_TRUE(ini.Write("A", "z", "3"));
    ASSERT_TRUE(ini.Write("B", "w", "4"));  // last line had no line end
    EXPECT_EQ(ini.Text(), "[A]\nx=1\nz=3\n\n[B]\ny=2\nw=4\n");
}

TEST(IniFile, ValuesReadBackExactlyAsWritten) {
    for (const std::string value : {"", "plain", " lead", "trail ", "\"quoted\"", "'single'", "a=b;c", "\"", "x\"y"}) {
        TIniFile ini;
        ASSERT_TRUE(ini.Write("S", "K", value));
        EXPECT_EQ(TIniFile(ini.Text()).Read("S", "K"), value) << ini.Text();
    }
}

TEST(IniFile, RefusesNamesAndValuesThatWouldBreakTheFile) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"S", "K", "two\nlines"}, {"S", "K", "cr\rhere"}, {"S\n[X]", "K", "v"}, {"S]", "K", "v"},
        {"", "K", "v"},           {"S", "", "v"},         {"S", "a=b", "v"},    {"S", ";K", "v"},
        {"S", "[K", "v"},         {"S", "K\nX", "v"},
    };
    for (const Case& c : cases) {
        TIniFile ini("[S]\nK=old\n");
        EXPECT_FALSE(ini.Write(c.section, c.key, c.value)) << c.section << "/" << c.key;
        EXPECT_EQ(ini.Text(), "[S]\nK=old\n");
    }
}

TEST(IniFile, EraseAndDelete) {
    TIniFile ini("[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n");
    EXPECT_TRUE(ini.DeleteKey("B", "Y"));
    EXPECT_FALSE(ini.DeleteKey("B", "y"));
    EXPECT_TRUE(ini.EraseSection("a"));  // every section of that name
    EXPECT_FALSE(ini.EraseSection("A"));
    EXPECT_EQ(ini.Text(), "[B]\n");
}

TEST(IniFile, KeepsAByteOrderMark) {
    TIniFile ini("\xEF\xBB\xBF[S]\nK=v\n");
    EXPECT_EQ(ini.Read("S", "K"), "v");
    ASSERT_TRUE(ini.Write("S", "K", "w"));
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[S]\nK=w\n");
}

TEST(IniFile, ParsesIntegersAsStoredSettingsWriteThem) {
    struct Case {
        const char* text;
        std::optional<int32_t> expected;
    };
    const Case cases[] = {
        {"42", 42},        {"-7", -7},           {"+3", 3},
        {"$1F", 31},       {"0x10", 16},         {"$FFFFFFFF", -1},
        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt},
        {"12abc", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
        {"1.5", std::nullopt}, {"$", std::nullopt}, {"0x1FFFFFFFF", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text), c.expected) << c.text;
}

class IniFunctions : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = (dir / "settings.ini").string();
};

TEST_F(IniFunctions, MissingFileGivesDefaultsAndIsNotCreatedByReads) {
    EXPECT_EQ(IniReadInteger(path, "S", "K", 9), 9);
    EXPECT_EQ(IniReadString(path, "S", "K", "d"), "d");
    EXPECT_TRUE(IniReadBool(path, "S", "K", true));
    EXPECT_TRUE(IniEraseSection(path, "S"));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFunctions, EmptyValueGivesDefaultToFreeReadButNotToBinder) {
    WriteFileBytes(path, "[S]\nEmpty=\nNumber=x1\n");
    EXPECT_EQ(IniReadString(path, "S", "Empty", "default"), "default");
    EXPECT_EQ(IniReadInteger(path, "S", "Number", 5), 5);
    TIniBinder binder;
    binder.FileName = path;
    EXPECT_EQ(binder.ReadString("S", "Empty", "default"), "");
    EXPECT_EQ(binder.ReadString("S", "Missing", "default"), "default");
}

TEST_F(IniFunctions, BoolEncodings) {
    struct Case {
        const char* stored;  // nullptr: key missing
        bool defaultValue;
        bool freeResult;    // IniReadBool: sentinel 3 means "use the default"
        bool binderResult;  // TIniBinder::ReadBool: true only for 1
    };
    const Case cases[] = {
        {"1", false, true, true},   {"0", true, false, false},  {"2", true, false, false},
        {"3", true, true, false},   {"3", false, false, false}, {nullptr, true, true, true},
        {nullptr, false, false, false}, {"yes", true, true, true}, {"yes", false, false, false}, {"-1", true, false, false},
    };
    TIniBinder binder;
    binder.FileName = path;
    for (const Case& c : cases) {
        fs::remove(path);
        if (c.stored) {
            ASSERT_TRUE(IniWriteString(path, "S", "B", c.stored));
        }
        EXPECT_EQ(IniReadBool(path, "S", "B", c.defaultValue), c.freeResult) << (c.stored ? c.stored : "missing");
        EXPECT_EQ(binder.ReadBool("S", "B", c.defaultValue), c.binderResult) << (c.stored ? c.stored : "missing");
    }
    ASSERT_TRUE(IniWriteBool(path, "S", "T", true));
    ASSERT_TRUE(binder.WriteBool("S", "F", false));
    EXPECT_EQ(IniReadString(path, "S", "T", ""), "1");
    EXPECT_EQ(IniReadString(path, "S", "F", ""), "0");
}

TEST_F(IniFunctions, WritesCreateTheFolderAndKeepOtherContent) {
    const std::string nested = (dir / "new" / "deeper" / "s.ini").string();
    ASSERT_TRUE(IniWriteInteger(nested, "S", "K", -12));
    EXPECT_EQ(IniReadInteger(nested, "s", "k", 0), -12);

    WriteFileBytes(path, "; keep me\r\n[Old]\r\nX=1\r\n\r\n[S]\r\nK=0\r\n");
    ASSERT_TRUE(IniWriteString(path, "S", "K", "v"));
    ASSERT_TRUE(IniEraseSection(path, "old"));
    EXPECT_EQ(ReadFileBytes(path), "; keep me\r\n[S]\r\nK=v\r\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(IniFunctions, ReplacesFileKeepingItsModeAndSymbolicLink) {
    WriteFileBytes(path, "[S]\nK=1\n");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    const std::string link = (dir / "link.ini").string();
    fs::create_symlink("settings.ini", link);
    ASSERT_TRUE(IniWriteInteger(link, "S", "K", 2));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(path), "[S]\nK=2\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFunctions, FailedWriteReturnsFalseAndLeavesTheOldFile) {
    WriteFileBytes(path, "[S]\nK=old\n");
    // A file size limit makes the write fail part way, as a full disk would (this works as root too).
    struct sigaction ignore {};
    struct sigaction previousAction {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    rlimit previousLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit small = previousLimit;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = IniWriteString(path, "S", "K", std::string(1000, 'x'));
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    sigaction(SIGXFSZ, &previousAction, nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFileBytes(path), "[S]\nK=old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(IniFunctions, WriteRefusedWhenExistingFileCannotBeRead) {
    fs::create_directory(path);  // a folder where the file should be: unreadable as a file
    EXPECT_FALSE(IniWriteString(path, "S", "K", "v"));
    EXPECT_FALSE(IniEraseSection(path, "S"));
    EXPECT_TRUE(fs::is_directory(path));
}

}  // namespace
}  // namespace luma
