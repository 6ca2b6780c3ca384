#pragma once
// Bilevel fax coding: modified Huffman (one row per byte-aligned code run), Group 3 one- and
// two-dimensional with end-of-line codes, and Group 4. Rows are packed 8 pixels per byte, most
// significant bit first; which bit value means white is a parameter.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace luma {

enum class TCcittScheme { ModifiedHuffman, Group3, Group4 };

struct TCcittParams {
    TCcittScheme scheme = TCcittScheme::Group4;
    int32_t width = 0;
    // Group 3 only: rows may be coded two-dimensionally (the tag bit after each end-of-line code
    // chooses); for the encoder every row after the first is.
    bool twoDimensional = false;
    // Group 3 one-dimensional encoding only: put an end-of-line code before every row.
    bool endOfLineBeforeRows = false;
    // Bit value of a white pixel in decoded or source rows.
    uint8_t whiteBit = 1;
};

class TCcittDecoder {
public:
    explicit TCcittDecoder(const TCcittParams& params);

    // Starts a new strip; `data` must stay valid until the next Reset. With `reversedBitOrder` the
    // bytes are taken least significant bit first (fill order 2).
    void Reset(std::span<const uint8_t> data, bool reversedBitOrder = false);

    // Decodes the next row into (width + 7) / 8 bytes. Returns false when the data was used up
    // before the row began (the row is then all white). Codes found in no table are skipped bit by
    // bit; a row cut short by an end-of-line code keeps white for the rest.
    bool DecodeRow(uint8_t* row);

private:
    bool DecodeOneDimensional(uint8_t* row);
    bool DecodeTwoDimensional(uint8_t* row);

    TCcittParams params_;
    std::vector<uint8_t> reversed_;
    std::span<const uint8_t> data_;
    size_t bitPos_ = 0;
    size_t bitEnd_ = 0;
    std::vector<int32_t> reference_;
    std::vector<int32_t> current_;
    bool firstRow_ = true;

    uint32_t Peek(int n) const;
    void Skip(int n) { bitPos_ += static_cast<size_t>(n); }
    bool AtEnd() const { return bitPos_ >= bitEnd_; }
    int32_t DecodeRun(bool black);
    bool SkipEndOfLines();
};

class TCcittEncoder {
public:
    explicit TCcittEncoder(const TCcittParams& params);

    // Starts a new strip appending to `out`.
    void Reset(std::vector<uint8_t>& out);
    void EncodeRow(const uint8_t* row);
    // Writes the closing codes of the scheme and the last bits padded with zero bits to a byte.
    void Finish();

private:
    void PutBits(uint32_t code, int length);
    void PutRun(int32_t run, bool black);
    void AlignToByte();
    void EncodeOneDimensional(const std::vector<int32_t>& changes);
    void EncodeTwoDimensional(const std::vector<int32_t>& changes);

    TCcittParams params_;
    std::vector<uint8_t>* out_ = nullptr;
    uint64_t acc_ = 0;
    int bits_ = 0;
    bool firstRow_ = true;
    std::vector<int32_t> reference_;
    std::vector<int32_t> current_;
};

// Reverses the bit order of every byte (fill order 2 to 1 and back).
void ReverseBitOrder(std::span<uint8_t> bytes);

}  // namespace luma
