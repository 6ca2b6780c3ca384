// lumatrans-cli thumbs [options] FILE|FOLDER...
//
// The thumbnail page generator from a terminal: the settings of the user's thumbnail.dat (the
// defaults when there is none), single settings overridden by options, the created files listed on
// standard output, progress and problems on standard error.

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "batch/source_list.h"
#include "cli/commands.h"
#include "cli/source_args.h"
#include "thumbpages/thumb_generator.h"
#include "thumbpages/thumb_settings.h"
#include "util/file_finder.h"
#include "util/paths.h"
#include "util/terminal_prompt.h"

namespace luma::cli {

namespace {

namespace fs = std::filesystem;

const char* const kThumbsUsage =
    "Usage: lumatrans-cli thumbs [options] FILE|FOLDER...\n"
    "\n"
    "Makes a thumbnail of every image (BMP, JPEG, GIF, PCX, PNG, TIFF) and HTML pages that show\n"
    "them in a table, each thumbnail linked to a page with the full image or a smaller version.\n"
    "Settings come from thumbnail.dat, heading.dat and comment.dat in the settings folder (the\n"
    "defaults when there are none); the options override single settings.\n"
    "\n"
    "Sources and run:\n"
    "  -r, --recursive          also take the images in sub-folders of FOLDER arguments\n"
    "  --save                   store the resulting settings back (also without FILE arguments)\n"
    "  -y, --yes                create a missing output folder without asking\n"
    "  -q, --quiet              no progress line\n"
    "\n"
    "Settings:\n"
    "  -o, --output DIR         output folder\n"
    "  --prefix NAME            base name of the table pages (pictures)\n"
    "  --extension E            html or htm\n"
    "  --homepage URL           target of the Home link\n"
    "  --title TEXT             page title\n"
    "  --heading TEXT           page heading (may hold HTML)\n"
    "  --comment TEXT           page comment (may hold HTML)\n"
    "  --size N                 thumbnail box in pixels, 10..1000\n"
    "  --format F               gif or jpg (thumbnails and smaller versions)\n"
    "  --image-align A          default, left, right, top, bottom, middle, absmiddle, texttop,\n"
    "                           baseline or absbottom\n"
    "  --lowercase, --keep-case letter case of thumbnail names\n"
    "  --rows N, --cols N       table size per page, 1..200\n"
    "  --padding N              cell padding, 0..200\n"
    "  --border N               table border, 0..10\n"
    "  --align A                default, center or full (100% wide)\n"
    "  --links, --no-links      link thumbnails to a page with the full image\n"
    "  --target T               target of those links (empty: none)\n"
    "  --smaller, --no-smaller  link to a smaller version instead of a copy of the original\n"
    "  --smaller-size N         box of the smaller versions, 10..1000\n"
    "  --names, --no-names      caption with the file name\n"
    "  --sizes, --no-sizes      caption with the file size\n"
    "  --dims, --no-dims        caption with the image dimensions\n"
    "  --font NAME              font face of the pages\n"
    "  --page-color C, --text-color C, --link-color C, --visited-color C, --active-color C\n"
    "  --border-color C|none, --table-color C|none\n"
    "                           colours as #RRGGBB\n"
    "  --underline, --no-underline   link underlines\n"
    "  --hover, --no-hover      hover style\n"
    "  --launch, --no-launch    open the first page in the browser when done\n"
    "\n"
    "Exit status: 0 all done, 1 an image was skipped or a file could not be written, 2 usage\n"
    "error, 130 interrupted (Ctrl-C stops after the image in progress; the page is completed).\n";

std::atomic<bool>* gStopFlag = nullptr;
std::atomic<bool> gInterrupted{false};

extern "C" void OnThumbsInterrupt(int) {
    gInterrupted = true;
    if (gStopFlag) gStopFlag->store(true);
}

int32_t Number(const std::string& text, int32_t low, int32_t high) {
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        throw std::invalid_argument(text);
    }
    return value;
}

TColor Color(const std::string& text) {
    if (const auto color = ParseColorText(text)) return *color;
    throw std::invalid_argument(text);
}

std::optional<TColor> ColorOrNone(const std::string& text) {
    if (text == "none") return std::nullopt;
    return Color(text);
}

template <size_t N>
int32_t Choice(const std::string& text, const char* const (&names)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (AsciiLower(text) == AsciiLower(names[i])) return static_cast<int32_t>(i);
    }
    throw std::invalid_argument(text);
}

constexpr const char* kExtensionNames[] = {"html", "htm"};
constexpr const char* kFormatNames[] = {"gif", "jpg"};
constexpr const char* kAlignNames[] = {"default", "center", "full"};

using TValueOption = std::function<void(TThumbSettings&, const std::string&)>;
using TFlagOption = std::function<void(TThumbSettings&)>;

struct TThumbOptions {
    std::vector<std::string> Inputs;
    std::vector<std::pair<TValueOption, std::string>> Edits;
    bool Recursive = false;
    bool Save = false;
    bool Yes = false;
    bool Quiet = false;
    bool Help = false;
    std::string Error;
};

TThumbOptions ParseThumbsArgs(const std::vector<std::string>& args) {
    const std::vector<std::pair<std::string, TValueOption>> valued = {
        {"--output", [](TThumbSettings& s, const std::string& v) { s.OutputFolder = v; }},
        {"-o", [](TThumbSettings& s, const std::string& v) { s.OutputFolder = v; }},
        {"--prefix", [](TThumbSettings& s, const std::string& v) { s.PageNamePrefix = v; }},
        {"--extension", [](TThumbSettings& s, const std::string& v) { s.Extension = Choice(v, kExtensionNames); }},
        {"--homepage", [](TThumbSettings& s, const std::string& v) { s.Homepage = v; }},
        {"--title", [](TThumbSettings& s, const std::string& v) { s.PageTitle = v; }},
        {"--heading", [](TThumbSettings& s, const std::string& v) { s.Heading = ToCrLf(v); }},
        {"--comment", [](TThumbSettings& s, const std::string& v) { s.Comment = ToCrLf(v); }},
        {"--size", [](TThumbSettings& s, const std::string& v) { s.Width = Number(v, 10, 1000); }},
        {"--format", [](TThumbSettings& s, const std::string& v) { s.Format = Choice(v, kFormatNames); }},
        {"--image-align", [](TThumbSettings& s, const std::string& v) { s.ImageAlign = Choice(v, kImageAlignments); }},
        {"--rows", [](TThumbSettings& s, const std::string& v) { s.TableRows = Number(v, 1, 200); }},
        {"--cols", [](TThumbSettings& s, const std::string& v) { s.TableCols = Number(v, 1, 200); }},
        {"--padding", [](TThumbSettings& s, const std::string& v) { s.CellPadding = Number(v, 0, 200); }},
        {"--border", [](TThumbSettings& s, const std::string& v) { s.TableBorder = Number(v, 0, 10); }},
        {"--align", [](TThumbSettings& s, const std::string& v) { s.Align = Choice(v, kAlignNames); }},
        {"--target", [](TThumbSettings& s, const std::string& v) { s.Target = v; }},
        {"--smaller-size", [](TThumbSettings& s, const std::string& v) { s.OrgWidth = Number(v, 10, 1000); }},
        {"--font", [](TThumbSettings& s, const std::string& v) { s.PageFontName = v; }},
        {"--page-color", [](TThumbSettings& s, const std::string& v) { s.PageBackground = Color(v); }},
        {"--text-color", [](TThumbSettings& s, const std::string& v) { s.PageText = Color(v); }},
        {"--link-color", [](TThumbSettings& s, const std::string& v) { s.PageLink = Color(v); }},
        {"--visited-color", [](TThumbSettings& s, const std::string& v) { s.PageVLink = Color(v); }},
        {"--active-color", [](TThumbSettings& s, const std::string& v) { s.PageALink = Color(v); }},
        {"--border-color", [](TThumbSettings& s, const std::string& v) { s.BorderColor = ColorOrNone(v); }},
        {"--table-color", [](TThumbSettings& s, const std::string& v) { s.BackgroundColor = ColorOrNone(v); }},
    };
    const std::vector<std::pair<std::string, TFlagOption>> flags = {
        {"--lowercase", [](TThumbSettings& s) { s.Lowercase = true; }},
        {"--keep-case", [](TThumbSettings& s) { s.Lowercase = false; }},
        {"--links", [](TThumbSettings& s) { s.Thumbnail = true; }},
        {"--no-links", [](TThumbSettings& s) { s.Thumbnail = false; }},
        {"--smaller", [](TThumbSettings& s) { s.SmallerOrg = true; }},
        {"--no-smaller", [](TThumbSettings& s) { s.SmallerOrg = false; }},
        {"--names", [](TThumbSettings& s) { s.FileName = true; }},
        {"--no-names", [](TThumbSettings& s) { s.FileName = false; }},
        {"--sizes", [](TThumbSettings& s) { s.FileSize = true; }},
        {"--no-sizes", [](TThumbSettings& s) { s.FileSize = false; }},
        {"--dims", [](TThumbSettings& s) { s.FileDim = true; }},
        {"--no-dims", [](TThumbSettings& s) { s.FileDim = false; }},
        {"--underline", [](TThumbSettings& s) { s.DontUnderline = false; }},
        {"--no-underline", [](TThumbSettings& s) { s.DontUnderline = true; }},
        {"--hover", [](TThumbSettings& s) { s.Hover = true; }},
        {"--no-hover", [](TThumbSettings& s) { s.Hover = false; }},
        {"--launch", [](TThumbSettings& s) { s.Launch = true; }},
        {"--no-launch", [](TThumbSettings& s) { s.Launch = false; }},
    };

    TThumbOptions o;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            o.Inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.Help = true;
            return o;
        }
        if (arg == "-r" || arg == "--recursive") {
            o.Recursive = true;
            continue;
        }
        if (arg == "--save") {
            o.Save = true;
            continue;
        }
        if (arg == "-y" || arg == "--yes") {
            o.Yes = true;
            continue;
        }
        if (arg == "-q" || arg == "--quiet") {
            o.Quiet = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        bool known = false;
        for (const auto& [flag, apply] : flags) {
            if (name != flag) continue;
            known = true;
            if (value) {
                o.Error = "option " + name + " takes no value";
                return o;
            }
            TFlagOption action = apply;
            o.Edits.emplace_back([action](TThumbSettings& s, const std::string&) { action(s); }, std::string());
        }
        for (const auto& [option, apply] : valued) {
            if (name != option) continue;
            known = true;
            if (!value) {
                if (i + 1 >= args.size()) {
                    o.Error = "option " + name + " needs a value";
                    return o;
                }
                value = args[++i];
            }
            o.Edits.emplace_back(apply, *value);
        }
        if (!known) {
            o.Error = "unknown option " + arg;
            return o;
        }
    }
    return o;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "lumatrans-cli thumbs: %s\n\n%s", error.c_str(), kThumbsUsage);
    return 2;
}

// The progress step on a terminal: one overwritten status line when standard error is a terminal.
class TTerminalThumbView final : public TThumbView {
public:
    explicit TTerminalThumbView(bool showProgress) : showProgress_(showProgress) {}
    ~TTerminalThumbView() override { ClearLine(); }

    void SetStatus(const std::string& text) override {
        if (text == kStatusCompleted || text == kStatusAborted) {
            ClearLine();
            std::fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        status_ = text;
        Draw();
    }
    void SetProgressRange(int32_t, int32_t maximum) override { maximum_ = maximum; }
    void SetProgress(int32_t position) override {
        position_ = position;
        Draw();
    }
    void SetStopEnabled(bool) override {}
    void ProcessEvents() override {}
    void ReportProblem(const std::string& message) override {
        ClearLine();
        std::fprintf(stderr, "lumatrans-cli thumbs: %s\n", message.c_str());
        Draw();
    }
    void RunEnded(bool, const std::string&) override { ClearLine(); }

private:
    void Draw() {
        if (!showProgress_) return;
        std::fprintf(stderr, "\r\033[K[%d/%d] %s", position_, maximum_ + 1, status_.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void ClearLine() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

    bool showProgress_;
    bool shown_ = false;
    std::string status_;
    int32_t position_ = 0, maximum_ = 0;
};

// The terminal prompt; with --yes the create question is answered Yes.
class TThumbsPrompt final : public TTerminalPrompt {
public:
    TThumbsPrompt(bool interactive, bool yes) : TTerminalPrompt(std::cin, std::cerr, interactive), yes_(yes) {}
    TMsgResult MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                          TMsgButtons buttons) override {
        if (yes_ && text == kCreateOutputFolderText) return TMsgResult::Yes;
        return TTerminalPrompt::MessageBox(caption, text, icon, buttons);
    }

private:
    bool yes_;
};


}  // namespace

int RunThumbs(const std::vector<std::string>& args) {
    const TThumbOptions o = ParseThumbsArgs(args);
    if (o.Help) {
        std::fputs(kThumbsUsage, stdout);
        return 0;
    }
    if (!o.Error.empty()) return Usage(o.Error);

    const TThumbSettingsFiles files(SettingsFolder());
    TThumbSettings settings = LoadThumbSettings(files, "");
    for (const auto& [apply, value] : o.Edits) {
        try {
            apply(settings, value);
        } catch (const std::invalid_argument&) {
            return Usage("invalid value '" + value + "'");
        }
    }
    if (o.Save && !SaveThumbSettings(files, settings)) {
        std::fprintf(stderr, "lumatrans-cli thumbs: the settings could not all be stored in %s\n", files.DataFile.c_str());
    }
    if (o.Inputs.empty()) {
        if (o.Save) return 0;
        return Usage("no FILE or FOLDER given");
    }

    TSourceList list;
    if (!CollectSources("thumbs", o.Inputs, o.Recursive, list)) return 2;
    if (list.Empty()) {
        std::fputs("lumatrans-cli thumbs: no image files given\n", stderr);
        return 1;
    }

    TThumbsPrompt prompt(isatty(STDIN_FILENO) != 0, o.Yes);
    if (CheckOutputFolder(settings.OutputFolder, prompt) != TOutputFolderCheck::Ready) return 1;

    TTerminalThumbView view(!o.Quiet && isatty(STDERR_FILENO));
    TThumbGenerator generator(view, prompt);
    gStopFlag = &generator.StopRequested;
    struct sigaction action {};
    action.sa_handler = OnThumbsInterrupt;
    sigaction(SIGINT, &action, nullptr);
    generator.Run(settings, list.FullPaths());
    signal(SIGINT, SIG_DFL);
    gStopFlag = nullptr;

    for (const std::string& file : generator.CreatedFiles) std::printf("%s\n", file.c_str());
    std::fflush(stdout);
    if (gInterrupted || generator.Stopped()) return 130;
    return generator.Problems > 0 ? 1 : 0;
}

}  // namespace luma::cli
