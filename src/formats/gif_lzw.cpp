// GIF LZW: variable-width codes (code size + 1 up to 12 bits), least significant bit first, with a
// clear code and an end code, split into sub-blocks of at most 255 bytes.
//
// The decoder keeps the string table as prefix/suffix links with each entry's length and first
// byte, so that a string is written backwards straight into the index buffer without a stack. It
// never adds entries once code 4095 is taken (a full table waits for the encoder's clear code).
//
// The encoder is the classic open-addressing scheme: a 5003-entry table keyed by (pixel, prefix),
// hashed as (pixel << 4) xor prefix with a backwards probe, and a clear code as soon as the table
// would need code 4096. Output goes out in sub-blocks of 254 bytes.

#include "formats/gif_lzw.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace luma {
namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;  // 4096 codes
constexpr int kHashSize = 5003;

// Reads codes least significant bit first; fewer bits than asked means the data is used up.
class LsbBitReader {
public:
    explicit LsbBitReader(std::span<const uint8_t> data)
        : begin_(data.data()), p_(data.data()), end_(data.data() + data.size()) {}

    bool Read(int n, uint32_t& code) {
        if (bits_ < n) {
            Refill();
            if (bits_ < n) return false;
        }
        code = static_cast<uint32_t>(buf_ & ((uint64_t{1} << n) - 1));
        buf_ >>= n;
        bits_ -= n;
        return true;
    }

    // Bytes not yet touched by any code read so far.
    size_t UntouchedBytes() const {
        size_t used = static_cast<size_t>(p_ - begin_) - static_cast<size_t>(bits_ / 8);
        return static_cast<size_t>(end_ - begin_) - used;
    }

private:
    void Refill() {
        if constexpr (std::endian::native == std::endian::little) {
            if (end_ - p_ >= 8) {
                uint64_t v;
                std::memcpy(&v, p_, 8);
                buf_ |= v << bits_;
                int take = (63 - bits_) >> 3;
                p_ += take;
                bits_ += take * 8;
                return;
            }
        }
        while (bits_ <= 56 && p_ < end_) {
            buf_ |= uint64_t{*p_++} << bits_;
            bits_ += 8;
        }
    }

    const uint8_t* begin_;
    const uint8_t* p_;
    const uint8_t* end_;
    uint64_t buf_ = 0;
    int bits_ = 0;
};

struct DecodeTable {
    std::array<uint16_t, kTableSize> prefix;
    std::array<uint16_t, kTableSize> length;
    std::array<uint8_t, kTableSize> suffix;
    std::array<uint8_t, kTableSize> first;
};

// Decodes the joined sub-block data; returns false for unusable data. `pos` counts the indices
// produced (those past `total` are dropped).
bool DecodeCodes(std::span<const uint8_t> codes, int codeSize, uint8_t* out, size_t total, size_t& pos) {
    const uint32_t clear = 1u << codeSize;
    const uint32_t end = clear + 1;
    const uint32_t firstFree = clear + 2;

    auto table = std::make_unique<DecodeTable>();
    for (uint32_t i = 0; i < clear; ++i) {
        table->length[i] = 1;
        table->suffix[i] = static_cast<uint8_t>(i);
        table->first[i] = static_cast<uint8_t>(i);
        table->prefix[i] = 0;
    }
    uint16_t* prefix = table->prefix.data();
    uint16_t* length = table->length.data();
    uint8_t* suffix = table->suffix.data();
    uint8_t* first = table->first.data();

    LsbBitReader reader(codes);
    int width = codeSize + 1;
    uint32_t next = firstFree;
    uint32_t prev = 0;
    bool havePrev = false;
    bool justCleared = false;
    uint8_t spill[kTableSize];

    auto emit = [&](uint32_t code) {
        const size_t len = length[code];
        uint8_t* dst;
        if (pos + len <= total) {
            dst = out + pos;
        } else {
            dst = spill;
        }
        uint8_t* p = dst + len - 1;
        while (code >= firstFree) {
            *p-- = suffix[code];
            code = prefix[code];
        }
        *p = suffix[code];
        if (dst == spill && pos < total) std::memcpy(out + pos, spill, total - pos);
        pos += len;
    };

    uint32_t code;
    while (reader.Read(width, code)) {
        if (code == clear) {
            width = codeSize + 1;
            next = firstFree;
            havePrev = false;
            justCleared = true;
            continue;
        }
        if (code == end) {
            if (justCleared && reader.UntouchedBytes() > 0) return false;
            break;
        }
        justCleared = false;
        if (!havePrev) {
            if (code >= next) code = 0;
            emit(code);
            prev = code;
            havePrev = true;
            continue;
        }
        if (code < next) {
            if (next < kTableSize) {
                prefix[next] = static_cast<uint16_t>(prev);
                suffix[next] = first[code];
                first[next] = first[prev];
                length[next] = static_cast<uint16_t>(length[prev] + 1);
                ++next;
            }
            emit(code);
        } else if (code == next && next < kTableSize) {
            prefix[next] = static_cast<uint16_t>(prev);
            suffix[next] = first[prev];
            first[next] = first[prev];
            length[next] = static_cast<uint16_t>(length[prev] + 1);
            ++next;
            emit(code);
        } else {
            return false;
        }
        prev = code;
        if (next == (1u << width) && width < kMaxBits) ++width;
    }
    return true;
}

// Packs codes least significant bit first into a byte vector.
class LsbBitWriter {
public:
    explicit LsbBitWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Put(uint32_t code, int n) {
        acc_ |= uint64_t{code} << bits_;
        bits_ += n;
        if (bits_ >= 32) {
            const size_t at = out_.size();
            out_.resize(at + 4);
            uint8_t* p = out_.data() + at;
            p[0] = static_cast<uint8_t>(acc_);
            p[1] = static_cast<uint8_t>(acc_ >> 8);
            p[2] = static_cast<uint8_t>(acc_ >> 16);
            p[3] = static_cast<uint8_t>(acc_ >> 24);
            acc_ >>= 32;
            bits_ -= 32;
        }
    }

    void Flush() {
        while (bits_ > 0) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
        bits_ = 0;
        acc_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

}  // namespace

size_t GifCollectSubBlocks(std::span<const uint8_t> data, size_t pos, std::vector<uint8_t>& out) {
    while (pos < data.size()) {
        const size_t n = data[pos++];
        if (n == 0) break;
        const size_t take = std::min(n, data.size() - pos);
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(pos),
                   data.begin() + static_cast<ptrdiff_t>(pos + take));
        pos += take;
    }
    return pos;
}

TGifLzwDecodeResult GifLzwDecode(std::span<const uint8_t> data, int32_t width, int32_t height,
                                 bool interlaced, uint8_t* indices) {
    TGifLzwDecodeResult result;
    if (data.empty()) return result;
    const int codeSize = data[0];
    if (codeSize < 2 || codeSize > 9) return result;

    std::vector<uint8_t> codes;
    const size_t after = GifCollectSubBlocks(data, 1, codes);
    result.ok = true;
    result.consumed = after;
    if (codes.empty() || width <= 0 || height <= 0) return result;

    const size_t total = static_cast<size_t>(width) * static_cast<size_t>(height);
    size_t produced = 0;
    if (!interlaced) {
        if (!DecodeCodes(codes, codeSize, indices, total, produced)) return {};
        return result;
    }
    std::vector<uint8_t> fileOrder(total);
    if (!DecodeCodes(codes, codeSize, fileOrder.data(), total, produced)) return {};
    produced = std::min(produced, total);
    const size_t rowBytes = static_cast<size_t>(width);
    size_t from = 0;
    ForEachGifInterlacedRow(height, [&](int32_t row) {
        if (from >= produced) return;
        const size_t n = std::min(rowBytes, produced - from);
        std::memcpy(indices + static_cast<size_t>(row) * rowBytes, fileOrder.data() + from, n);
        from += rowBytes;
    });
    return result;
}

void GifLzwEncode(const uint8_t* indices, int32_t width, int32_t height, int bits, bool interlaced,
                  std::vector<uint8_t>& out) {
    bits = std::clamp(bits, 1, 8);
    const int codeSize = std::max(bits, 2);
    const uint32_t clear = 1u << codeSize;
    const uint32_t end = clear + 1;
    const uint32_t firstFree = clear + 2;
    const uint8_t mask = static_cast<uint8_t>(clear - 1);

    std::vector<uint8_t> raw;
    const size_t total = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
    raw.reserve(total / 2 + 64);
    LsbBitWriter writer(raw);

    std::array<int32_t, kHashSize> keys;
    std::array<uint16_t, kHashSize> values;
    keys.fill(-1);

    int codeWidth = codeSize + 1;
    uint32_t maxCode = (1u << codeWidth) - 1;
    uint32_t next = firstFree;
    bool clearPending = false;

    auto output = [&](uint32_t code) {
        writer.Put(code, codeWidth);
        if (clearPending) {
            codeWidth = codeSize + 1;
            maxCode = (1u << codeWidth) - 1;
            clearPending = false;
        } else if (next > maxCode) {
            ++codeWidth;
            maxCode = codeWidth == kMaxBits ? kTableSize : (1u << codeWidth) - 1;
        }
    };

    output(clear);
    bool started = false;
    uint32_t prefix = 0;
    auto encodeRow = [&](const uint8_t* row) {
        int32_t x = 0;
        if (!started) {
            prefix = row[0] & mask;
            started = true;
            x = 1;
        }
        for (; x < width; ++x) {
            const uint32_t c = row[x] & mask;
            const int32_t key = static_cast<int32_t>((c << kMaxBits) + prefix);
            int32_t h = static_cast<int32_t>((c << 4) ^ prefix);
            if (keys[h] == key) {
                prefix = values[h];
                continue;
            }
            if (keys[h] >= 0) {
                const int32_t disp = h == 0 ? 1 : kHashSize - h;
                bool found = false;
                for (;;) {
                    h -= disp;
                    if (h < 0) h += kHashSize;
                    if (keys[h] == key) {
                        found = true;
                        break;
                    }
                    if (keys[h] < 0) break;
                }
                if (found) {
                    prefix = values[h];
                    continue;
                }
            }
            output(prefix);
            if (next < kTableSize) {
                values[h] = static_cast<uint16_t>(next++);
                keys[h] = key;
            } else {
                keys.fill(-1);
                next = firstFree;
                clearPending = true;
                output(clear);
            }
            prefix = c;
        }
    };

    if (total > 0) {
        const size_t stride = static_cast<size_t>(width);
        if (interlaced) {
            ForEachGifInterlacedRow(height, [&](int32_t row) { encodeRow(indices + static_cast<size_t>(row) * stride); });
        } else {
            for (int32_t row = 0; row < height; ++row) encodeRow(indices + static_cast<size_t>(row) * stride);
        }
        output(prefix);
    }
    output(end);
    writer.Flush();

    out.reserve(out.size() + raw.size() + raw.size() / 254 + 3);
    out.push_back(static_cast<uint8_t>(codeSize));
    for (size_t at = 0; at < raw.size(); at += 254) {
        const size_t n = std::min<size_t>(254, raw.size() - at);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
    }
    out.push_back(0);
}

}  // namespace luma
