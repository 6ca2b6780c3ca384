#pragma once
// Window position, size and state kept in "forminfo.ini", as arithmetic on rectangles: the desktop
// program reads its window's geometry, calls these and applies the result to the window.

#include <cstdint>
#include <optional>
#include <string>

namespace luma {

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TPoint&) const = default;
};

enum class TWindowState : int32_t { wsNormal = 0, wsMaximized = 1, wsMinimized = 2 };

// A window as the placement functions see it: its rectangle in the normal (not maximized, not
// minimized) state and its state.
struct TFormPlacement {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TWindowState State = TWindowState::wsNormal;
    bool operator==(const TFormPlacement&) const = default;
};

// The placement file in the settings folder, and a window's section in it (name + "Position").
std::string FormInfoFile();
std::string FormPlacementSection(const std::string& formName);

// Writes State, then Top, Left, Right (Left + Width) and Bottom (Top + Height) of the window's
// normal-state rectangle. The caller puts the window into the normal state afterwards. True when
// every key was written.
bool SaveFormPlacement(const std::string& iniPath, const std::string& formName, const TFormPlacement& form);

// The stored keys as read for a restore; Left is -1 when nothing is stored.
struct TStoredPlacement {
    int32_t Left = -1;
    int32_t Top = -1;
    int32_t Right = -1;
    int32_t Bottom = -1;
    int32_t State = 0;
};

// Where a window goes: the stored rectangle moved (never resized) into the work area (right edge,
// bottom edge, then left edge, top edge), its size taken only when more than 10 pixels and keepSize
// is false, its state taken (0 normal, 1 maximized, 2 minimized, others normal) unless keepState.
// nullopt when the work area is unknown or nothing is stored (Left = -1): the window stays as it is.
std::optional<TFormPlacement> PlaceStoredForm(const TStoredPlacement& stored, const std::optional<TRect>& workArea,
                                              const TFormPlacement& current, bool keepState, bool keepSize);

// Reads the window's section of iniPath (State only when keepState is false) and places it as above.
std::optional<TFormPlacement> RestoreFormPlacement(const std::string& iniPath, const std::string& formName,
                                                   const std::optional<TRect>& workArea,
                                                   const TFormPlacement& current, bool keepState, bool keepSize);

// The window's new top-left corner: ((work width - width) div 2, (work height - height) div 2),
// division truncating toward zero; nullopt when the work area is unknown.
std::optional<TPoint> CenterForm(const std::optional<TRect>& workArea, int32_t width, int32_t height);

}  // namespace luma
