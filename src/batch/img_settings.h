#pragma once
// The conversion settings record of one preset, the five presets and the captions of the choices.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace luma {

// One preset's settings. Field names double as the INI key names of the settings file.
struct TImgSettings {
    std::string SectionName;
    int32_t ImgFormat = 1;
    int32_t ImgResize = 4;
    int32_t ImgWidth = 450;
    int32_t ImgHeight = 338;
    int32_t ImgColors = 1;
    int32_t ImgCustomColors = 16000;
    int32_t ImgQuality = 80;
    bool ImgOnlySmaller = true;
    bool ImgAspect = true;
    std::string OutFileName = "filename";
    int32_t OutSuffix = 1;
    int32_t OutCase = 0;
    bool OutRename = true;
    bool OutFolderSame = false;
    std::string OutFolderName;
    int32_t OutOverwrite = 0;
    bool UseTextWatermark = false;
    bool UseImageWatermark = false;
    std::string WatermarkText;
    std::string WatermarkImage;
    int32_t TextPosition = 4;
    int32_t ImagePosition = 6;
    std::string TextFontName = "Tahoma";
    int32_t TextFontSize = 10;
    bool TextFontBold = false;
    bool TextFontItalics = false;
    bool TextFontUnderline = false;
    int32_t TextFontColor = 0;
};

// Output format choices (`ImgFormat`).
enum TOutputFormat : int32_t { ofBMP, ofJPEG, ofGIF, ofPCX, ofPNG, ofTIFF, ofSameAsOriginal };
// Colour-depth choices (`ImgColors`).
enum TColorChoice : int32_t { ccNoChange, cc24Bit, cc256, cc16, ccBWOrdered, ccBWThreshold, ccCustom };
// Size choices (`ImgResize`).
enum TSizeChoice : int32_t { scSmall, scMedium, scLarge, scHandheld, scCustom, scNoResize };
// Existing-file policies (`OutOverwrite`).
enum TOverwritePolicy : int32_t { owSkip, owOverwrite, owOverwriteUnlessOriginal };

// The built-in defaults of one preset.
struct TPresetDefaults {
    std::string_view SectionName;
    std::string_view ButtonCaption;
    std::string_view DisplayName;
    int32_t Width;
    int32_t Height;
    int32_t Quality;
};

inline constexpr int kPresetCount = 5;
// Presets in button order; preset index i (1..5) is entry i - 1.
extern const std::array<TPresetDefaults, kPresetCount> kPresets;

extern const std::array<std::string_view, 7> kFormatCaptions;
extern const std::array<std::string_view, 7> kFormatExtensions;  // ".*" for "Same as Original"
extern const std::array<std::string_view, 6> kSizeCaptions;
extern const std::array<std::string_view, 7> kColorCaptions;  // entry 0 is the unticked box
extern const std::array<std::string_view, 8> kSuffixCaptions;
extern const std::array<std::string_view, 3> kCaseCaptions;
extern const std::array<std::string_view, 3> kOverwriteCaptions;
extern const std::array<std::string_view, 7> kPositionCaptions;

// The record a preset holds when the settings file has nothing for it. `OutFolderName` is the
// picture folder passed in (looked up afresh by the caller).
TImgSettings DefaultSettings(const TPresetDefaults& preset, const std::string& pictureFolder);

struct TDimensions {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The size box of the record's size choice; false for "Do Not Resize".
bool SizeBox(const TImgSettings& s, TDimensions& box);

// "Colors: ..." line of the summaries.
std::string ColorSummaryLine(const TImgSettings& s);

// Hover text of a preset's convert button.
std::string BuildPresetHint(const TImgSettings& s);

// Fixed tooltip of a preset's edit button (preset index 1..5).
std::string PresetEditHint(int presetIndex);

// Text of the confirmation step for `fileCount` files. `today` gives the date used by date suffixes.
struct TDate {
    int Year = 2000;
    int Month = 1;
    int Day = 1;
};
TDate Today();
std::string BuildConfirmationSummary(const TImgSettings& s, int fileCount, const TDate& today);

}  // namespace luma
