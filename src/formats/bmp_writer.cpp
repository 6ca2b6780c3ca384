// Writing Windows bitmap files.
//
// The depth comes from the parameter record, not from the pixels: 1 bit when BitsPerSample is 1,
// 4 when it is 4, otherwise 8 for one sample per pixel and 24 for more. 4- and 8-bit files get a
// palette learned by the colour quantizer and may be run-length encoded; 1-bit files keep the two
// colours of a two-colour image, or black and white. The two headers are written with
// placeholders first and completed once the pixel data is out.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/bmp.h"
#include "imaging/color_quantizer.h"
#include "imaging/two_color_mask.h"

namespace luma {

namespace {

int32_t PixelsPerMetre(int32_t dpi) {
    const double ppm = std::nearbyint(static_cast<double>(dpi) / 2.54 * 100.0);
    return static_cast<int32_t>(std::clamp(ppm, -2147483648.0, 2147483647.0));
}

void PutLiteral(std::span<const uint8_t> px, int32_t bits, std::vector<uint8_t>& out) {
    const size_t n = px.size();
    if (n == 0) return;
    if (n == 1) {
        out.push_back(1);
        out.push_back(bits == 4 ? static_cast<uint8_t>(px[0] << 4) : px[0]);
        return;
    }
    if (n == 2) {
        if (bits == 8) {
            out.insert(out.end(), {1, px[0], 1, px[1]});
        } else {
            out.push_back(2);
            out.push_back(static_cast<uint8_t>((px[0] << 4) | (px[1] & 0x0F)));
        }
        return;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(n));
    size_t bytes = 0;
    if (bits == 8) {
        out.insert(out.end(), px.begin(), px.end());
        bytes = n;
    } else {
        for (size_t i = 0; i < n; i += 2) {
            const uint8_t hi = static_cast<uint8_t>(px[i] << 4);
            const uint8_t lo = i + 1 < n ? (px[i + 1] & 0x0F) : 0;
            out.push_back(static_cast<uint8_t>(hi | lo));
        }
        bytes = (n + 1) / 2;
    }
    if (bytes & 1) out.push_back(0);
}

}  // namespace

void BmpEncodeRleRow(std::span<const uint8_t> indices, int32_t bits, std::vector<uint8_t>& out) {
    const size_t w = indices.size();
    size_t lit = 0;  // start of the pending literal pixels
    size_t i = 0;
    while (i < w) {
        if (i + 1 < w && indices[i] == indices[i + 1]) {
            PutLiteral(indices.subspan(lit, i - lit), bits, out);
            const uint8_t v = indices[i];
            size_t run = 2;
            while (i + run < w && run < 255 && indices[i + run] == v) ++run;
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(bits == 4 ? static_cast<uint8_t>((v << 4) | (v & 0x0F)) : v);
            i += run;
            lit = i;
        } else {
            ++i;
            if (i - lit == 255) {
                PutLiteral(indices.subspan(lit, 255), bits, out);
                lit = i;
            }
        }
    }
    PutLiteral(indices.subspan(lit, w - lit), bits, out);
    out.push_back(0);
    out.push_back(0);
}

void WriteBmp(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* /*alpha*/, TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const int32_t bits = params.BitsPerSample == 1   ? 1
                         : params.BitsPerSample == 4 ? 4
                         : params.SamplesPerPixel == 1 ? 8
                                                       : 24;
    const bool core = params.BmpVersion == 2;
    // The 12-byte header holds 16-bit sizes.
    if (w <= 0 || h <= 0 || (core && (w > 0xFFFF || h > 0xFFFF))) {
        progress.Abort();
        return;
    }
    const bool rle = !core && params.BmpCompression == 1 && (bits == 4 || bits == 8);
    const int64_t start = output.Position();

    // File header: completed at the end.
    const uint8_t fileHeader[14] = {'B', 'M'};
    output.Write(fileHeader, sizeof fileHeader);
    const int64_t infoStart = output.Position();

    // Info header (bits per pixel and data size completed at the end).
    const uint32_t headerSize = core ? 12 : params.BmpVersion == 3 ? 64 : 40;
    std::array<uint8_t, 64> info{};
    StoreLE32(info.data(), headerSize);
    if (core) {
        StoreLE16(info.data() + 4, static_cast<uint16_t>(w));
        StoreLE16(info.data() + 6, static_cast<uint16_t>(h));
        StoreLE16(info.data() + 8, 1);
    } else {
        StoreLE32(info.data() + 4, static_cast<uint32_t>(w));
        StoreLE32(info.data() + 8, static_cast<uint32_t>(h));
        StoreLE16(info.data() + 12, 1);
        StoreLE32(info.data() + 16, rle ? (bits == 8 ? 1u : 2u) : 0u);
        StoreLE32(info.data() + 24, static_cast<uint32_t>(PixelsPerMetre(params.DpiX)));
        StoreLE32(info.data() + 28, static_cast<uint32_t>(PixelsPerMetre(params.DpiY)));
        StoreLE32(info.data() + 32, bits <= 8 ? (1u << bits) : 0u);
        StoreLE32(info.data() + 36, 1u << bits);
    }
    output.Write(info.data(), headerSize);

    // Pixel source and palette.
    const TImageBuffer* source = &image;
    TImageBuffer scratch;
    std::array<TRGB, 256> palette{};
    int32_t paletteCount = 0;
    std::unique_ptr<TColorQuantizer> quantizer;
    if (bits == 1) {
        paletteCount = 2;
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
        if (image.PixelKind() != pk1Bit) {
            TRGB c0, c1;
            if (TwoColorMask(image, scratch, c0, c1)) {
                palette[0] = c0;
                palette[1] = c1;
            } else {
                scratch.Assign(image);
                scratch.ConvertPixelKind(pk1Bit);
            }
            source = &scratch;
        }
    } else {
        if (image.PixelKind() != pk24RGB) {
            scratch.Assign(image);
            scratch.ConvertPixelKind(pk24RGB);
            source = &scratch;
        }
        if (bits <= 8) {
            paletteCount = 1 << bits;
            quantizer = std::make_unique<TColorQuantizer>(*source, paletteCount, palette.data());
        }
    }
    if (paletteCount > 0) {
        params.SetColorMap(std::span<const TRGB>(palette.data(), static_cast<size_t>(paletteCount)));
        std::vector<uint8_t> entries;
        entries.reserve(static_cast<size_t>(paletteCount) * 4);
        for (int32_t i = 0; i < paletteCount; ++i) {
            const TRGB c = palette[static_cast<size_t>(i)];
            entries.insert(entries.end(), {c.b, c.g, c.r});
            if (!core) entries.push_back(0);
        }
        output.Write(entries);
    }
    const int64_t dataStart = output.Position();

    // Rows, bottom row first.
    const size_t rowBytes = static_cast<size_t>(RowLenFor(w, bits));
    const size_t usedBytes = (static_cast<size_t>(w) * static_cast<size_t>(bits) + 7) / 8;
    std::vector<uint8_t> row(rowBytes, 0);
    std::vector<int32_t> indices(bits == 4 || bits == 8 ? static_cast<size_t>(w) : 0);
    std::vector<uint8_t> bytes(indices.size());
    std::vector<uint8_t> encoded;
    progress.SetRows(h);
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        const uint8_t* src = source->ScanLine(h - 1 - n);
        if (bits == 1 || bits == 24) {
            std::memcpy(row.data(), src, usedBytes);
            if (bits == 1 && (w & 7) != 0)
                row[usedBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (w & 7));
            output.Write(row.data(), rowBytes);
        } else {
            quantizer->IndexRow(src, w, indices.data());
            for (size_t x = 0; x < indices.size(); ++x)
                bytes[x] = static_cast<uint8_t>(std::max(indices[x], 0));
            if (rle) {
                encoded.clear();
                BmpEncodeRleRow(bytes, bits, encoded);
                output.Write(encoded);
            } else if (bits == 8) {
                std::memcpy(row.data(), bytes.data(), bytes.size());
                output.Write(row.data(), rowBytes);
            } else {
                std::fill(row.begin(), row.end(), 0);
                for (size_t x = 0; x < bytes.size(); ++x)
                    row[x / 2] |= static_cast<uint8_t>((x & 1) ? (bytes[x] & 0x0F) : (bytes[x] << 4));
                output.Write(row.data(), rowBytes);
            }
        }
        progress.Row();
    }
    if (progress.Aborted()) return;
    if (rle) output.Write(std::array<uint8_t, 2>{0, 1});

    // Complete the headers.
    const int64_t end = output.Position();
    output.Seek(start + 2);
    output.WriteLE32(static_cast<uint32_t>(end - start));
    output.Seek(start + 10);
    output.WriteLE32(static_cast<uint32_t>(dataStart - start));
    if (core) {
        output.Seek(infoStart + 10);
        output.WriteLE16(static_cast<uint16_t>(bits));
    } else {
        output.Seek(infoStart + 14);
        output.WriteLE16(static_cast<uint16_t>(bits));
        output.Seek(infoStart + 20);
        output.WriteLE32(static_cast<uint32_t>(end - dataStart));
    }
    output.Seek(end);
}

}  // namespace luma
