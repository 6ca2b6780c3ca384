#pragma once
// The LZW coder of TIFF strips: codes most significant bit first from 9 to 12 bits, clear code 256,
// end code 257, and the code width growing one code early. A strip is one code stream; the decoder
// hands it out row by row and the encoder takes it in row by row.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace luma {

class TTiffLzwDecoder {
public:
    TTiffLzwDecoder();
    ~TTiffLzwDecoder();
    TTiffLzwDecoder(const TTiffLzwDecoder&) = delete;
    TTiffLzwDecoder& operator=(const TTiffLzwDecoder&) = delete;

    // Starts a new strip over `data`, which must stay valid until the next Reset.
    void Reset(std::span<const uint8_t> data);

    // Fills `row` with the next decoded bytes; bytes a string produces beyond the row are kept for
    // the next call. Returns the number of bytes decoded; the rest of the row is set to zero when
    // the stream ends early. Failed() tells whether it ended on a bad code.
    size_t DecodeRow(std::span<uint8_t> row);

    // Decodes as much as fits into `out` (the whole strip, typically).
    size_t Decode(std::span<uint8_t> out);

    // True when a code beyond the table (or a table grown past 4096 entries) was met.
    bool Failed() const { return failed_; }
    // True when the end code was read or the data is used up (no pending bytes either).
    bool Finished() const;

private:
    struct Table;
    std::unique_ptr<Table> table_;
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    uint64_t buf_ = 0;
    int bits_ = 0;
    int width_ = 9;
    uint32_t next_ = 258;
    uint32_t prev_ = 0;
    bool havePrev_ = false;
    bool ended_ = false;
    bool failed_ = false;
    std::vector<uint8_t> pending_;  // decoded bytes not handed out yet
    size_t pendingAt_ = 0;
};

class TTiffLzwEncoder {
public:
    TTiffLzwEncoder();
    ~TTiffLzwEncoder();
    TTiffLzwEncoder(const TTiffLzwEncoder&) = delete;
    TTiffLzwEncoder& operator=(const TTiffLzwEncoder&) = delete;

    // Starts a new code stream appending to `out`.
    void Reset(std::vector<uint8_t>& out);
    // Keeps the code stream going but appends to another vector from now on.
    void Redirect(std::vector<uint8_t>& out) { out_ = &out; }
    // Adds the next bytes of the strip.
    void Encode(std::span<const uint8_t> bytes);
    // Writes the last code, the end code and the remaining bits padded to a byte.
    void Finish();

private:
    void Put(uint32_t code);
    void Output(uint32_t code);
    void FlushStage();

    // Whole bytes are gathered here and appended to the output in batches.
    static constexpr size_t kStage = 4096;
    uint8_t stage_[kStage];
    size_t staged_ = 0;

    std::vector<uint8_t>* out_ = nullptr;
    // Open-addressing string table: key (pixel << 12) + prefix, -1 when empty, and its code side
    // by side so that a hit costs one cache line.
    struct Slot {
        int32_t key;
        uint32_t code;
    };
    std::unique_ptr<Slot[]> slots_;
    uint64_t acc_ = 0;
    int bits_ = 0;
    int width_ = 9;
    uint32_t maxCode_ = 511;
    uint32_t next_ = 258;
    uint32_t prefix_ = 0;
    bool started_ = false;
};

// Whole-buffer helpers.
std::vector<uint8_t> TiffLzwEncodeBytes(std::span<const uint8_t> bytes);
// Returns false on a bad code; `out` is resized to the bytes decoded (at most maxBytes).
bool TiffLzwDecodeBytes(std::span<const uint8_t> data, size_t maxBytes, std::vector<uint8_t>& out);

}  // namespace luma
