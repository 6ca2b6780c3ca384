#include "thumbpages/thumb_generator.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "batch/fitted_size.h"
#include "support/test_support.h"
#include "thumb_test_support.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

namespace fs = std::filesystem;
using test::CrLfLines;
using test::ReadFileBytes;
using test::RecordingThumbView;
using test::TempDir;
using test::WriteImage;

struct Gallery {
    TempDir dir;
    fs::path src = dir / "src";
    fs::path out = dir / "out";
    TThumbSettings settings;
    RecordingThumbView view;
    TRecordingPrompt prompt;
    std::vector<std::string> opened;
    TThumbGenerator generator{view, prompt};

    Gallery() {
        fs::create_directories(src);
        fs::create_directories(out);
        settings.OutputFolder = out.string();
        settings.Launch = false;
        generator.Launcher.hasHandler = [](const std::string&) { return true; };
        generator.Launcher.start = [this](const std::vector<std::string>& argv, const std::string&) {
            opened.push_back(argv.back());
            return 0;
        };
        generator.Launcher.openCommand = {"open"};
    }

    // Writes images named name + "01" .. in the source folder and returns their paths.
    std::vector<std::string> Images(int count, const std::string& stem = "img") {
        std::vector<std::string> paths;
        for (int i = 1; i <= count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s%02d.bmp", stem.c_str(), i);
            WriteImage(src / name, 8, 6);
            paths.push_back((src / name).string());
        }
        return paths;
    }

    std::vector<std::string> Run(const std::vector<std::string>& sources) {
        generator.Run(settings, sources);
        return generator.CreatedFiles;
    }

    std::string Page(const std::string& name) const { return ReadFileBytes(out / name); }
    std::vector<std::string> Lines(const std::string& name) const { return CrLfLines(Page(name)); }
    std::string OutPath(const std::string& name) const { return (out / name).string(); }
};

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

TEST(ThumbGenerator, WorkedExampleByteForByte) {
    Gallery g;
    g.settings.Homepage = "HOME";
    g.settings.Launch = true;
    WriteImage(g.src / "b.jpg", 300, 200);
    WriteImage(g.src / "a.jpg", 1024, 768);
    const auto created = g.Run({(g.src / "b.jpg").string(), (g.src / "a.jpg").string()});

    EXPECT_EQ(created, (std::vector<std::string>{g.OutPath("tn_a.gif"), g.OutPath("tn_a_sm.gif"),
                                                 g.OutPath("tn_a_sm.html"), g.OutPath("tn_b.gif"),
                                                 g.OutPath("tn_b_sm.gif"), g.OutPath("tn_b_sm.html"),
                                                 g.OutPath("pictures.html")}));
    const std::string header =
        "<html>\r\n"
        "<head>\r\n"
        "  <title>My Pictures</title>\r\n"
        "</head>\r\n"
        "<body bgcolor=\"#FFFFFF\" text=\"#000000\" link=\"#0000FF\" alink=\"#FF0000\" vlink=\"#FF00FF\">\r\n"
        "<p align=center><font face=\"Tahoma\" size=5>My Pictures</font></p>\r\n"
        "<p align=\"center\"><font face=\"Tahoma\">This is a comment that might describe the images.</font></p>\r\n"
        "<font size=\"2\" face=\"Tahoma\">\r\n";
    EXPECT_EQ(g.Page("pictures.html"),
              header +
                  "<p align=\"center\"><a href=\"HOME\">Home</a>&nbsp;\r\n"
                  "</font>\r\n"
                  "</p>\r\n"
                  "<table border=\"0\" cellpadding=\"0\" align=\"center\">\r\n"
                  "<tr>\r\n"
                  "  <td align=\"center\">\r\n"
                  "<a href=\"tn_a_sm.html\" target=\"_self\"><img src=\"tn_a.gif\" border=\"0\"></a><font size=\"1\" "
                  "face=\"Tahoma\"><a href=\"tn_a_sm.html\"></a></font>\r\n"
                  "</td>\r\n"
                  "  <td align=\"center\">\r\n"
                  "<a href=\"tn_b_sm.html\" target=\"_self\"><img src=\"tn_b.gif\" border=\"0\"></a><font size=\"1\" "
                  "face=\"Tahoma\"><a href=\"tn_b_sm.html\"></a></font>\r\n"
                  "</td>\r\n"
                  "</tr>\r\n"
                  "</table>\r\n"
                  "</font></body></html>\r\n");
    EXPECT_EQ(g.Page("tn_a_sm.html"), header +
                                          "<p align=\"center\"><a href=\"pictures.html\">Back</a></p>\r\n"
                                          "\r\n"
                                          "<p align=\"center\"><img src=\"tn_a_sm.gif\"></p>\r\n"
                                          "</font></body></html>\r\n");

    // The thumbnails and smaller versions are fitted into their boxes.
    TImageComponent image;
    for (const auto& [name, w, h] : {std::tuple{"tn_a.gif", 100, 75}, std::tuple{"tn_b.gif", 100, 66},
                                     std::tuple{"tn_a_sm.gif", 640, 480}, std::tuple{"tn_b_sm.gif", 640, 426}}) {
        image.LoadImageFile(g.OutPath(name));
        EXPECT_EQ(image.Bitmap().Width(), w) << name;
        EXPECT_EQ(image.Bitmap().Height(), h) << name;
    }
    EXPECT_EQ(g.view.statuses.front(), kStatusProcessing);
    EXPECT_EQ(g.view.statuses.back(), kStatusCompleted);
    EXPECT_EQ(g.opened, std::vector<std::string>{g.OutPath("pictures.html")});
    EXPECT_EQ(g.view.endedFirstPage, g.OutPath("pictures.html"));
    EXPECT_FALSE(g.view.stopEnabled);
    EXPECT_EQ(g.view.progressMax, 1);
}

TEST(ThumbGenerator, SquareBoxFitting) {
    struct Case {
        int32_t w, h, fw, fh;
    };
    for (const Case& c : {Case{1024, 768, 100, 75}, Case{300, 200, 100, 66}, Case{1200, 1600, 75, 100},
                          Case{15, 15, 99, 99}}) {
        const TDimensions d = FittedSize(c.w, c.h, 100, 100);
        EXPECT_EQ(d.Width, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(d.Height, c.fh) << c.w << "x" << c.h;
    }
}

TEST(ThumbGenerator, SevenImagesOnOneUnnumberedPage) {
    Gallery g;
    g.Run(g.Images(7));
    ASSERT_TRUE(fs::exists(g.out / "pictures.html"));
    EXPECT_FALSE(fs::exists(g.out / "pictures1.html"));
    bool crlf = false;
    const auto lines = CrLfLines(g.Page("pictures.html"), &crlf);
    EXPECT_TRUE(crlf);
    EXPECT_EQ(CountLines(lines, "<tr>"), 2);
    EXPECT_EQ(CountLines(lines, "&nbsp;"), 3);
    EXPECT_EQ(CountPrefix(lines, "<a href=\"tn_img"), 7);
    // Row 2: images 6 and 7, then the three empty cells.
    const auto row2 = std::find(std::find(lines.begin(), lines.end(), "</tr>"), lines.end(), "<tr>");
    ASSERT_NE(row2, lines.end());
    EXPECT_EQ((row2 + 2)->rfind("<a href=\"tn_img06_sm.html\"", 0), 0u);
    EXPECT_EQ((row2 + 5)->rfind("<a href=\"tn_img07_sm.html\"", 0), 0u);
    EXPECT_EQ(*(row2 + 8), "&nbsp;");
    EXPECT_EQ(CountPrefix(lines, "<a href=\"pictures"), 0) << "no navigation";
    EXPECT_EQ(CountPrefix(lines, "<p align=\"center\"><font size=\"2\" face=\"Tahoma\">Page: "), 0);
    EXPECT_EQ(g.view.progressMax, 6);
    EXPECT_EQ(g.view.progress, 10);
}

TEST(ThumbGenerator, ThirtyImagesOnTwoPages) {
    Gallery g;
    g.settings.Launch = true;
    g.Run(g.Images(30));
    EXPECT_FALSE(fs::exists(g.out / "pictures.html"));
    const auto page1 = g.Lines("pictures1.html");
    const auto page2 = g.Lines("pictures2.html");
    for (const auto& [lines, first, previous, next, last] :
         {std::tuple{page1, 1, 0, 1, 1}, std::tuple{page2, 1, 1, 0, 1}}) {
        EXPECT_EQ(CountLines(lines, "<a href=\"pictures1.html\">[ First Page ]</a>&nbsp;"), first);
        EXPECT_EQ(CountLines(lines, "<a href=\"pictures1.html\">[ Previous Page ]</a>&nbsp;"), previous);
        EXPECT_EQ(CountLines(lines, "<a href=\"pictures2.html\">[ Next Page ]</a>&nbsp;"), next);
        EXPECT_EQ(CountLines(lines, "<a href=\"pictures2.html\">[ Last Page ]</a>&nbsp;"), last);
    }
    EXPECT_EQ(CountLines(page1, "<tr>"), 5);
    EXPECT_EQ(CountLines(page2, "<tr>"), 1);
    EXPECT_EQ(CountLines(page2, "&nbsp;"), 0);
    const auto index = std::find(page2.begin(), page2.end(), "</table>");
    ASSERT_GE(page2.end() - index, 6);
    EXPECT_EQ(*(index + 1), "<p align=\"center\"><font size=\"2\" face=\"Tahoma\">Page: ");
    EXPECT_EQ(*(index + 2), "<a href=\"pictures1.html\">[1]</a>&nbsp;");
    EXPECT_EQ(*(index + 3), "[2]&nbsp;");
    EXPECT_EQ(*(index + 4), "</font></p>");
    EXPECT_EQ(*(index + 5), "</font></body></html>");
    // The per-image pages lead back to the page that shows them.
    EXPECT_NE(g.Page("tn_img26_sm.html").find("<a href=\"pictures2.html\">Back</a>"), std::string::npos);
    EXPECT_NE(g.Page("tn_img25_sm.html").find("<a href=\"pictures1.html\">Back</a>"), std::string::npos);
    EXPECT_EQ(g.opened, std::vector<std::string>{g.OutPath("pictures1.html")});
    EXPECT_EQ(g.generator.CreatedFiles.back(), g.OutPath("pictures2.html"));
    EXPECT_EQ(g.generator.CreatedFiles.size(), 30u * 3 + 2);
}

TEST(ThumbGenerator, FewerImagesThanColumnsMakeNarrowRows) {
    Gallery g;
    g.settings.TableRows = 1;
    g.settings.TableCols = 5;
    g.Run(g.Images(3));
    const auto lines = g.Lines("pictures.html");
    EXPECT_EQ(CountLines(lines, "  <td align=\"center\">"), 3);
    EXPECT_EQ(CountLines(lines, "&nbsp;"), 0);
}

TEST(ThumbGenerator, TableLineAndImageBorder) {
    struct Case {
        int32_t border;
        std::optional<TColor> borderColor, background;
        int32_t align;
        const char* table;
        bool imageBorder;
    };
    for (const Case& c :
         {Case{0, std::nullopt, std::nullopt, taCenter, "<table border=\"0\" cellpadding=\"3\" align=\"center\">", true},
          Case{2, 0xFF00FF, 0x00FF00, taDefault,
               "<table bordercolor=\"#FF00FF\" border=\"2\" cellpadding=\"3\" bgcolor=\"#00FF00\">", false},
          Case{1, std::nullopt, 255, taFullWidth,
               "<table border=\"1\" cellpadding=\"3\" bgcolor=\"#FF0000\" width=\"100%\">", false}}) {
        Gallery g;
        g.settings.TableBorder = c.border;
        g.settings.CellPadding = 3;
        g.settings.BorderColor = c.borderColor;
        g.settings.BackgroundColor = c.background;
        g.settings.Align = c.align;
        g.Run(g.Images(2));
        const auto lines = g.Lines("pictures.html");
        EXPECT_EQ(CountLines(lines, c.table), 1) << c.table;
        const std::string page = g.Page("pictures.html");
        EXPECT_EQ(page.find("border=\"0\">") != std::string::npos, c.imageBorder) << c.border;
        EXPECT_EQ(CountPrefix(lines, c.align == taCenter ? "<p align=\"center\"><a href" : "<p><a href"), 1);
    }
}

TEST(ThumbGenerator, NamesOfThumbnailsSmallerVersionsAndCopies) {
    for (bool smaller : {true, false}) {
        Gallery g;
        g.settings.SmallerOrg = smaller;
        WriteImage(g.src / "Photo One.JPG", 40, 30);
        const auto created = g.Run({(g.src / "Photo One.JPG").string()});
        if (smaller) {
            EXPECT_EQ(created, (std::vector<std::string>{g.OutPath("tn_photo one.gif"), g.OutPath("tn_photo one_sm.gif"),
                                                         g.OutPath("tn_photo one_sm.html"), g.OutPath("pictures.html")}));
        } else {
            EXPECT_EQ(created, (std::vector<std::string>{g.OutPath("tn_photo one.gif"), g.OutPath("Photo One.JPG"),
                                                         g.OutPath("Photo One.html"), g.OutPath("pictures.html")}));
            EXPECT_EQ(ReadFileBytes(g.out / "Photo One.JPG"), ReadFileBytes(g.src / "Photo One.JPG"));
        }
    }
}

TEST(ThumbGenerator, AnExistingCopyIsNeverOverwritten) {
    Gallery g;
    g.settings.SmallerOrg = false;
    WriteImage(g.src / "a.bmp", 4, 4);
    test::WriteFileBytes(g.out / "a.bmp", "keep me");
    g.Run({(g.src / "a.bmp").string()});
    EXPECT_EQ(ReadFileBytes(g.out / "a.bmp"), "keep me");
    EXPECT_EQ(g.generator.CreatedFiles[1], g.OutPath("a.bmp"));
}

TEST(ThumbGenerator, PageColoursStylesAndCaptions) {
    Gallery g;
    g.settings.PageLink = 16711935;
    g.settings.DontUnderline = true;
    g.settings.Hover = true;
    g.settings.FileName = true;
    g.settings.FileSize = true;
    g.settings.FileDim = true;
    g.settings.Format = 1;
    g.settings.Target = "";
    g.settings.ImageAlign = 2;
    g.settings.Heading = "Two\nlines";
    WriteImage(g.src / "a.bmp", 1200, 1600);
    g.Run({(g.src / "a.bmp").string()});
    bool crlf = false;
    const auto lines = CrLfLines(g.Page("pictures.html"), &crlf);
    EXPECT_TRUE(crlf);
    EXPECT_EQ(CountLines(lines, "       a:hover {text-decoration: none; color:#FF00FF}"), 1);
    EXPECT_EQ(CountLines(lines, "       A:visited {text-decoration: none;}"), 1);
    EXPECT_EQ(CountLines(lines, "<p align=center><font face=\"Tahoma\" size=5>Two"), 1);
    EXPECT_EQ(CountLines(lines, "lines</font></p>"), 1);
    EXPECT_EQ(CountPrefix(lines, "<body bgcolor=\"#FFFFFF\" text=\"#000000\" link=\"#FF00FF\""), 1);
    const std::string size = std::to_string(fs::file_size(g.out / "tn_a_sm.jpg"));
    EXPECT_EQ(CountLines(lines, "<a href=\"tn_a_sm.html\"><img src=\"tn_a.jpg\" align = \"right\" border=\"0\"></a>"
                                "<font size=\"1\" face=\"Tahoma\"><a href=\"tn_a_sm.html\"><br><a href=\"tn_a_sm.html\">"
                                "tn_a_sm.jpg</a><br>" + size + " bytes<br>480 x 640</a></font>"),
              1);
}

TEST(ThumbGenerator, LinksOff) {
    Gallery g;
    g.settings.Thumbnail = false;
    g.settings.FileSize = true;
    g.settings.FileDim = true;
    WriteImage(g.src / "a.bmp", 300, 200);
    const auto created = g.Run({(g.src / "a.bmp").string()});
    EXPECT_EQ(created, (std::vector<std::string>{g.OutPath("tn_a.gif"), g.OutPath("tn_a_sm.gif"), g.OutPath("pictures.html")}));
    const std::string size = std::to_string(fs::file_size(g.src / "a.bmp"));
    EXPECT_EQ(CountLines(g.Lines("pictures.html"), "<img src=\"tn_a.gif\" border=\"0\"><font size=\"1\" face=\"Tahoma\"><br>" +
                                                       size + " bytes<br>300 x 200</font>"),
              1);
    EXPECT_EQ(g.Page("pictures.html").find("<a href=\"tn_"), std::string::npos);
}

TEST(ThumbGenerator, StopDuringTheFirstOfThreePages) {
    Gallery g;
    g.settings.Launch = true;
    g.settings.TableRows = 2;
    g.settings.TableCols = 2;
    const auto images = g.Images(10);
    g.view.onEvents = [&] {
        if (g.view.progress == 3) g.generator.StopRequested = true;
    };
    g.Run(images);
    EXPECT_TRUE(g.generator.Stopped());
    EXPECT_FALSE(fs::exists(g.out / "pictures2.html"));
    EXPECT_FALSE(fs::exists(g.out / "tn_img04.gif"));
    const auto lines = g.Lines("pictures1.html");
    EXPECT_EQ(CountLines(lines, "<tr>"), 2);
    EXPECT_EQ(CountLines(lines, "</tr>"), 2);
    EXPECT_EQ(CountLines(lines, "  <td align=\"center\">"), 3);
    EXPECT_EQ(lines.back(), "</font></body></html>");
    EXPECT_EQ(CountLines(lines, "<a href=\"pictures3.html\">[3]</a>&nbsp;"), 1);
    EXPECT_EQ(g.generator.CreatedFiles.back(), g.OutPath("pictures1.html"));
    EXPECT_EQ(g.view.statuses.back(), kStatusAborted);
    EXPECT_TRUE(g.opened.empty());
    EXPECT_TRUE(g.view.endedStopped);
    EXPECT_EQ(g.view.endedFirstPage, "");
}

TEST(ThumbGenerator, EmptyListWritesNothing) {
    Gallery g;
    g.settings.Launch = true;
    EXPECT_TRUE(g.Run({}).empty());
    EXPECT_TRUE(fs::is_empty(g.out));
    EXPECT_TRUE(g.opened.empty());
    EXPECT_TRUE(g.prompt.messages.empty());
    EXPECT_EQ(g.view.statuses.back(), kStatusCompleted);
}

TEST(ThumbGenerator, UnreadableSourceIsSkippedAndTheRunGoesOn) {
    Gallery g;
    test::WriteFileBytes(g.src / "broken.jpg", "not a picture");
    WriteImage(g.src / "good.bmp", 4, 4);
    const auto created = g.Run({(g.src / "broken.jpg").string(), (g.src / "good.bmp").string()});
    ASSERT_EQ(g.view.problems.size(), 1u);
    EXPECT_NE(g.view.problems[0].find((g.src / "broken.jpg").string()), std::string::npos);
    EXPECT_EQ(g.generator.Problems, 1);
    EXPECT_EQ(created, (std::vector<std::string>{g.OutPath("tn_good.gif"), g.OutPath("tn_good_sm.gif"),
                                                 g.OutPath("tn_good_sm.html"), g.OutPath("pictures.html")}));
    const auto lines = g.Lines("pictures.html");
    EXPECT_EQ(CountLines(lines, "&nbsp;"), 1);
    EXPECT_EQ(g.Page("pictures.html").find("broken"), std::string::npos);
}

TEST(ThumbGenerator, FileNamesAreNotMarkup) {
    Gallery g;
    g.settings.SmallerOrg = false;
    g.settings.FileName = true;
    g.settings.Lowercase = false;
    const std::string name = "A&B \"x\" <1> #2 ?3 %4.bmp";
    WriteImage(g.src / name, 4, 4);
    g.Run({(g.src / name).string()});
    const std::string href = "A&amp;B &quot;x&quot; &lt;1&gt; %232 %3F3 %254.html";
    EXPECT_EQ(CountLines(g.Lines("pictures.html"),
                         "<a href=\"" + href + "\" target=\"_self\"><img src=\"tn_A&amp;B &quot;x&quot; &lt;1&gt; %232 %3F3 "
                         "%254.gif\" border=\"0\"></a><font size=\"1\" face=\"Tahoma\"><a href=\"" + href + "\"><br><a href=\"" +
                         href + "\">A&amp;B &quot;x&quot; &lt;1&gt; #2 ?3 %4.bmp</a></a></font>"),
              1);
    EXPECT_TRUE(fs::exists(g.out / "A&B \"x\" <1> #2 ?3 %4.html"));
    EXPECT_NE(g.Page("A&B \"x\" <1> #2 ?3 %4.html").find("<img src=\"A&amp;B &quot;x&quot; &lt;1&gt; %232 %3F3 %254.bmp\">"),
              std::string::npos);
}

TEST(ThumbGenerator, SortsCaseInsensitively) {
    const auto sorted = SortedForPages({"/p/b.jpg", "/p/C.jpg", "/p/a.jpg", "/p/B2.jpg"});
    EXPECT_EQ(sorted, (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg", "/p/B2.jpg", "/p/C.jpg"}));
    EXPECT_EQ(PageCount(30, 5, 5), 2);
    EXPECT_EQ(PageCount(25, 5, 5), 1);
    EXPECT_EQ(PageCount(0, 5, 5), 0);
}

TEST(ThumbGenerator, ASecondRunWhileOneIsGoingIsRefused) {
    Gallery g;
    const auto images = g.Images(2);
    bool refused = false;
    g.view.onEvents = [&] {
        if (!refused) refused = !g.generator.Run(g.settings, images);
    };
    EXPECT_TRUE(g.generator.Run(g.settings, images));
    EXPECT_TRUE(refused);
    EXPECT_FALSE(g.generator.Running());
}

}  // namespace
}  // namespace luma
