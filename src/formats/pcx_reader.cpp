// PCX reader. Plane lines are decoded one after another from a single run-length state, so a
// run may continue from one plane line (or row) into the next, and every run stops at the end of
// the data.

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "formats/pcx.h"

namespace luma {
namespace {

// Run-length or plain bytes, read line by line.
class LineDecoder {
public:
    LineDecoder(std::span<const uint8_t> data, bool runLength) : data_(data), runLength_(runLength) {}

    // Fills `line`; past the end of the data the rest stays zero.
    void Next(uint8_t* line, size_t size) {
        std::memset(line, 0, size);
        size_t n = 0;
        if (!runLength_) {
            const size_t take = std::min(size, data_.size() - pos_);
            std::memcpy(line, data_.data() + pos_, take);
            pos_ += take;
            return;
        }
        while (n < size) {
            if (repeat_ > 0) {
                const size_t k = std::min(repeat_, size - n);
                std::memset(line + n, value_, k);
                n += k;
                repeat_ -= k;
                continue;
            }
            if (pos_ >= data_.size()) return;
            const uint8_t b = data_[pos_++];
            if (b >= 0xC0) {
                if (pos_ >= data_.size()) return;
                repeat_ = b & 0x3F;
                value_ = data_[pos_++];
            } else {
                line[n++] = b;
            }
        }
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool runLength_;
    size_t repeat_ = 0;
    uint8_t value_ = 0;
};

void ReadPalette(const uint8_t* rgb, int32_t entries, std::vector<TRGB>& out) {
    out.resize(static_cast<size_t>(entries));
    for (int32_t i = 0; i < entries; ++i)
        out[static_cast<size_t>(i)] = TRGB{rgb[i * 3 + 2], rgb[i * 3 + 1], rgb[i * 3]};
}

void Decode(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params, TIOProgress& progress) {
    if (file.size() < kPcxHeaderSize) {
        progress.Abort();
        return;
    }
    const uint8_t* h = file.data();
    const uint8_t version = h[1];
    const uint8_t encoding = h[2];
    const uint8_t bits = h[3];
    if (h[0] != kPcxManufacturer || bits > 8 || encoding > 1) {
        progress.Abort();
        return;
    }
    const int32_t width = static_cast<int32_t>(LoadLE16(h + 8)) - static_cast<int32_t>(LoadLE16(h + 4)) + 1;
    const int32_t height = static_cast<int32_t>(LoadLE16(h + 10)) - static_cast<int32_t>(LoadLE16(h + 6)) + 1;
    params.Width = width;
    params.Height = height;
    const int32_t dpiX = LoadLE16(h + 12);
    const int32_t dpiY = LoadLE16(h + 14);
    params.DpiX = dpiX == 0 || dpiY == 0 ? kScreenDpi : dpiX;
    params.DpiY = dpiX == 0 || dpiY == 0 ? kScreenDpi : dpiY;
    const int32_t planes = h[65];
    const size_t bytesPerLine = LoadLE16(h + 66);

    // The end palette: the last 768 bytes of the file (the mark before them is not checked).
    std::array<uint8_t, 768> endPalette{};
    if (planes == 1 && bits > 4) {
        const size_t take = std::min<size_t>(768, file.size() - kPcxHeaderSize);
        std::memcpy(endPalette.data() + (768 - take), file.data() + file.size() - take, take);
    }
    const std::span<const uint8_t> data = file.subspan(kPcxHeaderSize);

    params.BitsPerSample = bits;
    params.SamplesPerPixel = planes;
    params.PcxVersion = version;
    const uint8_t* headerPalette = h + 16;
    std::vector<TRGB> colors;
    if (bits == 8) {
        ReadPalette(endPalette.data(), 256, colors);
    } else if (bits == 1 && planes == 4) {
        ReadPalette(headerPalette, 16, colors);
        params.BitsPerSample = 4;
        params.SamplesPerPixel = 1;
    } else {
        ReadPalette(headerPalette, std::min(16, 1 << bits), colors);
    }
    params.SetColorMap(colors);

    if (!CheckImageSize(progress, width, height)) return;
    const bool oneBit = bits == 1 && planes == 1;
    image.Allocate(width, height, oneBit ? pk1Bit : pk24RGB);

    enum class Layout { k8, k4, k1, kRgb, kPlanes4, kOther };
    Layout layout = Layout::kOther;
    if (planes == 1 && bits == 8) layout = Layout::k8;
    else if (planes == 1 && bits == 4) layout = Layout::k4;
    else if (planes == 1 && bits == 1) layout = Layout::k1;
    else if (planes == 3 && bits == 8) layout = Layout::kRgb;
    else if (planes == 4 && bits == 1) layout = Layout::kPlanes4;
    if (layout == Layout::kOther) {
        // Nothing to decode; the picture stays black rather than undefined.
        for (int32_t y = 0; y < height; ++y) std::memset(image.ScanLine(y), 0, static_cast<size_t>(image.RowLen()));
        return;
    }

    LineDecoder decoder(data, encoding == 1);
    const size_t w = static_cast<size_t>(width);
    // Each plane line gets room for every byte the width needs; the bytes past a shorter plane
    // line are never written, so those pixels read as zero.
    const size_t needed = layout == Layout::k8 || layout == Layout::kRgb ? w
                          : layout == Layout::k4                        ? (w + 1) / 2
                                                                        : (w + 7) / 8;
    const size_t stride = std::max(bytesPerLine, needed);
    std::vector<uint8_t> lines(stride * static_cast<size_t>(planes));
    auto at = [&](int plane, size_t i) -> uint8_t { return lines[static_cast<size_t>(plane) * stride + i]; };
    for (int32_t y = 0; y < height; ++y) {
        progress.Report(static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height));
        if (progress.Aborted()) return;
        for (int32_t p = 0; p < planes; ++p) decoder.Next(lines.data() + static_cast<size_t>(p) * stride, bytesPerLine);
        uint8_t* row = image.ScanLine(y);
        switch (layout) {
            case Layout::k8:
                for (size_t x = 0; x < w; ++x) {
                    const TRGB c = colors[at(0, x)];
                    row[x * 3] = c.b, row[x * 3 + 1] = c.g, row[x * 3 + 2] = c.r;
                }
                break;
            case Layout::k4:
                for (size_t x = 0; x < w; ++x) {
                    const uint8_t b = at(0, x / 2);
                    const TRGB c = colors[(x & 1) ? (b & 0x0F) : (b >> 4)];
                    row[x * 3] = c.b, row[x * 3 + 1] = c.g, row[x * 3 + 2] = c.r;
                }
                break;
            case Layout::k1: {
                const size_t n = (w + 7) / 8;
                std::memset(row, 0, static_cast<size_t>(image.RowLen()));
                std::memcpy(row, lines.data(), std::min(n, bytesPerLine));
                break;
            }
            case Layout::kRgb:
                for (size_t x = 0; x < w; ++x) {
                    row[x * 3] = at(2, x);
                    row[x * 3 + 1] = at(1, x);
                    row[x * 3 + 2] = at(0, x);
                }
                break;
            case Layout::kPlanes4:
                for (size_t x = 0; x < w; ++x) {
                    const int shift = 7 - static_cast<int>(x & 7);
                    int index = 0;
                    for (int p = 0; p < 4; ++p) index |= ((at(p, x >> 3) >> shift) & 1) << p;
                    const TRGB c = colors[static_cast<size_t>(index)];
                    row[x * 3] = c.b, row[x * 3 + 1] = c.g, row[x * 3 + 2] = c.r;
                }
                break;
            case Layout::kOther:
                break;
        }
    }
}

}  // namespace

void ReadPcx(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params, TPlaneMask&,
             TIOProgress& progress) {
    try {
        Decode(file, image, params, progress);
    } catch (const std::bad_alloc&) {
        progress.Abort();
    }
}

}  // namespace luma
