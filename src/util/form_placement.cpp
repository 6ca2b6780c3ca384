#include "util/form_placement.h"

#include <algorithm>
#include <limits>

#include "util/ini_file.h"
#include "util/paths.h"

namespace luma {

std::string FormInfoFile() { return SettingsFolder() + "forminfo.ini"; }

std::string FormPlacementSection(const std::string& formName) { return formName + "Position"; }

bool SaveFormPlacement(const std::string& iniPath, const std::string& formName, const TFormPlacement& form) {
    const std::string section = FormPlacementSection(formName);
    bool ok = IniWriteInteger(iniPath, section, "State", static_cast<int32_t>(form.State));
    ok = IniWriteInteger(iniPath, section, "Top", form.Top) && ok;
    ok = IniWriteInteger(iniPath, section, "Left", form.Left) && ok;
    ok = IniWriteInteger(iniPath, section, "Right", form.Left + form.Width) && ok;
    ok = IniWriteInteger(iniPath, section, "Bottom", form.Top + form.Height) && ok;
    return ok;
}

std::optional<TFormPlacement> PlaceStoredForm(const TStoredPlacement& stored, const std::optional<TRect>& workArea,
                                              const TFormPlacement& current, bool keepState, bool keepSize) {
    if (!workArea || stored.Left == -1) return std::nullopt;
    // 64-bit arithmetic: stored values are whatever the file says.
    int64_t left = stored.Left;
    int64_t top = stored.Top;
    int64_t right = stored.Right;
    int64_t bottom = stored.Bottom;
    if (right > workArea->Right) {
        left -= right - workArea->Right;
        right = workArea->Right;
    }
    if (bottom > workArea->Bottom) {
        top -= bottom - workArea->Bottom;
        bottom = workArea->Bottom;
    }
    if (left < workArea->Left) {
        right += workArea->Left - left;
        left = workArea->Left;
    }
    if (top < workArea->Top) {
        bottom += workArea->Top - top;
        top = workArea->Top;
    }
    TFormPlacement placed = current;
    placed.Top = static_cast<int32_t>(top);
    placed.Left = static_cast<int32_t>(left);
    if (!keepSize) {
        constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();
        if (bottom - top > 10) placed.Height = static_cast<int32_t>(std::min(bottom - top, kMaxSize));
        if (right - left > 10) placed.Width = static_cast<int32_t>(std::min(right - left, kMaxSize));
    }
    if (!keepState) {
        switch (stored.State) {
        case 1:
            placed.State = TWindowState::wsMaximized;
            break;
        case 2:
            placed.State = TWindowState::wsMinimized;
            break;
        default:
            placed.State = TWindowState::wsNormal;
            break;
        }
    }
    return placed;
}

std::optional<TFormPlacement> RestoreFormPlacement(const std::string& iniPath, const std::string& formName,
                                                   const std::optional<TRect>& workArea,
                                                   const TFormPlacement& current, bool keepState, bool keepSize) {
    if (!workArea) return std::nullopt;
    const std::string section = FormPlacementSection(formName);
    TStoredPlacement stored;
    stored.Left = IniReadInteger(iniPath, section, "Left", -1);
    if (stored.Left == -1) return std::nullopt;
    stored.Top = IniReadInteger(iniPath, section, "Top", -1);
    stored.Right = IniReadInteger(iniPath, section, "Right", -1);
    stored.Bottom = IniReadInteger(iniPath, section, "Bottom", -1);
    if (!keepState) stored.State = IniReadInteger(iniPath, section, "State", 0);
    return PlaceStoredForm(stored, workArea, current, keepState, keepSize);
}

std::optional<TPoint> CenterForm(const std::optional<TRect>& workArea, int32_t width, int32_t height) {
    if (!workArea) return std::nullopt;
    const int64_t x = (static_cast<int64_t>(workArea->Width()) - width) / 2;
    const int64_t y = (static_cast<int64_t>(workArea->Height()) - height) / 2;
    return TPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

}  // namespace luma
