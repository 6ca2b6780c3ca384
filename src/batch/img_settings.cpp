#include "batch/img_settings.h"

#include <ctime>

#include "batch/output_naming.h"

namespace luma {

namespace {
constexpr std::string_view CRLF = "\r\n";
}

const std::array<TPresetDefaults, kPresetCount> kPresets = {{
    {"Website", "Convert for use on My Website", "My Website", 450, 338, 80},
    {"Auction", "Convert for an Auction Site", "Auction Site", 400, 300, 80},
    {"Email", "Convert for Sending in Email", "Sending In Email", 350, 263, 80},
    {"CD", "Convert for Sending on CD", "Sending on CD", 640, 480, 100},
    {"Custom", "Convert using Custom Settings", "Custom Settings", 450, 338, 80},
}};

const std::array<std::string_view, 7> kFormatCaptions = {
    "*.bmp - Windows Bitmap",
    "*.jpg - JPEG Bitmap",
    "*.gif - Graphics Interchange Format",
    "*.pcx - PaintBrush",
    "*.png - Portable Network Graphics",
    "*.tif - Tagged Image File Format",
    "*.* - Same as Original",
};

const std::array<std::string_view, 7> kFormatExtensions = {".bmp", ".jpg", ".gif", ".pcx",
                                                            ".png", ".tif", ".*"};

const std::array<std::string_view, 6> kSizeCaptions = {
    "Small - Fits a 640 x 480 screen",   "Medium - Fits a 800 x 600 screen",
    "Large - Fits a 1024 x 768 screen",  "Handheld - Fits a 240 x 320 screen",
    "Custom Size",                       "Do Not Resize",
};

const std::array<std::string_view, 7> kColorCaptions = {
    "Change Color Depth",
    "16.7 million colors (24 bit)",
    "256 colors (8 bit)",
    "16 colors (4 bit)",
    "2 colors (1 bit - Ordered)",
    "2 colors (1 bit - Threshold)",
    "Custom:",
};

const std::array<std::string_view, 8> kSuffixCaptions = {
    "1-Digit Numbers - (1,2,3,...)",
    "2-Digit Numbers - (01,02,03,...) - Default",
    "3-Digit Numbers - (001,002,003,...)",
    "Letter Sequence - (a,b,c,...)",
    "Date - (DDMMYY)",
    "Date - (MMDDYY)",
    "Date - (DDMM)",
    "Date - (MMDD)",
};

const std::array<std::string_view, 3> kCaseCaptions = {"No Change", "Change to lowercase",
                                                       "Change to UPPERCASE"};

const std::array<std::string_view, 3> kOverwriteCaptions = {"Skip", "Overwrite",
                                                            "Overwrite unless original"};

const std::array<std::string_view, 7> kPositionCaptions = {
    "Top Left", "Top Center", "Top Right", "Center", "Bottom Left", "Bottom Center", "Bottom Right"};

TImgSettings DefaultSettings(const TPresetDefaults& preset, const std::string& pictureFolder) {
    TImgSettings s;
    s.SectionName = std::string(preset.SectionName);
    s.ImgWidth = preset.Width;
    s.ImgHeight = preset.Height;
    s.ImgQuality = preset.Quality;
    s.OutFolderName = pictureFolder;
    return s;
}

bool SizeBox(const TImgSettings& s, TDimensions& box) {
    switch (s.ImgResize) {
        case scSmall: box = {640, 480}; return true;
        case scMedium: box = {800, 600}; return true;
        case scLarge: box = {1024, 768}; return true;
        case scHandheld: box = {240, 320}; return true;
        case scCustom: box = {s.ImgWidth, s.ImgHeight}; return true;
        default: return false;
    }
}

namespace {

template <typename Table>
std::string_view Entry(const Table& table, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= table.size()) return {};
    return table[static_cast<size_t>(index)];
}

std::string SizeLine(const TImgSettings& s) {
    TDimensions box;
    if (!SizeBox(s, box)) return "Size: NO CHANGE";
    return "Size: " + std::to_string(box.Width) + "x" + std::to_string(box.Height);
}

std::string FolderLine(const TImgSettings& s) {
    if (s.OutFolderSame) return "Output Folder: Same as Original Folder";
    return "Output Folder: " + s.OutFolderName;
}

std::string QualityLine(const TImgSettings& s) {
    return "Quality: " + std::to_string(s.ImgQuality) + "%";
}

}  // namespace

std::string ColorSummaryLine(const TImgSettings& s) {
    if (s.ImgColors == ccNoChange) return "Colors: NO CHANGE";
    if (s.ImgColors == ccCustom) return "Colors: " + std::to_string(s.ImgCustomColors);
    return "Colors: " + std::string(Entry(kColorCaptions, s.ImgColors));
}

std::string BuildPresetHint(const TImgSettings& s) {
    std::string text = "Convert Using the following settings:";
    text.append(CRLF).append(CRLF);
    text.append(SizeLine(s)).append(CRLF).append(CRLF);
    text.append("Format: ").append(Entry(kFormatCaptions, s.ImgFormat)).append(CRLF).append(CRLF);
    text.append(ColorSummaryLine(s)).append(CRLF).append(CRLF);
    if (s.ImgFormat == ofJPEG) text.append(QualityLine(s)).append(CRLF).append(CRLF);
    text.append(FolderLine(s));
    return text;
}

std::string PresetEditHint(int presetIndex) {
    if (presetIndex < 1 || presetIndex > kPresetCount) return {};
    std::string text = "Edit Settings for \"";
    text.append(kPresets[static_cast<size_t>(presetIndex - 1)].DisplayName).append("\".");
    if (presetIndex < kPresetCount) {
        text.append(CRLF).append(CRLF).append(
            "The settings you choose during this will be the defaults for the next time you use the "
            "regular button.");
    }
    return text;
}

TDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string BuildConfirmationSummary(const TImgSettings& s, int fileCount, const TDate& today) {
    std::string text;
    if (fileCount == 1) {
        text = "The 1 image you have selected will be converted using the following settings:";
    } else {
        text = "The " + std::to_string(fileCount) +
               " images you have selected will be converted using the following settings:";
    }
    text.append(CRLF).append(CRLF);
    text.append(SizeLine(s)).append(CRLF).append(CRLF);
    if (s.ImgFormat == ofSameAsOriginal) {
        text.append("Format: Same as Original File").append(CRLF).append(CRLF);
    } else {
        text.append("Format: ").append(Entry(kFormatCaptions, s.ImgFormat)).append(CRLF);
    }
    if (s.ImgFormat == ofJPEG) text.append(QualityLine(s)).append(CRLF);
    text.append(ColorSummaryLine(s)).append(CRLF).append(CRLF);

    if (s.OutRename) {
        text.append("Renaming: Custom, \"").append(s.OutFileName).append("\" + ");
        text.append(Entry(kSuffixCaptions, s.OutSuffix)).append(CRLF);
        const std::string ext(Entry(kFormatExtensions, s.ImgFormat));
        text.append("Example rename: ");
        text.append(s.OutFileName).append(BuildSuffix(s.OutSuffix, 1, today)).append(ext).append(", ");
        text.append(s.OutFileName).append(BuildSuffix(s.OutSuffix, 2, today)).append(ext);
        text.append(s.OutSuffix == 3 ? ", etc." : ", ");
        text.append(CRLF);
    } else {
        text.append("Renaming: None").append(CRLF);
    }

    switch (s.OutCase) {
        case 1: text.append("Filename Case: Lowercase"); break;
        case 2: text.append("Filename Case: Uppercase"); break;
        default: text.append("Filename Case: Same (No Change)"); break;
    }
    text.append(CRLF).append(CRLF);
    text.append(FolderLine(s)).append(CRLF).append(CRLF);
    switch (s.OutOverwrite) {
        case owOverwrite: text.append("If File Exists: Overwrite"); break;
        case owOverwriteUnlessOriginal: text.append("If File Exists: Overwrite Unless Original"); break;
        default: text.append("If File Exists: Skip, Do not Overwrite"); break;
    }
    text.append(CRLF);
    text.append(CRLF).append("Click Finish to process the file(s).");
    return text;
}

}  // namespace luma
