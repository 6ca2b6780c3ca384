// TIFF writer: one page as a single strip in a little-endian file.
//
// The output depth comes from the parameters, never from the pixels: a 1-bit source when
// BitsPerSample and SamplesPerPixel are both 1, else a 24-bit one written as palette, black-is-zero
// gray, RGB, CMYK, CIE L*a*b* or (JPEG) YCbCr. The parameter rewrites below follow from what a
// page of each kind can hold; the writer leaves the rewritten values in the parameters.
//
// File layout: header, the values produced before the strip (BitsPerSample array, DocumentName,
// ImageDescription), the strip, the remaining values, then the directory on an even offset with
// its entries in ascending tag order; the header's directory offset is filled in last. A failed
// write stops everything: neither the directory nor the offset is written then.

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/ccitt.h"
#include "formats/jpeg.h"
#include "formats/packbits.h"
#include "formats/tiff.h"
#include "imaging/color_quantizer.h"
#include "imaging/two_color_mask.h"

namespace luma {
namespace {

// What the 24-bit rows become.
enum TWritten : uint8_t { wrBlackIsZero, wrPalette, wrRgb, wrCmyk, wrLab, wrYCbCr };

struct TOutEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint8_t field[4];  // the value, or the offset of the values
};

class TDirectoryWriter {
public:
    explicit TDirectoryWriter(TOutputStream& output) : output_(output) {}

    // A value that fits the entry's field.
    void Inline(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        TOutEntry e{tag, type, count, {}};
        if (type == tfShort) {
            StoreLE16(e.field, static_cast<uint16_t>(value));
        } else {
            StoreLE32(e.field, value);
        }
        entries_.push_back(e);
    }
    // Values as bytes: kept in the field when they fit, else written to the file now.
    void Values(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& bytes) {
        TOutEntry e{tag, type, count, {}};
        if (bytes.size() <= 4) {
            std::memcpy(e.field, bytes.data(), bytes.size());
        } else {
            StoreLE32(e.field, static_cast<uint32_t>(output_.Position()));
            output_.Write(bytes);
        }
        entries_.push_back(e);
    }
    void Text(uint16_t tag, const std::string& text) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        Values(tag, tfAscii, static_cast<uint32_t>(bytes.size()), bytes);
    }
    void Shorts(uint16_t tag, const std::vector<uint16_t>& values) {
        std::vector<uint8_t> bytes(values.size() * 2);
        for (size_t i = 0; i < values.size(); ++i) StoreLE16(&bytes[2 * i], values[i]);
        Values(tag, tfShort, static_cast<uint32_t>(values.size()), bytes);
    }
    void Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
        std::vector<uint8_t> bytes(8);
        StoreLE32(&bytes[0], numerator);
        StoreLE32(&bytes[4], denominator);
        Values(tag, tfRational, 1, bytes);
    }

    // The directory at an even offset; returns its offset.
    uint32_t Finish() {
        if (output_.Position() & 1) output_.WriteU8(0);
        const auto at = static_cast<uint32_t>(output_.Position());
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const TOutEntry& a, const TOutEntry& b) { return a.tag < b.tag; });
        std::vector<uint8_t> bytes(2 + 12 * entries_.size() + 4, 0);
        StoreLE16(bytes.data(), static_cast<uint16_t>(entries_.size()));
        uint8_t* p = bytes.data() + 2;
        for (const TOutEntry& e : entries_) {
            StoreLE16(p, e.tag);
            StoreLE16(p + 2, e.type);
            StoreLE32(p + 4, e.count);
            std::memcpy(p + 8, e.field, 4);
            p += 12;
        }
        output_.Write(bytes);
        return at;
    }

private:
    TOutputStream& output_;
    std::vector<TOutEntry> entries_;
};

// The row coder of the strip: none, PackBits or LZW; the output goes to the stream row by row.
class TStripRowCoder {
public:
    TStripRowCoder(TOutputStream& output, uint32_t compression, TTiffLzwEncoderHook lzw)
        : output_(output), compression_(compression), lzw_(lzw) {}

    void Row(std::span<const uint8_t> row) {
        switch (compression_) {
        case tcPackBits:
            coded_.clear();
            PackBitsEncodeRow(row, coded_);
            output_.Write(coded_);
            break;
        case tcLzw:
            coded_.clear();
            lzw_(row, coded_, state_);
            output_.Write(coded_);
            break;
        default: output_.Write(row); break;
        }
    }
    void Finish() {
        if (compression_ != tcLzw) return;
        coded_.clear();
        lzw_({}, coded_, state_);
        output_.Write(coded_);
    }

private:
    TOutputStream& output_;
    uint32_t compression_;
    TTiffLzwEncoderHook lzw_;
    TLzwStatePtr state_;
    std::vector<uint8_t> coded_;
};

uint32_t NonNegative(int32_t v) { return v < 0 ? 0u : static_cast<uint32_t>(v); }

}  // namespace

void WriteTiff(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params, const TPlaneMask*,
               TIOProgress& progress) {
    if (progress.Aborted()) return;
    if (image.Empty()) {
        progress.Abort();
        return;
    }
    const int32_t width = image.Width();
    const int32_t height = image.Height();

    // 1. The source: 1-bit (the two colours of a two-colour image as black and white) or 24-bit.
    const bool oneBit = params.BitsPerSample == 1 && params.SamplesPerPixel == 1;
    TImageBuffer copy;
    const TImageBuffer* source = &image;
    if (oneBit && image.PixelKind() != pk1Bit) {
        TRGB dark, light;
        if (!TwoColorMask(image, copy, dark, light)) {
            copy.CopyImageFrom(image);
            copy.SetBWConversion(image.BWConversion());
            copy.ConvertPixelKind(pk1Bit);
        }
        source = &copy;
    } else if (!oneBit && image.PixelKind() != pk24RGB) {
        copy.CopyImageFrom(image);
        copy.ConvertPixelKind(pk24RGB);
        source = &copy;
    }

    // 2. One sample of 2 to 8 bits: a palette image (gray when the quantizer found it gray).
    std::unique_ptr<TColorQuantizer> quantizer;
    std::vector<TRGB> palette;
    auto learnPalette = [&](int32_t bits) {
        palette.assign(static_cast<size_t>(1) << bits, TRGB{});
        quantizer = std::make_unique<TColorQuantizer>(*source, 1 << bits, palette.data());
    };
    if (!oneBit && params.SamplesPerPixel == 1 && params.BitsPerSample >= 2 && params.BitsPerSample <= 8) {
        params.TiffPhotometric = 3;
        learnPalette(params.BitsPerSample);
        if (params.TiffCompression != 5 && params.TiffCompression != 8) params.TiffCompression = 0;
        if (quantizer->Path() == TColorQuantizer::qpGray) params.TiffPhotometric = 1;
    }
    // 3. and 4.
    if (params.TiffPhotometric == 3 && params.SamplesPerPixel > 1) params.TiffPhotometric = 2;
    if (params.BitsPerSample > 8) {
        params.SamplesPerPixel = 3;
        params.BitsPerSample = 8;
        params.TiffPhotometric = 2;
    }
    if ((params.TiffPhotometric == 0 || params.TiffPhotometric == 1) && params.BitsPerSample == 8 &&
        params.SamplesPerPixel == 3)
        params.TiffPhotometric = 2;
    if (params.TiffPhotometric == 2 && params.SamplesPerPixel == 1 && params.BitsPerSample == 1)
        params.TiffPhotometric = 1;
    if (params.TiffPhotometric == 6 && params.TiffCompression != 7) params.TiffPhotometric = 2;

    // 5. What the 24-bit rows become.
    TWritten written = wrRgb;
    switch (params.TiffPhotometric) {
    case 0: case 1: written = wrBlackIsZero; break;
    case 3: written = wrPalette; break;
    case 5: written = wrCmyk; params.SamplesPerPixel = 4; break;
    case 7: written = wrLab; break;
    default: written = wrRgb; break;
    }

    // 6. Compression.
    uint32_t compression = tcNone;
    uint32_t t4Options = 0;
    switch (params.TiffCompression) {
    case 1: compression = tcCcittRle; break;
    case 2: compression = tcCcittFax3; break;
    case 3: compression = tcCcittFax3; t4Options = 1; break;
    case 4: compression = tcCcittFax4; break;
    case 5: compression = tcLzw; break;
    case 7: compression = tcJpeg; break;
    case 8: compression = tcPackBits; break;
    default: break;
    }
    const bool ccitt = compression == tcCcittRle || compression == tcCcittFax3 || compression == tcCcittFax4;
    if (ccitt && !oneBit) compression = tcNone;
    const TTiffLzwEncoderHook lzw = params.TiffEncoderToUse();
    if (compression == tcLzw && lzw == nullptr) compression = tcNone;
    if (compression == tcJpeg && (oneBit || written == wrPalette || written == wrBlackIsZero)) compression = tcNone;
    if (compression == tcJpeg) written = wrYCbCr;
    const bool predictor = compression == tcLzw && !oneBit && written == wrRgb;

    // Palette and gray rows need palette indices; bits per index.
    int32_t indexBits = 8;
    if (!oneBit && (written == wrPalette || written == wrBlackIsZero)) {
        indexBits = std::clamp(params.BitsPerSample, 1, 8);
        if (!quantizer || static_cast<int32_t>(palette.size()) != (1 << indexBits)) learnPalette(indexBits);
        if (written == wrPalette) params.SetColorMap(palette);
    }

    // 7. Header; the directory offset comes last.
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    output.Write(header, 8);

    TDirectoryWriter dir(output);
    dir.Inline(ttImageWidth, tfLong, 1, static_cast<uint32_t>(width));
    dir.Inline(ttImageLength, tfLong, 1, static_cast<uint32_t>(height));
    uint16_t samples = 3;
    if (oneBit) {
        dir.Inline(ttBitsPerSample, tfShort, 1, 1);
        samples = 1;
    } else if (written == wrPalette || written == wrBlackIsZero) {
        dir.Inline(ttBitsPerSample, tfShort, 1, static_cast<uint32_t>(indexBits));
        samples = 1;
    } else if (written == wrCmyk) {
        dir.Shorts(ttBitsPerSample, {8, 8, 8, 8});
        samples = 4;
    } else {
        dir.Shorts(ttBitsPerSample, {8, 8, 8});
    }
    dir.Inline(ttCompression, tfShort, 1, compression);
    uint32_t photometric = 2;
    if (oneBit) {
        photometric = ccitt ? 0 : 1;
    } else {
        switch (written) {
        case wrBlackIsZero: photometric = 1; break;
        case wrPalette: photometric = 3; break;
        case wrCmyk: photometric = 5; break;
        case wrLab: photometric = 8; break;
        case wrYCbCr: photometric = 6; break;
        default: photometric = 2; break;
        }
    }
    dir.Inline(ttPhotometric, tfShort, 1, photometric);
    if (!params.TiffDocumentName.empty()) dir.Text(ttDocumentName, params.TiffDocumentName);
    if (!params.TiffImageDescription.empty()) dir.Text(ttImageDescription, params.TiffImageDescription);

    // 8. The strip.
    const int64_t stripStart = output.Position();
    progress.SetRows(height);
    if (oneBit) {
        const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
        std::vector<uint8_t> row(rowBytes);
        const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> (((width - 1) & 7) + 1));
        std::unique_ptr<TCcittEncoder> fax;
        std::vector<uint8_t> coded;
        if (ccitt) {
            TCcittParams cp;
            cp.width = width;
            cp.whiteBit = 1;  // the buffer's white; the file says white is zero
            cp.scheme = compression == tcCcittRle    ? TCcittScheme::ModifiedHuffman
                        : compression == tcCcittFax3 ? TCcittScheme::Group3
                                                     : TCcittScheme::Group4;
            cp.twoDimensional = t4Options == 1;
            // Group 3 rows of a TIFF file each begin with an end-of-line code; readers that find
            // none take the first row as damaged.
            cp.endOfLineBeforeRows = compression == tcCcittFax3;
            fax = std::make_unique<TCcittEncoder>(cp);
            fax->Reset(coded);
        }
        TStripRowCoder coder(output, compression, lzw);
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(row.data(), source->ScanLine(y), rowBytes);
            row[rowBytes - 1] &= lastMask;
            if (fax) {
                fax->EncodeRow(row.data());
                output.Write(coded);
                coded.clear();
            } else {
                coder.Row(row);
            }
            progress.Row();
            if (progress.Aborted()) return;
        }
        if (fax) {
            fax->Finish();
            output.Write(coded);
        } else {
            coder.Finish();
        }
    } else if (compression == tcJpeg) {
        TIOParamsVals jpegParams = params;
        jpegParams.JpegColorSpace = 2;
        jpegParams.JpegProgressive = false;
        jpegParams.JpegMarkers.Clear();
        TJpegWriteOptions options;
        options.quality = params.TiffJpegQuality;
        options.writeHeaders = false;
        try {
            WriteJpegStream(output, *source, jpegParams, progress, options);
        } catch (const EJpegError&) {
            progress.Abort();
        }
    } else {
        const size_t w = static_cast<size_t>(width);
        size_t rowBytes = w * 3;
        if (written == wrCmyk) rowBytes = w * 4;
        if (written == wrPalette || written == wrBlackIsZero)
            rowBytes = (w * static_cast<size_t>(indexBits) + 7) / 8;
        std::vector<uint8_t> row(rowBytes);
        std::vector<int32_t> indices(written == wrPalette || written == wrBlackIsZero ? w : 0);
        const TLabConverter& lab = TLabConverter::Instance();
        TStripRowCoder coder(output, compression, lzw);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* bgr = source->ScanLine(y);
            uint8_t* out = row.data();
            switch (written) {
            case wrCmyk:
                for (size_t x = 0; x < w; ++x, bgr += 3, out += 4) {
                    const uint32_t b = bgr[0], g = bgr[1], r = bgr[2];
                    uint32_t m = std::max(r, std::max(g, b));
                    const uint8_t k = static_cast<uint8_t>(255 - m);
                    if (m == 0) m = 1;
                    out[0] = static_cast<uint8_t>(255 - r * 255 / m);
                    out[1] = static_cast<uint8_t>(255 - g * 255 / m);
                    out[2] = static_cast<uint8_t>(255 - b * 255 / m);
                    out[3] = k;
                }
                break;
            case wrLab: lab.RowFromBgr(bgr, out, width); break;
            case wrPalette:
            case wrBlackIsZero: {
                quantizer->IndexRow(bgr, width, indices.data());
                std::memset(out, 0, rowBytes);
                if (indexBits == 8) {
                    for (size_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(indices[x]);
                } else {
                    size_t bit = 0;
                    const uint32_t mask = (1u << indexBits) - 1;
                    for (size_t x = 0; x < w; ++x, bit += static_cast<size_t>(indexBits)) {
                        const uint32_t v = static_cast<uint32_t>(indices[x]) & mask;
                        const int shift = 16 - indexBits - static_cast<int>(bit & 7);
                        const uint32_t word = v << shift;
                        out[bit >> 3] |= static_cast<uint8_t>(word >> 8);
                        if ((word & 0xFF) != 0) out[(bit >> 3) + 1] |= static_cast<uint8_t>(word);
                    }
                }
                break;
            }
            default:
                for (size_t x = 0; x < w; ++x, bgr += 3, out += 3) {
                    out[0] = bgr[2];
                    out[1] = bgr[1];
                    out[2] = bgr[0];
                }
                if (predictor) {
                    for (size_t i = rowBytes - 1; i >= 3; --i)
                        row[i] = static_cast<uint8_t>(row[i] - row[i - 3]);
                }
                break;
            }
            coder.Row(row);
            progress.Row();
            if (progress.Aborted()) return;
        }
        coder.Finish();
    }
    if (progress.Aborted()) return;
    const int64_t stripEnd = output.Position();
    if (stripEnd > static_cast<int64_t>(UINT32_MAX) - 65536 * 16) {
        // Beyond what 32-bit offsets can address.
        progress.Abort();
        return;
    }

    // 9. The directory.
    dir.Inline(ttStripOffsets, tfLong, 1, static_cast<uint32_t>(stripStart));
    dir.Inline(ttSamplesPerPixel, tfShort, 1, samples);
    dir.Inline(ttRowsPerStrip, tfLong, 1, static_cast<uint32_t>(height));
    dir.Inline(ttStripByteCounts, tfLong, 1, static_cast<uint32_t>(stripEnd - stripStart));
    dir.Rational(ttXResolution, NonNegative(params.DpiX), 1);
    dir.Rational(ttYResolution, NonNegative(params.DpiY), 1);
    if (!params.TiffPageName.empty()) dir.Text(ttPageName, params.TiffPageName);
    dir.Rational(ttXPosition, NonNegative(params.TiffXPos) * 10000u, 10000);
    dir.Rational(ttYPosition, NonNegative(params.TiffYPos) * 10000u, 10000);
    if (compression == tcCcittFax3) dir.Inline(ttT4Options, tfLong, 1, t4Options);
    dir.Inline(ttResolutionUnit, tfShort, 1, 2);
    if (params.TiffPageNumber != 0 || params.TiffPageCount != 0)
        dir.Shorts(ttPageNumber, {static_cast<uint16_t>(params.TiffPageNumber),
                                  static_cast<uint16_t>(params.TiffPageCount)});
    if (predictor) dir.Inline(ttPredictor, tfShort, 1, 2);
    if (!oneBit && written == wrPalette) {
        const size_t n = palette.size();
        std::vector<uint16_t> map(3 * n);
        for (size_t i = 0; i < n; ++i) {
            map[i] = static_cast<uint16_t>(palette[i].r * 256);
            map[n + i] = static_cast<uint16_t>(palette[i].g * 256);
            map[2 * n + i] = static_cast<uint16_t>(palette[i].b * 256);
        }
        dir.Shorts(ttColorMap, map);
    }
    // IPTC records as one block of LONGs. Without records the entry is left out: an entry with no
    // values is one that TIFF readers reject.
    std::vector<uint8_t> iptc = params.IptcInfo.SaveToIptcStream();
    if (!iptc.empty()) {
        const auto iptcCount = static_cast<uint32_t>((iptc.size() + 3) / 4);
        iptc.resize(static_cast<size_t>(iptcCount) * 4, 0);
        dir.Values(ttIptc, tfLong, iptcCount, iptc);
    }

    const uint32_t dirOffset = dir.Finish();
    if (progress.Aborted()) return;
    const int64_t end = output.Position();
    output.Seek(4);
    output.WriteLE32(dirOffset);
    output.Seek(end);
}

}  // namespace luma
