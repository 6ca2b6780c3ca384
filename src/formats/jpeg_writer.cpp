// JPEG writer: drives libjpeg's compressor from a pk24RGB buffer.
//
// For the three-component colour spaces the buffer rows go to libjpeg as they are (extended BGR
// input), in batches; only CMYK/YCCK output needs a scratch row (inverted CMYK made from RGB).

#include <algorithm>
#include <array>
#include <memory>

#include "formats/jpeg.h"
#include "formats/jpeg_lib.h"

namespace luma {

namespace {

using jpeglib::JpegGuarded;
using jpeglib::TJpegCompressor;

constexpr int kRowBatch = 16;

class TStreamWriter final : public jpeglib::TJpegByteWriter {
public:
    explicit TStreamWriter(TOutputStream& output) : output_(output) {}
    size_t Write(const uint8_t* src, size_t size) override {
        return output_.Write(src, size) ? size : 0;
    }

private:
    TOutputStream& output_;
};

class TVectorWriter final : public jpeglib::TJpegByteWriter {
public:
    explicit TVectorWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    size_t Write(const uint8_t* src, size_t size) override {
        bytes_.insert(bytes_.end(), src, src + size);
        return size;
    }

private:
    std::vector<uint8_t>& bytes_;
};

// RGB to inverted CMYK, the inverse of the reader's rule: mx = max(r, g, b) (1 when 0), then
// r x 255 div mx, g x 255 div mx, b x 255 div mx, mx.
void BgrRowToCmyk(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
        const uint32_t b = src[0];
        const uint32_t g = src[1];
        const uint32_t r = src[2];
        uint32_t mx = std::max({r, g, b});
        if (mx == 0) {
            mx = 1;
        }
        dst[0] = static_cast<uint8_t>(r * 255 / mx);
        dst[1] = static_cast<uint8_t>(g * 255 / mx);
        dst[2] = static_cast<uint8_t>(b * 255 / mx);
        dst[3] = static_cast<uint8_t>(mx);
    }
}

bool IsCmykTarget(uint8_t colorSpace) { return colorSpace == 3 || colorSpace == 4; }

// Everything set on the compressor before jpeg_start_compress / jpeg_write_tables. Runs inside
// a guarded call.
void Configure(jpeg_compress_struct& info, const TIOParamsVals& params,
               const TJpegWriteOptions& options, int32_t width, int32_t height) {
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    J_COLOR_SPACE target = JCS_RGB;
    switch (params.JpegColorSpace) {
    case 1: target = JCS_GRAYSCALE; break;
    case 2: target = JCS_YCbCr; break;
    case 3: target = JCS_CMYK; break;
    case 4: target = JCS_YCCK; break;
    default: target = JCS_RGB; break;
    }
    if (IsCmykTarget(params.JpegColorSpace)) {
        info.input_components = 4;
        info.in_color_space = JCS_CMYK;
    } else {
        info.input_components = 3;
        info.in_color_space = JCS_EXT_BGR;
    }
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, target);

    if (!options.writeHeaders) {
        info.write_JFIF_header = FALSE;
        info.write_Adobe_marker = FALSE;
    }
    info.density_unit = 1;
    info.X_density = static_cast<UINT16>(params.DpiX != 0 ? params.DpiX : kScreenDpi);
    info.Y_density = static_cast<UINT16>(params.DpiY != 0 ? params.DpiY : kScreenDpi);

    switch (params.JpegDctMethod) {
    case 1: info.dct_method = JDCT_IFAST; break;
    case 2: info.dct_method = JDCT_FLOAT; break;
    default: info.dct_method = JDCT_ISLOW; break;
    }
    info.optimize_coding = params.JpegOptimalHuffman ? TRUE : FALSE;
    info.smoothing_factor = std::clamp(params.JpegSmooth, 0, 100);
    // libjpeg clamps the quality to 1..100 itself.
    jpeg_set_quality(&info, options.quality >= 0 ? options.quality : params.JpegQuality, TRUE);
    if (params.JpegProgressive) {
        jpeg_simple_progression(&info);
    }
}

// Encodes the rows; stops early when Aborting is set or libjpeg fails.
void EncodeRows(TJpegCompressor& comp, const TImageBuffer& image, int32_t firstRow,
                int32_t rowCount, bool cmyk, TIOProgress& progress) {
    jpeg_compress_struct& info = comp.Info();
    const int32_t width = image.Width();
    const int batch = (!cmyk && image.Storage() != psTempFile) ? kRowBatch : 1;
    std::unique_ptr<uint8_t[]> scratch;
    if (cmyk) {
        scratch.reset(new uint8_t[static_cast<size_t>(width) * 4]);
    }
    std::array<JSAMPROW, kRowBatch> rows{};
    progress.SetRows(rowCount);
    int32_t done = 0;
    while (done < rowCount && !progress.Aborted()) {
        const int want = std::min(batch, rowCount - done);
        if (cmyk) {
            BgrRowToCmyk(image.ScanLine(firstRow + done), scratch.get(), width);
            rows[0] = scratch.get();
        } else {
            for (int i = 0; i < want; ++i) {
                // libjpeg only reads the rows it is handed.
                rows[static_cast<size_t>(i)] = const_cast<uint8_t*>(image.ScanLine(firstRow + done + i));
            }
        }
        JDIMENSION put = 0;
        if (!JpegGuarded(comp.Errors(), [&] {
                put = jpeg_write_scanlines(&info, rows.data(), static_cast<JDIMENSION>(want));
            })) {
            return;
        }
        if (put == 0) {
            progress.Abort();  // cannot happen with our destination, but never spin
            return;
        }
        for (JDIMENSION i = 0; i < put; ++i) {
            ++done;
            progress.Row();
        }
    }
}

[[noreturn]] void ThrowJpegError(TJpegCompressor& comp) {
    throw EJpegError(jpeglib::FatalMessage(comp.Errors()));
}

}  // namespace

void WriteJpegStream(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
                     TIOProgress& progress, const TJpegWriteOptions& options) {
    // 1-bit (or any other non-24-bit) images are encoded from an expanded copy.
    std::unique_ptr<TImageBuffer> expanded;
    const TImageBuffer* source = &image;
    if (image.PixelKind() != pk24RGB) {
        expanded = std::make_unique<TImageBuffer>();
        expanded->CopyImageFrom(image);
        expanded->ConvertPixelKind(pk24RGB);
        source = expanded.get();
    }

    TJpegCompressor comp(progress.AbortFlag());
    if (!comp.Created()) {
        ThrowJpegError(comp);
    }
    TStreamWriter writer(output);
    jpeglib::TJpegDestination destination(writer, progress.AbortFlag());
    destination.Attach(&comp.Info());
    if (progress.Aborted()) {
        return;
    }

    const int32_t firstRow = std::clamp(options.firstRow, 0, source->Height());
    const int32_t rowCount = options.rowCount < 0
                                 ? source->Height() - firstRow
                                 : std::min(options.rowCount, source->Height() - firstRow);
    jpeg_compress_struct& info = comp.Info();
    const bool started = JpegGuarded(comp.Errors(), [&] {
        Configure(info, params, options, source->Width(), rowCount);
        if (!options.writeTables) {
            jpeg_suppress_tables(&info, TRUE);  // they travel in a separate tables-only stream
        }
        jpeg_start_compress(&info, options.writeTables ? TRUE : FALSE);
        if (options.writeHeaders) {
            for (const TJpegMarker& marker : params.JpegMarkers) {
                jpeg_write_marker(&info, marker.Code, marker.Data.data(),
                                  static_cast<unsigned int>(marker.Data.size()));
            }
        }
    });
    if (!started) {
        ThrowJpegError(comp);
    }

    EncodeRows(comp, *source, firstRow, rowCount, IsCmykTarget(params.JpegColorSpace), progress);
    if (comp.Errors().failed) {
        ThrowJpegError(comp);
    }
    if (!progress.Aborted()) {
        if (!JpegGuarded(comp.Errors(), [&] { jpeg_finish_compress(&info); })) {
            ThrowJpegError(comp);
        }
    }
}

void WriteJpeg(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
               const TPlaneMask* /*alpha*/, TIOProgress& progress) {
    WriteJpegStream(output, image, params, progress, TJpegWriteOptions{});
}

std::vector<uint8_t> WriteJpegTables(const TIOParamsVals& params,
                                     const TJpegWriteOptions& options) {
    std::vector<uint8_t> bytes;
    bool aborting = false;
    TJpegCompressor comp(&aborting);
    if (!comp.Created()) {
        ThrowJpegError(comp);
    }
    TVectorWriter writer(bytes);
    jpeglib::TJpegDestination destination(writer, &aborting);
    destination.Attach(&comp.Info());
    jpeg_compress_struct& info = comp.Info();
    if (!JpegGuarded(comp.Errors(), [&] {
            Configure(info, params, options, 1, 1);
            jpeg_write_tables(&info);
        })) {
        ThrowJpegError(comp);
    }
    return bytes;
}

}  // namespace luma
