// JPEG reader: drives libjpeg's decompressor and puts its output into a pk24RGB buffer.
//
// Rows are decoded in batches straight into the buffer's rows, in the buffer's blue, green, red
// order (libjpeg's extended BGR output), so the common cases need no copy and no per-pixel work.
// CMYK/YCCK files go through a scratch row and are turned into RGB as inverted CMYK.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "formats/jpeg.h"
#include "formats/jpeg_exif.h"
#include "formats/jpeg_lib.h"

namespace luma {

namespace {

using jpeglib::JpegGuarded;
using jpeglib::TJpegDecompressor;

constexpr size_t kStartSearchLimit = 100;  // positions tested for the start-of-image sequence
constexpr int kRowBatch = 16;               // rows handed to libjpeg per call

// Offset of the first FF D8 FF among the first 100 positions, or -1.
ptrdiff_t FindStartOfImage(std::span<const uint8_t> data) {
    const size_t limit = std::min(kStartSearchLimit, data.size());
    for (size_t i = 0; i < limit; ++i) {
        if (i + 3 <= data.size() && data[i] == 0xFF && data[i + 1] == 0xD8 && data[i + 2] == 0xFF) {
            return static_cast<ptrdiff_t>(i);
        }
    }
    return -1;
}

// How the decoded samples reach the buffer.
enum class TRowMode {
    kDirectBgr,   // libjpeg writes blue, green, red into the buffer row
    kRawRgb,      // keep-raw: three stored components taken as red, green, blue
    kCmyk,        // four bytes of inverted CMYK per pixel
    kOther,       // any other component count: the first (up to) three components as stored
};

int32_t ScaleDenominator(const TIOParamsVals& params, const jpeg_decompress_struct& info) {
    switch (params.JpegScale) {
    case 0: {
        if (params.Width > 0 && params.Height > 0) {
            for (int32_t d : {8, 4, 2}) {
                if (static_cast<int64_t>(info.image_width / static_cast<uint32_t>(d)) >= params.Width &&
                    static_cast<int64_t>(info.image_height / static_cast<uint32_t>(d)) >= params.Height) {
                    return d;
                }
            }
        }
        return 1;
    }
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    default: return 1;
    }
}

void SetResolution(const jpeg_decompress_struct& info, TIOParamsVals& params) {
    if (info.density_unit == 2) {
        params.DpiX = static_cast<int32_t>(std::trunc(info.X_density * 2.54));
        params.DpiY = static_cast<int32_t>(std::trunc(info.Y_density * 2.54));
    } else {
        params.DpiX = info.X_density;
        params.DpiY = info.Y_density;
    }
}

// Inverted CMYK to blue, green, red: red = c x k div 255 and so on.
void CmykRowToBgr(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) {
        const uint32_t k = src[3];
        dst[0] = static_cast<uint8_t>(src[2] * k / 255);
        dst[1] = static_cast<uint8_t>(src[1] * k / 255);
        dst[2] = static_cast<uint8_t>(src[0] * k / 255);
    }
}

void RgbRowToBgr(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

void OtherRowToBgr(const uint8_t* src, int components, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, src += components, dst += 3) {
        if (components >= 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        } else {
            dst[0] = dst[1] = dst[2] = src[0];
        }
    }
}

void CopyMarkers(const jpeg_decompress_struct& info, TIOParamsVals& params) {
    params.JpegMarkers.Clear();
    bool first = true;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        const bool leadingJfif = first && m->marker == JPEG_APP0;
        first = false;
        if (leadingJfif) {
            continue;  // the writer makes a fresh JFIF header
        }
        params.JpegMarkers.Add(static_cast<uint8_t>(m->marker),
                               std::span<const uint8_t>(m->data, m->data_length));
    }
}

// Decodes the rows; returns the number of rows read (the guarded calls may stop it early).
int32_t DecodeRows(TJpegDecompressor& dec, TImageBuffer& image, TRowMode mode,
                   TIOProgress& progress) {
    jpeg_decompress_struct& info = dec.Info();
    const int32_t width = static_cast<int32_t>(info.output_width);
    const int32_t height = static_cast<int32_t>(info.output_height);
    const int components = info.output_components;
    // Row pointers from ScanLine may only be held until the next ScanLine call on temp-file
    // storage; there we go one row at a time.
    const int batch = (mode == TRowMode::kDirectBgr && image.Storage() != psTempFile) ? kRowBatch : 1;
    std::unique_ptr<uint8_t[]> scratch;
    if (mode != TRowMode::kDirectBgr) {
        scratch.reset(new uint8_t[static_cast<size_t>(width) * static_cast<size_t>(components)]);
    }
    std::array<JSAMPROW, kRowBatch> rows{};
    progress.SetRows(height);
    int32_t done = 0;
    while (done < height && !progress.Aborted()) {
        const int want = std::min(batch, height - done);
        if (mode == TRowMode::kDirectBgr) {
            for (int i = 0; i < want; ++i) {
                rows[static_cast<size_t>(i)] = image.ScanLine(done + i);
            }
        } else {
            rows[0] = scratch.get();
        }
        JDIMENSION got = 0;
        const bool ok = JpegGuarded(dec.Errors(), [&] {
            got = jpeg_read_scanlines(&info, rows.data(), static_cast<JDIMENSION>(want));
        });
        if (!ok) {
            break;
        }
        if (got == 0) {
            break;  // suspended without data: cannot happen with our source, but never spin
        }
        if (mode != TRowMode::kDirectBgr) {
            uint8_t* dst = image.ScanLine(done);
            if (mode == TRowMode::kCmyk) {
                CmykRowToBgr(scratch.get(), dst, width);
            } else if (mode == TRowMode::kRawRgb) {
                RgbRowToBgr(scratch.get(), dst, width);
            } else {
                OtherRowToBgr(scratch.get(), components, dst, width);
            }
        }
        for (JDIMENSION i = 0; i < got; ++i) {
            ++done;
            progress.Row();
        }
    }
    return done;
}

}  // namespace

void ReadJpegStream(std::span<const uint8_t> data, TImageBuffer& image, TIOParamsVals& params,
                    TIOProgress& progress, const TJpegReadOptions& options) {
    params.JpegWarningCount = 0;
    params.JpegWarningCode = 0;

    const ptrdiff_t start = FindStartOfImage(data);
    if (start < 0) {
        progress.Abort();
        return;
    }

    TJpegDecompressor dec(progress.AbortFlag());
    if (!dec.Created()) {
        progress.Abort();
        return;
    }
    jpeg_decompress_struct& info = dec.Info();

    if (!options.tables.empty()) {
        jpeglib::TJpegMemorySource tables(options.tables.data(), options.tables.size());
        tables.Attach(&info);
        if (!JpegGuarded(dec.Errors(), [&] { jpeg_read_header(&info, FALSE); })) {
            return;
        }
    }
    TSpanByteReader reader(data.subspan(static_cast<size_t>(start)));
    jpeglib::TJpegSource source(reader, progress.AbortFlag());
    source.Attach(&info);

    bool headerOk = JpegGuarded(dec.Errors(), [&] {
        jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
        for (int m = 0; m < 16; ++m) {
            jpeg_save_markers(&info, JPEG_APP0 + m, 0xFFFF);
        }
        jpeg_read_header(&info, TRUE);
    });
    if (!headerOk) {
        return;
    }

    params.BitsPerSample = 8;
    TRowMode mode = TRowMode::kDirectBgr;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        params.JpegColorSpace = 1;
        params.SamplesPerPixel = 1;
        info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_RGB:
        params.JpegColorSpace = 0;
        params.SamplesPerPixel = 3;
        info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_YCbCr:
        params.JpegColorSpace = 2;
        params.SamplesPerPixel = 3;
        info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
        params.JpegColorSpace = 3;
        params.SamplesPerPixel = 4;
        info.out_color_space = JCS_CMYK;
        mode = TRowMode::kCmyk;
        break;
    case JCS_YCCK:
        params.JpegColorSpace = 4;
        params.SamplesPerPixel = 4;
        info.out_color_space = JCS_CMYK;
        mode = TRowMode::kCmyk;
        break;
    default:
        // libjpeg's default output: as many components as the file has.
        mode = TRowMode::kOther;
        break;
    }
    if (options.keepRaw && info.num_components == 3) {
        // Both sides the same colour space: libjpeg hands the stored samples over unconverted.
        info.jpeg_color_space = JCS_YCbCr;
        info.out_color_space = JCS_YCbCr;
        mode = TRowMode::kRawRgb;
    }

    switch (params.JpegDctMethod) {
    case 1: info.dct_method = JDCT_IFAST; break;
    case 2: info.dct_method = JDCT_FLOAT; break;
    default: info.dct_method = JDCT_ISLOW; break;
    }

    SetResolution(info, params);
    params.FreeColorMap();
    params.JpegProgressive = info.progressive_mode != 0;
    params.JpegOriginalWidth = static_cast<int32_t>(info.image_width);
    params.JpegOriginalHeight = static_cast<int32_t>(info.image_height);

    const int32_t denominator = ScaleDenominator(params, info);
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(denominator);
    params.JpegScaleUsed = denominator;

    // libjpeg's own memory (whole-image coefficient buffers of progressive files) grows with
    // the stored size, so that is what the pixel budget is checked against.
    if (!CheckImageSize(progress, info.image_width, info.image_height)) {
        return;
    }
    if (!JpegGuarded(dec.Errors(), [&] { jpeg_start_decompress(&info); })) {
        return;
    }
    params.Width = static_cast<int32_t>(info.output_width);
    params.Height = static_cast<int32_t>(info.output_height);

    bool complete = true;
    if (!options.preview) {
        image.Allocate(params.Width, params.Height, pk24RGB);
        const int32_t done = DecodeRows(dec, image, mode, progress);
        if (dec.Errors().failed) {
            return;  // fatal error: Aborting is set, the buffer keeps what was decoded
        }
        if (done < params.Height) {
            progress.Abort();
            complete = false;
        }
    }

    CopyMarkers(info, params);

    if (complete && !options.preview && !progress.Aborted()) {
        if (!JpegGuarded(dec.Errors(), [&] { jpeg_finish_decompress(&info); })) {
            // Every row is in the buffer: an error after the image data (in what follows the
            // last scan) is ignored and does not mark the read as failed.
            dec.Errors().failed = false;
            *progress.AbortFlag() = false;
        }
    }
    if (dec.Errors().warningCount > 0) {
        params.JpegWarningCount = dec.Errors().warningCount;
        params.JpegWarningCode = dec.Errors().lastWarningCode;
    }
}

void ApplyExifResolution(TIOParamsVals& params) {
    if (params.DpiX != 1 || params.DpiY != 1) {
        return;
    }
    for (const TJpegMarker& marker : params.JpegMarkers) {
        if (marker.Code != JPEG_APP0 + 1) {
            continue;
        }
        const std::optional<TExifResolution> exif =
            ParseExifResolution(marker.Data.data(), marker.Data.size());
        if (!exif) {
            continue;
        }
        // A block without a usable resolution leaves the JFIF values alone.
        if (exif->x > 0 && exif->y > 0) {
            const double factor = exif->unit == 3 ? 2.54 : 1.0;
            params.DpiX = static_cast<int32_t>(std::trunc(std::min(exif->x * factor, 1e9)));
            params.DpiY = static_cast<int32_t>(std::trunc(std::min(exif->y * factor, 1e9)));
        }
        return;
    }
}

void ReadJpeg(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
              TPlaneMask& /*alpha*/, TIOProgress& progress) {
    ReadJpegStream(file, image, params, progress, TJpegReadOptions{});
    ApplyExifResolution(params);
}

}  // namespace luma
