#pragma once
// Zeroed memory for pixels. Blocks of 4 MiB and more are mapped on a huge-page boundary and
// advised to use huge pages: the first write to a large image then takes one page fault per
// 2 MiB instead of one per 4 KiB, which otherwise dominates decoding into, or turning into, a
// fresh image.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace luma {

class TPixelMemory {
public:
    TPixelMemory() = default;
    // `bytes` zeroed bytes; throws std::bad_alloc when there is no memory.
    explicit TPixelMemory(size_t bytes);
    TPixelMemory(TPixelMemory&&) noexcept = default;
    TPixelMemory& operator=(TPixelMemory&&) noexcept = default;
    TPixelMemory(const TPixelMemory&) = delete;
    TPixelMemory& operator=(const TPixelMemory&) = delete;

    uint8_t* data() { return block_.get(); }
    const uint8_t* data() const { return block_.get(); }
    size_t size() const { return size_; }
    void swap(TPixelMemory& other) noexcept {
        block_.swap(other.block_);
        std::swap(size_, other.size_);
    }
    void reset() {
        block_.reset();
        size_ = 0;
    }
    // A copy of the contents.
    TPixelMemory Clone() const;

private:
    // Frees a calloc block, or a private mapping of mappedBytes.
    struct TDeleter {
        TDeleter() noexcept : mappedBytes(0) {}
        explicit TDeleter(size_t mapped) noexcept : mappedBytes(mapped) {}
        void operator()(uint8_t* block) const noexcept;
        size_t mappedBytes;
    };
    std::unique_ptr<uint8_t[], TDeleter> block_;
    size_t size_ = 0;
};

}  // namespace luma
