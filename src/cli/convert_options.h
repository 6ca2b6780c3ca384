#pragma once
// Command-line options of `convert` that override single fields of a preset.

#include <string>
#include <vector>

#include "batch/img_settings.h"

namespace luma::cli {

struct TConvertOptions {
    int PresetIndex = 5;  // 1..5, "Custom" unless chosen
    std::vector<std::string> Inputs;
    bool Recursive = false;
    bool SavePreset = false;
    bool Summary = false;
    bool DryRun = false;
    bool Draft = false;
    bool Quiet = false;
    int Jobs = 1;
};

// A field override: applied to the preset's record once it is loaded.
using TSettingsEdit = void (*)(TImgSettings&, const std::string&);

struct TParsedConvert {
    TConvertOptions Options;
    std::vector<std::pair<TSettingsEdit, std::string>> Edits;
    std::string Error;  // non-empty: usage error
    bool Help = false;
};

TParsedConvert ParseConvertArgs(const std::vector<std::string>& args);

// Applies the overrides in the order given; an error names the bad value.
std::string ApplyEdits(TImgSettings& s, const TParsedConvert& parsed);

extern const char* const kConvertUsage;

}  // namespace luma::cli
