#include "batch/image_pipeline.h"

#include "batch/fitted_size.h"
#include "formats/image_component.h"

namespace luma {

bool ResizeToSizeBox(TImageComponent& image, const TImgSettings& s) {
    TDimensions box;
    if (!SizeBox(s, box)) return false;
    const int32_t width = image.Bitmap().Width();
    const int32_t height = image.Bitmap().Height();
    if (s.ImgOnlySmaller && width < box.Width && height < box.Height) return true;
    if (s.ImgAspect) {
        const TDimensions fitted = FittedSize(width, height, box.Width, box.Height);
        if (fitted.Width > 0 && fitted.Height > 0) image.Resample(fitted.Width, fitted.Height, rfBell);
    } else if (box.Width > 0 && box.Height > 0) {
        image.Resample(box.Width, box.Height, rfBell);
    }
    return true;
}

bool ApplyColorDepth(TImageComponent& image, const TImgSettings& s) {
    TImageProc& proc = image.Proc();
    switch (s.ImgColors) {
        case cc24Bit: proc.ConvertTo24Bit(); return true;
        case cc256: proc.ConvertTo(256, false); return true;
        case cc16: proc.ConvertTo(16, false); return true;
        case ccBWOrdered: proc.ConvertToBWOrdered(); return true;
        case ccBWThreshold: proc.ConvertToBWThreshold(-1); return true;
        case ccCustom: proc.ConvertTo(s.ImgCustomColors, false); return true;
        default: return false;
    }
}

void ApplyWatermarks(TImageComponent& image, TImageComponent& watermark, const TImgSettings& s,
                     const TLogLine& log) {
    if (s.UseTextWatermark) DrawTextWatermark(image.Bitmap(), s);
    if (s.UseImageWatermark) {
        try {
            DrawImageWatermark(image.Bitmap(), watermark, s, log);
        } catch (...) {
            // An unreadable watermark leaves the picture without it; the file still gets saved.
        }
    }
}

void SaveInPresetFormat(TImageComponent& image, const TImgSettings& s, const std::string& destination) {
    switch (s.ImgFormat) {
        case ofBMP: image.SaveAsBMP(destination); break;
        case ofJPEG:
            image.Params().JpegQuality = s.ImgQuality;
            image.SaveAsJPEG(destination);
            break;
        case ofGIF: image.SaveAsGIF(destination); break;
        case ofPCX: image.SaveAsPCX(destination); break;
        case ofPNG: image.SaveAsPNG(destination); break;
        case ofTIFF: image.SaveAsTIFF(destination); break;
        default: image.SaveImageFile(destination); break;
    }
}

void RequestDraftScale(TImageComponent& image, const TImgSettings& s) {
    TDimensions box;
    TIOParamsVals& params = image.Params();
    if (!SizeBox(s, box) || box.Width <= 0 || box.Height <= 0) {
        params.JpegScale = 1;
        return;
    }
    params.JpegScale = 0;
    params.Width = box.Width;
    params.Height = box.Height;
}

}  // namespace luma
