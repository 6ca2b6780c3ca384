#include "batch/settings_file.h"

#include <filesystem>
#include <system_error>

#include "util/ini_file.h"
#include "util/paths.h"
#include "util/user_prompt.h"

namespace luma {

namespace {

constexpr const char* kGeneral = "General";

// The picture folder, or the documents folder when there is none.
std::string UserPictureFolder() {
    std::string folder = PicturesFolder();
    return folder.empty() ? DocumentsFolder() : folder;
}

bool FolderExists(const std::string& folder) {
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec);
}

// Reads a text key: missing and empty both give the default.
std::string ReadText(const std::string& path, const std::string& section, const char* key,
                     const std::string& defaultValue) {
    return IniReadString(path, section, key, defaultValue);
}

}  // namespace

void LoadPreset(const std::string& iniPath, TImgSettings& s, const TPresetDefaults& defaults,
                const std::string& pictureFolder) {
    const TImgSettings d = DefaultSettings(defaults, pictureFolder);
    const std::string& sec = s.SectionName;
    auto integer = [&](const char* key, int32_t def) { return IniReadInteger(iniPath, sec, key, def); };
    auto flag = [&](const char* key, bool def) { return IniReadBool(iniPath, sec, key, def); };
    auto text = [&](const char* key, const std::string& def) { return ReadText(iniPath, sec, key, def); };

    s.ImgFormat = integer("ImgFormat", d.ImgFormat);
    s.ImgResize = integer("ImgResize", d.ImgResize);
    s.ImgWidth = integer("ImgWidth", d.ImgWidth);
    s.ImgHeight = integer("ImgHeight", d.ImgHeight);
    s.ImgColors = integer("ImgColors", d.ImgColors);
    s.ImgCustomColors = integer("ImgCustomColors", d.ImgCustomColors);
    s.ImgQuality = integer("ImgQuality", d.ImgQuality);
    s.ImgOnlySmaller = flag("ImgOnlySmaller", d.ImgOnlySmaller);
    s.ImgAspect = flag("ImgAspect", d.ImgAspect);
    s.OutFileName = text("OutFileName", d.OutFileName);
    s.OutSuffix = integer("OutSuffix", d.OutSuffix);
    s.OutCase = integer("OutCase", d.OutCase);
    s.OutRename = flag("OutRename", d.OutRename);
    s.OutFolderSame = flag("OutFolderSame", d.OutFolderSame);
    s.OutFolderName = text("OutFolderName", d.OutFolderName);
    s.OutOverwrite = integer("OutOverwrite", d.OutOverwrite);
    s.UseTextWatermark = flag("UseTextWatermark", d.UseTextWatermark);
    s.UseImageWatermark = flag("UseImageWatermark", d.UseImageWatermark);
    s.WatermarkText = text("WatermarkText", d.WatermarkText);
    s.WatermarkImage = text("WatermarkImage", d.WatermarkImage);
    s.TextPosition = integer("TextPosition", d.TextPosition);
    s.ImagePosition = integer("ImagePosition", d.ImagePosition);
    s.TextFontName = text("TextFontName", d.TextFontName);
    s.TextFontSize = integer("TextFontSize", d.TextFontSize);
    s.TextFontBold = flag("TextFontBold", d.TextFontBold);
    s.TextFontItalics = flag("TextFontItalics", d.TextFontItalics);
    s.TextFontUnderline = flag("TextFontUnderline", d.TextFontUnderline);
    s.TextFontColor = integer("TextFontColor", d.TextFontColor);
}

void SavePreset(const std::string& iniPath, TImgSettings& s, const std::string& lastUsedFolder) {
    const std::string& sec = s.SectionName;
    auto integer = [&](const char* key, int32_t v) { IniWriteInteger(iniPath, sec, key, v); };
    auto flag = [&](const char* key, bool v) { IniWriteBool(iniPath, sec, key, v); };
    auto text = [&](const char* key, const std::string& v) { IniWriteString(iniPath, sec, key, v); };

    integer("ImgFormat", s.ImgFormat);
    integer("ImgResize", s.ImgResize);
    integer("ImgWidth", s.ImgWidth);
    integer("ImgHeight", s.ImgHeight);
    integer("ImgColors", s.ImgColors);
    integer("ImgCustomColors", s.ImgCustomColors);
    integer("ImgQuality", s.ImgQuality);
    flag("ImgOnlySmaller", s.ImgOnlySmaller);
    flag("ImgAspect", s.ImgAspect);
    text("OutFileName", s.OutFileName);
    integer("OutSuffix", s.OutSuffix);
    integer("OutCase", s.OutCase);
    flag("OutRename", s.OutRename);
    flag("OutFolderSame", s.OutFolderSame);
    text("OutFolderName", s.OutFolderName);
    integer("OutOverwrite", s.OutOverwrite);
    flag("UseTextWatermark", s.UseTextWatermark);
    flag("UseImageWatermark", s.UseImageWatermark);
    text("WatermarkText", s.WatermarkText);
    text("WatermarkImage", s.WatermarkImage);
    integer("TextPosition", s.TextPosition);
    integer("ImagePosition", s.ImagePosition);
    text("TextFontName", s.TextFontName);
    integer("TextFontSize", s.TextFontSize);
    flag("TextFontBold", s.TextFontBold);
    flag("TextFontItalics", s.TextFontItalics);
    flag("TextFontUnderline", s.TextFontUnderline);
    integer("TextFontColor", s.TextFontColor);
    if (s.OutFolderName.empty()) s.OutFolderName = lastUsedFolder;
}

TBatchSettings::TBatchSettings(const std::string& folder)
    : IniPath(AddTrailingSeparator(folder) + kSettingsFileName) {
    for (int i = 0; i < kPresetCount; ++i) {
        Presets[static_cast<size_t>(i)].SectionName = std::string(kPresets[static_cast<size_t>(i)].SectionName);
    }
}

TImgSettings* TBatchSettings::Current() {
    if (CurrentPreset < 1 || CurrentPreset > kPresetCount) return nullptr;
    return &Presets[static_cast<size_t>(CurrentPreset - 1)];
}

void TBatchSettings::LoadAllPresets() {
    const std::string pictures = UserPictureFolder();
    for (int i = 0; i < kPresetCount; ++i) {
        TImgSettings& s = Presets[static_cast<size_t>(i)];
        s.SectionName = std::string(kPresets[static_cast<size_t>(i)].SectionName);
        LoadPreset(IniPath, s, kPresets[static_cast<size_t>(i)], pictures);
    }
}

void TBatchSettings::SaveAllPresets() {
    for (TImgSettings& s : Presets) SavePreset(IniPath, s, LastUsedFolder);
}

void TBatchSettings::LoadSettings() {
    LastUsedFolder = UserPictureFolder();
    LastUsedFolder = IniReadString(IniPath, kGeneral, "LastDir", LastUsedFolder);
    LoadAllPresets();
}

void TBatchSettings::InitStartFolder() {
    if (FolderExists(LastUsedFolder)) {
        StartFolder = LastUsedFolder;
        return;
    }
    LastUsedFolder = IniReadString(IniPath, kGeneral, "LastDir", LastUsedFolder);
    if (!FolderExists(LastUsedFolder)) LastUsedFolder = ProgramFolder();
    StartFolder = LastUsedFolder;
}

void TBatchSettings::SaveSettings() {
    IniWriteString(IniPath, kGeneral, "LastDir", LastUsedFolder);
    SaveAllPresets();
}

bool TBatchSettings::RestoreDefaults(TUserPrompt& prompt) {
    const TMsgResult answer = prompt.MessageBox(
        "Confirm Reset", "Do you wish to reset all the defaults except \"Custom Settings\"?",
        TMsgIcon::Question, TMsgButtons::YesNo);
    if (answer != TMsgResult::Yes) return false;
    for (const char* section : {"Website", "Auction", "Email", "CD"}) IniEraseSection(IniPath, section);
    LoadAllPresets();
    return true;
}

std::string TBatchSettings::ReadLastBrowseForFolder() const {
    return IniReadString(IniPath, kGeneral, "LastBrowseForFolder", LastUsedFolder);
}

void TBatchSettings::WriteLastBrowseForFolder(const std::string& folder) const {
    IniWriteString(IniPath, kGeneral, "LastBrowseForFolder", folder);
}

}  // namespace luma
