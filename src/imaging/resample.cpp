// Entry points of the scalers on image buffers and planes: pick the engine for the filter and
// present the source as rows of one or three 8-bit channels.

#include "imaging/resample.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/plane_mask.h"
#include "imaging/resample_contributors.h"
#include "imaging/resample_engine.h"
#include "imaging/resample_simd.h"

namespace luma {

namespace {

// Source rows of an image buffer as 8-bit channels: 24-bit rows as they are, gray levels as one
// channel, 1-bit rows as levels 0 / 255, palette rows looked up into three channels.
class TSourceRows {
public:
    explicit TSourceRows(const TImageBuffer& source) : source_(source) {
        switch (source.PixelKind()) {
        case pk24RGB:
        case pk8Palette: channels_ = 3; break;
        default: channels_ = 1; break;
        }
        if (source.PixelKind() != pk24RGB && source.PixelKind() != pk8Gray) {
            row_.resize(static_cast<size_t>(source.Width()) * channels_ + 8);
        }
    }

    int32_t Channels() const { return channels_; }

    const uint8_t* Row(int32_t r) {
        const uint8_t* in = source_.ScanLine(r);
        const int32_t width = source_.Width();
        uint8_t* out = row_.data();
        switch (source_.PixelKind()) {
        case pk24RGB:
        case pk8Gray: return in;
        case pk1Bit:
            for (int32_t x = 0; x < width; ++x) {
                out[x] = (in[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
            }
            break;
        case pk16Gray:
            // Little-endian words: the high byte is the 8-bit level.
            for (int32_t x = 0; x < width; ++x) out[x] = in[2 * x + 1];
            break;
        case pk8Palette: {
            const TImageBuffer& s = source_;
            for (int32_t x = 0; x < width; ++x) {
                const TRGB c = s.PaletteEntry(in[x]);
                out[3 * x] = c.b;
                out[3 * x + 1] = c.g;
                out[3 * x + 2] = c.r;
            }
            break;
        }
        default: break;
        }
        return out;
    }

private:
    const TImageBuffer& source_;
    int32_t channels_ = 3;
    std::vector<uint8_t> row_;
};

// Every target pixel takes the one source value (`channels` bytes, spread over `targetChannels`).
void FillWith(const uint8_t* value, int32_t channels, int32_t targetChannels, int32_t width,
              int32_t height, const std::function<uint8_t*(int32_t)>& targetRow) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* t = targetRow(y);
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < targetChannels; ++c) {
                t[static_cast<std::ptrdiff_t>(x) * targetChannels + c] = value[channels == 1 ? 0 : c];
            }
        }
    }
}

void RunJob(const TScaleJob& job, TResampleFilter filter, TScalerPath path, bool planeRules) {
    if (filter == rfNone || filter > rfBicubic) return;
    if (job.srcWidth < 2 && job.srcHeight < 2) {
        // One source pixel: every target pixel is that pixel.
        FillWith(job.sourceRow(0), job.channels, job.TargetChannels(), job.dstWidth,
                 job.dstHeight, job.targetRow);
        return;
    }
    if (IsTwoPassFilter(filter)) {
        RunTwoPass(job, filter, path);
    } else if (filter == rfFastLinear || (planeRules && (filter == rfBilinear || filter == rfBicubic))) {
        RunFastLinear(job);
    } else if (filter == rfBilinear || filter == rfBicubic) {
        RunAreaScale(job, filter == rfBicubic);
    }
}

}  // namespace

bool ResampleVectorPathAvailable() { return resample_simd::Avx2Available(); }

void ScalePlain(const TImageBuffer& source, TImageBuffer& target, const TResampleProgress& progress) {
    if (source.Empty() || target.Empty() || source.PixelKind() != target.PixelKind()) return;
    const int32_t sw = source.Width();
    const int32_t sh = source.Height();
    const int32_t dw = target.Width();
    const int32_t dh = target.Height();
    const TPixelKind kind = source.PixelKind();

    // Source index = trunc(ratio x index), the product taken in extended precision.
    const auto sourceIndex = [](double ratio, int32_t i, int32_t limit) {
        const auto v = static_cast<int64_t>(static_cast<long double>(ratio) * static_cast<long double>(i));
        return static_cast<int32_t>(v < limit ? v : limit - 1);
    };
    const double rx = static_cast<double>(sw) / dw;
    const double ry = static_cast<double>(sh) / dh;
    const int32_t bytesPerPixel = kind == pk24RGB ? 3 : (kind == pk16Gray ? 2 : 1);
    std::vector<int32_t> column(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x) {
        const int32_t cx = sourceIndex(rx, x, sw);
        column[static_cast<size_t>(x)] = kind == pk1Bit ? cx : cx * bytesPerPixel;
    }

    if (kind == pk8Palette) {
        for (int32_t i = 0; i < source.PaletteUsed(); ++i) target.SetPaletteEntry(i, source.PaletteEntry(i));
    }

    const int32_t* col = column.data();
    for (int32_t y = 0; y < dh; ++y) {
        const uint8_t* s = source.ScanLine(sourceIndex(ry, y, sh));
        uint8_t* t = target.ScanLine(y);
        switch (kind) {
        case pk1Bit: {
            uint8_t byte = 0;
            for (int32_t x = 0; x < dw; ++x) {
                const int32_t cx = col[x];
                if ((s[cx >> 3] & (0x80 >> (cx & 7))) != 0) byte |= static_cast<uint8_t>(0x80 >> (x & 7));
                if ((x & 7) == 7) {
                    t[x >> 3] = byte;
                    byte = 0;
                }
            }
            if ((dw & 7) != 0) {
                // Keep the bits past the last pixel of the final byte.
                const auto keep = static_cast<uint8_t>(0xFF >> (dw & 7));
                t[dw >> 3] = static_cast<uint8_t>((t[dw >> 3] & keep) | byte);
            }
            break;
        }
        case pk8Palette:
        case pk8Gray:
            for (int32_t x = 0; x < dw; ++x) t[x] = s[col[x]];
            break;
        case pk16Gray:
            for (int32_t x = 0; x < dw; ++x) std::memcpy(t + 2 * x, s + col[x], 2);
            break;
        case pk24RGB:
            for (int32_t x = 0; x < dw; ++x) {
                const uint8_t* p = s + col[x];
                t[3 * x] = p[0];
                t[3 * x + 1] = p[1];
                t[3 * x + 2] = p[2];
            }
            break;
        default: break;
        }
        if (progress) progress(static_cast<int32_t>(static_cast<double>(y + 1) * (100.0 / (dh + 0.5))));
    }
}

void ScaleFiltered(const TImageBuffer& source, TImageBuffer& target, TResampleFilter filter,
                   const TResampleProgress& progress, TScalerPath path) {
    if (filter == rfNone || source.Empty() || target.Empty() || target.PixelKind() != pk24RGB) return;
    TSourceRows rows(source);
    TScaleJob job;
    job.srcWidth = source.Width();
    job.srcHeight = source.Height();
    job.dstWidth = target.Width();
    job.dstHeight = target.Height();
    job.channels = rows.Channels();
    job.grayTo24 = job.channels == 1;
    job.sourceRow = [&rows](int32_t r) { return rows.Row(r); };
    job.targetRow = [&target](int32_t r) { return target.ScanLine(r); };
    job.progress = &progress;
    // A 1-bit source takes the fast linear scaler for every filter past the two-pass ones.
    RunJob(job, filter, path, source.PixelKind() == pk1Bit);
}

void ScalePlaneFiltered(const TPlaneMask& source, TPlaneMask& target, TResampleFilter filter,
                        TScalerPath path) {
    if (filter == rfNone || source.Empty() || target.Empty() || source.BitsPerPixel() != 8 ||
        target.BitsPerPixel() != 8) {
        return;
    }
    TScaleJob job;
    job.srcWidth = source.Width();
    job.srcHeight = source.Height();
    job.dstWidth = target.Width();
    job.dstHeight = target.Height();
    job.channels = 1;
    job.sourceRow = [&source](int32_t r) { return source.Row(r); };
    job.targetRow = [&target](int32_t r) { return target.Row(r); };
    RunJob(job, filter, path, true);
}

}  // namespace luma
