#pragma once
// The pixel steps of converting one image with a preset, shared by the batch run and the
// first-image preview: resize into the size box, colour depth, watermarks, save.

#include <string>

#include "batch/img_settings.h"
#include "batch/watermark.h"

namespace luma {

class TImageComponent;

// Fits (or stretches) the image into the preset's size box with the Bell filter. Returns false
// when the preset has no size box (nothing to report); true when the step ran, resized or not.
bool ResizeToSizeBox(TImageComponent& image, const TImgSettings& s);

// Applies the preset's colour-depth choice; false when it asks for no change.
bool ApplyColorDepth(TImageComponent& image, const TImgSettings& s);

// Draws the text watermark, then the image watermark (when switched on). A missing watermark
// file logs its two lines; any other failure of the image watermark is swallowed.
void ApplyWatermarks(TImageComponent& image, TImageComponent& watermark, const TImgSettings& s,
                     const TLogLine& log);

// Saves with the writer of the preset's format (the quality set for JPEG).
void SaveInPresetFormat(TImageComponent& image, const TImgSettings& s, const std::string& destination);

// Asks the JPEG reader for a reduced DCT scale that still covers the size box (draft mode).
void RequestDraftScale(TImageComponent& image, const TImgSettings& s);

}  // namespace luma
