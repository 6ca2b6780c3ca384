#include "imaging/pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace luma {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kHugeBlockMin = size_t{4} << 20;

// A zeroed private mapping of at least `size` bytes starting on a huge-page boundary, advised to
// use huge pages; nullptr when the system refuses the mapping. `mappedBytes` receives its length.
uint8_t* MapHugeBlock(size_t size, size_t& mappedBytes) {
    const size_t bytes = (size + kHugePage - 1) / kHugePage * kHugePage;
    const size_t reserved = bytes + kHugePage;  // room to move the start to a boundary
    void* raw = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    const uintptr_t end = start + reserved;
    if (aligned > start) ::munmap(raw, aligned - start);
    if (end > aligned + bytes) ::munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    auto* block = reinterpret_cast<uint8_t*>(aligned);
    ::madvise(block, bytes, MADV_HUGEPAGE);  // only advice: without huge pages the block still works
    mappedBytes = bytes;
    return block;
}

}  // namespace

void TPixelMemory::TDeleter::operator()(uint8_t* block) const noexcept {
    if (mappedBytes > 0) {
        ::munmap(block, mappedBytes);
    } else {
        std::free(block);
    }
}

TPixelMemory::TPixelMemory(size_t bytes) {
    if (bytes == 0) return;
    size_t mappedBytes = 0;
    uint8_t* block = bytes >= kHugeBlockMin ? MapHugeBlock(bytes, mappedBytes) : nullptr;
    if (block == nullptr) block = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (block == nullptr) throw std::bad_alloc();
    block_ = std::unique_ptr<uint8_t[], TDeleter>(block, TDeleter(mappedBytes));
    size_ = bytes;
}

TPixelMemory TPixelMemory::Clone() const {
    TPixelMemory copy(size_);
    if (size_ > 0) std::memcpy(copy.data(), data(), size_);
    return copy;
}

}  // namespace luma
