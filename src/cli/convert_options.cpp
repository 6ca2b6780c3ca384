#include "cli/convert_options.h"

#include <charconv>
#include <filesystem>
#include <system_error>
#include <stdexcept>
#include <string_view>

namespace luma::cli {

const char* const kConvertUsage =
    "Usage: lumatrans-cli convert [options] FILE|FOLDER...\n"
    "\n"
    "Converts image files (BMP, JPEG, GIF, PCX, PNG, TIFF) with one of the five presets, the\n"
    "options overriding single settings. Folders contribute every image file they hold.\n"
    "\n"
    "Sources and run:\n"
    "  -r, --recursive          also take the images in sub-folders of FOLDER arguments\n"
    "  --preset NAME            Website, Auction, Email, CD or Custom (default Custom), read from\n"
    "                           the settings file (built-in defaults when it has none)\n"
    "  --save-preset            store the resulting settings back into the preset\n"
    "  --summary                print the confirmation summary and exit\n"
    "  --dry-run                print each source, its destination and the action; touch nothing\n"
    "  --jobs N                 convert N files at once (default 1). Each file then gets its own\n"
    "                           image component, so writer parameters come from that file alone;\n"
    "                           in the sequential run they carry over from the previous file.\n"
    "                           Names, the log and the output list keep the list order.\n"
    "  --draft                  faster: let JPEG decode at a reduced scale that still covers the\n"
    "                           size box before resampling (changes pixels; off by default)\n"
    "  -q, --quiet              no progress bar\n"
    "\n"
    "Settings:\n"
    "  --format F               bmp, jpg, gif, pcx, png, tif or same (the source's own)\n"
    "  --quality N              JPEG quality 1..100\n"
    "  --size S                 small, medium, large, handheld, none or WxH (custom size)\n"
    "  --keep-proportions, --stretch\n"
    "  --never-enlarge, --allow-enlarge\n"
    "  --colors C               none, 24, 256, 16, bw-ordered, bw-threshold or a colour count\n"
    "  --rename STEM, --no-rename\n"
    "  --suffix K               1digit, 2digit, 3digit, letters, ddmmyy, mmddyy, ddmm or mmdd\n"
    "  --case C                 keep, lower or upper\n"
    "  --output DIR, --same-folder\n"
    "  --existing P             skip, overwrite or overwrite-unless-original\n"
    "  --text TEXT, --no-text   text watermark\n"
    "  --font NAME, --font-size N, --bold, --italic, --underline, --text-color RRGGBB\n"
    "  --text-position P        top-left, top-center, top-right, center, bottom-left,\n"
    "                           bottom-center or bottom-right\n"
    "  --image FILE, --no-image image watermark\n"
    "  --image-position P       as --text-position\n"
    "\n"
    "Exit status: 0 every file succeeded, 1 a file failed, 2 usage error, 130 interrupted.\n"
    "Ctrl-C acts as \"Cancel Processing\": the file in progress is finished.\n";

namespace {

int32_t Number(const std::string& text, int32_t low, int32_t high) {
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        throw std::invalid_argument(text);
    }
    return value;
}

template <size_t N>
int32_t Choice(const std::string& text, const std::string_view (&names)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (text == names[i]) return static_cast<int32_t>(i);
    }
    throw std::invalid_argument(text);
}

constexpr std::string_view kFormats[] = {"bmp", "jpg", "gif", "pcx", "png", "tif", "same"};
constexpr std::string_view kSizes[] = {"small", "medium", "large", "handheld", "custom", "none"};
constexpr std::string_view kColors[] = {"none", "24", "256", "16", "bw-ordered", "bw-threshold"};
constexpr std::string_view kSuffixes[] = {"1digit", "2digit", "3digit", "letters",
                                          "ddmmyy", "mmddyy", "ddmm",   "mmdd"};
constexpr std::string_view kCases[] = {"keep", "lower", "upper"};
constexpr std::string_view kExisting[] = {"skip", "overwrite", "overwrite-unless-original"};
constexpr std::string_view kPositions[] = {"top-left",    "top-center",    "top-right",   "center",
                                           "bottom-left", "bottom-center", "bottom-right"};

void SetFormat(TImgSettings& s, const std::string& v) {
    s.ImgFormat = Choice(v == "jpeg" ? "jpg" : v == "tiff" ? "tif" : v, kFormats);
}
void SetQuality(TImgSettings& s, const std::string& v) { s.ImgQuality = Number(v, 1, 100); }
void SetSize(TImgSettings& s, const std::string& v) {
    const size_t x = v.find('x');
    if (x == std::string::npos) {
        s.ImgResize = Choice(v, kSizes);
        return;
    }
    s.ImgWidth = Number(v.substr(0, x), 1, 20000);
    s.ImgHeight = Number(v.substr(x + 1), 1, 20000);
    s.ImgResize = scCustom;
}
void SetAspect(TImgSettings& s, const std::string& v) { s.ImgAspect = v == "1"; }
void SetOnlySmaller(TImgSettings& s, const std::string& v) { s.ImgOnlySmaller = v == "1"; }
void SetColors(TImgSettings& s, const std::string& v) {
    for (size_t i = 0; i < std::size(kColors); ++i) {
        if (v == kColors[i]) {
            s.ImgColors = static_cast<int32_t>(i);
            return;
        }
    }
    s.ImgCustomColors = Number(v, 2, 16700000);
    s.ImgColors = ccCustom;
}
void SetRename(TImgSettings& s, const std::string& v) {
    s.OutRename = true;
    s.OutFileName = v;
}
void SetNoRename(TImgSettings& s, const std::string&) { s.OutRename = false; }
void SetSuffix(TImgSettings& s, const std::string& v) { s.OutSuffix = Choice(v, kSuffixes); }
void SetCase(TImgSettings& s, const std::string& v) { s.OutCase = Choice(v, kCases); }
void SetOutput(TImgSettings& s, const std::string& v) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(v, ec).lexically_normal();
    s.OutFolderSame = false;
    s.OutFolderName = ec ? v : folder.string();
}
void SetSameFolder(TImgSettings& s, const std::string&) { s.OutFolderSame = true; }
void SetExisting(TImgSettings& s, const std::string& v) { s.OutOverwrite = Choice(v, kExisting); }
void SetText(TImgSettings& s, const std::string& v) {
    s.UseTextWatermark = true;
    s.WatermarkText = v;
}
void SetNoText(TImgSettings& s, const std::string&) { s.UseTextWatermark = false; }
void SetFont(TImgSettings& s, const std::string& v) { s.TextFontName = v; }
void SetFontSize(TImgSettings& s, const std::string& v) { s.TextFontSize = Number(v, 1, 1000); }
void SetBold(TImgSettings& s, const std::string&) { s.TextFontBold = true; }
void SetItalic(TImgSettings& s, const std::string&) { s.TextFontItalics = true; }
void SetUnderline(TImgSettings& s, const std::string&) { s.TextFontUnderline = true; }
void SetTextColor(TImgSettings& s, const std::string& v) {
    std::string_view hex = v;
    if (!hex.empty() && hex.front() == '#') hex.remove_prefix(1);
    uint32_t rgb = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), rgb, 16);
    if (hex.size() != 6 || ec != std::errc() || end != hex.data() + hex.size()) throw std::invalid_argument(v);
    // RRGGBB as written on the web; stored with red in the low byte.
    s.TextFontColor = static_cast<int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}
void SetTextPosition(TImgSettings& s, const std::string& v) { s.TextPosition = Choice(v, kPositions); }
void SetImage(TImgSettings& s, const std::string& v) {
    s.UseImageWatermark = true;
    s.WatermarkImage = v;
}
void SetNoImage(TImgSettings& s, const std::string&) { s.UseImageWatermark = false; }
void SetImagePosition(TImgSettings& s, const std::string& v) { s.ImagePosition = Choice(v, kPositions); }

struct TFieldOption {
    std::string_view Name;
    TSettingsEdit Edit;
    bool TakesValue;
    const char* FixedValue;  // for flags that set a value
};

constexpr TFieldOption kFieldOptions[] = {
    {"--format", SetFormat, true, nullptr},
    {"--quality", SetQuality, true, nullptr},
    {"--size", SetSize, true, nullptr},
    {"--keep-proportions", SetAspect, false, "1"},
    {"--stretch", SetAspect, false, "0"},
    {"--never-enlarge", SetOnlySmaller, false, "1"},
    {"--allow-enlarge", SetOnlySmaller, false, "0"},
    {"--colors", SetColors, true, nullptr},
    {"--rename", SetRename, true, nullptr},
    {"--no-rename", SetNoRename, false, ""},
    {"--suffix", SetSuffix, true, nullptr},
    {"--case", SetCase, true, nullptr},
    {"--output", SetOutput, true, nullptr},
    {"--same-folder", SetSameFolder, false, ""},
    {"--existing", SetExisting, true, nullptr},
    {"--text", SetText, true, nullptr},
    {"--no-text", SetNoText, false, ""},
    {"--font", SetFont, true, nullptr},
    {"--font-size", SetFontSize, true, nullptr},
    {"--bold", SetBold, false, ""},
    {"--italic", SetItalic, false, ""},
    {"--underline", SetUnderline, false, ""},
    {"--text-color", SetTextColor, true, nullptr},
    {"--text-position", SetTextPosition, true, nullptr},
    {"--image", SetImage, true, nullptr},
    {"--no-image", SetNoImage, false, ""},
    {"--image-position", SetImagePosition, true, nullptr},
};

}  // namespace

TParsedConvert ParseConvertArgs(const std::vector<std::string>& args) {
    TParsedConvert parsed;
    TConvertOptions& o = parsed.Options;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 >= args.size()) {
                parsed.Error = a + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (optionsDone || a.empty() || a[0] != '-' || a == "-") {
            o.Inputs.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsDone = true;
        } else if (a == "--help" || a == "-h") {
            parsed.Help = true;
        } else if (a == "-r" || a == "--recursive") {
            o.Recursive = true;
        } else if (a == "--save-preset") {
            o.SavePreset = true;
        } else if (a == "--summary") {
            o.Summary = true;
        } else if (a == "--dry-run") {
            o.DryRun = true;
        } else if (a == "--draft") {
            o.Draft = true;
        } else if (a == "-q" || a == "--quiet") {
            o.Quiet = true;
        } else if (a == "--jobs" || a == "-j") {
            const std::string* v = value();
            if (!v) return parsed;
            try {
                o.Jobs = Number(*v, 1, 64);
            } catch (const std::invalid_argument&) {
                parsed.Error = "bad --jobs value '" + *v + "'";
                return parsed;
            }
        } else if (a == "--preset") {
            const std::string* v = value();
            if (!v) return parsed;
            o.PresetIndex = 0;
            for (int p = 0; p < kPresetCount; ++p) {
                if (*v == kPresets[static_cast<size_t>(p)].SectionName) o.PresetIndex = p + 1;
            }
            if (o.PresetIndex == 0) {
                parsed.Error = "unknown preset '" + *v + "'";
                return parsed;
            }
        } else {
            const TFieldOption* option = nullptr;
            for (const auto& candidate : kFieldOptions) {
                if (a == candidate.Name) option = &candidate;
            }
            if (!option) {
                parsed.Error = "unknown option '" + a + "'";
                return parsed;
            }
            if (option->TakesValue) {
                const std::string* v = value();
                if (!v) return parsed;
                parsed.Edits.emplace_back(option->Edit, *v);
            } else {
                parsed.Edits.emplace_back(option->Edit, option->FixedValue);
            }
        }
    }
    return parsed;
}

std::string ApplyEdits(TImgSettings& s, const TParsedConvert& parsed) {
    for (const auto& [edit, value] : parsed.Edits) {
        try {
            edit(s, value);
        } catch (const std::invalid_argument&) {
            return "bad value '" + value + "'";
        }
    }
    return {};
}

}  // namespace luma::cli
