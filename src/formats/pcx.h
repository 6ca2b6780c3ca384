#pragma once
// PCX reading and writing (FileType 4). ReadPcx and WritePcx follow the format-module contract of
// format_codec.h.
//
// The reader takes one-plane images of 1, 4 and 8 bits, three planes of 8 bits and four planes of
// 1 bit, run-length coded or plain; the writer makes 1-, 4-, 8- and 24-bit files.

#include <cstdint>
#include <span>
#include <vector>

#include "formats/format_codec.h"

namespace luma {

constexpr size_t kPcxHeaderSize = 128;
constexpr uint8_t kPcxManufacturer = 10;
constexpr uint8_t kPcxPaletteMark = 0x0C;

// Appends the run-length coding of one plane line: runs of up to 63 equal bytes; a single byte
// below 0xC0 goes out as itself, any other run as (0xC0 + length, byte). An odd line gets one
// zero byte more, the padding of the even bytes-per-line count.
void PcxEncodeLine(std::span<const uint8_t> line, std::vector<uint8_t>& out);

}  // namespace luma
