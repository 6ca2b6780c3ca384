#pragma once
// Gray levels of a colour with fixed integer weights (all arithmetic unsigned and truncating).

#include <cstdint>

namespace luma {

// 8-bit gray: (21 R + 71 G + 8 B) div 100.
inline uint8_t gray8(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint8_t>((21u * r + 71u * g + 8u * b) / 100u);
}

// 16-bit gray: (54272 R + 182528 G + 19200 B) div 1000; white gives 65280.
inline uint16_t gray16(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint16_t>((54272u * r + 182528u * g + 19200u * b) / 1000u);
}

}  // namespace luma
