#pragma once
// The batch settings file: the five presets and the remembered folders, one INI key per access.

#include <array>
#include <string>

#include "batch/img_settings.h"

namespace luma {

class TUserPrompt;

inline constexpr const char* kSettingsFileName = "TsLumatra.ini";

// Reads every field of one preset from its section, with the preset's defaults for missing,
// empty (texts) or malformed (numbers) values. `pictureFolder` is the default of `OutFolderName`.
void LoadPreset(const std::string& iniPath, TImgSettings& s, const TPresetDefaults& defaults,
                const std::string& pictureFolder);

// Writes every field of one preset in field order, flags as 1 or 0. An empty `OutFolderName` is
// written empty and then replaced in memory by `lastUsedFolder`.
void SavePreset(const std::string& iniPath, TImgSettings& s, const std::string& lastUsedFolder);

// The main window's settings: the presets, the preset in use and the last-used folder.
class TBatchSettings {
public:
    // Settings kept in `folder` (with trailing separator), in the file TsLumatra.ini.
    explicit TBatchSettings(const std::string& folder);

    std::string IniPath;
    std::array<TImgSettings, kPresetCount> Presets;
    int CurrentPreset = 0;  // 1..5; 0 while no preset has been chosen
    std::string LastUsedFolder;
    std::string StartFolder;  // where the open dialog starts

    // The record of CurrentPreset, or nullptr while none is chosen.
    TImgSettings* Current();

    void LoadSettings();
    void InitStartFolder();
    void SaveSettings();
    void LoadAllPresets();
    void SaveAllPresets();
    // Asks, and on Yes resets every preset but "Custom" to its defaults. True when it did.
    bool RestoreDefaults(TUserPrompt& prompt);

    std::string ReadLastBrowseForFolder() const;
    void WriteLastBrowseForFolder(const std::string& folder) const;
};

}  // namespace luma
