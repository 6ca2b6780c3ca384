#include "formats/byte_io.h"

namespace luma {

size_t TMemoryOutput::WriteRaw(const void* data, size_t n) {
    if (pos_ >= limit_) return 0;
    const size_t room = limit_ - pos_;
    const size_t k = n < room ? n : room;
    if (pos_ + k > bytes_.size()) bytes_.resize(pos_ + k);
    std::memcpy(bytes_.data() + pos_, data, k);
    pos_ += k;
    return k;
}

bool TMemoryOutput::SeekRaw(int64_t pos) {
    if (pos < 0 || static_cast<uint64_t>(pos) > bytes_.size()) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
}

}  // namespace luma
