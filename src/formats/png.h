#pragma once
// PNG reading and writing over libpng.
//
// ReadPng and WritePng (declared in format_codec.h) are the format module the I/O object calls.
//
// Reader: 1-bit gray and palette files are read packed into a pk1Bit buffer (bit 0 black, bit 1
// white, whatever the palette); everything else becomes pk24RGB. Files whose rows carry an
// alpha channel after expansion (RGBA, gray with alpha, palette or 2- to 7-bit gray with a
// transparency chunk) return an alpha plane. Bad data sets Aborting; nothing is thrown.
//
// Writer: colour type and depth come from BitsPerSample and SamplesPerPixel: gray 1-bit,
// palette (entry 0 = PngBackground, the rest from the colour quantizer, transparency on entry
// 0), RGB, or RGB with alpha when the alpha plane handed over is not fully opaque. A pHYs chunk
// is always written. libpng errors throw EInvalidGraphic("Error on creating PNG").

#include <stdexcept>

#include "formats/format_codec.h"

namespace luma {

// The image could not be encoded (the message is "Error on creating PNG").
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of every PNG writing error.
inline constexpr const char* kPngWriteErrorText = "Error on creating PNG";

}  // namespace luma
