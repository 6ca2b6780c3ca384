// Every generated page, read by an independent HTML parser: each href and src must name a file
// that exists in the output folder, whatever characters the file names hold.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"
#include "thumb_test_support.h"
#include "thumbpages/thumb_generator.h"
#include "util/recording_prompt.h"

namespace luma {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

constexpr const char* kCheckScript = R"PY(
import os, sys, urllib.parse
import html5lib

folder = sys.argv[1]
pages = sorted(n for n in os.listdir(folder) if n.endswith(('.html', '.htm')))
bad = []
checked = 0
for page in pages:
    with open(os.path.join(folder, page), 'rb') as f:
        document = html5lib.parse(f.read(), namespaceHTMLElements=False, transport_encoding='utf-8')
    for element in document.iter():
        for attribute in ('href', 'src'):
            value = element.get(attribute)
            if value is None:
                continue
            # Read as a browser resolves it: a fragment after '#', a query after '?'.
            parts = urllib.parse.urlsplit(value)
            if parts.scheme or parts.netloc:
                continue
            checked += 1
            name = urllib.parse.unquote(parts.path)
            if '/' in name or not os.path.isfile(os.path.join(folder, name)):
                bad.append('%s: %s=%r' % (page, attribute, value))
print('%d pages, %d links checked' % (len(pages), checked))
for line in bad:
    print('broken: ' + line)
sys.exit(1 if bad or checked == 0 else 0)
)PY";

bool HaveParser() {
    if (!fs::exists(kPython)) return false;
    return std::system((std::string(kPython) + " -c 'import html5lib' >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TEST(ThumbLinks, EveryLinkOfAMultiPageSiteNamesAFile) {
    if (!HaveParser()) GTEST_SKIP() << "python3-html5lib is not installed";
    for (bool smaller : {true, false}) {
        test::TempDir dir;
        const fs::path src = dir / "src";
        const fs::path out = dir / "out";
        fs::create_directories(src);
        fs::create_directories(out);
        std::vector<std::string> sources;
        for (const char* name : {"plain.bmp", "two words.bmp", "Tom & Jerry.bmp", "say \"cheese\".bmp", "<tag>.bmp",
                                 "no#1.bmp", "why?.bmp", "100% sure.bmp", "a&amp;b.bmp"}) {
            test::WriteImage(src / name, 12, 9);
            sources.push_back((src / name).string());
        }
        TThumbSettings settings;
        settings.OutputFolder = out.string();
        settings.Launch = false;
        settings.SmallerOrg = smaller;
        settings.FileName = true;
        settings.TableRows = 2;
        settings.TableCols = 2;
        settings.PageNamePrefix = "my #page %";
        test::RecordingThumbView view;
        TRecordingPrompt prompt;
        TThumbGenerator generator(view, prompt);
        generator.Run(settings, sources);
        ASSERT_EQ(generator.Problems, 0);
        ASSERT_TRUE(fs::exists(out / "my #page %3.html"));

        test::WriteFileBytes(dir / "check.py", kCheckScript);
        const std::string command =
            std::string(kPython) + " " + Quoted((dir / "check.py").string()) + " " + Quoted(out.string()) + " 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[512];
            while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
            const int status = pclose(pipe);
            EXPECT_EQ(status, 0) << output;
        } else {
            FAIL() << "could not start " << kPython;
        }
        EXPECT_NE(output.find("links checked"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace luma
