// PNG writer: chooses colour type and depth from BitsPerSample and SamplesPerPixel, builds the
// palette with the colour quantizer when the output is a palette image, and hands libpng rows
// in the buffer's blue, green, red order.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "formats/png.h"
#include "formats/png_lib.h"
#include "imaging/color_quantizer.h"
#include "imaging/two_color_mask.h"

namespace luma {

namespace {

using pnglib::PngGuarded;

class TStreamPngWriter final : public pnglib::TPngByteWriter {
public:
    explicit TStreamPngWriter(TOutputStream& output) : output_(output) {}
    size_t Write(const uint8_t* src, size_t size) override {
        return output_.Write(src, size) ? size : 0;
    }

private:
    TOutputStream& output_;
};

[[noreturn]] void ThrowPngError() { throw EInvalidGraphic(kPngWriteErrorText); }

// Dots per inch to pixels per metre: round(dpi x 100 / 2.54).
png_uint_32 PixelsPerMetre(int32_t dpi) {
    if (dpi <= 0) {
        return 0;
    }
    // PNG stores at most 2^31 - 1.
    const double ppm = std::nearbyint(static_cast<double>(dpi) * 100.0 / 2.54);
    return static_cast<png_uint_32>(std::min(ppm, static_cast<double>(PNG_UINT_31_MAX)));
}

// True when the plane matches the image and holds at least one value other than 255.
bool HasTransparency(const TPlaneMask* alpha, const TImageBuffer& image) {
    if (alpha == nullptr || alpha->Empty() || alpha->BitsPerPixel() != 8 ||
        alpha->Width() != image.Width() || alpha->Height() != image.Height()) {
        return false;
    }
    for (int32_t y = 0; y < alpha->Height(); ++y) {
        const uint8_t* row = alpha->Row(y);
        for (int32_t x = 0; x < alpha->Width(); ++x) {
            if (row[x] != 255) {
                return true;
            }
        }
    }
    return false;
}

enum class TOutKind { kGray1, kPalette, kRgb, kRgba };

struct TPlan {
    TOutKind kind = TOutKind::kRgb;
    int colorType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool transparent = false;
};

// Palette side of the writer: the quantizer and the chunk contents.
struct TPaletteData {
    std::unique_ptr<TColorQuantizer> quantizer;
    std::array<png_color, 256> entries{};
    int count = 0;
    png_color_16 background{};
};

void BuildPalette(const TImageBuffer& source, const TIOParamsVals& params, TPaletteData& pal) {
    const int bits = std::clamp(params.BitsPerSample, 1, 8);
    const int colors = std::min(1 << bits, 255);
    pal.count = std::min((1 << bits) + 1, 256);
    std::array<TRGB, 256> learned{};
    pal.quantizer = std::make_unique<TColorQuantizer>(source, colors, learned.data());
    const TRGB bg = params.PngBackground;
    pal.entries[0] = png_color{bg.r, bg.g, bg.b};
    for (int i = 1; i < pal.count; ++i) {
        const TRGB c = learned[static_cast<size_t>(i - 1)];
        pal.entries[static_cast<size_t>(i)] = png_color{c.r, c.g, c.b};
    }
    const int index = pal.quantizer->ColorIndex(bg) + 1;
    pal.background.index = static_cast<png_byte>(std::clamp(index, 0, pal.count - 1));
}

// Everything up to and including the header chunks. Runs inside a guarded call.
void WriteHeader(png_structp png, png_infop info, const TImageBuffer& source,
                 const TIOParamsVals& params, const TPlan& plan, const TPaletteData& pal,
                 int& passes) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(source.Width()),
                 static_cast<png_uint_32>(source.Height()), plan.depth, plan.colorType,
                 params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (plan.kind == TOutKind::kPalette) {
        png_set_PLTE(png, info, pal.entries.data(), pal.count);
        if (plan.transparent) {
            png_byte alpha0 = 0;
            png_set_tRNS(png, info, &alpha0, 1, nullptr);
        }
    }
    png_set_pHYs(png, info, PixelsPerMetre(params.DpiX), PixelsPerMetre(params.DpiY),
                 PNG_RESOLUTION_METER);
    switch (params.PngFilter) {
    case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;  // libpng's own choice
    }
    if (plan.kind == TOutKind::kPalette) {
        png_set_bKGD(png, info, &pal.background);
    } else {
        // 16-bit samples: libpng leaves the chunk out when they do not fit the depth.
        const TRGB bg = params.PngBackground;
        png_color_16 background{};
        background.red = static_cast<png_uint_16>(bg.r * 256);
        background.green = static_cast<png_uint_16>(bg.g * 256);
        background.blue = static_cast<png_uint_16>(bg.b * 256);
        background.gray = static_cast<png_uint_16>(bg.r * 256);
        png_set_bKGD(png, info, &background);
    }
    png_set_compression_level(png, std::clamp(params.PngCompression, 0, 9));
    if (plan.kind == TOutKind::kRgb || plan.kind == TOutKind::kRgba) {
        png_set_bgr(png);
    }
    png_write_info(png, info);
    passes = png_set_interlace_handling(png);
}

}  // namespace

void WritePng(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* alpha, TIOProgress& progress) {
    TStreamPngWriter writer(output);
    pnglib::TPngContext context;
    context.writer = &writer;
    context.aborting = progress.AbortFlag();
    context.setAbortingOnError = false;  // writing errors travel as the exception
    pnglib::TPngWriteStruct structs(context);
    if (!structs.Created()) {
        ThrowPngError();
    }
    png_structp png = structs.Png();
    png_infop info = structs.Info();

    // The source: 1 bit per sample asks for a 1-bit image (the buffer, its two-colour mask or a
    // converted copy); anything else for a 24-bit one.
    std::unique_ptr<TImageBuffer> copy;
    const TImageBuffer* source = &image;
    if (params.BitsPerSample == 1) {
        if (image.PixelKind() != pk1Bit) {
            copy = std::make_unique<TImageBuffer>();
            TRGB dark{};
            TRGB light{};
            if (!TwoColorMask(image, *copy, dark, light)) {
                copy->CopyImageFrom(image);
                copy->ConvertPixelKind(pk1Bit);
            }
            source = copy.get();
        }
    } else if (image.PixelKind() != pk24RGB) {
        copy = std::make_unique<TImageBuffer>();
        copy->CopyImageFrom(image);
        copy->ConvertPixelKind(pk24RGB);
        source = copy.get();
    }

    TPlan plan;
    const bool transparent = HasTransparency(alpha, *source);
    if (source->PixelKind() == pk1Bit) {
        // A 1-bit source is always written as 1-bit gray: its rows hold no colour samples.
        plan.kind = TOutKind::kGray1;
        plan.colorType = PNG_COLOR_TYPE_GRAY;
        plan.depth = 1;
    } else if (params.SamplesPerPixel == 1) {
        plan.kind = TOutKind::kPalette;
        plan.colorType = PNG_COLOR_TYPE_PALETTE;
        plan.transparent = transparent;
    } else if (transparent) {
        plan.kind = TOutKind::kRgba;
        plan.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    }

    TPaletteData pal;
    if (plan.kind == TOutKind::kPalette) {
        BuildPalette(*source, params, pal);
    }

    int passes = 1;
    if (!PngGuarded(png, [&] { WriteHeader(png, info, *source, params, plan, pal, passes); })) {
        ThrowPngError();
    }

    const int32_t width = source->Width();
    const int32_t height = source->Height();
    std::vector<uint8_t> area;
    std::vector<int32_t> indices;
    if (plan.kind == TOutKind::kPalette) {
        area.resize(static_cast<size_t>(width));
        indices.resize(static_cast<size_t>(width));
    } else if (plan.kind == TOutKind::kRgba) {
        area.resize(static_cast<size_t>(width) * 4);
    }

    progress.SetRows(static_cast<int64_t>(height) * passes);
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
            if (progress.Aborted()) {
                return;
            }
            const uint8_t* row = source->ScanLine(y);
            if (plan.kind == TOutKind::kPalette) {
                pal.quantizer->IndexRow(row, width, indices.data());
                const uint8_t* a = plan.transparent ? alpha->Row(y) : nullptr;
                for (int32_t x = 0; x < width; ++x) {
                    const bool clear = a != nullptr && a[x] != 255;
                    area[static_cast<size_t>(x)] =
                        clear ? 0 : static_cast<uint8_t>(indices[static_cast<size_t>(x)] + 1);
                }
                row = area.data();
            } else if (plan.kind == TOutKind::kRgba) {
                const uint8_t* a = alpha->Row(y);
                uint8_t* dst = area.data();
                for (int32_t x = 0; x < width; ++x, row += 3, dst += 4) {
                    dst[0] = row[0];
                    dst[1] = row[1];
                    dst[2] = row[2];
                    dst[3] = a[x];
                }
                row = area.data();
            }
            if (!PngGuarded(png, [&] { png_write_row(png, row); })) {
                ThrowPngError();
            }
            progress.Row();
        }
    }
    if (!progress.Aborted()) {
        if (!PngGuarded(png, [&] { png_write_end(png, nullptr); })) {
            ThrowPngError();
        }
    }
}

}  // namespace luma
