// Fax coding of bilevel rows as defined by ITU-T T.4 (modified Huffman, modified READ) and T.6
// (modified modified READ). Run lengths use the terminating codes (0..63), the make-up codes
// (64..1728 per colour) and the shared extended make-up codes (1792..2560); two-dimensional rows
// are described by pass, horizontal and vertical modes against the row above.
//
// The decoder looks codes up in direct tables indexed by the next 13 bits (7 for the modes), built
// once from the code lists below. Rows are handled as lists of changing elements (the positions
// where the colour changes), which is what the two-dimensional modes talk about.
//
// Deliberately not handled: uncompressed mode (the extension code is skipped like any unknown
// code) and the K factor of Group 3 two-dimensional encoding (every row after the first is coded
// against the row above).

#include "formats/ccitt.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace luma {
namespace {

// Code words as written in the recommendation, index = run length.
constexpr const char* kWhiteTerminating[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};

// Index i = run length 64 x (i + 1).
constexpr const char* kWhiteMakeUp[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};

constexpr const char* kBlackTerminating[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};

constexpr const char* kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};

// Shared by both colours; index i = run length 1792 + 64 x i.
constexpr const char* kExtendedMakeUp[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

enum Mode : uint8_t { kPass, kHorizontal, kV0, kVR1, kVR2, kVR3, kVL1, kVL2, kVL3, kInvalid };

struct ModeCode {
    const char* bits;
    Mode mode;
};
constexpr ModeCode kModes[] = {{"0001", kPass},     {"001", kHorizontal}, {"1", kV0},
                               {"011", kVR1},       {"000011", kVR2},     {"0000011", kVR3},
                               {"010", kVL1},       {"000010", kVL2},     {"0000010", kVL3}};

constexpr int kRunPeek = 13;
constexpr int kModePeek = 7;
constexpr uint32_t kEndOfLine = 1;  // eleven zero bits and a one, as a 12-bit value
constexpr int kEndOfLineBits = 12;

struct Code {
    uint16_t value = 0;
    uint8_t length = 0;
};

Code ParseCode(const char* bits) {
    Code c;
    for (const char* p = bits; *p; ++p) {
        c.value = static_cast<uint16_t>((c.value << 1) | (*p == '1' ? 1 : 0));
        ++c.length;
    }
    return c;
}

struct RunEntry {
    int16_t run = -1;  // -1: no code starts with these bits
    uint8_t length = 0;
};

struct Tables {
    std::array<Code, 64> terminating[2];
    std::array<Code, 27> makeUp[2];
    std::array<Code, 13> extended;
    std::array<Code, kInvalid> modes;
    std::array<RunEntry, 1 << kRunPeek> runs[2];
    std::array<RunEntry, 1 << kModePeek> modeLookup;  // run field holds the mode

    Tables() {
        const char* const* term[2] = {kWhiteTerminating, kBlackTerminating};
        const char* const* make[2] = {kWhiteMakeUp, kBlackMakeUp};
        for (int colour = 0; colour < 2; ++colour) {
            for (int i = 0; i < 64; ++i) Add(colour, terminating[colour][i] = ParseCode(term[colour][i]), i);
            for (int i = 0; i < 27; ++i) Add(colour, makeUp[colour][i] = ParseCode(make[colour][i]), 64 * (i + 1));
        }
        for (int i = 0; i < 13; ++i) {
            extended[i] = ParseCode(kExtendedMakeUp[i]);
            Add(0, extended[i], 1792 + 64 * i);
            Add(1, extended[i], 1792 + 64 * i);
        }
        for (const ModeCode& m : kModes) {
            const Code c = ParseCode(m.bits);
            modes[m.mode] = c;
            const int free = kModePeek - c.length;
            for (uint32_t tail = 0; tail < (1u << free); ++tail)
                modeLookup[(static_cast<uint32_t>(c.value) << free) | tail] = {static_cast<int16_t>(m.mode), c.length};
        }
    }

    void Add(int colour, Code c, int run) {
        const int free = kRunPeek - c.length;
        for (uint32_t tail = 0; tail < (1u << free); ++tail)
            runs[colour][(static_cast<uint32_t>(c.value) << free) | tail] = {static_cast<int16_t>(run), c.length};
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

uint8_t ReverseByte(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

// Sets pixels [from, to) of a packed row to `bit`.
void FillSpan(uint8_t* row, int32_t from, int32_t to, uint8_t bit) {
    if (from >= to) return;
    const uint8_t fill = bit ? 0xFF : 0x00;
    int32_t firstByte = from >> 3;
    const int32_t lastByte = (to - 1) >> 3;
    const uint8_t headMask = static_cast<uint8_t>(0xFF >> (from & 7));
    const uint8_t tailMask = static_cast<uint8_t>(0xFF << (7 - ((to - 1) & 7)));
    if (firstByte == lastByte) {
        const uint8_t mask = headMask & tailMask;
        row[firstByte] = static_cast<uint8_t>((row[firstByte] & ~mask) | (fill & mask));
        return;
    }
    row[firstByte] = static_cast<uint8_t>((row[firstByte] & ~headMask) | (fill & headMask));
    ++firstByte;
    if (lastByte > firstByte) std::memset(row + firstByte, fill, static_cast<size_t>(lastByte - firstByte));
    row[lastByte] = static_cast<uint8_t>((row[lastByte] & ~tailMask) | (fill & tailMask));
}

// Positions where the colour changes, starting from an imaginary white pixel before the row,
// followed by sentinels at the width.
void FindChanges(const uint8_t* row, int32_t width, uint8_t whiteBit, std::vector<int32_t>& changes) {
    changes.clear();
    const uint8_t flip = whiteBit ? 0xFF : 0x00;  // after xor, black pixels are 1 bits
    bool black = false;
    const int32_t bytes = (width + 7) / 8;
    for (int32_t i = 0; i < bytes; ++i) {
        const uint8_t b = static_cast<uint8_t>(row[i] ^ flip);
        if (b == (black ? 0xFF : 0x00)) continue;
        const int32_t base = i * 8;
        for (int bit = 0; bit < 8 && base + bit < width; ++bit) {
            const bool pixelBlack = (b >> (7 - bit)) & 1;
            if (pixelBlack != black) {
                changes.push_back(base + bit);
                black = pixelBlack;
            }
        }
    }
    changes.insert(changes.end(), 3, width);
}

// First changing element of `line` beyond a0 whose colour (the colour of the pixel it starts) is
// opposite to `colourBlack`: even indexes start black pixels, odd ones white pixels.
size_t FindB1(const std::vector<int32_t>& line, size_t hint, int32_t a0, bool colourBlack) {
    size_t i = std::min(hint, line.size() - 1);
    while (i > 0 && line[i - 1] > a0) --i;
    const size_t parity = colourBlack ? 1 : 0;
    while (i + 2 < line.size() && (line[i] <= a0 || (i & 1) != parity)) ++i;
    return i;
}

}  // namespace

void ReverseBitOrder(std::span<uint8_t> bytes) {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) t[i] = ReverseByte(static_cast<uint8_t>(i));
        return t;
    }();
    for (uint8_t& b : bytes) b = table[b];
}

// ---- decoding ----

TCcittDecoder::TCcittDecoder(const TCcittParams& params) : params_(params) {
    params_.width = std::max<int32_t>(params_.width, 0);
    GetTables();
}

void TCcittDecoder::Reset(std::span<const uint8_t> data, bool reversedBitOrder) {
    if (reversedBitOrder) {
        reversed_.assign(data.begin(), data.end());
        ReverseBitOrder(reversed_);
        data_ = reversed_;
    } else {
        data_ = data;
    }
    bitPos_ = 0;
    bitEnd_ = data_.size() * 8;
    reference_.assign(3, params_.width);
    firstRow_ = true;
}

uint32_t TCcittDecoder::Peek(int n) const {
    // Up to 13 bits may straddle three bytes; bits past the end read as zero.
    const size_t byte = bitPos_ >> 3;
    uint32_t window = 0;
    for (size_t i = 0; i < 3; ++i) {
        window <<= 8;
        if (byte + i < data_.size()) window |= data_[byte + i];
    }
    const int shift = 24 - static_cast<int>(bitPos_ & 7) - n;
    return (window >> shift) & ((1u << n) - 1);
}

int32_t TCcittDecoder::DecodeRun(bool black) {
    const auto& table = GetTables().runs[black ? 1 : 0];
    int32_t total = 0;
    for (;;) {
        if (AtEnd()) return -1;
        const RunEntry e = table[Peek(kRunPeek)];
        if (e.run < 0) return -1;
        Skip(e.length);
        total += e.run;
        if (e.run < 64) return total;
        if (total > (1 << 24)) return -1;
    }
}

bool TCcittDecoder::SkipEndOfLines() {
    bool seen = false;
    while (!AtEnd()) {
        const uint32_t next = Peek(kEndOfLineBits);
        if (next == kEndOfLine) {
            Skip(kEndOfLineBits);
            seen = true;
        } else if (next == 0) {
            Skip(1);  // fill bit (no code starts with twelve zeros)
        } else {
            break;
        }
    }
    return seen;
}

bool TCcittDecoder::DecodeRow(uint8_t* row) {
    const int32_t width = params_.width;
    const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
    const uint8_t white = params_.whiteBit ? 1 : 0;
    std::memset(row, white ? 0xFF : 0x00, rowBytes);

    bool twoD = false;
    switch (params_.scheme) {
        case TCcittScheme::ModifiedHuffman:
            bitPos_ = (bitPos_ + 7) & ~size_t{7};
            SkipEndOfLines();
            break;
        case TCcittScheme::Group3: {
            const bool eol = SkipEndOfLines();
            if (params_.twoDimensional && eol && !AtEnd()) {
                twoD = Peek(1) == 0;
                Skip(1);
            }
            break;
        }
        case TCcittScheme::Group4:
            // An end-of-line code here is the end of the facsimile block.
            if (SkipEndOfLines()) bitPos_ = bitEnd_;
            twoD = true;
            break;
    }
    if (AtEnd()) {
        reference_.assign(3, width);
        return false;
    }
    const bool ok = twoD ? DecodeTwoDimensional(row) : DecodeOneDimensional(row);
    firstRow_ = false;
    return ok;
}

bool TCcittDecoder::DecodeOneDimensional(uint8_t* row) {
    const int32_t width = params_.width;
    const uint8_t blackBit = params_.whiteBit ? 0 : 1;
    current_.clear();
    int32_t a0 = 0;
    bool black = false;
    while (a0 < width && !AtEnd()) {
        const int32_t run = DecodeRun(black);
        if (run < 0) {
            if (Peek(kEndOfLineBits) <= kEndOfLine) break;  // row cut short by an end-of-line code
            Skip(1);
            continue;
        }
        const int32_t a1 = std::min(width, a0 + run);
        if (black) FillSpan(row, a0, a1, blackBit);
        if (a1 < width) current_.push_back(a1);
        a0 = a1;
        black = !black;
    }
    current_.insert(current_.end(), 3, width);
    reference_.swap(current_);
    return true;
}

bool TCcittDecoder::DecodeTwoDimensional(uint8_t* row) {
    const int32_t width = params_.width;
    const uint8_t blackBit = params_.whiteBit ? 0 : 1;
    const auto& modes = GetTables().modeLookup;
    const std::vector<int32_t>& ref = reference_;
    current_.clear();
    int32_t a0 = -1;
    bool black = false;
    size_t hint = 0;
    while (a0 < width && !AtEnd()) {
        const RunEntry m = modes[Peek(kModePeek)];
        if (m.run < 0) {
            if (Peek(kEndOfLineBits) <= kEndOfLine) break;
            Skip(1);
            continue;
        }
        Skip(m.length);
        const size_t i = FindB1(ref, hint, a0, black);
        hint = i;
        const int32_t b1 = ref[i];
        const int32_t b2 = ref[std::min(i + 1, ref.size() - 1)];
        const int32_t start = std::max(a0, 0);
        switch (static_cast<Mode>(m.run)) {
            case kPass: {
                const int32_t end = std::min(b2, width);
                if (black) FillSpan(row, start, end, blackBit);
                a0 = std::max(end, start);
                break;
            }
            case kHorizontal: {
                const int32_t r1 = DecodeRun(black);
                const int32_t r2 = r1 < 0 ? -1 : DecodeRun(!black);
                if (r2 < 0) {
                    a0 = width;  // cannot resynchronise inside a row
                    break;
                }
                const int32_t a1 = std::min(width, start + r1);
                const int32_t a2 = std::min(width, a1 + r2);
                FillSpan(row, black ? start : a1, black ? a1 : a2, blackBit);
                current_.push_back(a1);
                current_.push_back(a2);
                a0 = a2;
                break;
            }
            default: {
                static constexpr int32_t kOffset[] = {0, 0, 0, 1, 2, 3, -1, -2, -3};
                const int32_t a1 = std::clamp(b1 + kOffset[m.run], start, width);
                if (black) FillSpan(row, start, a1, blackBit);
                current_.push_back(a1);
                a0 = a1;
                black = !black;
                break;
            }
        }
    }
    current_.insert(current_.end(), 3, width);
    reference_.swap(current_);
    return true;
}

// ---- encoding ----

TCcittEncoder::TCcittEncoder(const TCcittParams& params) : params_(params) {
    params_.width = std::max<int32_t>(params_.width, 0);
    GetTables();
}

void TCcittEncoder::Reset(std::vector<uint8_t>& out) {
    out_ = &out;
    acc_ = 0;
    bits_ = 0;
    firstRow_ = true;
    reference_.assign(3, params_.width);
}

void TCcittEncoder::PutBits(uint32_t code, int length) {
    acc_ = (acc_ << length) | code;
    bits_ += length;
    while (bits_ >= 8) {
        out_->push_back(static_cast<uint8_t>(acc_ >> (bits_ - 8)));
        bits_ -= 8;
    }
}

void TCcittEncoder::AlignToByte() {
    if (bits_ > 0) PutBits(0, 8 - bits_);
}

void TCcittEncoder::PutRun(int32_t run, bool black) {
    const Tables& t = GetTables();
    const int colour = black ? 1 : 0;
    while (run >= 2560) {
        PutBits(t.extended[12].value, t.extended[12].length);
        run -= 2560;
    }
    if (run >= 64) {
        const int32_t makeUp = run / 64;  // 1..39
        const Code c = makeUp <= 27 ? t.makeUp[colour][makeUp - 1] : t.extended[makeUp - 28];
        PutBits(c.value, c.length);
        run -= makeUp * 64;
    }
    PutBits(t.terminating[colour][run].value, t.terminating[colour][run].length);
}

void TCcittEncoder::EncodeOneDimensional(const std::vector<int32_t>& changes) {
    const int32_t width = params_.width;
    int32_t a0 = 0;
    bool black = false;
    for (size_t i = 0; a0 < width; ++i) {
        const int32_t a1 = changes[std::min(i, changes.size() - 1)];
        PutRun(a1 - a0, black);
        a0 = a1;
        black = !black;
    }
    if (width == 0) PutRun(0, false);
}

void TCcittEncoder::EncodeTwoDimensional(const std::vector<int32_t>& changes) {
    const Tables& t = GetTables();
    const int32_t width = params_.width;
    const std::vector<int32_t>& ref = reference_;
    int32_t a0 = -1;
    bool black = false;
    size_t ia = 0;  // index of a1 in `changes`
    size_t hint = 0;
    while (a0 < width) {
        while (ia + 1 < changes.size() && changes[ia] <= a0) ++ia;
        const int32_t a1 = changes[ia];
        const size_t ib = FindB1(ref, hint, a0, black);
        hint = ib;
        const int32_t b1 = ref[ib];
        const int32_t b2 = ref[std::min(ib + 1, ref.size() - 1)];
        if (b2 < a1) {
            PutBits(t.modes[kPass].value, t.modes[kPass].length);
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            static constexpr Mode kVertical[] = {kVL3, kVL2, kVL1, kV0, kVR1, kVR2, kVR3};
            const Code c = t.modes[kVertical[a1 - b1 + 3]];
            PutBits(c.value, c.length);
            a0 = a1;
            black = !black;
        } else {
            const int32_t a2 = changes[std::min(ia + 1, changes.size() - 1)];
            const int32_t start = std::max(a0, 0);
            PutBits(t.modes[kHorizontal].value, t.modes[kHorizontal].length);
            PutRun(a1 - start, black);
            PutRun(a2 - a1, !black);
            a0 = a2;
        }
    }
}

void TCcittEncoder::EncodeRow(const uint8_t* row) {
    FindChanges(row, params_.width, params_.whiteBit ? 1 : 0, current_);
    switch (params_.scheme) {
        case TCcittScheme::ModifiedHuffman:
            EncodeOneDimensional(current_);
            AlignToByte();
            break;
        case TCcittScheme::Group3:
            if (params_.twoDimensional) {
                PutBits(kEndOfLine, kEndOfLineBits);
                PutBits(firstRow_ ? 1 : 0, 1);
                if (firstRow_) {
                    EncodeOneDimensional(current_);
                } else {
                    EncodeTwoDimensional(current_);
                }
            } else {
                if (params_.endOfLineBeforeRows) PutBits(kEndOfLine, kEndOfLineBits);
                EncodeOneDimensional(current_);
            }
            break;
        case TCcittScheme::Group4:
            EncodeTwoDimensional(current_);
            break;
    }
    reference_.swap(current_);
    firstRow_ = false;
}

void TCcittEncoder::Finish() {
    if (params_.scheme == TCcittScheme::Group3 && params_.twoDimensional) PutBits(kEndOfLine, kEndOfLineBits);
    if (params_.scheme == TCcittScheme::Group4) {
        PutBits(kEndOfLine, kEndOfLineBits);
        PutBits(kEndOfLine, kEndOfLineBits);
    }
    AlignToByte();
}

}  // namespace luma
