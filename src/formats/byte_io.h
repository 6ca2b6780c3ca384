#pragma once
// Byte-level helpers every format reader and writer uses.
//
// Reading: a format reader is handed the whole file as one bounded span and walks it with a
// TByteCursor. Every read is checked: reading past the end yields zeros, leaves the position at the
// end and sets a sticky failure flag, so a reader can parse a header in one go and test Ok() once.
// No helper ever touches a byte outside the span.
//
// Writing: a format writer is handed a TOutputStream. Every write goes through Write(), which
// marks the stream failed and sets the I/O object's abort flag when fewer bytes than asked were
// written; writers stop at the next row once the flag is set.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

namespace luma {

// --- unaligned loads and stores, explicit byte order ---------------------------------------

constexpr uint16_t LoadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
constexpr uint32_t LoadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint16_t LoadBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
constexpr uint32_t LoadBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
constexpr void StoreLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
constexpr void StoreBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
constexpr void StoreBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// --- checked arithmetic ----------------------------------------------------------------------

// a x b for non-negative operands; false when either is negative or the product overflows.
constexpr bool CheckedMul(int64_t a, int64_t b, int64_t& result) {
    if (a < 0 || b < 0) return false;
    if (a != 0 && b > std::numeric_limits<int64_t>::max() / a) return false;
    result = a * b;
    return true;
}

// --- bounded reading -------------------------------------------------------------------------

// A source of bytes pulled in chunks: what the libjpeg and libpng stream callbacks read from.
class TByteReader {
public:
    virtual ~TByteReader() = default;
    // Copies up to `size` bytes into dst; returns how many (0 at the end).
    virtual size_t Read(uint8_t* dst, size_t size) = 0;
};

// Pulls from bytes held in memory.
class TSpanByteReader final : public TByteReader {
public:
    explicit TSpanByteReader(std::span<const uint8_t> data) : data_(data) {}
    size_t Read(uint8_t* dst, size_t size) override {
        const size_t n = size < data_.size() - pos_ ? size : data_.size() - pos_;
        if (n > 0) {
            std::memcpy(dst, data_.data() + pos_, n);
            pos_ += n;
        }
        return n;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

class TByteCursor {
public:
    TByteCursor() = default;
    explicit TByteCursor(std::span<const uint8_t> data, size_t pos = 0)
        : data_(data), pos_(pos <= data.size() ? pos : data.size()), ok_(pos <= data.size()) {}

    std::span<const uint8_t> Data() const { return data_; }
    size_t Size() const { return data_.size(); }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    // False once any read, skip or seek went past the end (sticky until ClearError).
    bool Ok() const { return ok_; }
    void ClearError() { ok_ = true; }
    // Pointer to the current byte (valid for Remaining() bytes).
    const uint8_t* Here() const { return data_.data() + pos_; }

    // Moves to `pos`; beyond the end: moves to the end and fails.
    bool Seek(size_t pos) {
        if (pos > data_.size()) return Fail();
        pos_ = pos;
        return true;
    }
    // Moves `n` bytes on; past the end: moves to the end and fails.
    bool Skip(size_t n) {
        if (n > Remaining()) return Fail();
        pos_ += n;
        return true;
    }
    // True when `n` more bytes are available (no state change).
    bool Has(size_t n) const { return n <= Remaining(); }

    // Copies exactly n bytes; when fewer remain, copies nothing, zero-fills `dst`, moves to the
    // end and fails.
    bool Read(void* dst, size_t n) {
        if (n > Remaining()) {
            if (n > 0) std::memset(dst, 0, n);
            return Fail();
        }
        if (n > 0) std::memcpy(dst, data_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    // The next n bytes as a view; when fewer remain, an empty view (and a failure).
    std::span<const uint8_t> Take(size_t n) {
        if (n > Remaining()) {
            Fail();
            return {};
        }
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // Up to n bytes as a view (fewer at the end of the data; never fails).
    std::span<const uint8_t> TakeUpTo(size_t n) {
        const size_t k = n < Remaining() ? n : Remaining();
        auto s = data_.subspan(pos_, k);
        pos_ += k;
        return s;
    }

    uint8_t U8() {
        if (!Has(1)) {
            Fail();
            return 0;
        }
        return data_[pos_++];
    }
    uint16_t LE16() { return Fixed<2>() ? LoadLE16(data_.data() + pos_ - 2) : 0; }
    uint32_t LE32() { return Fixed<4>() ? LoadLE32(data_.data() + pos_ - 4) : 0; }
    int32_t LE32s() { return static_cast<int32_t>(LE32()); }
    uint16_t BE16() { return Fixed<2>() ? LoadBE16(data_.data() + pos_ - 2) : 0; }
    uint32_t BE32() { return Fixed<4>() ? LoadBE32(data_.data() + pos_ - 4) : 0; }
    int32_t BE32s() { return static_cast<int32_t>(BE32()); }

private:
    bool Fail() {
        pos_ = data_.size();
        ok_ = false;
        return false;
    }
    template <size_t N>
    bool Fixed() {
        if (!Has(N)) return Fail();
        pos_ += N;
        return true;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// --- writing ---------------------------------------------------------------------------------

// A seekable output. Implementations provide the raw operations; writers use Write() and the
// typed helpers, which report short writes through Failed() and the attached abort flag.
class TOutputStream {
public:
    virtual ~TOutputStream() = default;

    // Sets *flag to true on the first short write (the I/O object passes its Aborting here).
    void SetAbortFlag(bool* flag) { abortFlag_ = flag; }

    // Writes n bytes; false (and the stream failed, the abort flag set) when not all were
    // written. Once failed, nothing more is written.
    bool Write(const void* data, size_t n) {
        if (failed_) return false;
        if (n == 0) return true;
        if (WriteRaw(data, n) == n) return true;
        MarkFailed();
        return false;
    }
    bool Write(std::span<const uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
    bool WriteU8(uint8_t v) { return Write(&v, 1); }
    bool WriteLE16(uint16_t v) {
        uint8_t b[2];
        StoreLE16(b, v);
        return Write(b, 2);
    }
    bool WriteLE32(uint32_t v) {
        uint8_t b[4];
        StoreLE32(b, v);
        return Write(b, 4);
    }
    bool WriteBE16(uint16_t v) {
        uint8_t b[2];
        StoreBE16(b, v);
        return Write(b, 2);
    }
    bool WriteBE32(uint32_t v) {
        uint8_t b[4];
        StoreBE32(b, v);
        return Write(b, 4);
    }

    // Current write position (bytes from the start of the output).
    virtual int64_t Position() const = 0;
    // Moves the write position (within what was written, or to its end); false on failure,
    // which also fails the stream.
    bool Seek(int64_t pos) {
        if (failed_) return false;
        if (SeekRaw(pos)) return true;
        MarkFailed();
        return false;
    }

    bool Failed() const { return failed_; }

protected:
    // Writes up to n bytes and returns how many were written.
    virtual size_t WriteRaw(const void* data, size_t n) = 0;
    virtual bool SeekRaw(int64_t pos) = 0;

private:
    void MarkFailed() {
        failed_ = true;
        if (abortFlag_ != nullptr) *abortFlag_ = true;
    }

    bool* abortFlag_ = nullptr;
    bool failed_ = false;
};

// An output into memory (tests, and formats that embed one coder's output in another's file).
// An optional limit makes writes beyond it short, to exercise the failure path.
class TMemoryOutput final : public TOutputStream {
public:
    TMemoryOutput() = default;
    explicit TMemoryOutput(size_t limit) : limit_(limit) {}

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }
    int64_t Position() const override { return static_cast<int64_t>(pos_); }

protected:
    size_t WriteRaw(const void* data, size_t n) override;
    bool SeekRaw(int64_t pos) override;

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    size_t limit_ = std::numeric_limits<size_t>::max();
};

}  // namespace luma
