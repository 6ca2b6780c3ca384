// Reading Windows bitmap files.
//
// Accepts the 12-byte (OS/2 version 1) info header, the 40- and 64-byte headers and longer ones
// (read by their first 64 bytes); 1, 4, 8, 16, 24 and 32 bits per pixel; 4- and 8-bit run-length
// data. The result is always a 1-bit buffer (1-bit files) or a 24-bit buffer (everything else);
// an alpha channel in the file is not read.
//
// Robustness: the header is validated before anything is allocated (size within the pixel budget,
// uncompressed pixel data present in full); run-length data is decoded with every run, literal
// and move cut at the edges of the row and the image, and stops at the end of the data. Rows
// stored top-down (negative height) are read as such. Depth and compression combinations the
// reader cannot decode, and truncated uncompressed data, fail with Aborting and leave the previous
// image untouched.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "formats/bmp.h"

namespace luma {

namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;

constexpr size_t kFileHeaderSize = 14;

struct TBmpInfo {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    uint32_t bits = 0;
    uint32_t compression = kRgb;
    int32_t dpiX = kScreenDpi;
    int32_t dpiY = kScreenDpi;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
};

int32_t DpiFromPixelsPerMetre(int32_t ppm) {
    if (ppm <= 0) return kScreenDpi;
    const double dpi = std::nearbyint(static_cast<double>(ppm) / 100.0 * 2.54);
    return dpi > 0 ? static_cast<int32_t>(dpi) : kScreenDpi;
}

// A right shift by s (left by -s), both directions safe for any s.
constexpr uint32_t ShiftRight(uint32_t value, int32_t s) {
    if (s >= 32 || s <= -32) return 0;
    return s >= 0 ? value >> s : value << (-s);
}

// Bytes of one stored row, padded to four.
int64_t StoredRowBytes(int64_t width, uint32_t bits) {
    return ((width * static_cast<int64_t>(bits) + 31) / 32) * 4;
}

// The bytes a row's pixels really use (the last row of a file may lack its padding).
int64_t UsedRowBytes(int64_t width, uint32_t bits) {
    return (width * static_cast<int64_t>(bits) + 7) / 8;
}

// Image row of the n-th stored row.
inline int32_t TargetRow(const TBmpInfo& info, int32_t height, int32_t n) {
    return info.topDown ? n : height - 1 - n;
}

void DecodeIndexed(std::span<const uint8_t> data, const TBmpInfo& info, const TRGB* lut,
                   TImageBuffer& image, TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const auto stride = static_cast<size_t>(StoredRowBytes(w, info.bits));
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        const uint8_t* src = data.data() + stride * static_cast<size_t>(n);
        uint8_t* dst = image.ScanLine(TargetRow(info, h, n));
        if (info.bits == 8) {
            for (int32_t x = 0; x < w; ++x, dst += 3) {
                const TRGB c = lut[src[x]];
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
            }
        } else {
            for (int32_t x = 0; x < w; ++x, dst += 3) {
                const uint8_t byte = src[x >> 1];
                const TRGB c = lut[(x & 1) ? (byte & 0x0F) : (byte >> 4)];
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
            }
        }
        progress.Row();
    }
}

void Decode1Bit(std::span<const uint8_t> data, const TBmpInfo& info, const TIOParamsVals& params,
                TImageBuffer& image, TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const auto stride = static_cast<size_t>(StoredRowBytes(w, 1));
    const auto used = static_cast<size_t>(UsedRowBytes(w, 1));
    const size_t rowLen = static_cast<size_t>(image.RowLen());
    // A palette of exactly white, black stores black as 1: invert so that 1 stays white.
    const bool invert = params.ColorMapCount == 2 &&
                        params.ColorMap[0] == TRGB{255, 255, 255} &&
                        params.ColorMap[1] == TRGB{0, 0, 0};
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        const uint8_t* src = data.data() + stride * static_cast<size_t>(n);
        uint8_t* dst = image.ScanLine(TargetRow(info, h, n));
        std::memcpy(dst, src, used);
        std::memset(dst + used, 0, rowLen - used);
        if (invert)
            for (size_t i = 0; i < used; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
        progress.Row();
    }
}

void Decode16(std::span<const uint8_t> data, const TBmpInfo& info, TImageBuffer& image,
              TIOProgress& progress) {
    const uint32_t rm = info.masks[0];
    const uint32_t gm = info.masks[1];
    const uint32_t bm = info.masks[2];
    const auto r = static_cast<int32_t>(std::popcount(rm));
    const auto g = static_cast<int32_t>(std::popcount(gm));
    const auto b = static_cast<int32_t>(std::popcount(bm));
    const int32_t redShift = r + g + b - 8;
    const int32_t greenShift = g + b - 8;
    const int32_t blueShift = b - 8;  // applied to the low byte only, leftwards by 8 - b
    const uint32_t blueLow = bm & 0xFF;
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const auto stride = static_cast<size_t>(StoredRowBytes(w, 16));
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        const uint8_t* src = data.data() + stride * static_cast<size_t>(n);
        uint8_t* dst = image.ScanLine(TargetRow(info, h, n));
        for (int32_t x = 0; x < w; ++x, src += 2, dst += 3) {
            const uint32_t v = LoadLE16(src);
            dst[2] = static_cast<uint8_t>(ShiftRight(v & rm, redShift));
            dst[1] = static_cast<uint8_t>(ShiftRight(v & gm, greenShift));
            dst[0] = static_cast<uint8_t>(ShiftRight(v & 0xFF & blueLow, blueShift));
        }
        progress.Row();
    }
}

void Decode24(std::span<const uint8_t> data, const TBmpInfo& info, TImageBuffer& image,
              TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const auto stride = static_cast<size_t>(StoredRowBytes(w, 24));
    const size_t used = static_cast<size_t>(w) * 3;
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        std::memcpy(image.ScanLine(TargetRow(info, h, n)), data.data() + stride * static_cast<size_t>(n),
                    used);
        progress.Row();
    }
}

// One channel of a bit-field mask: position, width and the scale to 8 bits.
struct TMaskChannel {
    uint32_t mask = 0;
    int32_t shift = 0;
    uint32_t max = 0;

    explicit TMaskChannel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint8_t operator()(uint32_t v) const {
        if (max == 0) return 0;
        const uint64_t x = (v & mask) >> shift;
        return static_cast<uint8_t>((x * 255 + max / 2) / max);
    }
};

void Decode32(std::span<const uint8_t> data, const TBmpInfo& info, TImageBuffer& image,
              TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    const auto stride = static_cast<size_t>(w) * 4;
    const bool plain = info.compression != kBitFields ||
                       (info.masks[0] == 0xFF0000 && info.masks[1] == 0xFF00 &&
                        info.masks[2] == 0xFF);
    const TMaskChannel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    for (int32_t n = 0; n < h && !progress.Aborted(); ++n) {
        const uint8_t* src = data.data() + stride * static_cast<size_t>(n);
        uint8_t* dst = image.ScanLine(TargetRow(info, h, n));
        if (plain) {
            for (int32_t x = 0; x < w; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
        } else {
            for (int32_t x = 0; x < w; ++x, src += 4, dst += 3) {
                const uint32_t v = LoadLE32(src);
                dst[0] = blue(v);
                dst[1] = green(v);
                dst[2] = red(v);
            }
        }
        progress.Row();
    }
}

// Run-length data (bottom-up rows only). Every run, literal and move is kept inside the current
// row and the image; decoding ends at the end-of-bitmap escape, after the last row, or when the
// data is used up.
void DecodeRle(std::span<const uint8_t> data, uint32_t bits, const TRGB* lut, TImageBuffer& image,
               TIOProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    // Pixels that the data never reaches take palette entry 0.
    const TRGB fill = lut[0];
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < w; ++x, row += 3) {
            row[0] = fill.b;
            row[1] = fill.g;
            row[2] = fill.r;
        }
    }

    const size_t size = data.size();
    size_t pos = 0;
    int32_t x = 0;
    int32_t y = 0;  // stored rows done (0 = bottom)
    uint8_t* row = image.ScanLine(h - 1);
    auto put = [&](uint8_t index) {
        if (x < w) {
            const TRGB c = lut[index];
            uint8_t* p = row + static_cast<ptrdiff_t>(x) * 3;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
        ++x;
    };
    auto nextRows = [&](int64_t count) {
        for (int64_t i = 0; i < count && y < h; ++i) {
            ++y;
            progress.Row();
        }
        if (y < h) row = image.ScanLine(h - 1 - y);
    };

    while (pos + 1 < size && y < h && !progress.Aborted()) {
        const uint8_t count = data[pos];
        const uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            const int32_t n = std::min<int32_t>(count, std::max(0, w - x));
            if (bits == 8) {
                for (int32_t i = 0; i < n; ++i) put(value);
            } else {
                for (int32_t i = 0; i < n; ++i) put((i & 1) ? (value & 0x0F) : (value >> 4));
            }
            x = std::min(x + (count - n), w);
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            nextRows(1);
            break;
        case 1:  // end of bitmap
            return;
        case 2: {  // move right and up
            if (pos + 1 >= size) return;
            const int32_t dx = data[pos];
            const int32_t dy = data[pos + 1];
            pos += 2;
            x = std::min(x + dx, w);
            if (dy > 0) nextRows(dy);
            break;
        }
        default: {  // literal indices
            const size_t n = value;
            const size_t bytes = bits == 8 ? n : (n + 1) / 2;
            const size_t avail = std::min(bytes, size - pos);
            const uint8_t* src = data.data() + pos;
            if (bits == 8) {
                for (size_t i = 0; i < avail && x < w; ++i) put(src[i]);
            } else {
                for (size_t i = 0; i < n && i / 2 < avail && x < w; ++i)
                    put((i & 1) ? (src[i / 2] & 0x0F) : (src[i / 2] >> 4));
            }
            pos += bytes + (bytes & 1);
            if (avail < bytes) return;
            break;
        }
        }
    }
}

// Reads the headers and the palette into `info` and `params`. False on a header that cannot be
// used; `in` ends at the start of the pixel data.
bool ReadHeaders(TByteCursor& in, TBmpInfo& info, TIOParamsVals& params) {
    in.Skip(2);  // signature, tested by the caller
    in.LE32();   // stored file size: the data always ends at the end of the file
    in.LE32();   // reserved
    info.dataOffset = in.LE32();
    info.headerSize = in.LE32();
    in.Seek(kFileHeaderSize);
    if (!in.Ok()) return false;

    params.FreeColorMap();
    uint32_t paletteCount = 0;
    size_t paletteEntrySize = 4;
    if (info.headerSize == 12) {
        in.Skip(4);
        info.width = in.LE16();
        info.height = in.LE16();
        in.LE16();  // planes
        info.bits = in.LE16();
        info.compression = kRgb;
        params.BmpVersion = 2;
        if (info.bits <= 8) paletteCount = 1u << info.bits;
        paletteEntrySize = 3;
    } else {
        // The fields this reader uses end at byte 16 (width, height, planes, bits).
        if (info.headerSize < 16) return false;
        uint8_t h[64] = {};
        const size_t take = std::min<uint32_t>(info.headerSize, 64);
        if (!in.Read(h, take)) return false;
        if (info.headerSize > 64 && !in.Skip(info.headerSize - 64)) return false;
        params.BmpVersion = info.headerSize == 40 ? 1 : info.headerSize == 64 ? 3 : 0;
        info.width = static_cast<int32_t>(LoadLE32(h + 4));
        const auto height = static_cast<int32_t>(LoadLE32(h + 8));
        info.topDown = height < 0;
        info.height = info.topDown ? -static_cast<int64_t>(height) : height;
        info.bits = LoadLE16(h + 14);
        info.compression = LoadLE32(h + 16);
        info.dpiX = DpiFromPixelsPerMetre(static_cast<int32_t>(LoadLE32(h + 24)));
        info.dpiY = DpiFromPixelsPerMetre(static_cast<int32_t>(LoadLE32(h + 28)));
        uint32_t used = LoadLE32(h + 32);
        if (used > 256) used = 0;
        if (used == 0 && info.bits <= 8) used = 1u << info.bits;
        paletteCount = used;
        if (info.compression == kBitFields) {
            if (info.headerSize >= 52) {
                // Newer headers carry the masks themselves.
                info.masks[0] = LoadLE32(h + 40);
                info.masks[1] = LoadLE32(h + 44);
                info.masks[2] = LoadLE32(h + 48);
            } else {
                // After a 40-byte header the masks follow it, before any palette.
                info.masks[0] = in.LE32();
                info.masks[1] = in.LE32();
                info.masks[2] = in.LE32();
            }
        }
    }
    if (!in.Ok()) return false;
    const size_t headersEnd = in.Position();

    if (paletteCount > 0) {
        std::vector<TRGB> palette(paletteCount);
        for (auto& c : palette) {
            uint8_t e[4] = {};
            in.Read(e, paletteEntrySize);
            c = TRGB{e[0], e[1], e[2]};
        }
        // A palette cut short by the pixel-data offset keeps its entries; the rest stay black.
        in.ClearError();
        params.SetColorMap(palette);
    }
    // An offset pointing into the headers or the declared palette cannot be right: the pixels
    // then follow the palette. A 12-byte header declares no palette size (it is implied by the
    // depth and often shorter), so there only the headers count.
    const size_t minOffset = info.headerSize == 12 ? headersEnd : in.Position();
    if (info.dataOffset != 0 && info.dataOffset >= minOffset && !in.Seek(info.dataOffset))
        return false;
    return true;
}

}  // namespace

void ReadBmp(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& /*alpha*/, TIOProgress& progress) {
    TByteCursor in(file);
    if (file.size() < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M') {
        progress.Abort();
        return;
    }
    TBmpInfo info;
    if (!ReadHeaders(in, info, params)) {
        progress.Abort();
        return;
    }
    params.BmpCompression =
        (info.compression == kRle8 || info.compression == kRle4) ? 1 : 0;

    // Which combinations can be decoded.
    const uint32_t bits = info.bits;
    const uint32_t comp = info.compression;
    bool rle = false;
    bool supported = false;
    switch (bits) {
    case 1: supported = comp == kRgb; break;
    case 4:
        supported = comp == kRgb || comp == kRle4;
        rle = comp == kRle4;
        break;
    case 8:
        supported = comp == kRgb || comp == kRle8;
        rle = comp == kRle8;
        break;
    case 16:
    case 24:
    case 32: supported = comp == kRgb || comp == kBitFields; break;
    default: break;
    }
    // Run-length data is bottom-up by definition.
    if (!supported || (rle && info.topDown)) {
        progress.Abort();
        return;
    }
    if (!CheckImageSize(progress, info.width, info.height)) return;

    const std::span<const uint8_t> data = file.subspan(in.Position());
    if (!rle) {
        // All rows but the last in full, the last at least up to its last pixel.
        const int64_t need =
            StoredRowBytes(info.width, bits) * (info.height - 1) + UsedRowBytes(info.width, bits);
        if (static_cast<int64_t>(data.size()) < need) {
            progress.Abort();
            return;
        }
    }

    const auto width = static_cast<int32_t>(info.width);
    const auto height = static_cast<int32_t>(info.height);
    params.Width = width;
    params.Height = height;
    params.DpiX = info.dpiX;
    params.DpiY = info.dpiY;
    if (bits <= 8) {
        params.BitsPerSample = static_cast<int32_t>(bits);
        params.SamplesPerPixel = 1;
    } else {
        params.BitsPerSample = bits == 16 ? 5 : 8;
        params.SamplesPerPixel = 3;
    }
    if (bits == 16 && comp == kRgb) {
        info.masks[0] = 0x7C00;
        info.masks[1] = 0x03E0;
        info.masks[2] = 0x001F;
    }

    image.Allocate(width, height, bits == 1 ? pk1Bit : pk24RGB);
    if (image.Width() != width || image.Height() != height) {
        progress.Abort();
        return;
    }
    progress.SetRows(height);

    std::array<TRGB, 256> lut{};
    for (int32_t i = 0; i < params.ColorMapCount && i < 256; ++i)
        lut[static_cast<size_t>(i)] = params.ColorMap[static_cast<size_t>(i)];

    switch (bits) {
    case 1: Decode1Bit(data, info, params, image, progress); break;
    case 4:
    case 8:
        if (rle)
            DecodeRle(data, bits, lut.data(), image, progress);
        else
            DecodeIndexed(data, info, lut.data(), image, progress);
        break;
    case 16: Decode16(data, info, image, progress); break;
    case 24: Decode24(data, info, image, progress); break;
    default: Decode32(data, info, image, progress); break;
    }
}

}  // namespace luma
