// PNG reader: asks libpng for rows already in the buffer's layout (1-bit packed, or 8-bit blue,
// green, red) and reads them straight into the buffer. Rows with a fourth channel are split into
// the buffer and the alpha plane. Interlaced files with four channels are collected in a
// full-image area first, because libpng only fills the current pass's pixels of a row and the
// passes must combine.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/png.h"
#include "formats/png_lib.h"

namespace luma {

namespace {

using pnglib::PngGuarded;

// Pixels per metre to dots per inch; 0 (no usable chunk) gives the screen's resolution.
int32_t DpiFromPixelsPerMetre(uint32_t ppm) {
    const auto dpi = static_cast<int64_t>(std::nearbyint(static_cast<double>(ppm) / 100.0 * 2.54));
    return dpi != 0 ? static_cast<int32_t>(dpi) : kScreenDpi;
}

int32_t SamplesOf(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // gray, palette
    }
}

// Blue, green, red, alpha to the buffer row and the alpha row.
void SplitBgra(const uint8_t* src, uint8_t* bgr, uint8_t* alpha, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, src += 4, bgr += 3) {
        bgr[0] = src[0];
        bgr[1] = src[1];
        bgr[2] = src[2];
        alpha[x] = src[3];
    }
}

struct THeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colorType = 0;
    int interlace = 0;
    int passes = 1;
    png_byte channels = 0;
    size_t rowBytes = 0;
};

// Reads the header chunks and sets up the transformations. Runs inside a guarded call.
void ReadHeader(png_structp png, png_infop info, THeader& h) {
    png_read_info(png, info);
    png_get_IHDR(png, info, &h.width, &h.height, &h.depth, &h.colorType, &h.interlace, nullptr,
                 nullptr);
    const bool palette = h.colorType == PNG_COLOR_TYPE_PALETTE;
    const bool gray = h.colorType == PNG_COLOR_TYPE_GRAY;
    const bool grayish = gray || h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
    // 1-bit gray and palette files stay packed; their transparency chunks are not used.
    if ((palette && h.depth >= 2) || (gray && h.depth >= 2 && h.depth <= 7)) {
        png_set_expand(png);
    }
    if (h.depth == 16) {
        png_set_strip_16(png);
    }
    if (h.depth >= 2 && h.depth <= 7) {
        png_set_packing(png);
    }
    if (grayish && h.depth > 1) {
        png_set_gray_to_rgb(png);
    }
    if (h.depth > 1) {
        png_set_bgr(png);
    }
    h.passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h.channels = png_get_channels(png, info);
    h.rowBytes = png_get_rowbytes(png, info);
}

void SetParams(png_structp png, png_infop info, const THeader& h, TIOParamsVals& params) {
    params.Width = static_cast<int32_t>(h.width);
    params.Height = static_cast<int32_t>(h.height);
    params.BitsPerSample = h.depth;
    params.SamplesPerPixel = SamplesOf(h.colorType);

    png_uint_32 ppmX = 0;
    png_uint_32 ppmY = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    if (png_get_pHYs(png, info, &ppmX, &ppmY, &unit) == 0 || unit != PNG_RESOLUTION_METER) {
        ppmX = 0;
        ppmY = 0;
    }
    params.DpiX = DpiFromPixelsPerMetre(ppmX);
    params.DpiY = DpiFromPixelsPerMetre(ppmY);

    params.FreeColorMap();
    png_colorp palette = nullptr;
    int count = 0;
    if (h.colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &count) != 0 &&
        palette != nullptr && count > 0) {
        std::vector<TRGB> colors(static_cast<size_t>(std::min(count, 256)));
        for (size_t i = 0; i < colors.size(); ++i) {
            colors[i] = TRGB{palette[i].blue, palette[i].green, palette[i].red};
        }
        params.SetColorMap(colors);
    }
    params.PngInterlaced = h.interlace != PNG_INTERLACE_NONE;
}

// Reads every pass of rows with three channels or one bit straight into the buffer rows.
// libpng combines the passes of interlaced files inside the row it is given.
bool ReadDirect(png_structp png, const THeader& h, TImageBuffer& image, TIOProgress& progress) {
    for (int pass = 0; pass < h.passes; ++pass) {
        for (png_uint_32 y = 0; y < h.height; ++y) {
            if (progress.Aborted()) {
                return false;
            }
            uint8_t* row = image.ScanLine(static_cast<int32_t>(y));
            if (!PngGuarded(png, [&] { png_read_row(png, row, nullptr); })) {
                return false;
            }
            progress.Row();
        }
    }
    return true;
}

// Rows with four channels, one at a time (not interlaced).
bool ReadSplitRows(png_structp png, const THeader& h, TImageBuffer& image, TPlaneMask& alpha,
                   TIOProgress& progress) {
    std::vector<uint8_t> area(h.rowBytes);
    for (png_uint_32 y = 0; y < h.height; ++y) {
        if (progress.Aborted()) {
            return false;
        }
        if (!PngGuarded(png, [&] { png_read_row(png, area.data(), nullptr); })) {
            return false;
        }
        const auto row = static_cast<int32_t>(y);
        SplitBgra(area.data(), image.ScanLine(row), alpha.Row(row), h.width);
        progress.Row();
    }
    return true;
}

// Interlaced rows with four channels: all passes into one full-image area, then split. What
// was read is split also when reading stopped early.
bool ReadSplitInterlaced(png_structp png, const THeader& h, TImageBuffer& image,
                         TPlaneMask& alpha, TIOProgress& progress) {
    std::vector<uint8_t> area(h.rowBytes * h.height);
    bool ok = true;
    for (int pass = 0; pass < h.passes && ok; ++pass) {
        for (png_uint_32 y = 0; y < h.height; ++y) {
            if (progress.Aborted()) {
                ok = false;
                break;
            }
            uint8_t* row = area.data() + static_cast<size_t>(y) * h.rowBytes;
            if (!PngGuarded(png, [&] { png_read_row(png, row, nullptr); })) {
                ok = false;
                break;
            }
            progress.Row();
        }
    }
    for (png_uint_32 y = 0; y < h.height; ++y) {
        const auto row = static_cast<int32_t>(y);
        SplitBgra(area.data() + static_cast<size_t>(y) * h.rowBytes, image.ScanLine(row),
                  alpha.Row(row), h.width);
    }
    return ok;
}

}  // namespace

void ReadPng(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& alpha, TIOProgress& progress) {
    TSpanByteReader reader(file);
    pnglib::TPngContext context;
    context.reader = &reader;
    context.aborting = progress.AbortFlag();
    pnglib::TPngReadStruct structs(context);
    if (!structs.Created()) {
        progress.Abort();
        return;
    }
    png_structp png = structs.Png();
    png_infop info = structs.Info();

    THeader h;
    if (!PngGuarded(png, [&] { ReadHeader(png, info, h); })) {
        return;  // the error callback set Aborting; the buffer is untouched
    }
    SetParams(png, info, h, params);

    if (!CheckImageSize(progress, h.width, h.height)) {
        return;
    }
    const bool oneBit = h.depth == 1;
    const bool split = !oneBit && h.channels == 4;
    // What libpng will hand over must fit the buffer row (and the split area).
    const size_t expected = oneBit ? (static_cast<size_t>(h.width) + 7) / 8
                                   : static_cast<size_t>(h.width) * (split ? 4 : 3);
    if ((oneBit && h.channels != 1) || (!oneBit && h.channels != 3 && h.channels != 4) ||
        h.rowBytes != expected) {
        progress.Abort();
        return;
    }

    image.Allocate(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height),
                   oneBit ? pk1Bit : pk24RGB);
    if (split) {
        alpha.Allocate(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), 8);
        for (int32_t y = 0; y < alpha.Height(); ++y) {
            std::memset(alpha.Row(y), 255, static_cast<size_t>(alpha.RowLen()));
        }
    }

    progress.SetRows(static_cast<int64_t>(h.height) * h.passes);
    bool ok = false;
    if (!split) {
        ok = ReadDirect(png, h, image, progress);
    } else if (h.passes > 1) {
        ok = ReadSplitInterlaced(png, h, image, alpha, progress);
    } else {
        ok = ReadSplitRows(png, h, image, alpha, progress);
    }
    if (ok && !progress.Aborted()) {
        PngGuarded(png, [&] { png_read_end(png, nullptr); });
    }
}

}  // namespace luma
