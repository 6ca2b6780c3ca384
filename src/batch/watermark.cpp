#include "batch/watermark.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "formats/image_component.h"
#include "imaging/canvas.h"
#include "imaging/surface.h"

namespace luma {

TPoint WatermarkPosition(int32_t position, int32_t imageWidth, int32_t imageHeight, int32_t markWidth,
                         int32_t markHeight) {
    const int32_t centerX = imageWidth / 2 - markWidth / 2;
    const int32_t centerY = imageHeight / 2 - markHeight / 2;
    const int32_t right = imageWidth - markWidth;
    const int32_t bottom = imageHeight - markHeight;
    switch (position) {
        case 0: return {0, 0};
        case 1: return {centerX, 0};
        case 2: return {right, 0};
        case 3: return {centerX, centerY};
        case 4: return {0, bottom};
        case 5: return {centerX, bottom};
        case 6: return {right, bottom};
        default: return {0, 0};
    }
}

void DrawTextWatermark(TSurface& surface, const TImgSettings& s) {
    // The rasteriser keeps one shared font cache; files converted at once take turns here.
    static std::mutex fontLock;
    const std::lock_guard<std::mutex> lock(fontLock);
    TCanvas canvas(surface);
    canvas.Font.Name = s.TextFontName;
    canvas.Font.SetSize(s.TextFontSize);
    canvas.Font.Color = static_cast<TColor>(s.TextFontColor);
    canvas.Font.Bold = s.TextFontBold;
    canvas.Font.Italic = s.TextFontItalics;
    canvas.Font.Underline = s.TextFontUnderline;
    const TSize extent = canvas.TextExtent(s.WatermarkText);
    const TPoint at = WatermarkPosition(s.TextPosition, surface.Width(), surface.Height(), extent.cx, extent.cy);
    canvas.Brush.Clear = true;
    canvas.TextOut(at.X, at.Y, s.WatermarkText);
}

namespace {

bool IsGifName(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return ext == ".gif";
}

}  // namespace

void DrawImageWatermark(TSurface& surface, TImageComponent& watermark, const TImgSettings& s,
                        const TLogLine& log) {
    std::error_code ec;
    if (!std::filesystem::exists(s.WatermarkImage, ec)) {
        log("Watermark Image NOT FOUND:");
        log(s.WatermarkImage);
        return;
    }
    watermark.LoadImageFile(s.WatermarkImage);
    TImageBuffer& mark = watermark.ImageBuffer();
    const TPoint at = WatermarkPosition(s.ImagePosition, surface.Width(), surface.Height(), mark.Width(), mark.Height());
    TCanvas canvas(surface);
    const TIOParamsVals& params = watermark.Params();
    if (IsGifName(s.WatermarkImage) && params.GifHasTransparentColor) {
        canvas.DrawTransparent(at.X, at.Y, mark, ToColor(params.GifTransparentColor));
    } else {
        canvas.Draw(at.X, at.Y, mark);
    }
}

}  // namespace luma
