// PCX writer: 1 bit (one plane), 4 bits (one plane, header palette), 8 bits (one plane, end
// palette) or 24 bits (three planes), each plane line run-length coded or plain. Depths the file
// format has no layout for are written as 24 bits.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/pcx.h"
#include "imaging/color_quantizer.h"
#include "imaging/two_color_mask.h"

namespace luma {

void PcxEncodeLine(std::span<const uint8_t> line, std::vector<uint8_t>& out) {
    const size_t n = line.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t v = line[i];
        size_t run = 1;
        while (i + run < n && run < 63 && line[i + run] == v) ++run;
        if (run == 1 && v < 0xC0) {
            out.push_back(v);
        } else {
            out.push_back(static_cast<uint8_t>(0xC0 + run));
            out.push_back(v);
        }
        i += run;
    }
    if (n & 1) out.push_back(0);
}

void WritePcx(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params, const TPlaneMask*,
              TIOProgress& progress) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    // xmax and ymax are 16-bit fields.
    if (image.Empty() || width > 65536 || height > 65536) {
        progress.Abort();
        return;
    }

    int32_t depth = 24;
    if (params.BitsPerSample == 1) {
        depth = 1;
    } else {
        const int32_t asked = params.BitsPerSample * params.SamplesPerPixel;
        if (asked == 4 || asked == 8) depth = asked;
    }

    std::unique_ptr<TImageBuffer> converted;
    const TImageBuffer* source = &image;
    std::array<TRGB, 256> palette{};
    if (depth == 1) {
        palette[1] = TRGB{255, 255, 255};
        if (image.PixelKind() != pk1Bit) {
            converted = std::make_unique<TImageBuffer>();
            if (!TwoColorMask(image, *converted, palette[0], palette[1])) {
                converted->CopyImageFrom(image);
                converted->ConvertPixelKind(pk1Bit);
            }
            source = converted.get();
        }
    } else if (image.PixelKind() != pk24RGB) {
        converted = std::make_unique<TImageBuffer>();
        converted->CopyImageFrom(image);
        converted->ConvertPixelKind(pk24RGB);
        source = converted.get();
    }
    std::unique_ptr<TColorQuantizer> quantizer;
    if (depth == 4 || depth == 8) quantizer = std::make_unique<TColorQuantizer>(*source, 1 << depth, palette.data());

    const int32_t bitsPerPlane = depth == 24 ? 8 : depth;
    const int32_t planes = depth == 24 ? 3 : 1;
    const size_t dataBytes = depth == 1 ? (static_cast<size_t>(width) + 7) / 8
                             : depth == 4 ? (static_cast<size_t>(width) + 1) / 2
                                          : static_cast<size_t>(width);
    const size_t bytesPerLine = dataBytes + (dataBytes & 1);
    const bool runLength = params.PcxCompression != 0;

    std::array<uint8_t, kPcxHeaderSize> header{};
    header[0] = kPcxManufacturer;
    header[1] = static_cast<uint8_t>(params.PcxVersion);
    header[2] = runLength ? 1 : 0;
    header[3] = static_cast<uint8_t>(bitsPerPlane);
    StoreLE16(&header[8], static_cast<uint16_t>(width - 1));
    StoreLE16(&header[10], static_cast<uint16_t>(height - 1));
    StoreLE16(&header[12], static_cast<uint16_t>(params.DpiX));
    StoreLE16(&header[14], static_cast<uint16_t>(params.DpiY));
    if (depth == 1 || depth == 4) {
        for (int32_t i = 0; i < (depth == 1 ? 2 : 16); ++i) {
            header[16 + i * 3] = palette[static_cast<size_t>(i)].r;
            header[17 + i * 3] = palette[static_cast<size_t>(i)].g;
            header[18 + i * 3] = palette[static_cast<size_t>(i)].b;
        }
    }
    header[65] = static_cast<uint8_t>(planes);
    StoreLE16(&header[66], static_cast<uint16_t>(bytesPerLine));
    StoreLE16(&header[68], depth == 24 ? 0 : 1);
    output.Write(header.data(), header.size());

    std::vector<uint8_t> lines(bytesPerLine * static_cast<size_t>(planes));
    std::vector<int32_t> indices(static_cast<size_t>(width));
    std::vector<uint8_t> coded;
    coded.reserve(lines.size() * 2 + 8);
    const size_t w = static_cast<size_t>(width);
    for (int32_t y = 0; y < height; ++y) {
        progress.Report(static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height));
        if (progress.Aborted()) return;
        std::fill(lines.begin(), lines.end(), uint8_t{0});
        const uint8_t* row = source->ScanLine(y);
        switch (depth) {
            case 1:
                std::memcpy(lines.data(), row, dataBytes);
                if (width % 8) lines[dataBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
                break;
            case 4:
                quantizer->IndexRow(row, width, indices.data());
                for (size_t x = 0; x < w; ++x) {
                    const uint8_t v = static_cast<uint8_t>(indices[x] & 0x0F);
                    lines[x / 2] = static_cast<uint8_t>(lines[x / 2] | ((x & 1) ? v : v << 4));
                }
                break;
            case 8:
                quantizer->IndexRow(row, width, indices.data());
                for (size_t x = 0; x < w; ++x) lines[x] = static_cast<uint8_t>(indices[x] & 0xFF);
                break;
            default:
                for (size_t x = 0; x < w; ++x) {
                    lines[x] = row[x * 3 + 2];
                    lines[bytesPerLine + x] = row[x * 3 + 1];
                    lines[2 * bytesPerLine + x] = row[x * 3];
                }
                break;
        }
        if (runLength) {
            coded.clear();
            for (int32_t p = 0; p < planes; ++p)
                PcxEncodeLine(std::span(lines).subspan(static_cast<size_t>(p) * bytesPerLine, dataBytes), coded);
            output.Write(coded);
        } else {
            output.Write(lines);
        }
    }
    if (progress.Aborted()) return;
    if (depth == 8) {
        std::array<uint8_t, 769> end{};
        end[0] = kPcxPaletteMark;
        for (size_t i = 0; i < 256; ++i) {
            end[1 + i * 3] = palette[i].r;
            end[2 + i * 3] = palette[i].g;
            end[3 + i * 3] = palette[i].b;
        }
        output.Write(end.data(), end.size());
    }
}

}  // namespace luma
