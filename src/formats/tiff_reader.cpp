// TIFF reader: one page of a classic (32-bit offset) TIFF file in either byte order, strips or
// tiles, into a 1-bit or 24-bit buffer.
//
// The directory chain is walked once to count the pages; every offset seen is remembered, so a
// chain that loops back anywhere ends there. Every value taken from the file (counts, offsets,
// sizes) is clipped to the file before use, the image size is checked against the pixel budget
// before anything is allocated, and each strip or tile is decoded from its own bytes only.
//
// Per strip (or tile) the rows go through three stages: decompression into the file's sample
// bytes (none, PackBits, LZW through the installed decoder, CCITT modified Huffman, Group 3 and
// Group 4), undoing the horizontal predictor and unpacking sub-byte samples, and finally the
// conversion of the sample layout into the buffer. JPEG-compressed strips and tiles are decoded
// whole by the JPEG reader instead and copied into place.
//
// Sample layouts outside the supported set (two-sample gray, deep CMYK, floating point, YCbCr
// without JPEG, ...) are rejected with Aborting rather than read as an empty image.

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "formats/ccitt.h"
#include "formats/jpeg.h"
#include "formats/packbits.h"
#include "formats/tiff.h"
#include "imaging/image_proc.h"

namespace luma {
namespace {

// --- the file and its directories ------------------------------------------------------------

class TTiffView {
public:
    TTiffView(std::span<const uint8_t> data, bool little) : data_(data), little_(little) {}

    size_t Size() const { return data_.size(); }
    bool Little() const { return little_; }
    bool Has(uint64_t pos, uint64_t n) const { return pos <= data_.size() && n <= data_.size() - pos; }
    std::span<const uint8_t> Data() const { return data_; }

    uint16_t U16(uint64_t pos) const {
        if (!Has(pos, 2)) return 0;
        const uint8_t* p = data_.data() + pos;
        return little_ ? LoadLE16(p) : LoadBE16(p);
    }
    uint32_t U32(uint64_t pos) const {
        if (!Has(pos, 4)) return 0;
        const uint8_t* p = data_.data() + pos;
        return little_ ? LoadLE32(p) : LoadBE32(p);
    }
    // Bytes from `pos`, at most `n`, clipped to the file.
    std::span<const uint8_t> Bytes(uint64_t pos, uint64_t n) const {
        if (pos >= data_.size()) return {};
        const uint64_t avail = data_.size() - pos;
        return data_.subspan(static_cast<size_t>(pos), static_cast<size_t>(std::min(n, avail)));
    }

private:
    std::span<const uint8_t> data_;
    bool little_;
};

struct TEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint64_t valuePos = 0;  // where the values are: inside the entry or at its offset
};

class TDirectory {
public:
    explicit TDirectory(const TTiffView& view) : view_(view) {}

    void Add(const TEntry& e) { entries_.push_back(e); }
    const TEntry* Find(uint16_t tag) const {
        for (const TEntry& e : entries_)
            if (e.tag == tag) return &e;
        return nullptr;
    }
    bool Has(uint16_t tag) const { return Find(tag) != nullptr; }

    // Values actually present in the file (the count clipped to the bytes there).
    static uint32_t Available(const TTiffView& view, const TEntry& e) {
        const uint32_t size = TiffTypeSize(e.type);
        if (size == 0 || e.valuePos >= view.Size()) return 0;
        const uint64_t fit = (view.Size() - e.valuePos) / size;
        return static_cast<uint32_t>(std::min<uint64_t>(e.count, fit));
    }
    uint32_t Available(const TEntry& e) const { return Available(view_, e); }

    // Value i as an unsigned integer (rationals truncated, floats as 0).
    uint32_t UIntAt(const TEntry& e, uint32_t i) const {
        const uint64_t size = TiffTypeSize(e.type);
        const uint64_t pos = e.valuePos + size * i;
        switch (e.type) {
        case tfByte: case tfSByte: case tfUndefined: case tfAscii:
            return view_.Has(pos, 1) ? view_.Data()[static_cast<size_t>(pos)] : 0;
        case tfShort: case tfSShort: return view_.U16(pos);
        case tfLong: case tfSLong: case tfIfd: return view_.U32(pos);
        case tfRational: case tfSRational: {
            const uint32_t den = view_.U32(pos + 4);
            return view_.U32(pos) / (den == 0 ? 1 : den);
        }
        default: return 0;
        }
    }
    uint32_t UInt(uint16_t tag, uint32_t fallback) const {
        const TEntry* e = Find(tag);
        if (e == nullptr || Available(*e) == 0) return fallback;
        return UIntAt(*e, 0);
    }
    // Up to `limit` values of a tag.
    std::vector<uint32_t> UInts(uint16_t tag, uint32_t limit) const {
        std::vector<uint32_t> out;
        const TEntry* e = Find(tag);
        if (e == nullptr) return out;
        const uint32_t n = std::min(Available(*e), limit);
        out.resize(n);
        for (uint32_t i = 0; i < n; ++i) out[i] = UIntAt(*e, i);
        return out;
    }
    // A rational (or integer) value; a zero denominator counts as 1.
    double Real(uint16_t tag) const {
        const TEntry* e = Find(tag);
        if (e == nullptr || Available(*e) == 0) return 0.0;
        if (e->type == tfRational || e->type == tfSRational) {
            const uint32_t num = view_.U32(e->valuePos);
            const uint32_t den = view_.U32(e->valuePos + 4);
            if (e->type == tfSRational)
                return static_cast<double>(static_cast<int32_t>(num)) /
                       (den == 0 ? 1.0 : static_cast<double>(static_cast<int32_t>(den)));
            return static_cast<double>(num) / (den == 0 ? 1.0 : static_cast<double>(den));
        }
        return static_cast<double>(UIntAt(*e, 0));
    }
    std::string Text(uint16_t tag) const {
        const std::span<const uint8_t> b = RawBytes(tag);
        size_t n = 0;
        while (n < b.size() && b[n] != 0) ++n;
        return std::string(reinterpret_cast<const char*>(b.data()), n);
    }
    // The value bytes of a tag as they are in the file (clipped to it).
    std::span<const uint8_t> RawBytes(uint16_t tag) const {
        const TEntry* e = Find(tag);
        if (e == nullptr) return {};
        return view_.Bytes(e->valuePos, static_cast<uint64_t>(Available(*e)) * TiffTypeSize(e->type));
    }

private:
    const TTiffView& view_;
    std::vector<TEntry> entries_;
};

// Walks the directory chain: counts the directories and keeps the entries of number `wanted`.
// Ends at offset 0, at an offset outside the file and at any offset seen before.
int32_t WalkChain(const TTiffView& view, uint32_t first, int32_t wanted, TDirectory& out, bool& found) {
    std::unordered_set<uint32_t> seen;
    uint32_t offset = first;
    int32_t count = 0;
    found = false;
    while (offset != 0 && view.Has(offset, 2) && seen.insert(offset).second) {
        const uint32_t n = view.U16(offset);
        if (count == wanted) {
            found = true;
            for (uint32_t i = 0; i < n; ++i) {
                const uint64_t pos = static_cast<uint64_t>(offset) + 2 + 12ull * i;
                if (!view.Has(pos, 12)) break;
                TEntry e;
                e.tag = view.U16(pos);
                e.type = view.U16(pos + 2);
                e.count = view.U32(pos + 4);
                const uint64_t bytes = static_cast<uint64_t>(e.count) * TiffTypeSize(e.type);
                e.valuePos = bytes <= 4 ? pos + 8 : view.U32(pos + 8);
                out.Add(e);
            }
        }
        ++count;
        offset = view.U32(static_cast<uint64_t>(offset) + 2 + 12ull * n);
    }
    return count;
}

// --- what the page holds ---------------------------------------------------------------------

enum TLayout : uint8_t {
    lyUnsupported,
    lyRgb8,          // 3 or 4 x 8: red, green, blue (+ alpha)
    lyRgb16,         // 3 x 16: high bytes
    lyRgb555,        // 1 x 16: 5-bit fields
    lyPalette,       // 1 x 1..8: colour map index
    lyPaletteAlpha,  // 2 x 8: index and inverted alpha
    lyGray8,         // 1 x 4 or 8
    lyGray16,        // 1 x 16, uncompressed
    lyBilevel,       // 1 x 1 into the 1-bit buffer
    lyCmyk,          // 4 x 8
    lyLab,           // 3 x 8
    lyJpeg,          // JPEG-compressed blocks, decoded by the JPEG reader
};

struct TPage {
    uint32_t width = 0, height = 0;
    uint32_t bits = 1, samples = 1;
    uint32_t compression = tcNone;
    uint32_t photometric = 2;
    uint32_t fillOrder = 1;
    uint32_t rowsPerStrip = 0;
    uint32_t planar = 1;
    uint32_t t4Options = 0;
    uint32_t predictor = 1;
    uint32_t orientation = 1;
    uint32_t extraSamples = 0;
    uint32_t jpegProc = 0;
    bool tiled = false;
    uint32_t tileWidth = 0, tileLength = 0;
    std::vector<uint32_t> offsets, counts;
    std::span<const uint8_t> jpegTables;
    std::string software;
    TLayout layout = lyUnsupported;
    bool invert = false;      // gray: white is zero
    bool alpha = false;       // an alpha plane is made
    std::vector<TRGB> colorMap;
};

TLayout ChooseLayout(const TPage& p) {
    if (p.compression == tcJpeg) return p.bits == 8 && p.samples >= 1 ? lyJpeg : lyUnsupported;
    const uint32_t s = p.samples, b = p.bits;
    switch (p.photometric) {
    case 2:
        if ((s == 3 || s == 4) && b == 8) return lyRgb8;
        if (s == 3 && b == 16) return lyRgb16;
        if (s == 1 && b == 16) return lyRgb555;
        return lyUnsupported;
    case 3:
        if (s == 1 && b >= 1 && b <= 8) return lyPalette;
        if (s == 2 && b == 8) return lyPaletteAlpha;
        return lyUnsupported;
    case 0:
    case 1:
        if (s != 1) return lyUnsupported;
        if (b == 4 || b == 8) return lyGray8;
        if (b == 16) return p.compression == tcNone ? lyGray16 : lyUnsupported;
        if (b == 1) return lyBilevel;
        return lyUnsupported;
    case 5: return s == 4 && b == 8 ? lyCmyk : lyUnsupported;
    case 8: return s == 3 && b == 8 ? lyLab : lyUnsupported;
    default: return lyUnsupported;
    }
}

bool IsCcitt(uint32_t c) { return c == tcCcittRle || c == tcCcittFax3 || c == tcCcittFax4; }

bool KnownCompression(uint32_t c) {
    return c == tcNone || c == tcPackBits || c == tcLzw || IsCcitt(c) || c == tcJpeg;
}

// Row bytes of `pixels` pixels of `samples` samples of `bits` bits: whole bytes, rounded up.
uint64_t RowBytesFor(uint64_t pixels, uint32_t samples, uint32_t bits) {
    return (pixels * samples * bits + 7) / 8;
}

// --- rows out of one strip or tile -----------------------------------------------------------

class TRowSource {
public:
    TRowSource(const TPage& page, TTiffLzwDecoderHook lzw, uint32_t pixels, size_t rowBytes)
        : page_(page), lzw_(lzw), pixels_(pixels), rowBytes_(rowBytes) {}
    ~TRowSource() { Finish(); }
    TRowSource(const TRowSource&) = delete;
    TRowSource& operator=(const TRowSource&) = delete;

    void Start(std::span<const uint8_t> data) {
        Finish();
        data_ = data;
        pos_ = 0;
        // Fill order 2 (least significant bit first) is undone before any decompression; the fax
        // decoder does it itself while reading.
        if (page_.fillOrder == 2 && !IsCcitt(page_.compression)) {
            reversed_.assign(data.begin(), data.end());
            ReverseBitOrder(reversed_);
            data_ = reversed_;
        }
        if (IsCcitt(page_.compression)) {
            if (!ccitt_) {
                TCcittParams cp;
                cp.width = static_cast<int32_t>(pixels_);
                cp.whiteBit = 0;  // the file's own convention: white runs are 0 bits
                if (page_.compression == tcCcittRle) {
                    cp.scheme = TCcittScheme::ModifiedHuffman;
                } else if (page_.compression == tcCcittFax3) {
                    cp.scheme = TCcittScheme::Group3;
                    cp.twoDimensional = (page_.t4Options & 1) != 0;
                } else {
                    cp.scheme = TCcittScheme::Group4;
                }
                ccitt_ = std::make_unique<TCcittDecoder>(cp);
            }
            ccitt_->Reset(data, page_.fillOrder == 2);
        }
    }

    // The next row (rowBytes bytes); false when the data cannot give it.
    bool Next(uint8_t* row) {
        switch (page_.compression) {
        case tcNone: {
            if (pos_ >= data_.size()) return false;
            const size_t n = std::min(rowBytes_, data_.size() - pos_);
            std::memcpy(row, data_.data() + pos_, n);
            if (n < rowBytes_) std::memset(row + n, 0, rowBytes_ - n);
            pos_ += n;
            return true;
        }
        case tcPackBits: {
            if (pos_ >= data_.size()) return false;
            const size_t n = PackBitsDecodeRow(data_, pos_, std::span<uint8_t>(row, rowBytes_));
            if (n < rowBytes_) std::memset(row + n, 0, rowBytes_ - n);
            return true;
        }
        case tcLzw:
            lzwActive_ = true;
            return lzw_(data_, std::span<uint8_t>(row, rowBytes_), lzwState_);
        case tcCcittRle:
        case tcCcittFax3:
        case tcCcittFax4:
            // Rows the data no longer covers stay white.
            ccitt_->DecodeRow(row);
            return true;
        default: return false;
        }
    }

    void Finish() {
        if (lzwActive_) {
            lzw_({}, {}, lzwState_);
            lzwActive_ = false;
        }
        lzwState_.reset();
    }

private:
    const TPage& page_;
    TTiffLzwDecoderHook lzw_;
    uint32_t pixels_;
    size_t rowBytes_;
    std::span<const uint8_t> data_;
    std::vector<uint8_t> reversed_;
    size_t pos_ = 0;
    TLzwStatePtr lzwState_;
    bool lzwActive_ = false;
    std::unique_ptr<TCcittDecoder> ccitt_;
};

// --- the decoder of a page -------------------------------------------------------------------

class TPageDecoder {
public:
    TPageDecoder(const TTiffView& view, const TPage& page, TImageBuffer& image, TPlaneMask& alpha,
                 TIOParamsVals& params, TIOProgress& progress)
        : view_(view), page_(page), image_(image), alpha_(alpha), params_(params), progress_(progress) {
        width_ = static_cast<int32_t>(page.width);
        height_ = static_cast<int32_t>(page.height);
        bigEndian_ = !view.Little();
    }

    void Run() {
        if (page_.tiled) {
            DecodeTiles();
        } else if (page_.planar == 2) {
            DecodePlanarStrips();
        } else {
            DecodeStrips();
        }
    }

private:
    // The bytes of block i: its byte count, or up to the end of the file when the count is missing
    // or 0; clipped to the file. Empty (and a failure) when its offset is outside the file.
    bool BlockData(size_t i, std::span<const uint8_t>& data) const {
        if (i >= page_.offsets.size()) return false;
        const uint64_t offset = page_.offsets[i];
        if (offset >= view_.Size()) return false;
        uint64_t count = i < page_.counts.size() ? page_.counts[i] : 0;
        if (count == 0) count = view_.Size() - offset;
        data = view_.Bytes(offset, count);
        return true;
    }

    void Fail() { progress_.Abort(); }

    void DecodeStrips() {
        const uint32_t rps = page_.rowsPerStrip;
        const uint32_t stripCount = (page_.height + rps - 1) / rps;
        const size_t rowBytes = static_cast<size_t>(RowBytesFor(page_.width, page_.samples, page_.bits));
        PrepareScratch(page_.width, rowBytes);
        TRowSource source(page_, params_.TiffDecoderToUse(), page_.width, rowBytes);
        progress_.SetRows(height_);
        int32_t y = 0;
        for (uint32_t s = 0; s < stripCount && y < height_; ++s) {
            std::span<const uint8_t> data;
            if (!BlockData(s, data)) return Fail();
            const int32_t rows = static_cast<int32_t>(std::min<uint32_t>(rps, static_cast<uint32_t>(height_ - y)));
            if (page_.layout == lyJpeg) {
                if (!DecodeJpegBlock(data, 0, y, width_, rows)) return Fail();
                for (int32_t r = 0; r < rows; ++r) progress_.Row();
            } else {
                source.Start(data);
                for (int32_t r = 0; r < rows; ++r) {
                    if (!source.Next(raw_.data())) return Fail();
                    EmitRow(raw_.data(), page_.samples, 0, width_, y + r);
                    progress_.Row();
                    if (progress_.Aborted()) return;
                }
                source.Finish();
            }
            y += rows;
            if (progress_.Aborted()) return;
        }
        if (y < height_) Fail();
    }

    // Planes of 8-bit samples stored one after the other: strip i of each plane is decoded
    // together with strip i of the others and the samples interleaved.
    void DecodePlanarStrips() {
        const uint32_t planes = page_.samples;
        const uint32_t rps = page_.rowsPerStrip;
        const uint32_t stripCount = (page_.height + rps - 1) / rps;
        const size_t part = page_.offsets.size() / planes;
        const size_t rowBytes = page_.width;  // one 8-bit sample per pixel and plane
        PrepareScratch(page_.width, rowBytes * planes);
        std::vector<std::unique_ptr<TRowSource>> sources;
        for (uint32_t p = 0; p < planes; ++p)
            sources.push_back(std::make_unique<TRowSource>(page_, params_.TiffDecoderToUse(), page_.width, rowBytes));
        std::vector<uint8_t> planeRow(rowBytes);
        progress_.SetRows(height_);
        int32_t y = 0;
        for (uint32_t s = 0; s < stripCount && y < height_; ++s) {
            if (s >= part) return Fail();
            for (uint32_t p = 0; p < planes; ++p) {
                std::span<const uint8_t> data;
                if (!BlockData(p * part + s, data)) return Fail();
                sources[p]->Start(data);
            }
            const int32_t rows = static_cast<int32_t>(std::min<uint32_t>(rps, static_cast<uint32_t>(height_ - y)));
            for (int32_t r = 0; r < rows; ++r) {
                uint8_t* inter = raw_.data();
                for (uint32_t p = 0; p < planes; ++p) {
                    if (!sources[p]->Next(planeRow.data())) return Fail();
                    UndoPredictor(planeRow.data(), page_.width, 1);
                    const uint8_t* src = planeRow.data();
                    for (uint32_t x = 0; x < page_.width; ++x) inter[x * planes + p] = src[x];
                }
                EmitRow(inter, page_.samples, 0, width_, y + r, /*predictorDone=*/true);
                progress_.Row();
                if (progress_.Aborted()) return;
            }
            for (auto& src : sources) src->Finish();
            y += rows;
        }
        if (y < height_) Fail();
    }

    void DecodeTiles() {
        const uint32_t tw = page_.tileWidth, tl = page_.tileLength;
        const uint32_t across = (page_.width + tw - 1) / tw;
        const uint32_t down = (page_.height + tl - 1) / tl;
        const size_t rowBytes = static_cast<size_t>(RowBytesFor(tw, page_.samples, page_.bits));
        PrepareScratch(tw, rowBytes);
        TRowSource source(page_, params_.TiffDecoderToUse(), tw, rowBytes);
        progress_.SetRows(down);
        for (uint32_t ty = 0; ty < down; ++ty) {
            const int32_t y0 = static_cast<int32_t>(ty * tl);
            const int32_t rows = static_cast<int32_t>(std::min<uint32_t>(tl, page_.height - ty * tl));
            for (uint32_t tx = 0; tx < across; ++tx) {
                const int32_t x0 = static_cast<int32_t>(tx * tw);
                const int32_t cols = static_cast<int32_t>(std::min<uint32_t>(tw, page_.width - tx * tw));
                std::span<const uint8_t> data;
                if (!BlockData(static_cast<size_t>(ty) * across + tx, data)) return Fail();
                if (page_.layout == lyJpeg) {
                    if (!DecodeJpegBlock(data, x0, y0, cols, rows)) return Fail();
                    continue;
                }
                source.Start(data);
                for (int32_t r = 0; r < rows; ++r) {
                    if (!source.Next(raw_.data())) return Fail();
                    EmitRow(raw_.data(), page_.samples, x0, cols, y0 + r);
                }
                source.Finish();
            }
            progress_.Row();
            if (progress_.Aborted()) return;
        }
    }

    // A JPEG stream (with the JPEGTables read first) decoded into a scratch image and copied to
    // (x0, y0), clipped to `cols` x `rows`.
    bool DecodeJpegBlock(std::span<const uint8_t> data, int32_t x0, int32_t y0, int32_t cols, int32_t rows) {
        TIOParamsVals scratchParams = params_;
        bool aborted = false;
        TIOProgress sub(aborted, nullptr, progress_.MaxPixels());
        TImageBuffer block;
        TJpegReadOptions options;
        options.tables = page_.jpegTables;
        options.keepRaw = page_.photometric == 2 && page_.samples >= 3;
        try {
            ReadJpegStream(data, block, scratchParams, sub, options);
        } catch (...) {
            return false;
        }
        if (aborted || block.Empty() || block.PixelKind() != pk24RGB) return false;
        const int32_t n = std::min(cols, block.Width());
        const int32_t m = std::min(rows, block.Height());
        for (int32_t r = 0; r < m; ++r) {
            const uint8_t* src = block.ScanLine(r);
            uint8_t* dst = image_.ScanLine(y0 + r) + static_cast<size_t>(x0) * 3;
            std::memcpy(dst, src, static_cast<size_t>(n) * 3);
        }
        return true;
    }

    void PrepareScratch(uint32_t pixels, size_t rowBytes) {
        raw_.assign(rowBytes + 8, 0);
        samples_.assign(static_cast<size_t>(pixels) * page_.samples + 8, 0);
    }

    // Horizontal differences undone in place (LZW only): 8-bit samples, or 16-bit ones in the
    // file's byte order; `stride` samples per pixel.
    void UndoPredictor(uint8_t* row, uint32_t pixels, uint32_t stride) const {
        if (page_.predictor != 2 || page_.compression != tcLzw) return;
        if (page_.bits == 8) {
            const size_t n = static_cast<size_t>(pixels) * stride;
            for (size_t i = stride; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - stride]);
        } else if (page_.bits == 16) {
            const size_t n = static_cast<size_t>(pixels) * stride;
            for (size_t i = stride; i < n; ++i) {
                uint8_t* cur = row + 2 * i;
                const uint8_t* left = row + 2 * (i - stride);
                if (bigEndian_) {
                    StoreBE16(cur, static_cast<uint16_t>(LoadBE16(cur) + LoadBE16(left)));
                } else {
                    StoreLE16(cur, static_cast<uint16_t>(LoadLE16(cur) + LoadLE16(left)));
                }
            }
        }
    }

    // Sub-byte samples to one byte each (value kept).
    const uint8_t* Unpack(const uint8_t* row, size_t count) {
        const uint32_t bits = page_.bits;
        uint8_t* out = samples_.data();
        if (bits == 4) {
            for (size_t i = 0; i < count; ++i) out[i] = (i & 1) ? (row[i >> 1] & 0x0F) : (row[i >> 1] >> 4);
        } else if (bits == 2) {
            for (size_t i = 0; i < count; ++i) out[i] = (row[i >> 2] >> (6 - 2 * (i & 3))) & 3;
        } else if (bits == 1) {
            for (size_t i = 0; i < count; ++i) out[i] = (row[i >> 3] >> (7 - (i & 7))) & 1;
        } else {
            const uint32_t mask = (1u << bits) - 1;
            size_t bit = 0;
            for (size_t i = 0; i < count; ++i, bit += bits) {
                const size_t byte = bit >> 3;
                const uint32_t word = (static_cast<uint32_t>(row[byte]) << 8) | row[byte + 1];
                out[i] = static_cast<uint8_t>((word >> (16 - bits - (bit & 7))) & mask);
            }
        }
        return out;
    }

    // One decoded row of `cols` pixels into row y of the buffer from column x0.
    void EmitRow(uint8_t* row, uint32_t samples, int32_t x0, int32_t cols, int32_t y,
                 bool predictorDone = false) {
        if (!predictorDone) UndoPredictor(row, static_cast<uint32_t>(cols), samples);
        uint8_t* dst = image_.ScanLine(y);
        switch (page_.layout) {
        case lyBilevel: {
            CopyBits(row, dst, x0, cols, page_.invert);
            return;
        }
        default: break;
        }
        dst += static_cast<size_t>(x0) * 3;
        const size_t n = static_cast<size_t>(cols);
        const bool le = !bigEndian_;
        switch (page_.layout) {
        case lyRgb8: {
            if (samples == 3) {
                for (size_t x = 0; x < n; ++x, row += 3, dst += 3) {
                    dst[0] = row[2];
                    dst[1] = row[1];
                    dst[2] = row[0];
                }
            } else {
                uint8_t* a = page_.alpha ? alpha_.Row(y) + x0 : nullptr;
                for (size_t x = 0; x < n; ++x, row += 4, dst += 3) {
                    dst[0] = row[2];
                    dst[1] = row[1];
                    dst[2] = row[0];
                    if (a) a[x] = row[3];
                }
            }
            break;
        }
        case lyRgb16: {
            const size_t high = le ? 1 : 0;
            for (size_t x = 0; x < n; ++x, row += 6, dst += 3) {
                dst[0] = row[4 + high];
                dst[1] = row[2 + high];
                dst[2] = row[high];
            }
            break;
        }
        case lyRgb555: {
            for (size_t x = 0; x < n; ++x, row += 2, dst += 3) {
                const uint32_t v = le ? LoadLE16(row) : LoadBE16(row);
                dst[0] = static_cast<uint8_t>((v & 0x1F) << 3);
                dst[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
                dst[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
            }
            break;
        }
        case lyPalette: {
            const uint8_t* idx = page_.bits == 8 ? row : Unpack(row, n);
            const TRGB* map = page_.colorMap.data();
            const size_t count = page_.colorMap.size();
            for (size_t x = 0; x < n; ++x, dst += 3) {
                const TRGB c = idx[x] < count ? map[idx[x]] : TRGB{};
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
            }
            break;
        }
        case lyPaletteAlpha: {
            const TRGB* map = page_.colorMap.data();
            const size_t count = page_.colorMap.size();
            uint8_t* a = page_.alpha ? alpha_.Row(y) + x0 : nullptr;
            for (size_t x = 0; x < n; ++x, row += 2, dst += 3) {
                const TRGB c = row[0] < count ? map[row[0]] : TRGB{};
                dst[0] = c.b;
                dst[1] = c.g;
                dst[2] = c.r;
                if (a) a[x] = static_cast<uint8_t>(255 - row[1]);
            }
            break;
        }
        case lyGray8: {
            const uint8_t* v = row;
            if (page_.bits == 4) {
                v = Unpack(row, n);
                for (size_t x = 0; x < n; ++x) samples_[x] = static_cast<uint8_t>(v[x] << 4);
                v = samples_.data();
            }
            const uint8_t flip = page_.invert ? 0xFF : 0x00;
            for (size_t x = 0; x < n; ++x, dst += 3) {
                const uint8_t g = v[x] ^ flip;
                dst[0] = dst[1] = dst[2] = g;
            }
            break;
        }
        case lyGray16: {
            // 12-bit data in 16-bit samples written by one old scanner program.
            const int shift = page_.software.rfind("Look@Molli v1.1", 0) == 0 ? 4 : 8;
            for (size_t x = 0; x < n; ++x, row += 2, dst += 3) {
                uint32_t v = le ? LoadLE16(row) : LoadBE16(row);
                if (page_.invert) v = 65535 - v;
                const uint32_t g = std::min<uint32_t>(v >> shift, 255);
                dst[0] = dst[1] = dst[2] = static_cast<uint8_t>(g);
            }
            break;
        }
        case lyCmyk: {
            for (size_t x = 0; x < n; ++x, row += 4, dst += 3) {
                const uint32_t k = 255u - row[3];
                dst[0] = static_cast<uint8_t>((255u - row[2]) * k / 255u);
                dst[1] = static_cast<uint8_t>((255u - row[1]) * k / 255u);
                dst[2] = static_cast<uint8_t>((255u - row[0]) * k / 255u);
            }
            break;
        }
        case lyLab: TLabConverter::Instance().RowToBgr(row, dst, cols); break;
        default: break;
        }
    }

    // `cols` bits from the start of `src` into `dst` from bit x0 on, inverted when asked; the
    // bits around the target range are kept.
    static void CopyBits(const uint8_t* src, uint8_t* dst, int32_t x0, int32_t cols, bool invert) {
        const uint8_t flip = invert ? 0xFF : 0x00;
        if ((x0 & 7) == 0) {
            uint8_t* d = dst + (x0 >> 3);
            const int32_t whole = cols >> 3;
            for (int32_t i = 0; i < whole; ++i) d[i] = src[i] ^ flip;
            const int32_t rest = cols & 7;
            if (rest) {
                const uint8_t mask = static_cast<uint8_t>(0xFF00 >> rest);
                d[whole] = static_cast<uint8_t>((d[whole] & ~mask) | ((src[whole] ^ flip) & mask));
            }
            return;
        }
        for (int32_t i = 0; i < cols; ++i) {
            const int bit = ((src[i >> 3] ^ flip) >> (7 - (i & 7))) & 1;
            const int32_t x = x0 + i;
            const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
            dst[x >> 3] = static_cast<uint8_t>(bit ? (dst[x >> 3] | m) : (dst[x >> 3] & ~m));
        }
    }

    const TTiffView& view_;
    const TPage& page_;
    TImageBuffer& image_;
    TPlaneMask& alpha_;
    TIOParamsVals& params_;
    TIOProgress& progress_;
    int32_t width_ = 0, height_ = 0;
    bool bigEndian_ = false;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> samples_;
};

// --- parameters ------------------------------------------------------------------------------

int32_t ClampToInt(double v) {
    if (!(v > 0.0)) return v < 0.0 && v >= static_cast<double>(INT32_MIN) ? static_cast<int32_t>(v) : 0;
    return v >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
}

void FillParams(const TDirectory& dir, const TPage& page, TIOParamsVals& params) {
    params.BitsPerSample = static_cast<int32_t>(std::min<uint32_t>(page.bits, INT32_MAX));
    params.SamplesPerPixel = static_cast<int32_t>(std::min<uint32_t>(page.samples, INT32_MAX));
    params.Width = static_cast<int32_t>(std::min<uint32_t>(page.width, INT32_MAX));
    params.Height = static_cast<int32_t>(std::min<uint32_t>(page.height, INT32_MAX));
    params.TiffOrientation = static_cast<int32_t>(std::min<uint32_t>(page.orientation, INT32_MAX));
    params.TiffCompression = TiffCompressionParam(page.compression, page.t4Options);
    params.TiffPhotometric = TiffPhotometricParam(page.photometric);
    params.TiffPlanarConfig = static_cast<int32_t>(std::min<uint32_t>(page.planar, INT32_MAX));
    params.TiffDocumentName = dir.Text(ttDocumentName);
    params.TiffImageDescription = dir.Text(ttImageDescription);
    params.TiffPageName = dir.Text(ttPageName);
    const std::vector<uint32_t> pageNumber = dir.UInts(ttPageNumber, 2);
    params.TiffPageNumber = pageNumber.size() > 0 ? static_cast<int32_t>(pageNumber[0]) : 0;
    params.TiffPageCount = pageNumber.size() > 1 ? static_cast<int32_t>(pageNumber[1]) : 0;
    params.IptcInfo.Clear();
    const std::span<const uint8_t> iptc = dir.RawBytes(ttIptc);
    if (!iptc.empty()) params.IptcInfo.LoadFromIptcStream(iptc);
    params.IptcInfo.SetModified(false);
    if (page.colorMap.empty()) {
        params.FreeColorMap();
    } else {
        params.SetColorMap(page.colorMap);
    }
    const double f = dir.UInt(ttResolutionUnit, 2) == 3 ? 2.54 : 1.0;
    params.DpiX = ClampToInt(dir.Real(ttXResolution) * f);
    params.DpiY = ClampToInt(dir.Real(ttYResolution) * f);
    if (params.DpiX == 0) params.DpiX = kScreenDpi;
    if (params.DpiY == 0) params.DpiY = kScreenDpi;
    params.TiffXPos = ClampToInt(dir.Real(ttXPosition) * f);
    params.TiffYPos = ClampToInt(dir.Real(ttYPosition) * f);
}

// The colour map: 2^bits entries, each component's high byte.
std::vector<TRGB> ReadColorMap(const TTiffView& view, const TDirectory& dir, uint32_t bits) {
    std::vector<TRGB> map;
    const TEntry* e = dir.Find(ttColorMap);
    if (e == nullptr || bits == 0 || bits > 16) return map;
    const uint32_t avail = TDirectory::Available(view, *e);
    uint32_t n = 1u << bits;
    if (avail < 3 * n) n = avail / 3;
    map.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        map[i].r = static_cast<uint8_t>(dir.UIntAt(*e, i) >> 8);
        map[i].g = static_cast<uint8_t>(dir.UIntAt(*e, n + i) >> 8);
        map[i].b = static_cast<uint8_t>(dir.UIntAt(*e, 2 * n + i) >> 8);
    }
    return map;
}

// Turns the image upright after an Orientation other than 1.
void AdjustOrientation(TImageBuffer& image, uint32_t orientation) {
    TImageProc proc(&image);
    proc.AutoUndo = false;
    switch (orientation) {
    case 2: proc.Flip(fdHorizontal); break;
    case 3: proc.Flip(fdVertical); proc.Flip(fdHorizontal); break;
    case 4: proc.Flip(fdVertical); break;
    // 5 and 7 store the picture mirrored along a diagonal: a quarter turn one way and a mirror.
    case 5: proc.Rotate(-90, false, 0, clWhite); proc.Flip(fdHorizontal); break;
    case 6: proc.Rotate(-90, false, 0, clWhite); break;
    case 7: proc.Rotate(90, false, 0, clWhite); proc.Flip(fdHorizontal); break;
    case 8: proc.Rotate(90, false, 0, clWhite); break;
    default: break;
    }
}

}  // namespace

void ReadTiff(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params, TPlaneMask& alpha,
              TIOProgress& progress) {
    // Header: byte order, 42 (not tested), first directory.
    if (file.size() < 8 || !((file[0] == 'I' && file[1] == 'I') || (file[0] == 'M' && file[1] == 'M'))) {
        progress.Abort();
        return;
    }
    const TTiffView view(file, file[0] == 'I');
    const uint32_t first = view.U32(4);
    if (first == 0) {
        // No directory at all: there is no image to read.
        progress.Abort();
        return;
    }
    TDirectory dir(view);
    bool found = false;
    params.TiffImageCount = WalkChain(view, first, params.TiffImageIndex, dir, found);
    if (!found) {
        progress.Abort();
        return;
    }

    TPage page;
    const std::vector<uint32_t> bits = dir.UInts(ttBitsPerSample, 65535);
    page.bits = bits.empty() ? 1 : bits[0];
    for (uint32_t b : bits)
        if (b != page.bits) {
            progress.Abort();
            return;
        }
    page.width = dir.UInt(ttImageWidth, 0);
    page.height = dir.UInt(ttImageLength, 0);
    page.compression = dir.UInt(ttCompression, tcNone);
    page.photometric = dir.UInt(ttPhotometric, 2);
    page.fillOrder = dir.UInt(ttFillOrder, 1);
    page.orientation = dir.UInt(ttOrientation, 1);
    page.samples = dir.UInt(ttSamplesPerPixel, 1);
    page.rowsPerStrip = dir.UInt(ttRowsPerStrip, page.height);
    if (page.rowsPerStrip == 0 || page.rowsPerStrip > page.height) page.rowsPerStrip = page.height;
    page.planar = dir.UInt(ttPlanarConfig, 1);
    page.t4Options = dir.UInt(ttT4Options, 0);
    page.predictor = dir.UInt(ttPredictor, 1);
    page.extraSamples = dir.UInt(ttExtraSamples, 0);
    page.jpegProc = dir.UInt(ttJpegProc, 0);
    page.software = dir.Text(ttSoftware);
    page.jpegTables = dir.RawBytes(ttJpegTables);
    if (page.samples == 1 && page.bits == 1 && page.compression >= 1 && page.compression <= 4 &&
        page.photometric == 2)
        page.photometric = 0;
    if (page.photometric == 3) page.colorMap = ReadColorMap(view, dir, page.bits);

    FillParams(dir, page, params);

    if (page.compression == tcLzw && params.TiffDecoderToUse() == nullptr) {
        progress.Abort();
        return;
    }

    // Old-style JPEG: one interchange-format stream holds the whole image.
    if (page.compression == tcOldJpeg && page.jpegProc < 2) {
        const TEntry* at = dir.Find(ttJpegInterchangeFormat);
        const uint32_t offset = dir.UInt(ttJpegInterchangeFormat, 0);
        if (at == nullptr || offset == 0 || offset >= file.size()) {
            progress.Abort();
            return;
        }
        uint64_t length = dir.UInt(ttJpegInterchangeFormatLength, 0);
        if (length == 0) length = file.size() - offset;
        ReadJpegStream(view.Bytes(offset, length), image, params, progress, TJpegReadOptions{});
        return;
    }

    if (!CheckImageSize(progress, page.width, page.height)) return;

    page.tiled = dir.Has(ttTileWidth) || dir.Has(ttTileLength);
    if (page.tiled) {
        if (page.planar == 2) {
            progress.Abort();
            return;
        }
        page.tileWidth = dir.UInt(ttTileWidth, 0);
        page.tileLength = dir.UInt(ttTileLength, 0);
        int64_t tilePixels = 0;
        if (page.tileWidth == 0 || page.tileLength == 0 || page.tileWidth > (1u << 24) ||
            page.tileLength > (1u << 24) ||
            !CheckedMul(page.tileWidth, page.tileLength, tilePixels) || tilePixels > progress.MaxPixels()) {
            progress.Abort();
            return;
        }
    }
    const bool tileTags = page.tiled && dir.Has(ttTileOffsets);
    const uint32_t maxBlocks = static_cast<uint32_t>(std::min<size_t>(file.size(), UINT32_MAX));
    page.offsets = dir.UInts(tileTags ? ttTileOffsets : ttStripOffsets, maxBlocks);
    page.counts = dir.UInts(tileTags ? ttTileByteCounts : ttStripByteCounts, maxBlocks);

    page.layout = ChooseLayout(page);
    page.invert = page.photometric == 0;
    const bool planarOk = page.planar != 2 || (page.bits == 8 && page.samples >= 1 && page.samples <= 4 &&
                                               page.compression != tcJpeg &&
                                               (page.layout == lyRgb8 || page.layout == lyCmyk ||
                                                page.layout == lyLab));
    if (page.layout == lyUnsupported || !KnownCompression(page.compression) || !planarOk ||
        page.offsets.empty()) {
        progress.Abort();
        return;
    }

    // Alpha plane: RGBA, an explicit unassociated alpha, or two 8-bit samples.
    page.alpha = (page.samples == 4 && page.extraSamples == 2) || (page.samples == 2 && page.bits == 8) ||
                 (page.samples == 4 && page.photometric == 2);
    if (page.layout == lyJpeg) page.alpha = false;

    const bool oneBit = page.samples == 1 && page.bits == 1 && page.photometric != 3;
    image.Allocate(static_cast<int32_t>(page.width), static_cast<int32_t>(page.height), oneBit ? pk1Bit : pk24RGB);
    if (image.Empty()) {
        progress.Abort();
        return;
    }
    if (page.alpha) {
        alpha.Allocate(static_cast<int32_t>(page.width), static_cast<int32_t>(page.height), 8);
        for (int32_t y = 0; y < alpha.Height(); ++y) std::memset(alpha.Row(y), 255, static_cast<size_t>(alpha.Width()));
    }

    TPageDecoder decoder(view, page, image, alpha, params, progress);
    decoder.Run();

    if (params.TiffAdjustOrientation && page.orientation != 1 && !progress.Aborted())
        AdjustOrientation(image, page.orientation);
}

}  // namespace luma
