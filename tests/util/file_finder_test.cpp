#include "util/file_finder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFileBytes;

// Runs a finder and records its events as "N <folder>" and "F <folder><name>", folders relative to root.
class Recorder {
public:
    Recorder(TFileFinder& finder, const fs::path& root) : root_(root.string() + "/") {
        finder.OnFound = [this](TFileFinder& sender, const std::string& folder, const TSearchRec& info) {
            events.push_back("F " + Relative(folder) + info.Name);
            records.push_back(info);
            if (onFound) onFound(sender, info);
        };
        finder.OnNewFolder = [this](TFileFinder&, const std::string& folder, bool& ignore) {
            events.push_back("N " + Relative(folder));
            EXPECT_FALSE(ignore);
            ignore = Relative(folder).find(ignoreName) != std::string::npos && !ignoreName.empty();
        };
    }
    std::vector<std::string> events;
    std::vector<TSearchRec> records;
    std::string ignoreName;
    std::function<void(TFileFinder&, const TSearchRec&)> onFound;

private:
    std::string Relative(const std::string& folder) const {
        EXPECT_EQ(folder.compare(0, root_.size(), root_), 0) << folder;
        EXPECT_EQ(folder.back(), '/');
        return folder.substr(root_.size());
    }
    std::string root_;
};

class FileFinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file : {"a.jpg", "b.txt", "c.JPG", "jpg", "jpg.png", ".hidden.jpg", ".cache/x.jpg",
                                 "sub1/d.jpg", "sub1/deep/e.jpg", "sub2/f.jpg", "thumbs/t.jpg",
                                 "thumbs/inner/u.jpg"}) {
            fs::create_directories((dir / file).parent_path());
            WriteFileBytes(dir / file, "12345");
        }
        finder.SetLocation(dir.path().string());
    }
    TempDir dir;
    TFileFinder finder;
};

TEST_F(FileFinderTest, DepthFirstFilesBeforeSubfoldersWithoutDotNames) {
    finder.SetFilename("*.jpg");
    Recorder rec(finder, dir.path());
    finder.RunSearch();
    EXPECT_EQ(rec.events, (std::vector<std::string>{
                              "N ", "F a.jpg", "F c.JPG",                       //
                              "N sub1/", "F sub1/d.jpg", "N sub1/deep/", "F sub1/deep/e.jpg",  //
                              "N sub2/", "F sub2/f.jpg",                                         //
                              "N thumbs/", "F thumbs/t.jpg", "N thumbs/inner/", "F thumbs/inner/u.jpg"}));
    EXPECT_FALSE(finder.Cancelled());
    ASSERT_FALSE(rec.records.empty());
    EXPECT_EQ(rec.records[0].Size, 5);
    EXPECT_EQ(rec.records[0].Attr, 0u);  // a regular writable file is "normal"
}

TEST_F(FileFinderTest, FilenameBecomesTheSearchMask) {
    struct Case {
        const char* filename;
        const char* mask;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"jpg", "jpg.*", {"F jpg", "F jpg.png"}},
        {"*.jpg", "*.jpg", {"F a.jpg", "F c.JPG"}},
        {"", "*.*", {"F a.jpg", "F b.txt", "F c.JPG", "F jpg", "F jpg.png"}},
        {"?.*", "?.*", {"F a.jpg", "F b.txt", "F c.JPG"}},
        {"*G", "*G.*", {"F jpg", "F jpg.png"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TFileFinder::SearchMask(c.filename), c.mask);
        finder.SetFilename(c.filename);
        finder.SetSubfolders(false);
        Recorder rec(finder, dir.path());
        finder.RunSearch();
        std::vector<std::string> expected{"N "};
        expected.insert(expected.end(), c.found.begin(), c.found.end());
        EXPECT_EQ(rec.events, expected) << c.filename;
    }
}

TEST(FileFinderMask, Wildcards) {
    struct Case {
        const char* mask;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {"*.*", "noext", true},   {"*.jpg", "A.JPG", true},  {"*.jpg", "a.jpgx", false}, {"a?c", "abc", true},
        {"a?c", "ac", false},     {"*a*b", "xxaxxb", true},  {"*a*b", "xxaxxbc", false}, {"jpg.*", "jpg", true},
        {"jpg.*", "jpgs", false}, {"*g.*", "a.jpg", false}, {"*", "", true},           {"x*.t?t", "x1.txt", true},
    };
    for (const Case& c : cases) EXPECT_EQ(TFileFinder::MatchesMask(c.mask, c.name), c.expected) << c.mask << " " << c.name;
}

TEST_F(FileFinderTest, IgnoredFolderKeepsItsFilesAndSubfoldersOut) {
    finder.SetFilename("*.jpg");
    Recorder rec(finder, dir.path());
    rec.ignoreName = "thumbs";
    finder.RunSearch();
    EXPECT_EQ(rec.events.back(), "N thumbs/");
    for (const std::string& e : rec.events) EXPECT_EQ(e.find("thumbs/t"), std::string::npos) << e;
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "N thumbs/inner/"), 0);
}

TEST_F(FileFinderTest, SubfoldersOffSearchesOnlyTheLocation) {
    finder.SetFilename("*.jpg");
    finder.SetSubfolders(false);
    Recorder rec(finder, dir.path());
    finder.RunSearch();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"N ", "F a.jpg", "F c.JPG"}));
}

TEST(FileFinder, CancelDuringFirstOfTwoFoldersReportsNothingFromTheSecond) {
    TempDir dir;
    for (const char* file : {"one/x.jpg", "one/y.jpg", "two/z.jpg"}) {
        fs::create_directories((dir / file).parent_path());
        WriteFileBytes(dir / file, "");
    }
    TFileFinder finder;
    finder.SetLocation(dir.path().string());
    Recorder rec(finder, dir.path());
    rec.onFound = [](TFileFinder& sender, const TSearchRec&) { sender.CancelSearch(); };
    finder.RunSearch();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"N ", "N one/", "F one/x.jpg"}));
    EXPECT_TRUE(finder.Cancelled());

    // The next search starts afresh.
    rec.onFound = nullptr;
    rec.events.clear();
    finder.RunSearch();
    EXPECT_EQ(rec.events.size(), 6u);
    EXPECT_FALSE(finder.Cancelled());
}

TEST(FileFinder, AttributeFilter) {
    TempDir dir;
    WriteFileBytes(dir / "plain.jpg", "");
    ASSERT_EQ(mkfifo((dir / "pipe.jpg").c_str(), 0644), 0);  // neither file nor folder: "system"
    fs::create_symlink(dir / "gone", dir / "dangling.jpg");   // also "system"
    fs::create_directory(dir / "folder.jpg");
    struct Case {
        TFileAttributes attributes;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {kDefaultFileAttributes, {"F dangling.jpg", "F pipe.jpg", "F plain.jpg"}},
        {{ffArchive, ffReadonly, ffHidden, ffSystem}, {"F dangling.jpg", "F pipe.jpg"}},
        {{ffNormal}, {"F plain.jpg"}},
        {{ffNormal, ffDirectory}, {"F folder.jpg", "F plain.jpg"}},
    };
    for (const Case& c : cases) {
        TFileFinder finder;
        finder.SetLocation(dir.path().string());
        finder.SetSubfolders(false);
        finder.SetAttributes(c.attributes);
        Recorder rec(finder, dir.path());
        finder.RunSearch();
        std::vector<std::string> expected{"N "};
        expected.insert(expected.end(), c.found.begin(), c.found.end());
        EXPECT_EQ(rec.events, expected);
        for (const TSearchRec& r : rec.records) {
            if (r.Name == "pipe.jpg" || r.Name == "dangling.jpg") {
                EXPECT_TRUE(r.Attr & faSysFile);
            }
            if (r.Name == "folder.jpg") {
                EXPECT_EQ(r.Attr, faDirectory);
            }
        }
    }
}

TEST(FileFinder, ReadOnlyFileNeedsReadonlyInAttributes) {
    if (geteuid() == 0) GTEST_SKIP() << "every file is writable for the superuser";
    TempDir dir;
    WriteFileBytes(dir / "locked.jpg", "");
    ASSERT_EQ(chmod((dir / "locked.jpg").c_str(), 0444), 0);
    for (const bool withReadonly : {true, false}) {
        TFileFinder finder;
        finder.SetLocation(dir.path().string());
        finder.SetAttributes(withReadonly ? TFileAttributes{ffNormal, ffReadonly} : TFileAttributes{ffNormal});
        Recorder rec(finder, dir.path());
        finder.RunSearch();
        EXPECT_EQ(rec.events.size(), withReadonly ? 2u : 1u);
        if (withReadonly) {
            EXPECT_EQ(rec.records.at(0).Attr, faReadOnly);
        }
    }
}

TEST(FileFinder, UnreadableFolderYieldsNoEntriesAndTheSearchGoesOn) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
    TempDir dir;
    for (const char* file : {"a/x.jpg", "b/y.jpg"}) {
        fs::create_directories((dir / file).parent_path());
        WriteFileBytes(dir / file, "");
    }
    ASSERT_EQ(chmod((dir / "a").c_str(), 0), 0);
    TFileFinder finder;
    finder.SetLocation(dir.path().string());
    Recorder rec(finder, dir.path());
    finder.RunSearch();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"N ", "N a/", "N b/", "F b/y.jpg"}));
}

TEST(FileFinder, LinkCycleEnds) {
    TempDir dir;
    fs::create_directories(dir / "sub");
    WriteFileBytes(dir / "sub" / "x.jpg", "");
    fs::create_directory_symlink(dir.path(), dir / "sub" / "back");  // sub/back -> root
    fs::create_directory_symlink(dir / "sub", dir / "again");        // a second way into sub
    TFileFinder finder;
    finder.SetLocation(dir.path().string());
    Recorder rec(finder, dir.path());
    finder.RunSearch();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"N ", "N again/", "F again/x.jpg"}));
}

TEST(FileFinder, SettersRefuseBadValues) {
    TempDir dir;
    TFileFinder finder;
    finder.SetFilename("*.png");
    for (const std::string bad : {"C:\\x\\*.jpg", "/x/*.jpg", "sub/a.jpg"}) {
        try {
            finder.SetFilename(bad);
            ADD_FAILURE() << bad;
        } catch (const EFindFileError& e) {
            EXPECT_EQ(std::string(e.what()), bad + "\n\rInvalid filename specified");
        }
    }
    EXPECT_EQ(finder.Filename(), "*.png");

    const fs::path oldCwd = fs::current_path();
    fs::current_path(dir.path());
    try {
        finder.SetLocation("missing");
        ADD_FAILURE();
    } catch (const EFindFileError& e) {
        EXPECT_EQ(std::string(e.what()), (dir / "missing").string() + "\n\rdirectory does not exists");
    }
    WriteFileBytes(dir / "file", "");
    EXPECT_THROW(finder.SetLocation("file"), EFindFileError);
    fs::current_path(oldCwd);

    struct Case {
        std::string value;
        std::string stored;
    };
    const std::string d = dir.path().string();
    for (const Case& c : {Case{d + "///", d}, Case{"/", "/"}, Case{"", ""}, Case{d, d}}) {
        finder.SetLocation(c.value);
        EXPECT_EQ(finder.Location(), c.stored);
    }
}

TEST(FileFinder, EmptyLocationSearchesTheCurrentFolder) {
    TempDir dir;
    WriteFileBytes(dir / "here.jpg", "");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(dir.path());
    TFileFinder finder;
    std::vector<std::string> found;
    finder.OnFound = [&](TFileFinder&, const std::string& folder, const TSearchRec& r) { found.push_back(folder + r.Name); };
    finder.RunSearch();
    fs::current_path(oldCwd);
    EXPECT_EQ(found, std::vector<std::string>{dir.path().string() + "/here.jpg"});
}

}  // namespace
}  // namespace luma
