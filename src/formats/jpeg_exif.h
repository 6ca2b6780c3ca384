#pragma once
// Reading the resolution out of an EXIF block (the content of a JPEG APP1 marker).
//
// Only IFD0's XResolution, YResolution and ResolutionUnit are looked at; nothing else of the
// camera data is used by this program. Every offset is checked against the block before use.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace luma {

struct TExifResolution {
    double x = 0;   // XResolution (0 when absent)
    double y = 0;   // YResolution (0 when absent)
    int unit = 2;   // ResolutionUnit: 2 inch (the default), 3 centimetre
};

// Parses an APP1 marker's data ("Exif\0\0" and a TIFF structure). Empty when the block is not
// EXIF or its IFD0 cannot be read.
std::optional<TExifResolution> ParseExifResolution(const uint8_t* data, size_t size);

}  // namespace luma
