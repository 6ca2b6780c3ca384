#include "util/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/test_support.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFileBytes;

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, AddTrailingSeparator) {
    EXPECT_EQ(AddTrailingSeparator("/a"), "/a/");
    EXPECT_EQ(AddTrailingSeparator("/a/"), "/a/");
    EXPECT_EQ(AddTrailingSeparator(""), "");
}

TEST(Paths, InvalidFileNameCharacters) {
    for (const char c : std::string("\\/:*?\"<>|")) EXPECT_TRUE(HasInvalidFileNameChars(std::string("my") + c + "photo")) << c;
    EXPECT_FALSE(HasInvalidFileNameChars("my photo"));
    EXPECT_FALSE(HasInvalidFileNameChars("été;#.jpg"));
}

TEST(Paths, ExtensionInList) {
    const std::string list = "*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.pcx;*.png;*.bmp;";
    struct Case {
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {"photo.JPEG", true}, {"photo.jpg", true},  {"/a.b/photo.TiF", true}, {"photo.jp", false},
        {"photo", false},     {"/a.jpg/photo", false}, {"photo.", false},     {"photo.iff", false},
        {"archive.jpg.zip", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtensionInList(c.name, list), c.expected) << c.name;
    EXPECT_TRUE(ExtensionInList("x.PNG", "*.BMP;*.PnG;"));
}

TEST(Paths, EnsureFolderCreatesMissingLevelsSilently) {
    TempDir dir;
    TRecordingPrompt prompt;
    EXPECT_TRUE(EnsureFolder(dir.path().string(), prompt));
    const fs::path deep = dir / "new" / "deep";
    EXPECT_TRUE(EnsureFolder(deep.string(), prompt));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(prompt.messages.empty());
}

void ExpectCreateFolderWarning(const TRecordingPrompt& prompt, const std::string& path) {
    ASSERT_EQ(prompt.messages.size(), 1u);
    const auto& m = prompt.messages[0];
    EXPECT_EQ(m.caption, "Could Not Create Output Folder");
    EXPECT_EQ(m.icon, TMsgIcon::Warning);
    EXPECT_EQ(m.buttons, TMsgButtons::OK);
    EXPECT_EQ(m.text, "The Folder: \n\n" + path +
                          "\n\ndoes not exist and could not be created.\n\n"
                          "Please check that the path name does not contain the following characters:\n\n"
                          "/ * ? \" < > |");
}

TEST(Paths, EnsureFolderWarnsWhenCreationFails) {
    TempDir dir;
    WriteFileBytes(dir / "file", "x");
    for (const std::string& path : {(dir / "file" / "sub").string(), (dir / "file").string(), std::string()}) {
        TRecordingPrompt prompt;
        EXPECT_FALSE(EnsureFolder(path, prompt)) << path;
        ExpectCreateFolderWarning(prompt, path);
    }
}

TEST(Paths, EnsureFolderWarnsUnderNonWritableParent) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
    TempDir dir;
    const fs::path parent = dir / "locked";
    fs::create_directory(parent);
    ASSERT_EQ(chmod(parent.c_str(), 0555), 0);
    TRecordingPrompt prompt;
    const std::string path = (parent / "new" / "deep").string();
    EXPECT_FALSE(EnsureFolder(path, prompt));
    ExpectCreateFolderWarning(prompt, path);
}

TEST(Paths, SameFileIsTheFileSystemsAnswer) {
    TempDir dir;
    WriteFileBytes(dir / "photo.jpg", "a");
    WriteFileBytes(dir / "Photo.jpg", "b");
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "photo.jpg", dir / "link.jpg");
    fs::create_hard_link(dir / "photo.jpg", dir / "hard.jpg");
    const std::string d = dir.path().string();
    struct Case {
        std::string a;
        std::string b;
        bool expected;
    };
    const Case cases[] = {
        {d + "/photo.jpg", d + "/sub/../photo.jpg", true},
        {d + "/photo.jpg", d + "/link.jpg", true},
        {d + "/photo.jpg", d + "/hard.jpg", true},
        {d + "/photo.jpg", d + "/Photo.jpg", false},  // names differing in case are different files
        {d + "/photo.jpg", d + "/PHOTO.JPG", false},  // one missing: paths compared as they are spelled
        {d + "/new.jpg", d + "/./new.jpg", true},
        {d + "/new.jpg", d + "/New.jpg", false},
        {d + "/sub/", d + "/sub", true},
    };
    for (const Case& c : cases) EXPECT_EQ(SameFile(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(Paths, SettingsFolderFollowsOverrideThenXdg) {
    TempDir dir;
    const std::string home = dir.path().string();
    ScopedEnv homeEnv("HOME", home);
    struct Case {
        std::optional<std::string> override;
        std::optional<std::string> xdgConfig;
        std::string expected;
    };
    const Case cases[] = {
        {"/opt/conf", "/x", "/opt/conf/"},
        {"/opt/conf/", std::nullopt, "/opt/conf/"},
        {std::nullopt, "/x/cfg", "/x/cfg/lumatrans/"},
        {"", "relative/cfg", home + "/.config/lumatrans/"},  // a relative XDG value is ignored
        {std::nullopt, std::nullopt, home + "/.config/lumatrans/"},
    };
    for (const Case& c : cases) {
        ScopedEnv overrideEnv("LUMATRANS_CONFIG_DIR", c.override);
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", c.xdgConfig);
        EXPECT_EQ(SettingsFolder(), c.expected);
    }
}

TEST(Paths, UserFoldersFromXdgListWithFallbacks) {
    TempDir dir;
    const std::string home = dir.path().string();
    ScopedEnv homeEnv("HOME", home);
    ScopedEnv xdgEnv("XDG_CONFIG_HOME", std::nullopt);
    fs::create_directories(dir / ".config");

    // Nothing configured, no folders: both fall back to the home folder.
    EXPECT_EQ(PicturesFolder(), home);
    EXPECT_EQ(DocumentsFolder(), home);

    fs::create_directory(dir / "Documents");
    EXPECT_EQ(PicturesFolder(), home + "/Documents");  // pictures fall back to documents
    fs::create_directory(dir / "Pictures");
    EXPECT_EQ(PicturesFolder(), home + "/Pictures");

    fs::create_directory(dir / "Fotos");
    fs::create_directory(dir / "my docs");
    WriteFileBytes(dir / ".config" / "user-dirs.dirs",
                   "# written by xdg-user-dirs-update\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n"
                   "XDG_DOCUMENTS_DIR=\"" + home + "/my docs/\"\n");
    EXPECT_EQ(PicturesFolder(), home + "/Fotos");
    EXPECT_EQ(PicturesFolder(true), home + "/Fotos");
    EXPECT_EQ(DocumentsFolder(), home + "/my docs");

    // A folder set to the home folder is disabled; a configured folder that is missing is skipped.
    WriteFileBytes(dir / ".config" / "user-dirs.dirs",
                   "XDG_PICTURES_DIR=\"$HOME/\"\nXDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(PicturesFolder(), home + "/Pictures");
    EXPECT_EQ(DocumentsFolder(), home + "/Documents");
}

TEST(Paths, ProgramAndDataFolders) {
    const std::string program = ProgramFolder();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_TRUE(fs::exists(program + "util_tests"));
    const std::string data = DataFolder();
    EXPECT_EQ(data.back(), '/');
    EXPECT_TRUE(fs::is_directory(data)) << data;
}

}  // namespace
}  // namespace luma
