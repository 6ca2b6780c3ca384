#pragma once
// Text and image watermarks drawn onto an image's drawing surface.

#include <cstdint>
#include <functional>
#include <string>

#include "batch/img_settings.h"

namespace luma {

class TImageComponent;
class TSurface;

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Top-left corner of a w x h mark on a W x H image for a position of the position table. Each
// half is halved on its own (W div 2 - w div 2); a mark larger than the image goes negative.
TPoint WatermarkPosition(int32_t position, int32_t imageWidth, int32_t imageHeight, int32_t markWidth,
                         int32_t markHeight);

// Draws the watermark text of `s` onto the surface, background transparent.
void DrawTextWatermark(TSurface& surface, const TImgSettings& s);

using TLogLine = std::function<void(const std::string& line)>;

// Loads `s.WatermarkImage` into `watermark` and draws it onto the surface (with the GIF's
// transparent colour as a key when it has one). A missing file writes two lines to `log` and draws
// nothing. Load and drawing failures propagate; callers swallow them.
void DrawImageWatermark(TSurface& surface, TImageComponent& watermark, const TImgSettings& s,
                        const TLogLine& log);

}  // namespace luma
