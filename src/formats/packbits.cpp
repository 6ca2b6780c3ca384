// PackBits: a signed control byte n, 0..127 copies n + 1 literal bytes, -127..-1 repeats the next
// byte 1 - n times, -128 is a no-op. The encoder only makes runs of four or more bytes; shorter
// repeats cost no more inside a literal group.

#include "formats/packbits.h"

#include <algorithm>
#include <cstring>

namespace luma {

size_t PackBitsDecodeRow(std::span<const uint8_t> src, size_t& pos, std::span<uint8_t> row) {
    size_t n = 0;
    const size_t size = row.size();
    while (n < size && pos < src.size()) {
        const int control = static_cast<int8_t>(src[pos++]);
        if (control >= 0) {
            const size_t count = std::min<size_t>(static_cast<size_t>(control) + 1, src.size() - pos);
            const size_t fit = std::min(count, size - n);
            std::memcpy(row.data() + n, src.data() + pos, fit);
            pos += count;
            n += fit;
        } else if (control != -128) {
            if (pos >= src.size()) break;
            const uint8_t value = src[pos++];
            const size_t fit = std::min<size_t>(static_cast<size_t>(1 - control), size - n);
            std::memset(row.data() + n, value, fit);
            n += fit;
        }
    }
    return n;
}

void PackBitsEncodeRow(std::span<const uint8_t> row, std::vector<uint8_t>& out) {
    const size_t size = row.size();
    size_t literalStart = 0;
    size_t i = 0;
    auto flushLiterals = [&](size_t endAt) {
        while (literalStart < endAt) {
            const size_t count = std::min<size_t>(128, endAt - literalStart);
            out.push_back(static_cast<uint8_t>(count - 1));
            out.insert(out.end(), row.begin() + static_cast<ptrdiff_t>(literalStart),
                       row.begin() + static_cast<ptrdiff_t>(literalStart + count));
            literalStart += count;
        }
    };
    while (i < size) {
        size_t run = 1;
        while (i + run < size && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 4) {
            flushLiterals(i);
            out.push_back(static_cast<uint8_t>(1 - static_cast<int>(run)));
            out.push_back(row[i]);
            i += run;
            literalStart = i;
        } else {
            i += run;
        }
    }
    flushLiterals(size);
}

}  // namespace luma
