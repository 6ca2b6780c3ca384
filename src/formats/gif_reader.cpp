// GIF reader: walks the blocks of the file, keeps the graphic control extension of the wanted
// image only, collects every comment, decodes the wanted image through the installed LZW decoder
// and counts all images. The result is a 24-bit image (or 1-bit for a black, white table) with an
// alpha plane that marks the transparent index.

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/gif.h"

namespace luma {
namespace {

using TGifTable = std::array<TRGB, 256>;

// Reads a colour table of `entries` red, green, blue triples; entries past the data stay black.
void ReadTable(TByteCursor& in, int32_t entries, TGifTable& table) {
    table.fill(TRGB{});
    for (int32_t i = 0; i < entries; ++i) {
        const uint8_t r = in.U8();
        const uint8_t g = in.U8();
        const uint8_t b = in.U8();
        table[static_cast<size_t>(i)] = TRGB{b, g, r};
    }
}

// Skips sub-blocks up to a zero size or the end of the data.
void SkipSubBlocks(TByteCursor& in) {
    while (in.Remaining() > 0) {
        const uint8_t n = in.U8();
        if (n == 0) return;
        in.TakeUpTo(n);
    }
}

void ReadComment(TByteCursor& in, std::vector<std::string>& comments) {
    while (in.Remaining() > 0) {
        const uint8_t n = in.U8();
        if (n == 0) return;
        const std::span<const uint8_t> text = in.TakeUpTo(n);
        const auto end = std::find(text.begin(), text.end(), uint8_t{0});
        if (end != text.begin()) comments.emplace_back(text.begin(), end);
    }
}

struct GraphicControl {
    uint8_t flags = 0;
    uint16_t delay = 0;
    uint8_t transparentIndex = 0;
};

void ReadGraphicControl(TByteCursor& in, GraphicControl& gc) {
    const uint8_t size = in.U8();
    const std::span<const uint8_t> data = in.TakeUpTo(size);
    uint8_t bytes[4] = {0, 0, 0, 0};
    std::copy_n(data.begin(), std::min<size_t>(4, data.size()), bytes);
    gc.flags = bytes[0];
    gc.delay = static_cast<uint16_t>(bytes[1] | (bytes[2] << 8));
    gc.transparentIndex = bytes[3];
    // Normally just the terminator; anything longer is skipped like other extensions.
    SkipSubBlocks(in);
}

// Fills the buffer (and alpha plane) from the decoded indices.
void StoreImage(const std::vector<uint8_t>& indices, int32_t width, int32_t height, const TGifTable& colors,
                bool oneBit, bool transparent, uint8_t transparentIndex, TImageBuffer& image, TPlaneMask& alpha) {
    image.Allocate(width, height, oneBit ? pk1Bit : pk24RGB);
    alpha.Allocate(width, height, 8);
    const size_t w = static_cast<size_t>(width);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = indices.data() + static_cast<size_t>(y) * w;
        uint8_t* row = image.ScanLine(y);
        if (oneBit) {
            std::memset(row, 0, static_cast<size_t>(image.RowLen()));
            for (size_t x = 0; x < w; ++x)
                if (src[x] & 1) row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
        } else {
            for (size_t x = 0; x < w; ++x) {
                const TRGB c = colors[src[x]];
                row[x * 3] = c.b;
                row[x * 3 + 1] = c.g;
                row[x * 3 + 2] = c.r;
            }
        }
        uint8_t* a = alpha.Row(y);
        std::memset(a, 255, w);
        if (transparent)
            for (size_t x = 0; x < w; ++x)
                if (src[x] == transparentIndex) a[x] = 0;
    }
}

}  // namespace

void ReadGif(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params, TPlaneMask& alpha,
             TIOProgress& progress) {
    progress.Report(0);
    if (progress.Aborted()) return;
    GraphicControl gc;
    const int32_t wanted = params.GifImageIndex;

    TByteCursor in(file);
    uint8_t header[13];
    in.Read(header, sizeof header);
    if (file.size() < 3 || std::memcmp(header, "GIF", 3) != 0) {
        progress.Abort();
        return;
    }
    params.GifVersion.assign(reinterpret_cast<const char*>(header), 6);
    params.GifWinWidth = LoadLE16(header + 6);
    params.GifWinHeight = LoadLE16(header + 8);
    const uint8_t screenFlags = header[10];
    const uint8_t backgroundIndex = header[11];
    params.GifRatio = header[12];
    params.DpiX = kScreenDpi;
    params.DpiY = kScreenDpi;
    params.SamplesPerPixel = 1;

    TGifTable global;
    global.fill(TRGB{});
    if (screenFlags & 0x80) {
        ReadTable(in, GifTableEntries(screenFlags), global);
        params.GifBackground = global[backgroundIndex];
    }
    if (in.Remaining() == 0) progress.Abort();

    int32_t count = 0;
    while (!progress.Aborted() && in.Remaining() > 0) {
        const uint8_t block = in.U8();
        if (block == 0x3B) break;
        if (block == 0x21) {
            const uint8_t label = in.U8();
            if (label == 0xF9 && count == wanted) {
                ReadGraphicControl(in, gc);
            } else if (label == 0xFE) {
                ReadComment(in, params.GifComments);
            } else {
                SkipSubBlocks(in);
            }
            continue;
        }
        if (block != 0x2C) continue;

        uint8_t descriptor[9];
        in.Read(descriptor, sizeof descriptor);
        const uint8_t flags = descriptor[8];
        const bool hasLocal = (flags & 0x80) != 0;
        TGifTable local;
        if (hasLocal) ReadTable(in, GifTableEntries(flags), local);

        if (count != wanted) {
            in.U8();  // code size
            SkipSubBlocks(in);
            ++count;
            continue;
        }

        progress.Report(30);
        if (progress.Aborted()) break;
        const TGifTable& colors = hasLocal ? local : global;
        params.GifTransparentColor = colors[gc.transparentIndex];
        params.GifXPos = LoadLE16(descriptor);
        params.GifYPos = LoadLE16(descriptor + 2);
        const int32_t width = LoadLE16(descriptor + 4);
        const int32_t height = LoadLE16(descriptor + 6);
        params.Width = width;
        params.Height = height;
        params.GifDelayTime = gc.delay;
        params.GifHasTransparentColor = (gc.flags & 1) != 0;
        params.GifInterlaced = (flags & 0x40) != 0;

        const size_t before = in.Position();
        std::vector<uint8_t> indices;
        const TGifLzwDecoderHook decoder = params.GifDecoderToUse();
        // A code size no decoder accepts fails before the index buffer is allocated.
        const uint8_t codeSize = in.Remaining() > 0 ? in.Data()[before] : 0;
        if (decoder != nullptr && codeSize >= 2 && codeSize <= 9) {
            if (!CheckImageSize(progress, width, height)) break;
            indices.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
            decoder(in, height, width, indices.data(), params.GifInterlaced);
        }
        if (in.Position() == before) {
            progress.Abort();
            break;
        }
        progress.Report(70);
        if (progress.Aborted()) break;

        const uint8_t sizeField = hasLocal ? flags : screenFlags;
        params.BitsPerSample = (sizeField & 7) + 1;
        params.ColorMapCount = 1 << params.BitsPerSample;
        params.ColorMap.assign(colors.begin(), colors.begin() + params.ColorMapCount);

        const bool oneBit = params.BitsPerSample == 1 && colors[0] == TRGB{0, 0, 0} && colors[1] == TRGB{255, 255, 255};
        StoreImage(indices, width, height, colors, oneBit, params.GifHasTransparentColor, gc.transparentIndex, image,
                   alpha);
        ++count;
    }
    params.GifImageCount = count;
    if (!progress.Aborted()) progress.Report(100);
}

}  // namespace luma
