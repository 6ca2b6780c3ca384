#pragma once
// TIFF reading and writing (FileType 1). ReadTiff and WriteTiff (format_codec.h) follow the
// format-module contract; LZW strips go through the TIFF coder hooks (io_params.h).
//
// The reader takes one page (TiffImageIndex) of a classic TIFF file, strips or tiles, and always
// produces a 1-bit or 24-bit buffer; the writer writes one page as a single little-endian strip.
// This header holds what the reader and the writer share: tag numbers, the mapping between file
// codes and the parameter codes, and the CIE L*a*b* colour conversion.

#include <cstdint>

#include "formats/format_codec.h"

namespace luma {

// Tag numbers the module reads or writes.
enum TTiffTag : uint16_t {
    ttImageWidth = 256,
    ttImageLength = 257,
    ttBitsPerSample = 258,
    ttCompression = 259,
    ttPhotometric = 262,
    ttFillOrder = 266,
    ttDocumentName = 269,
    ttImageDescription = 270,
    ttMake = 271,
    ttModel = 272,
    ttStripOffsets = 273,
    ttOrientation = 274,
    ttSamplesPerPixel = 277,
    ttRowsPerStrip = 278,
    ttStripByteCounts = 279,
    ttXResolution = 282,
    ttYResolution = 283,
    ttPlanarConfig = 284,
    ttPageName = 285,
    ttXPosition = 286,
    ttYPosition = 287,
    ttT4Options = 292,
    ttT6Options = 293,
    ttResolutionUnit = 296,
    ttPageNumber = 297,
    ttSoftware = 305,
    ttDateTime = 306,
    ttPredictor = 317,
    ttColorMap = 320,
    ttTileWidth = 322,
    ttTileLength = 323,
    ttTileOffsets = 324,
    ttTileByteCounts = 325,
    ttExtraSamples = 338,
    ttJpegTables = 347,
    ttJpegProc = 512,
    ttJpegInterchangeFormat = 513,
    ttJpegInterchangeFormatLength = 514,
    ttIptc = 33723,
    ttExifIfd = 34665,
};

// Field types of directory entries.
enum TTiffType : uint16_t {
    tfByte = 1,
    tfAscii = 2,
    tfShort = 3,
    tfLong = 4,
    tfRational = 5,
    tfSByte = 6,
    tfUndefined = 7,
    tfSShort = 8,
    tfSLong = 9,
    tfSRational = 10,
    tfFloat = 11,
    tfDouble = 12,
    tfIfd = 13,
};

// Bytes of one value of a field type; 0 for unknown types.
constexpr uint32_t TiffTypeSize(uint16_t type) {
    switch (type) {
    case tfByte: case tfAscii: case tfSByte: case tfUndefined: return 1;
    case tfShort: case tfSShort: return 2;
    case tfLong: case tfSLong: case tfFloat: case tfIfd: return 4;
    case tfRational: case tfSRational: case tfDouble: return 8;
    default: return 0;
    }
}

// File compression codes.
enum TTiffFileCompression : uint32_t {
    tcNone = 1,
    tcCcittRle = 2,
    tcCcittFax3 = 3,
    tcCcittFax4 = 4,
    tcLzw = 5,
    tcOldJpeg = 6,
    tcJpeg = 7,
    tcPackBits = 32773,
};

// The parameter code (TiffCompression) of a file's Compression value; T4Options bit 0 tells
// Group 3 one- from two-dimensional.
constexpr uint8_t TiffCompressionParam(uint32_t compression, uint32_t t4Options) {
    switch (compression) {
    case tcNone: return 0;
    case tcCcittRle: return 1;
    case tcCcittFax3: return (t4Options & 1) ? 3 : 2;
    case tcCcittFax4: return 4;
    case tcLzw: return 5;
    case tcOldJpeg: return 6;
    case tcJpeg: return 7;
    case tcPackBits: return 8;
    default: return 9;
    }
}

// The parameter code (TiffPhotometric) of a file's PhotometricInterpretation value: equal for 0 to
// 6, CIE L*a*b* (8) becomes 7. Other values have no parameter code; they keep the file value
// clipped to a byte, which no layout accepts.
constexpr uint8_t TiffPhotometricParam(uint32_t photometric) {
    if (photometric <= 6) return static_cast<uint8_t>(photometric);
    if (photometric == 8) return 7;
    return photometric > 255 ? 255 : static_cast<uint8_t>(photometric);
}

// CIE L*a*b* as TIFF stores it in 8-bit samples (L* scaled to 0..255, a* and b* signed bytes),
// converted to and from RGB (D50 white, sRGB primaries, display curve in tiff_color.cpp). Built
// once; the tables make the per-pixel work a handful of multiplications and look-ups.
class TLabConverter {
public:
    static const TLabConverter& Instance();

    // `count` pixels of L, a, b samples to blue, green, red buffer pixels.
    void RowToBgr(const uint8_t* lab, uint8_t* bgr, int32_t count) const;
    // `count` blue, green, red buffer pixels to L, a, b samples.
    void RowFromBgr(const uint8_t* bgr, uint8_t* lab, int32_t count) const;

private:
    TLabConverter();
    float decodeGamma_[256];      // RGB sample -> linear
    uint8_t encodeGamma_[65537];  // linear (0..1 in 65536 steps) -> RGB sample
    float labF_[4097];            // f(t) for t in 0..2 in 4096 steps
};

}  // namespace luma
