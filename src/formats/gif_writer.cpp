// GIF writer: one image of 2^b colours with a global colour table, a graphic control extension,
// the LZW data from the installed encoder, a comment extension and the trailer. Colours come from
// the colour quantizer; a 1-bit image is written with the table black, white.

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "formats/gif.h"
#include "imaging/color_quantizer.h"
#include "imaging/two_color_mask.h"

namespace luma {
namespace {

int32_t Distance(TRGB a, TRGB b) {
    const int32_t dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

// Index of the palette entry nearest to `color` (the first of equals).
int32_t NearestEntry(const TRGB* palette, int32_t count, TRGB color) {
    int32_t best = 0;
    for (int32_t i = 1; i < count; ++i)
        if (Distance(palette[i], color) < Distance(palette[best], color)) best = i;
    return best;
}

void WriteComments(TOutputStream& output, const std::vector<std::string>& comments) {
    const uint8_t intro[2] = {0x21, 0xFE};
    output.Write(intro, 2);
    for (const std::string& line : comments) {
        // A zero-length sub-block would end the extension; longer lines take several sub-blocks.
        for (size_t at = 0; at < line.size(); at += kGifMaxSubBlock) {
            const size_t n = std::min(kGifMaxSubBlock, line.size() - at);
            output.WriteU8(static_cast<uint8_t>(n));
            output.Write(line.data() + at, n);
        }
    }
    output.WriteU8(0);
}

}  // namespace

void WriteGif(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params, const TPlaneMask*,
              TIOProgress& progress) {
    progress.Report(0);
    if (progress.Aborted()) return;
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    if (image.Empty() || width > kGifMaxDimension || height > kGifMaxDimension) {
        progress.Abort();
        return;
    }

    // Depth and source: a 1-bit image for b = 1, else a 24-bit one; more than 8 bits cannot be
    // held by a GIF colour table, so they become 8.
    const int32_t bits = params.BitsPerSample == 1 ? 1 : std::clamp(params.BitsPerSample, 2, 8);
    const int32_t colors = 1 << bits;
    std::unique_ptr<TImageBuffer> converted;
    const TImageBuffer* source = &image;
    if (bits == 1 && image.PixelKind() != pk1Bit) {
        converted = std::make_unique<TImageBuffer>();
        TRGB color0, color1;
        if (!TwoColorMask(image, *converted, color0, color1)) {
            converted->CopyImageFrom(image);
            converted->ConvertPixelKind(pk1Bit);
        }
        source = converted.get();
    } else if (bits > 1 && image.PixelKind() != pk24RGB) {
        converted = std::make_unique<TImageBuffer>();
        converted->CopyImageFrom(image);
        converted->ConvertPixelKind(pk24RGB);
        source = converted.get();
    }

    std::array<TRGB, 256> palette{};
    std::vector<uint8_t> indices(static_cast<size_t>(width) * static_cast<size_t>(height));
    int32_t backgroundIndex = 0;
    int32_t transparentIndex = 0;
    if (bits == 1) {
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source->ScanLine(y);
            uint8_t* dst = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        backgroundIndex = NearestEntry(palette.data(), 2, params.GifBackground);
        transparentIndex = NearestEntry(palette.data(), 2, params.GifTransparentColor);
    } else {
        TColorQuantizer quantizer(*source, colors, palette.data());
        std::vector<int32_t> rowIndices(static_cast<size_t>(width));
        for (int32_t y = 0; y < height; ++y) {
            quantizer.IndexRow(source->ScanLine(y), width, rowIndices.data());
            uint8_t* dst = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(std::clamp(rowIndices[static_cast<size_t>(x)], 0, 255));
        }
        // A colour the picture does not contain has no exact index: take the nearest entry.
        auto indexOf = [&](TRGB c) {
            const int32_t i = quantizer.ColorIndex(c);
            return i >= 0 && i < colors ? i : NearestEntry(palette.data(), colors, c);
        };
        backgroundIndex = indexOf(params.GifBackground);
        transparentIndex = indexOf(params.GifTransparentColor);
    }

    progress.Report(30);
    if (progress.Aborted()) return;

    std::string version = params.GifVersion.size() >= 6 ? params.GifVersion.substr(0, 6) : std::string("GIF89a");
    output.Write(version.data(), 6);
    output.WriteLE16(static_cast<uint16_t>(width));
    output.WriteLE16(static_cast<uint16_t>(height));
    output.WriteU8(static_cast<uint8_t>(0x80 + (bits - 1) * 16 + (bits - 1)));
    output.WriteU8(static_cast<uint8_t>(backgroundIndex));
    output.WriteU8(0);
    std::vector<uint8_t> table(static_cast<size_t>(colors) * 3);
    for (int32_t i = 0; i < colors; ++i) {
        table[static_cast<size_t>(i) * 3] = palette[static_cast<size_t>(i)].r;
        table[static_cast<size_t>(i) * 3 + 1] = palette[static_cast<size_t>(i)].g;
        table[static_cast<size_t>(i) * 3 + 2] = palette[static_cast<size_t>(i)].b;
    }
    output.Write(table);

    const uint8_t control[4] = {0x21, 0xF9, 4, static_cast<uint8_t>(0x08 | (params.GifHasTransparentColor ? 1 : 0))};
    output.Write(control, 4);
    output.WriteLE16(static_cast<uint16_t>(params.GifDelayTime));
    output.WriteU8(static_cast<uint8_t>(transparentIndex));
    output.WriteU8(0);

    output.WriteU8(0x2C);
    output.WriteLE16(static_cast<uint16_t>(params.GifXPos));
    output.WriteLE16(static_cast<uint16_t>(params.GifYPos));
    output.WriteLE16(static_cast<uint16_t>(width));
    output.WriteLE16(static_cast<uint16_t>(height));
    output.WriteU8(params.GifInterlaced ? 0x40 : 0x00);

    progress.Report(70);
    if (progress.Aborted()) return;
    const TGifLzwEncoderHook encoder = params.GifEncoderToUse();
    if (encoder == nullptr) {
        progress.Abort();
        return;
    }
    encoder(output, height, width, bits, indices.data(), params.GifInterlaced);
    if (progress.Aborted()) return;

    WriteComments(output, params.GifComments);
    output.WriteU8(0x3B);
    if (!progress.Aborted()) progress.Report(100);
}

}  // namespace luma
