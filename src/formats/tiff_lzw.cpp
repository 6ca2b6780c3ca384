// TIFF LZW. The decoder mirrors the GIF one (prefix/suffix links, strings written backwards) but
// reads codes most significant bit first and widens them when the table reaches 511, 1023 and 2047
// entries, one code before GIF would. Strings that straddle two rows are parked in a small buffer.
//
// The encoder uses the same 5003-entry open-addressing table as the GIF encoder and sends a clear
// code as soon as the next free code passes 4093, so that no code ever needs more than 12 bits.

#include "formats/tiff_lzw.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace luma {
namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEnd = 257;
constexpr uint32_t kFirstFree = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
constexpr uint32_t kTableSize = 4096;
constexpr int32_t kHashSize = 5003;

}  // namespace

struct TTiffLzwDecoder::Table {
    std::array<uint16_t, kTableSize> prefix;
    std::array<uint16_t, kTableSize> length;
    std::array<uint8_t, kTableSize> suffix;
    std::array<uint8_t, kTableSize> first;
    std::array<uint8_t, kTableSize> spill;
};

TTiffLzwDecoder::TTiffLzwDecoder() : table_(std::make_unique<Table>()) {
    for (uint32_t i = 0; i < kTableSize; ++i) {
        table_->prefix[i] = 0;
        table_->length[i] = 1;
        table_->suffix[i] = static_cast<uint8_t>(i);
        table_->first[i] = static_cast<uint8_t>(i);
    }
}

TTiffLzwDecoder::~TTiffLzwDecoder() = default;

void TTiffLzwDecoder::Reset(std::span<const uint8_t> data) {
    data_ = data;
    pos_ = 0;
    buf_ = 0;
    bits_ = 0;
    width_ = kMinBits;
    next_ = kFirstFree;
    havePrev_ = false;
    ended_ = false;
    failed_ = false;
    pending_.clear();
    pendingAt_ = 0;
}

bool TTiffLzwDecoder::Finished() const {
    if (pendingAt_ < pending_.size()) return false;
    return ended_ || failed_ || (pos_ >= data_.size() && bits_ < width_);
}

size_t TTiffLzwDecoder::DecodeRow(std::span<uint8_t> row) {
    size_t n = Decode(row);
    if (n < row.size()) std::memset(row.data() + n, 0, row.size() - n);
    return n;
}

size_t TTiffLzwDecoder::Decode(std::span<uint8_t> row) {
    uint8_t* const out = row.data();
    const size_t size = row.size();
    size_t n = 0;

    if (pendingAt_ < pending_.size()) {
        const size_t take = std::min(size, pending_.size() - pendingAt_);
        std::memcpy(out, pending_.data() + pendingAt_, take);
        pendingAt_ += take;
        n = take;
        if (pendingAt_ == pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
        }
    }

    uint16_t* const prefix = table_->prefix.data();
    uint16_t* const length = table_->length.data();
    uint8_t* const suffix = table_->suffix.data();
    uint8_t* const first = table_->first.data();
    const uint8_t* const data = data_.data();
    const size_t dataSize = data_.size();

    // Locals keep the hot state in registers.
    uint64_t buf = buf_;
    int bits = bits_;
    size_t pos = pos_;
    int width = width_;
    uint32_t next = next_;
    uint32_t prev = prev_;
    bool havePrev = havePrev_;

    while (n < size && !ended_ && !failed_) {
        if (bits < width) {
            while (bits <= 56 && pos < dataSize) {
                buf = (buf << 8) | data[pos++];
                bits += 8;
            }
            if (bits < width) {
                ended_ = true;
                break;
            }
        }
        uint32_t code = static_cast<uint32_t>(buf >> (bits - width)) & ((1u << width) - 1);
        bits -= width;

        if (code == kClear) {
            width = kMinBits;
            next = kFirstFree;
            havePrev = false;
            continue;
        }
        if (code == kEnd) {
            ended_ = true;
            break;
        }
        if (!havePrev) {
            if (code > 255) {
                failed_ = true;
                break;
            }
            out[n++] = static_cast<uint8_t>(code);
            prev = code;
            havePrev = true;
            continue;
        }
        if (code > next || next >= kTableSize) {
            failed_ = true;
            break;
        }
        prefix[next] = static_cast<uint16_t>(prev);
        suffix[next] = code == next ? first[prev] : first[code];
        first[next] = first[prev];
        length[next] = static_cast<uint16_t>(length[prev] + 1);
        ++next;
        prev = code;
        if (next + 1 >= (1u << width) && width < kMaxBits) ++width;

        const size_t len = length[code];
        uint8_t* dst = n + len <= size ? out + n : table_->spill.data();
        uint8_t* p = dst + len - 1;
        while (code >= kFirstFree) {
            *p-- = suffix[code];
            code = prefix[code];
        }
        *p = static_cast<uint8_t>(code);
        if (dst == out + n) {
            n += len;
        } else {
            const size_t fit = size - n;
            std::memcpy(out + n, dst, fit);
            pending_.assign(dst + fit, dst + len);
            pendingAt_ = 0;
            n = size;
        }
    }

    buf_ = buf;
    bits_ = bits;
    pos_ = pos;
    width_ = width;
    next_ = next;
    prev_ = prev;
    havePrev_ = havePrev;
    return n;
}

TTiffLzwEncoder::TTiffLzwEncoder()
    : slots_(std::make_unique<Slot[]>(kHashSize)) {}

TTiffLzwEncoder::~TTiffLzwEncoder() = default;

void TTiffLzwEncoder::Reset(std::vector<uint8_t>& out) {
    out_ = &out;
    staged_ = 0;
    std::fill_n(slots_.get(), kHashSize, Slot{-1, 0});
    acc_ = 0;
    bits_ = 0;
    width_ = kMinBits;
    maxCode_ = (1u << kMinBits) - 1;
    next_ = kFirstFree;
    prefix_ = 0;
    started_ = false;
}

void TTiffLzwEncoder::Put(uint32_t code) {
    acc_ = (acc_ << width_) | code;
    bits_ += width_;
    if (bits_ >= 32) {
        const uint32_t word = static_cast<uint32_t>(acc_ >> (bits_ - 32));
        bits_ -= 32;
        if (staged_ + 4 > kStage) FlushStage();
        uint8_t* p = stage_ + staged_;
        p[0] = static_cast<uint8_t>(word >> 24);
        p[1] = static_cast<uint8_t>(word >> 16);
        p[2] = static_cast<uint8_t>(word >> 8);
        p[3] = static_cast<uint8_t>(word);
        staged_ += 4;
    }
}

void TTiffLzwEncoder::FlushStage() {
    out_->insert(out_->end(), stage_, stage_ + staged_);
    staged_ = 0;
}

void TTiffLzwEncoder::Output(uint32_t code) {
    Put(code);
    ++next_;
    if (next_ > 4093) {
        Put(kClear);
        std::fill_n(slots_.get(), kHashSize, Slot{-1, 0});
        next_ = kFirstFree;
        width_ = kMinBits;
        maxCode_ = (1u << kMinBits) - 1;
    } else if (next_ > maxCode_) {
        ++width_;
        maxCode_ = (1u << width_) - 1;
    }
}

void TTiffLzwEncoder::Encode(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    size_t i = 0;
    if (!started_) {
        Put(kClear);
        prefix_ = bytes[0];
        started_ = true;
        i = 1;
    }
    Slot* const slots = slots_.get();
    uint32_t prefix = prefix_;
    for (; i < bytes.size(); ++i) {
        const uint32_t c = bytes[i];
        const int32_t key = static_cast<int32_t>((c << kMaxBits) + prefix);
        int32_t h = static_cast<int32_t>((c << 4) ^ prefix);
        if (slots[h].key == key) {
            prefix = slots[h].code;
            continue;
        }
        if (slots[h].key >= 0) {
            const int32_t disp = h == 0 ? 1 : kHashSize - h;
            bool found = false;
            for (;;) {
                h -= disp;
                if (h < 0) h += kHashSize;
                if (slots[h].key == key) {
                    found = true;
                    break;
                }
                if (slots[h].key < 0) break;
            }
            if (found) {
                prefix = slots[h].code;
                continue;
            }
        }
        // The entry goes in before Output, which may clear the table.
        slots[h] = Slot{key, next_};
        Output(prefix);
        prefix = c;
    }
    prefix_ = prefix;
    FlushStage();
}

void TTiffLzwEncoder::Finish() {
    if (!started_) {
        Put(kClear);
    } else {
        Put(prefix_);
        // The decoder adds an entry for this code too, so the width follows it.
        ++next_;
        if (next_ > maxCode_ && width_ < kMaxBits) ++width_;
    }
    Put(kEnd);
    FlushStage();
    while (bits_ > 0) {
        const int shift = bits_ >= 8 ? bits_ - 8 : 0;
        uint8_t byte = static_cast<uint8_t>(acc_ >> shift);
        if (bits_ < 8) byte = static_cast<uint8_t>(byte << (8 - bits_));
        out_->push_back(byte);
        bits_ -= 8;
    }
    bits_ = 0;
    acc_ = 0;
    started_ = false;
}

std::vector<uint8_t> TiffLzwEncodeBytes(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    TTiffLzwEncoder encoder;
    encoder.Reset(out);
    encoder.Encode(bytes);
    encoder.Finish();
    return out;
}

bool TiffLzwDecodeBytes(std::span<const uint8_t> data, size_t maxBytes, std::vector<uint8_t>& out) {
    TTiffLzwDecoder decoder;
    decoder.Reset(data);
    out.resize(maxBytes);
    const size_t n = decoder.Decode(out);
    out.resize(n);
    return !decoder.Failed();
}

}  // namespace luma
