#pragma once
// Running the first file of the list through the preset's pixel steps, for a preview.

#include <string>

#include "batch/img_settings.h"
#include "batch/watermark.h"

namespace luma {

class TImageComponent;

// Loads `source` into `work` and applies the resize, colour-depth and watermark steps of `s`
// without any message. Failures end the processing silently; `work` then holds whatever the
// failing step left. Nothing is written to disk: a preview needs no output file.
void ProcessFirstImage(const TImgSettings& s, const std::string& source, TImageComponent& work,
                       TImageComponent& watermark, const TLogLine& log);

}  // namespace luma
