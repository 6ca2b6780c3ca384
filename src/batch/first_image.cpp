#include "batch/first_image.h"

#include "batch/image_pipeline.h"
#include "formats/image_component.h"

namespace luma {

void ProcessFirstImage(const TImgSettings& s, const std::string& source, TImageComponent& work,
                       TImageComponent& watermark, const TLogLine& log) {
    try {
        work.LoadImageFile(source);
        ResizeToSizeBox(work, s);
        ApplyColorDepth(work, s);
        ApplyWatermarks(work, watermark, s, log);
    } catch (...) {
        // The preview shows whatever the image holds; it never reports errors.
    }
}

}  // namespace luma
